// FramedStreamSource: what the JPEG and the MPEG-4 stream sources share.
// A subclass makes the bytes of one frame unit at a time (a multipart part,
// a camera record); this class paces the units at the frame rate, cuts the
// body into pieces and injects the stream faults: garbage between units,
// pieces of chosen sizes, a stall or the end of the response after a number
// of frames or bytes, or a frame that never ends before the first one.
//
// Pacing keeps a schedule on a monotonic clock: unit k is due at the start
// plus k frame intervals, and each piece carries the wait until its newest
// unit is due, so the time spent encoding does not slow the stream down. A
// reader that falls more than one interval behind restarts the schedule
// instead of receiving a burst. Used by one thread, like every source.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "streams/StreamSource.h"

namespace darvik::camsim {

// A monotonic clock in microseconds (replaceable so tests control time).
using MicrosecondClock = std::function<std::uint64_t()>;

// The process's steady clock in microseconds.
std::uint64_t SteadyMicroseconds();

class FramedStreamSource : public StreamSource {
   public:
    FramedStreamSource(const StreamFaults& faults, std::uint64_t frameIntervalMicroseconds, MicrosecondClock clock);

    StreamPiece Next() final;
    std::uint64_t FramesProduced() const final { return m_framesProduced; }

    // The interval between frame units; 0 when unpaced.
    std::uint64_t FrameInterval() const { return m_interval; }
    // Sends every unit as soon as the reader takes the previous one.
    void Unpace() { m_interval = 0; }
    // Appends the bytes of frame unit frameIndex without the stream's faults
    // or pacing (to record a stream once and replay it).
    bool MakeFrame(std::uint64_t frameIndex, std::vector<std::uint8_t>& out) { return AppendFrame(frameIndex, out); }

   protected:
    // Appends the complete bytes of frame unit frameIndex (0, 1, ...) to out.
    // False when the frame could not be made; the response then ends.
    virtual bool AppendFrame(std::uint64_t frameIndex, std::vector<std::uint8_t>& out) = 0;
    // Appends what opens a frame (up to where its data begin), for a frame
    // that is never finished.
    virtual void AppendFrameOpening(std::vector<std::uint8_t>& out) = 0;

   private:
    // The next piece of the never-ending frame: its opening first, then
    // filler bytes, as fast as the reader takes them.
    StreamPiece NextUnended();
    // Makes the next unit (with garbage in front of every unit but the first)
    // and returns when it is due on the clock.
    std::uint64_t ProduceFrame();
    std::uint64_t ScheduleFrame();
    void AppendGarbage();
    bool MayProduce() const;
    std::size_t PendingSize() const { return m_pending.size() - m_pendingOffset; }

    StreamFaults m_faults;
    std::uint64_t m_interval;
    MicrosecondClock m_clock;
    std::uint64_t m_frameLimit = 0;  // frames after which the stream stalls or ends (0: none)
    bool m_endAtLimit = false;       // end (rather than stall) at m_frameLimit

    std::vector<std::uint8_t> m_pending;  // bytes made but not yet handed out
    std::size_t m_pendingOffset = 0;
    std::uint64_t m_framesProduced = 0;
    std::uint64_t m_bytesOut = 0;
    std::size_t m_chunkIndex = 0;
    bool m_failed = false;   // a frame could not be made
    bool m_finished = false; // a stall or end piece was handed out

    bool m_scheduled = false;
    std::uint64_t m_nextDue = 0;
    std::uint64_t m_garbageState = 0x9E3779B97F4A7C15ull;

    std::uint64_t m_unendedLeft = 0;  // filler bytes of the never-ending frame still to send
    bool m_unendedOpened = false;
};

}  // namespace darvik::camsim
