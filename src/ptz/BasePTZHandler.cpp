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
    } else if (!m_reader->Initialize(fileName)) {
        result.Fail(1, Utils::Format("%s: cannot initialize CXMLPrepositionReader object with parameter \"%s\"",
                                     "brevane::CBasePTZHandler::InitializeXMLStorage", fileName.c_str()));
    }
    result.Report(m_driver);
    return result.m_code == 0;
}

TSmartPtr<CXMLPrepositionReader> CBasePTZHandler::GetReader() {
    CLockGuard guard(m_lock);
    return m_reader;
}

}  // namespace brevane
