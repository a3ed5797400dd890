#include "io/IOBase.h"

#include <algorithm>
#include <new>

#include "core/IDriver.h"

namespace brevane {
namespace {

using ipcapture::kIoStateLow;
using ipcapture::kIoStateUnknown;

constexpr const char* kStartName = "brevane::CIOBase::Start";

std::uint32_t Tracked(std::uint32_t count) { return std::min(count, CIOBase::kMaxTrackedPorts); }

}  // namespace

CIOBase::CIOBase(IDriver* driver) : m_driver(driver) {
    const std::uint32_t inputs = TrackedInputs();
    for (std::uint32_t i = 0; i < inputs; ++i) {
        m_inputStates[i] = kIoStateUnknown;
    }
}

CIOBase::~CIOBase() {
    // The vendor part is gone by now, so a worker still running must not get
    // another chance to call into it; vendor destructors stop them first.
    StopThreads();
}

bool CIOBase::SetEventSink(ipcapture::IIOEventSink* sink) {
    if (sink == nullptr) {
        return false;
    }
    m_eventSink.store(sink);
    return true;
}

void CIOBase::ReportUntrackedPorts() {
    if (m_driver == nullptr) {
        return;
    }
    const auto [inputs, outputs] = m_driver->GetIOCounts();
    if (inputs > kMaxTrackedPorts || outputs > kMaxTrackedPorts) {
        m_driver->DebugMessage(kLevelFailure,
                               "%s: the device is described with %u inputs and %u outputs; only the first %u of "
                               "each are tracked",
                               kStartName, static_cast<unsigned>(inputs), static_cast<unsigned>(outputs),
                               static_cast<unsigned>(kMaxTrackedPorts));
    }
}

bool CIOBase::Start() {
    try {
        ReportUntrackedPorts();
        // Initial states on the caller's thread: after construction or Stop
        // every state is 0, so a good read reports every input it covers.
        if (!ReadInputs(GetInputCount())) {
            ReportFailure();
        }
        const std::uint32_t outputs = TrackedOutputs();
        for (std::uint32_t i = 0; i < outputs; ++i) {
            {
                CLockGuard guard(m_stateLock);
                m_outputStates[i] = kIoStateLow;
            }
            if (!WriteOutput(static_cast<std::int32_t>(i), kIoStateLow)) {
                ReportFailure();
            }
        }
        // Both starts are tried; a failed one does not undo the other.
        const bool outputStarted = CWorkItemThread::Start(kOutputThreadName);
        const bool inputStarted = CTickerThread::Start(kInputThreadName);
        return outputStarted && inputStarted;
    } catch (...) {
        return false;
    }
}

bool CIOBase::Stop() {
    try {
        const bool outputStopped = CWorkItemThread::Stop();
        const bool inputStopped = CTickerThread::Stop();
        ResetStates();
        return outputStopped && inputStopped;
    } catch (...) {
        return false;
    }
}

void CIOBase::StopThreads() {
    DropEventSink();
    CWorkItemThread::Stop();
    CTickerThread::Stop();
}

std::int32_t CIOBase::GetInputCount() {
    return m_driver != nullptr ? static_cast<std::int32_t>(m_driver->GetIOCounts().first) : 0;
}

std::int32_t CIOBase::GetOutputCount() {
    return m_driver != nullptr ? static_cast<std::int32_t>(m_driver->GetIOCounts().second) : 0;
}

std::uint32_t CIOBase::TrackedInputs() {
    return m_driver != nullptr ? Tracked(m_driver->GetIOCounts().first) : 0;
}

std::uint32_t CIOBase::TrackedOutputs() {
    return m_driver != nullptr ? Tracked(m_driver->GetIOCounts().second) : 0;
}

bool CIOBase::SetOutput(std::int32_t outputIndex, std::int32_t value) {
    CWorkItem* item = new (std::nothrow) CWorkItem(outputIndex, value);
    if (item == nullptr) {
        return false;
    }
    if (!PostWorkItem(item)) {
        delete item;  // a refused item stays ours
        return false;
    }
    return true;
}

void CIOBase::ProcessWorkItem(IWorkItem* item) {
    const CWorkItem* command = dynamic_cast<const CWorkItem*>(item);
    if (command == nullptr || command->index < 0) {
        return;
    }
    const auto index = static_cast<std::uint32_t>(command->index);
    {
        CLockGuard guard(m_stateLock);
        const auto found = m_outputStates.find(index);
        // Unknown outputs are dropped; an unchanged value costs no request.
        if (found == m_outputStates.end() || found->second == command->value) {
            return;
        }
        found->second = command->value;
    }
    if (!WriteOutput(command->index, command->value)) {
        ReportFailure();
    }
}

void CIOBase::OnTick() {
    if (!ReadInputs(GetInputCount())) {
        ReportFailure();
    }
}

bool CIOBase::StoreInputState(std::uint32_t index, std::int32_t state) {
    CLockGuard guard(m_stateLock);
    const auto found = m_inputStates.find(index);
    if (found == m_inputStates.end() || found->second == state) {
        return false;
    }
    found->second = state;
    return true;
}

void CIOBase::NotifyInputChanged(std::uint32_t index, std::int32_t state) {
    ipcapture::IIOEventSink* sink = m_eventSink.load();
    if (sink == nullptr) {
        return;
    }
    try {
        sink->OnInputChanged(index, state);
    } catch (...) {
        // A throwing sink must not end the poller.
    }
}

void CIOBase::ResetStates() {
    const std::uint32_t outputs = TrackedOutputs();
    const std::uint32_t inputs = TrackedInputs();
    CLockGuard guard(m_stateLock);
    for (std::uint32_t i = 0; i < outputs; ++i) {
        m_outputStates[i] = kIoStateUnknown;
    }
    for (std::uint32_t i = 0; i < inputs; ++i) {
        m_inputStates[i] = kIoStateUnknown;
    }
}

void CIOBase::ReportFailure() {
    try {
        ResetStates();
    } catch (...) {
        // Out of memory while creating entries: the failure is still told.
    }
    ipcapture::IIOEventSink* sink = m_eventSink.load();
    if (sink == nullptr) {
        return;
    }
    try {
        sink->OnIOFailure();
    } catch (...) {
    }
}

std::map<std::uint32_t, std::int32_t> CIOBase::InputStates() const {
    CLockGuard guard(m_stateLock);
    return m_inputStates;
}

std::map<std::uint32_t, std::int32_t> CIOBase::OutputStates() const {
    CLockGuard guard(m_stateLock);
    return m_outputStates;
}

}  // namespace brevane
