#include "ptz/BasePTZHandler.h"

#include <new>

#include "core/IDriver.h"
#include "http/Utils.h"
#include "ptz/BasePTZControl.h"

namespace brevane {

CBasePTZHandler::CBasePTZHandler(IDriver* driver, const std::string& vendorName)
    : m_driver(driver), m_vendorName(vendorName) {}

CBasePTZHandler::~CBasePTZHandler() {
    DeleteControls();
    CLockGuard guard(m_lock);
    m_reader.Release();
}

IIPPTZApi* CBasePTZHandler::GetPTZApi(std::uint32_t channel) {
    if (channel >= m_channelCount) {
        return nullptr;
    }
    CLockGuard guard(m_lock);
    const auto found = m_controls.find(channel);
    if (found != m_controls.end() && found->second != nullptr) {
        return found->second;
    }
    CBasePTZControl* control = nullptr;
    bool opened = false;
    if (!m_vendorName.empty()) {
        if (!m_reader) {
            InitializeXMLStorage();
        }
        control = CreateControl(channel, true);
        opened = control != nullptr && control->Open(m_reader);
    } else {
        control = CreateControl(channel, false);
        opened = control != nullptr && control->Open();
    }
    if (control == nullptr) {
        return nullptr;
    }
    if (!opened) {
        delete control;
        return nullptr;
    }
    m_controls[channel] = control;
    return control;
}

void CBasePTZHandler::DeleteControls() {
    CLockGuard guard(m_lock);
    for (auto& [channel, control] : m_controls) {
        delete control;
    }
    m_controls.clear();
}

bool CBasePTZHandler::InitializeXMLStorage() {
    CResultDef result;
    std::string fileName;
    if (!GetPresetFileName(fileName)) {
        return true;
    }
    m_reader = new (std::nothrow) CXMLPrepositionReader(m_vendorName);
    if (!m_reader) {
        result.Fail(5, Utils::Format("%s: not enough memory for creating CXMLPrepositionReader object",
                                     "brevane::CBasePTZHandler::InitializeXMLStorage"));
    } else {
        const bool initialized = m_reader->Initialize(fileName);
        ReportSetAside(m_reader->LastSetAside());
        if (!initialized) {
            result.Fail(1, Utils::Format("%s: cannot initialize CXMLPrepositionReader object with parameter \"%s\"",
                                         "brevane::CBasePTZHandler::InitializeXMLStorage", fileName.c_str()));
        }
    }
    result.Report(m_driver);
    return result.m_code == 0;
}

void CBasePTZHandler::ReportSetAside(const CXMLPrepositionReader::SetAside& setAside) {
    if (setAside.from.empty() || m_driver == nullptr) {
        return;
    }
    // The operator sees why the presets are gone and where the old file is.
    if (setAside.tooLarge) {
        m_driver->DebugMessage(1, "%s: the preset file \"%s\" is larger than %u bytes; it was kept as \"%s\" and a new one started",
                               "brevane::CBasePTZHandler::InitializeXMLStorage", setAside.from.c_str(),
                               static_cast<unsigned>(CXMLPrepositionReader::kMaxFileSize), setAside.to.c_str());
    } else {
        m_driver->DebugMessage(1, "%s: the preset file \"%s\" cannot be read; it was kept as \"%s\" and a new one started",
                               "brevane::CBasePTZHandler::InitializeXMLStorage", setAside.from.c_str(),
                               setAside.to.c_str());
    }
}

TSmartPtr<CXMLPrepositionReader> CBasePTZHandler::GetReader() {
    CLockGuard guard(m_lock);
    return m_reader;
}

}  // namespace brevane
