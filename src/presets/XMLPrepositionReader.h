// CXMLPrepositionReader: the preset file of one camera. Reads and writes the
// records (name and camera preset number) of each channel in an XML settings
// document laid out as
//   <Root><PtzChannel01><Preposition000><Name value=".."/><Slot value=".."/>
// where the channel number is the channel index + 1 (at least two digits)
// and the record number the preset's list position (at least three digits).
//
// Created by the PTZ handler and shared by the preset lists of all channels
// through TSmartPtr. Any thread may call; m_lock serialises every operation
// and may be re-entered by the thread holding it (a preset list holds it
// across a whole rewrite). Nothing here throws: document failures come back
// as false.
#pragma once

#include <cstdint>
#include <string>

#include "settings/XMLSettingsAPI.h"
#include "thread/RecursiveLock.h"

// One preset as stored: the name the user gave it and the camera's preset
// number.
struct PrepositionRecord {
    std::string name;
    std::int32_t slot = 0;
};

class CXMLPrepositionReader {
   public:
    explicit CXMLPrepositionReader(const std::string& rootName);
    virtual ~CXMLPrepositionReader();
    CXMLPrepositionReader(const CXMLPrepositionReader&) = delete;
    CXMLPrepositionReader& operator=(const CXMLPrepositionReader&) = delete;

    // Files larger than this are not loaded (255 presets take a few KB).
    static constexpr std::uint64_t kMaxFileSize = 1024u * 1024u;

    // A file Initialize moved aside: where it was, where it is now, and
    // whether it was set aside for its size (else it did not load).
    struct SetAside {
        std::string from;
        std::string to;
        bool tooLarge = false;
    };

    // Opens fileName in the settings directory, creating it with an empty
    // root element when it is missing or unreadable. A file that does not
    // load, or is larger than kMaxFileSize, is first moved aside to
    // fileName + ".unreadable" (see LastSetAside). Switches auto-save on
    // when the document is open; returns the same.
    bool Initialize(const std::string& fileName);
    // What the last Initialize moved aside; `from` is empty when nothing.
    SetAside LastSetAside() const;

    // Removes the channel's element with all its records. False when the
    // channel has none or the save failed.
    bool ClearChannel(std::uint32_t channel);
    // Writes one record (saved at once when auto-save is on).
    bool WritePreposition(std::uint32_t channel, std::uint32_t index, const PrepositionRecord& record);
    // Reads one record. False when it is absent: no name, an empty name, or a
    // slot that is not a plain signed decimal number of 32 bits (the slot is
    // then 0).
    bool ReadPreposition(std::uint32_t channel, std::uint32_t index, PrepositionRecord& record);

    // Switching auto-save on saves the document at once. Returns false only
    // when that save failed.
    bool SetAutoSave(bool on);
    bool GetAutoSave() const;

    // Full path of the file; empty until Initialize opened it.
    std::string FilePath() const;
    const std::string& RootName() const { return m_rootName; }
    // The lock of every operation, for a caller that must keep others out
    // across several calls (a channel rewrite). Taken after the caller's
    // own locks, never before. Not annotated as returning m_lock: the
    // reader's operations enter it again, which the analysis would take for
    // a second acquisition.
    brevane::CRecursiveLock& GetLock() const { return m_lock; }

   private:
    std::string ChannelPath(std::uint32_t channel) const;
    std::string RecordPath(std::uint32_t channel, std::uint32_t index) const;
    bool SaveLocked() REQUIRES(m_lock);
    bool SetAsideLocked(const std::string& path, bool tooLarge) REQUIRES(m_lock);

    const std::string m_rootName;
    mutable brevane::CRecursiveLock m_lock;
    CXMLSettingsAPI m_settings GUARDED_BY(m_lock);
    bool m_autoSave GUARDED_BY(m_lock) = false;
    SetAside m_setAside GUARDED_BY(m_lock);
};
