#include "presets/PrepositionList.h"

#include <algorithm>
#include <cstring>

#include "darvik/IIPPTZ.h"
#include "core/IDriver.h"
#include "core/Text.h"
#include "presets/PrepositionComm.h"

namespace brevane {
namespace {

constexpr const char* kAddName = "brevane::CPrepositionList::AddPreposition";
constexpr const char* kLoadName = "brevane::CPrepositionList::LoadAll";

}  // namespace

CPrepositionList::CPrepositionList(std::uint32_t channel, bool persist) : m_persist(persist), m_channel(channel) {}

CPrepositionList::~CPrepositionList() = default;

bool CPrepositionList::IsValidName(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    for (const char ch : name) {
        if (static_cast<unsigned char>(ch) < 0x20 || std::strchr("&!<>'\"", ch) != nullptr) {
            return false;
        }
    }
    return true;
}

void CPrepositionList::Log(const std::string& line) {
    if (m_comm != nullptr) {
        m_comm->DebugMessage(kLevelFailure, "%s", line.c_str());
    }
}

bool CPrepositionList::FindSlot(const std::string& name, std::uint32_t& slot) const {
    for (const auto& [number, text] : m_names) {
        if (text == name) {
            slot = number;
            return true;
        }
    }
    return false;
}

void CPrepositionList::SetComm(IPrepositionComm* comm, std::uint32_t capacity) {
    CLockGuard guard(m_lock);
    m_comm = comm;
    m_capacity = capacity;
}

std::uint32_t CPrepositionList::GetCapacity() {
    CLockGuard guard(m_lock);
    return m_capacity;
}

bool CPrepositionList::SetStorage(TSmartPtr<CXMLPrepositionReader> reader) {
    CLockGuard guard(m_lock);
    m_reader = reader;
    if (m_reader) {
        LoadAll();
    }
    return static_cast<bool>(reader);
}

std::int32_t CPrepositionList::GetCount() {
    CLockGuard guard(m_lock);
    return static_cast<std::int32_t>(m_order.size());
}

bool CPrepositionList::GetName(std::int32_t index, std::string& name) {
    name.clear();
    CLockGuard guard(m_lock);
    const auto position = static_cast<std::uint32_t>(index);
    if (position >= m_order.size()) {
        return false;
    }
    const auto found = m_names.find(m_order[position]);
    if (found == m_names.end()) {
        return false;
    }
    name = found->second;
    return true;
}

bool CPrepositionList::GetCurrentName(std::string& name) {
    name.clear();
    CLockGuard guard(m_lock);
    if (m_current < 0 || static_cast<std::size_t>(m_current) >= m_order.size()) {
        return false;
    }
    const auto found = m_names.find(m_order[static_cast<std::size_t>(m_current)]);
    if (found == m_names.end()) {
        return false;
    }
    name = found->second;
    return true;
}

void CPrepositionList::ResetCurrent() {
    CLockGuard guard(m_lock);
    m_current = -1;
}

bool CPrepositionList::GotoPreposition(const std::string& name, std::int32_t arg) {
    if (name.empty()) {
        return false;
    }
    CLockGuard guard(m_lock);
    std::uint32_t slot = 0;
    if (!FindSlot(name, slot)) {
        return false;
    }
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        if (m_order[i] != slot) {
            continue;
        }
        if (static_cast<std::int32_t>(i) == m_current) {
            return true;  // the camera is there already
        }
        if (m_comm == nullptr) {
            return false;
        }
        if (m_comm->MoveToPreposition(slot, name.c_str(), arg)) {
            m_current = static_cast<std::int32_t>(i);
            return true;
        }
    }
    return false;
}

std::int32_t CPrepositionList::AddPreposition(const std::string& name) {
    CLockGuard guard(m_lock);
    if (m_comm == nullptr) {
        return PTZ_ERR_NOT_READY;
    }
    if (!IsValidName(name)) {
        Log(std::string(kAddName) + ": A preposition \"" + Text::LogText(name) +
            "\" cannot be added - the name is invalid.");
        return PTZ_ERR_INVALID_ARGUMENT;
    }
    if (m_order.size() >= m_capacity) {
        m_comm->DebugMessage(kLevelFailure,
                             "%s: A preposition \"%s\" cannot be added. Camera supports saving not more than %u "
                             "prepositions.",
                             kAddName, Text::LogText(name).c_str(), m_capacity);
        return PTZ_ERR_FULL;
    }
    std::uint32_t slot = 0;
    while (slot < m_capacity && m_names.count(slot) != 0) {
        ++slot;
    }
    if (slot >= m_capacity) {
        return PTZ_ERR_FULL;
    }
    if (!m_comm->SavePreposition(slot, name.c_str())) {
        return PTZ_ERR_NOT_READY;
    }
    m_names[slot] = name;
    m_order.push_back(slot);
    m_current = static_cast<std::int32_t>(m_order.size() - 1);
    if (!m_persist) {
        return PTZ_OK;
    }
    bool written = false;
    if (m_fileInOrder) {
        written = StorePreposition(static_cast<std::uint32_t>(m_order.size() - 1), slot, name);
        m_fileInOrder = written;
    } else {
        written = SaveAll();
    }
    return written ? PTZ_OK : PTZ_ERR_NOT_READY;
}

bool CPrepositionList::RemovePreposition(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    CLockGuard guard(m_lock);
    std::uint32_t slot = 0;
    if (!FindSlot(name, slot) || m_comm == nullptr) {
        return false;
    }
    const bool deleted = m_comm->DeletePreposition(slot, name.c_str());
    m_current = -1;
    if (!deleted) {
        // The preset is still on the camera and stays in the list.
        return false;
    }
    m_names.erase(slot);
    m_order.erase(std::remove(m_order.begin(), m_order.end(), slot), m_order.end());
    return m_persist ? SaveAll() : true;
}

void CPrepositionList::LoadAll() {
    m_names.clear();
    m_order.clear();
    m_current = -1;
    m_fileInOrder = true;
    if (!m_reader) {
        return;
    }
    // A file edited by hand may hold anything. A record is kept only when
    // its slot is one the camera has and no earlier record took: a slot
    // outside the range would go to the camera as a preset number, and a
    // second record of one slot would silently lose a name. Every other
    // record is kept; what is dropped is said.
    bool dropped = false;
    for (std::uint32_t index = 0; index < m_capacity; ++index) {
        PrepositionRecord record;
        if (!m_reader->ReadPreposition(m_channel, index, record)) {
            if (!record.name.empty()) {
                DropRecord(index, record.name, "its slot is not a whole number");
                dropped = true;
            }
            continue;
        }
        const auto slot = static_cast<std::uint32_t>(record.slot);
        std::string reason;
        if (record.slot < 0 || slot >= m_capacity) {
            reason = Text::Format("slot %d is outside the camera's 0 to %u", static_cast<int>(record.slot),
                                  static_cast<unsigned>(m_capacity - 1));
        } else if (const auto taken = m_names.find(slot); taken != m_names.end()) {
            reason = Text::Format("slot %u is taken by \"%s\"", static_cast<unsigned>(slot),
                                  Text::LogText(taken->second).c_str());
        }
        if (!reason.empty()) {
            DropRecord(index, record.name, reason);
            dropped = true;
            continue;
        }
        if (index != m_order.size()) {
            m_fileInOrder = false;  // an earlier record is missing or was dropped
        }
        m_names[slot] = record.name;
        m_order.push_back(slot);
    }
    // The file keeps the dropped records until the next change rewrites
    // the channel without them.
    if (dropped) {
        m_fileInOrder = false;
    }
}

void CPrepositionList::DropRecord(std::uint32_t index, const std::string& name, const std::string& reason) {
    Log(Text::Format("%s: record %u of channel %u of the preset file (\"%s\") was dropped: %s", kLoadName,
                     static_cast<unsigned>(index), static_cast<unsigned>(m_channel) + 1,
                     Text::LogText(name).c_str(), reason.c_str()));
}

bool CPrepositionList::SaveAll() {
    if (!m_reader) {
        return false;
    }
    CLockGuard readerGuard(m_reader->GetLock());
    m_reader->SetAutoSave(false);
    m_reader->ClearChannel(m_channel);
    bool written = true;
    for (std::size_t i = 0; i < m_order.size() && written; ++i) {
        const auto found = m_names.find(m_order[i]);
        written = found != m_names.end() &&
                  m_reader->WritePreposition(m_channel, static_cast<std::uint32_t>(i),
                                             PrepositionRecord{found->second, static_cast<std::int32_t>(found->first)});
    }
    // Saves once, whatever was written.
    const bool saved = m_reader->SetAutoSave(true);
    m_fileInOrder = written && saved;
    return m_fileInOrder;
}

bool CPrepositionList::StorePreposition(std::uint32_t index, std::uint32_t slot, const std::string& name) {
    if (!m_reader) {
        return false;
    }
    return m_reader->WritePreposition(m_channel, index, PrepositionRecord{name, static_cast<std::int32_t>(slot)});
}

}  // namespace brevane
