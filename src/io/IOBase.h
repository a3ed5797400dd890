// CIOBase: the digital I/O object a driver hands to the host
// (ICaptureIOApi), apart from talking to the camera. It keeps the last known
// state of every alarm input and relay output, polls the inputs on a ticker
// thread ("Digital Input thread") and reports each change to the host's event
// sink, and carries out output changes one by one on a work-item thread
// ("Digital Output thread") so that the host's SetOutput returns at once. A
// vendor class supplies WriteOutput and ReadInputs.
//
// Owned by the driver (created in Open, destroyed in Close through slot 0).
// The host calls SetEventSink, Start, Stop, SetOutput and the counts on its
// own threads; the workers call ProcessWorkItem and OnTick. Both state maps
// are guarded by one lock, which is never held across a camera request or a
// sink call. A vendor class must call StopThreads() in its destructor, since
// the workers call its operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>

#include "darvik/ICaptureIOApi.h"
#include "thread/RecursiveLock.h"
#include "thread/TickerThread.h"
#include "thread/WorkItemThread.h"

namespace brevane {

class IDriver;

class CIOBase : public ICaptureIOApi,
                public thread::CWorkItemThread,
                public thread::CTickerThread {
    DARVIK_IMPLEMENT_SLOT0(CIOBase)

   public:
    // One output command on the output thread's queue.
    class CWorkItem : public CWorkItemThread::IWorkItem {
       public:
        CWorkItem(std::int32_t outputIndex, std::int32_t wantedValue)
            : index(outputIndex), value(wantedValue) {}
        std::int32_t index;  // zero-based output
        std::int32_t value;  // wanted state code
    };

    static constexpr const char* kOutputThreadName = "Digital Output thread";
    static constexpr const char* kInputThreadName = "Digital Input thread";
    // Inputs and outputs beyond this many are not tracked, so a device
    // description with an absurd count cannot exhaust memory or keep Start
    // writing outputs for hours.
    static constexpr std::uint32_t kMaxTrackedPorts = 1024;

    explicit CIOBase(IDriver* driver);
    CIOBase(const CIOBase&) = delete;
    CIOBase& operator=(const CIOBase&) = delete;

    // ICaptureIOApi, slots 1 to 6.
    bool SetEventSink(ipcapture::IIOEventSink* sink) override;
    bool Start() override;
    bool Stop() override;
    std::int32_t GetInputCount() override;
    std::int32_t GetOutputCount() override;
    bool SetOutput(std::int32_t outputIndex, std::int32_t value) override;

    // Slots 7 and 8: the vendor's camera exchanges. WriteOutput is true when
    // the camera accepted the value; ReadInputs is true when the camera
    // answered, and stores and reports input changes itself.
    virtual bool WriteOutput(std::int32_t outputIndex, std::int32_t value) = 0;
    virtual bool ReadInputs(std::int32_t inputCount) = 0;

    // Declared after the vendor operations so that its table entries follow
    // theirs. Stops threads a host left running.
    ~CIOBase() override;

    // Copies of the state maps, for diagnostics and tests.
    std::map<std::uint32_t, std::int32_t> InputStates() const;
    std::map<std::uint32_t, std::int32_t> OutputStates() const;

   protected:
    // Stores `state` for input `index` when the input is tracked and its
    // state differs; true when it was stored (the caller then reports it
    // with NotifyInputChanged, outside any lock).
    bool StoreInputState(std::uint32_t index, std::int32_t state);
    // Tells the event sink about an input change; dropped without a sink.
    void NotifyInputChanged(std::uint32_t index, std::int32_t state);
    // Drops the event sink, then ends both worker threads (pending output
    // commands are discarded) without touching the states. For destructors:
    // the host hears nothing more once the object is being destroyed.
    void StopThreads();
    // Forgets the event sink: from here on notifications are dropped.
    void DropEventSink() { m_eventSink.store(nullptr); }

    IDriver* GetDriver() const { return m_driver; }

    // CWorkItemThread and CTickerThread.
    void ProcessWorkItem(IWorkItem* item) override;
    void OnTick() override;

   private:
    // Every tracked output and input back to state 0 (entries created as
    // needed); nobody is told.
    void ResetStates();
    // ResetStates, then OnIOFailure on the sink (dropped without a sink).
    void ReportFailure();
    std::uint32_t TrackedInputs();
    // One level-1 line when the host's counts exceed kMaxTrackedPorts.
    void ReportUntrackedPorts();
    std::uint32_t TrackedOutputs();

    IDriver* const m_driver;  // not owned
    // Written by the host's thread, read by the workers.
    std::atomic<ipcapture::IIOEventSink*> m_eventSink{nullptr};
    mutable CRecursiveLock m_stateLock;
    std::map<std::uint32_t, std::int32_t> m_inputStates GUARDED_BY(m_stateLock);
    std::map<std::uint32_t, std::int32_t> m_outputStates GUARDED_BY(m_stateLock);
};

}  // namespace brevane
