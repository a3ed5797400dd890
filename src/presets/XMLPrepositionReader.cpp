#include "presets/XMLPrepositionReader.h"

#include "core/Text.h"
#include "settings/AtomicFile.h"
#include "settings/DinaFileBase.h"
#include "settings/SettingsDirectory.h"

using brevane::CLockGuard;
using brevane::Text::Format;

CXMLPrepositionReader::CXMLPrepositionReader(const std::string& rootName) : m_rootName(rootName) {}

CXMLPrepositionReader::~CXMLPrepositionReader() {
    CLockGuard guard(m_lock);
    m_settings.Close();
}

bool CXMLPrepositionReader::Initialize(const std::string& fileName) {
    CLockGuard guard(m_lock);
    m_setAside = SetAside{};
    const std::string path = fileName.empty() ? std::string() : brevane::settings::SettingsFilePath(fileName);
    std::uint64_t size = 0;
    {
        CDinaFileBase existing;
        if (!path.empty() && existing.Open(path.c_str())) {
            size = existing.GetSize();
        }
    }
    // A file far larger than any set of presets is not loaded at all: its
    // size alone would cost the host seconds and memory for each change.
    std::int32_t status = -1;
    if (size > kMaxFileSize) {
        if (!SetAsideLocked(path, true)) {
            return m_autoSave = false;
        }
    } else {
        status = m_settings.Open(fileName.c_str());
    }
    if (status < 0 && m_settings.OpenCount() == 0 && !fileName.empty()) {
        // A file that exists and holds something, but does not load, is kept
        // under another name rather than replaced by an empty document.
        if (size > 0 && size <= kMaxFileSize && !SetAsideLocked(path, false)) {
            return m_autoSave = false;
        }
        try {
            if (CXMLSettingsAPI::CreateDocument(m_rootName.c_str(), fileName.c_str()) == 1) {
                status = m_settings.Open(fileName.c_str());
            }
        } catch (const std::exception&) {
            // The file cannot be created; the reader stays without document.
        }
    }
    m_autoSave = status >= 0;
    return m_autoSave;
}

bool CXMLPrepositionReader::SetAsideLocked(const std::string& path, bool tooLarge) {
    const std::string keptAs = path + ".unreadable";
    if (!brevane::settings::RenameReplacing(path, keptAs)) {
        return false;
    }
    m_setAside = SetAside{path, keptAs, tooLarge};
    return true;
}

CXMLPrepositionReader::SetAside CXMLPrepositionReader::LastSetAside() const {
    CLockGuard guard(m_lock);
    return m_setAside;
}

std::string CXMLPrepositionReader::ChannelPath(std::uint32_t channel) const {
    return m_rootName + Format("/%s%.2u", "PtzChannel", channel + 1);
}

std::string CXMLPrepositionReader::RecordPath(std::uint32_t channel, std::uint32_t index) const {
    return ChannelPath(channel) + Format("/%s%.3u", "Preposition", index) + "/";
}

bool CXMLPrepositionReader::SaveLocked() {
    try {
        return m_settings.Save();
    } catch (const std::exception&) {
        return false;
    }
}

bool CXMLPrepositionReader::ClearChannel(std::uint32_t channel) {
    CLockGuard guard(m_lock);
    const std::string path = ChannelPath(channel);
    try {
        if (!m_settings.NodeExists("%s", path.c_str()) || !m_settings.RemoveNode("%s", path.c_str())) {
            return false;
        }
    } catch (const std::exception&) {
        return false;
    }
    return m_autoSave ? SaveLocked() : true;
}

bool CXMLPrepositionReader::WritePreposition(std::uint32_t channel, std::uint32_t index,
                                             const PrepositionRecord& record) {
    CLockGuard guard(m_lock);
    const std::string base = RecordPath(channel, index);
    try {
        if (!m_settings.SetString(record.name.c_str(), "%s", (base + "Name").c_str())) {
            return false;
        }
        const std::string slot = std::to_string(record.slot);
        if (!m_settings.SetString(slot.c_str(), "%s", (base + "Slot").c_str())) {
            return false;
        }
    } catch (const std::exception&) {
        return false;
    }
    return m_autoSave ? SaveLocked() : true;
}

bool CXMLPrepositionReader::ReadPreposition(std::uint32_t channel, std::uint32_t index, PrepositionRecord& record) {
    CLockGuard guard(m_lock);
    const std::string base = RecordPath(channel, index);
    try {
        record.name = m_settings.GetString("%s", (base + "Name").c_str());
        if (record.name.empty()) {
            return false;
        }
        if (brevane::Text::ParseInt(m_settings.GetString("%s", (base + "Slot").c_str()), record.slot)) {
            return true;
        }
    } catch (const std::exception&) {
        return false;
    }
    record.slot = 0;
    return false;
}

bool CXMLPrepositionReader::SetAutoSave(bool on) {
    CLockGuard guard(m_lock);
    if (on == m_autoSave) {
        return true;
    }
    m_autoSave = on;
    return on ? SaveLocked() : true;
}

bool CXMLPrepositionReader::GetAutoSave() const {
    CLockGuard guard(m_lock);
    return m_autoSave;
}

std::string CXMLPrepositionReader::FilePath() const {
    CLockGuard guard(m_lock);
    return m_settings.FilePath();
}
