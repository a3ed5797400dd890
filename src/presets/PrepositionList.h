// CPrepositionList: the presets of one camera channel. Keeps each preset's
// name, the camera preset number ("slot") behind it, the order the host sees
// them in and the preset the camera was last sent to. Changes go to the
// camera through IPrepositionComm and, when persistence is on, to the preset
// file through the shared CXMLPrepositionReader.
//
// Embedded in the PTZ control, which forwards the host's preset requests.
// Host threads call it concurrently; every public operation takes m_lock.
// Camera commands are sent while m_lock is held, so preset operations of one
// channel run one after another. Lock order: m_lock, then the reader's lock.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "presets/XMLPrepositionReader.h"
#include "thread/RecursiveLock.h"
#include "thread/SmartPtr.h"

namespace brevane {

class IPrepositionComm;

class CPrepositionList {
   public:
    CPrepositionList(std::uint32_t channel, bool persist);

    // Writes one record at list position `index`.
    virtual bool StorePreposition(std::uint32_t index, std::uint32_t slot, const std::string& name)
        REQUIRES(m_lock);
    // Rewrites the channel's records in list order and saves the file once.
    virtual bool SaveAll() REQUIRES(m_lock);
    // Replaces the list with the records of the file. A record whose slot
    // is outside 0 to capacity - 1, or taken by an earlier record, is
    // dropped with a level-1 line; every other record is kept.
    virtual void LoadAll() REQUIRES(m_lock);
    virtual ~CPrepositionList();

    // Uses `reader` as the preset file (releasing any earlier one) and loads
    // the channel from it. True when a reader was given.
    virtual bool SetStorage(TSmartPtr<CXMLPrepositionReader> reader);
    virtual std::int32_t GetCount();
    virtual bool GetName(std::int32_t index, std::string& name);
    // Sends the camera to the preset of that name (the lowest slot of equal
    // names); nothing is sent when the camera is known to be there already.
    virtual bool GotoPreposition(const std::string& name, std::int32_t arg);
    // Saves the camera's position as a new preset: PTZ_OK, or
    // PTZ_ERR_INVALID_ARGUMENT (bad name), PTZ_ERR_FULL (no room),
    // PTZ_ERR_NOT_READY (no camera connection, camera refused, file write
    // failed; after a failed file write the preset is kept and written with
    // the next successful change).
    virtual std::int32_t AddPreposition(const std::string& name);
    // Deletes the preset of that name on the camera and from the list. False
    // when there is none, the camera refused or the file was not rewritten.
    virtual bool RemovePreposition(const std::string& name);
    virtual bool GetCurrentName(std::string& name);

    // The camera has moved away from any known preset.
    void ResetCurrent();
    // Connects the list to the command object's preset interface and its
    // capacity (the control, when it opens), or disconnects it (null, 0).
    void SetComm(IPrepositionComm* comm, std::uint32_t capacity);
    std::uint32_t GetCapacity();

    // Non-empty, none of & ! < > ' " and no control character (below 0x20).
    static bool IsValidName(const std::string& name);

   private:
    // First slot (ascending) holding `name`; false when there is none.
    bool FindSlot(const std::string& name, std::uint32_t& slot) const REQUIRES(m_lock);
    void Log(const std::string& line) REQUIRES(m_lock);
    // The level-1 line for a file record LoadAll does not keep.
    void DropRecord(std::uint32_t index, const std::string& name, const std::string& reason) REQUIRES(m_lock);

    const bool m_persist;
    const std::uint32_t m_channel;
    CRecursiveLock m_lock;
    IPrepositionComm* m_comm GUARDED_BY(m_lock) = nullptr;
    std::uint32_t m_capacity GUARDED_BY(m_lock) = 0;
    TSmartPtr<CXMLPrepositionReader> m_reader GUARDED_BY(m_lock);
    std::map<std::uint32_t, std::string> m_names GUARDED_BY(m_lock);
    std::vector<std::uint32_t> m_order GUARDED_BY(m_lock);
    std::int32_t m_current GUARDED_BY(m_lock) = -1;
    // The file's records of this channel are exactly positions 0..n-1 of
    // m_order, so one added preset can be written as one record. Otherwise
    // (a gap in the file, a failed write) the next change rewrites the
    // channel.
    bool m_fileInOrder GUARDED_BY(m_lock) = true;
};

}  // namespace brevane
