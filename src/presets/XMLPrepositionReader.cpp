#include "presets/XMLPrepositionReader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "settings/AtomicFile.h"
#include "settings/DinaFileBase.h"
#include "settings/SettingsDirectory.h"

using brevane::CLockGuard;

namespace {

// Optional single sign, then one or more decimal digits, nothing else, and a
// value that fits 32 bits.
bool ParseSlot(const std::string& text, std::int32_t& slot) {
    std::size_t digits = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        digits = 1;
    }
    if (digits >= text.size()) {
        return false;
    }
    for (std::size_t i = digits; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    slot = static_cast<std::int32_t>(value);
    return true;
}

std::string Format(const char* format, const char* name, unsigned number) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), format, name, number);
    return buffer;
}

}  // namespace

CXMLPrepositionReader::CXMLPrepositionReader(const std::string& rootName) : m_rootName(rootName) {}

CXMLPrepositionReader::~CXMLPrepositionReader() {
    CLockGuard guard(m_lock);
    m_settings.Close();
}

bool CXMLPrepositionReader::Initialize(const std::string& fileName) {
    CLockGuard guard(m_lock);
    std::int32_t status = m_settings.Open(fileName.c_str());
    if (status < 0 && m_settings.OpenCount() == 0 && !fileName.empty()) {
        // A file that exists and holds something, but does not load, is kept
        // under another name rather than replaced by an empty document.
        const std::string path = brevane::settings::SettingsFilePath(fileName);
        CDinaFileBase existing;
        bool keep = true;
        if (existing.Open(path.c_str()) && existing.GetSize() > 0) {
            existing.Close();
            keep = brevane::settings::RenameReplacing(path, path + ".unreadable");
        }
        try {
            if (keep && CXMLSettingsAPI::CreateDocument(m_rootName.c_str(), fileName.c_str(), true) == 1) {
                status = m_settings.Open(fileName.c_str());
            }
        } catch (const std::exception&) {
            // The file cannot be created; the reader stays without document.
        }
    }
    m_autoSave = status >= 0;
    return m_autoSave;
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
        if (ParseSlot(m_settings.GetString("%s", (base + "Slot").c_str()), record.slot)) {
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
