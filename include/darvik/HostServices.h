// Objects the host hands to the module: open parameters, message sink, frame
// allocator and frames, frame receivers, stream settings, and the digital I/O
// event sink.
//
// The host owns every one of them; the module calls them by slot and never
// destroys them. Slots the module never calls are named placeholders so the
// called slots keep their numbers (see Contract.h). Texts are 8-bit and
// NUL-terminated.
//
// Threads: IOpenParameters and its objects are called only inside Open on the
// host's thread. IMessageSink is called concurrently from every thread of the
// module. IFrameAllocator, IFrame and IFrameReceiver are called from channel
// worker threads. IIOEventSink is called from the host's thread during
// ICaptureIOApi::Start and from the digital I/O threads afterwards.
//
// Lifetime: IOpenParameters and what it returns need to live only during
// Open; every value is copied. IStreamSettings, IResolution and their kin
// need to live only during the StartChannel or RestartChannel call that is
// given them. IMessageSink and IFrameAllocator must live from Open until the
// driver is closed or deleted; an IFrameReceiver until its channel is stopped
// (StopChannel, a new StartChannel for the index, Close or deletion); an
// IIOEventSink until ICaptureIOApi::Stop returns or the driver is closed or
// deleted. After those calls return, the module does not call the object
// again.
#pragma once

#include <cstdint>

#include "darvik/Contract.h"

class CDebugInfoIf;

namespace brevane::ipcapture {

// The camera's connection data, returned by IOpenParameters slot 2. Every
// value is read once during Open and copied.
class IConnectionSettings {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @return the camera's host name or dotted address, without
    // scheme or port.
    virtual const char* DARVIK_SLOT GetAddress() = 0;                 // 1
    // Slot 2. @return the camera's HTTP port (80 for most cameras).
    virtual std::uint16_t DARVIK_SLOT GetPort() = 0;                  // 2
    virtual void DARVIK_SLOT Unused3() {}                             // 3
    // Slot 4. @return the kind of video every channel of this driver
    // streams: 1 motion JPEG over HTTP, 2 MPEG-4 over HTTP. Any other value
    // opens the driver all the same, but StartChannel then makes no channel.
    virtual std::int32_t DARVIK_SLOT GetStreamType() = 0;             // 4: 1 MJPEG, 2 MPEG
    // Slot 5. @return the user name for the camera's HTTP authentication
    // (Basic or Digest, as the camera asks); empty for none.
    virtual const char* DARVIK_SLOT GetUserName() = 0;                // 5
    // Slot 6. @return the password that goes with the user name.
    virtual const char* DARVIK_SLOT GetPassword() = 0;                // 6

   protected:
    ~IConnectionSettings() = default;
};

// What the host knows about the device, returned by IOpenParameters slot 1.
// Read once during Open and copied; the module does not ask the camera for
// these counts.
class IDeviceDescription {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                             // 1
    // Slot 2. @return the model name, used only in the driver-opened line.
    virtual const char* DARVIK_SLOT GetModelName() = 0;               // 2
    // Slot 3. @return the number of video channels: the channel indices
    // 0 .. count-1 of IIPVideoCapture. 0 gives a video capture object on
    // which every index is out of range.
    virtual std::uint32_t DARVIK_SLOT GetChannelCount() = 0;          // 3
    virtual void DARVIK_SLOT Unused4() {}                             // 4
    // Slot 5. @return the number of alarm inputs ICaptureIOApi polls.
    virtual std::uint32_t DARVIK_SLOT GetInputCount() = 0;            // 5
    // Slot 6. @return the number of relay outputs ICaptureIOApi drives.
    virtual std::uint32_t DARVIK_SLOT GetOutputCount() = 0;           // 6

   protected:
    ~IDeviceDescription() = default;
};

// Argument 3 of IIPCaptureDriver::Open. Called only during Open, on the
// host's thread; the objects it returns are asked afresh for every value and
// need to live only during Open.
class IOpenParameters {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @return the device description; not null.
    virtual IDeviceDescription* DARVIK_SLOT GetDeviceDescription() = 0;      // 1
    // Slot 2. @return the connection settings; not null.
    virtual IConnectionSettings* DARVIK_SLOT GetConnectionSettings() = 0;    // 2
    virtual void DARVIK_SLOT Unused3() {}                                    // 3
    // Custom parameter text by 1-based index, or null when there is none.
    // Slot 4. The module asks for 1, 2, 3 ... and stops at the first null, so
    // the list ends at its first gap; every text is copied. Parameter 1 is
    // the video standard and must be a whole decimal number (an optional
    // sign, then digits): 0 PAL, any other number NTSC. Without it, or with
    // anything else, Open fails.
    // @param index  1-based parameter number.
    // @return the text, or null when there is no parameter with that index.
    virtual const char* DARVIK_SLOT GetCustomParameterText(std::uint32_t index) = 0;  // 4

   protected:
    ~IOpenParameters() = default;
};

// Argument 1 of IIPCaptureDriver::Open; may be null. The message object lives
// only during the call: the sink copies what it keeps.
// Every line the module has for the operator comes here; the module keeps no
// log of its own. Lines come concurrently from the host's calling threads,
// every channel worker, the PTZ command thread and both digital I/O threads:
// OnMessage must accept concurrent calls and should return quickly (the
// calling thread waits for it). With a null sink lines are dropped.
class IMessageSink {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. One log line.
    // @param message  the line (level and text, see CDebugInfoIf.h); valid
    //                 only until OnMessage returns; never null.
    virtual void DARVIK_SLOT OnMessage(CDebugInfoIf* message) = 0;    // 1

   protected:
    ~IMessageSink() = default;
};

// One frame buffer of the host. The module calls, in this order:
// SetWidth, SetHeight, SetSizeClass, SetDataSize, SetFormat, PrepareBuffer,
// GetBuffer, then copies the data in.
// Then it offers the frame to the channel's IFrameReceiver::DeliverFrame and
// finally hands it back through IFrameAllocator::ReleaseFrame, all on the
// channel's worker thread. The module does not touch the frame after
// ReleaseFrame.
class IFrame {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                             // 1
    // Slot 2. @return the frame's writable buffer, at least as large as the
    // bufferSize given to AllocateFrame; the module copies data-size bytes
    // into it.
    virtual std::uint8_t* DARVIK_SLOT GetBuffer() = 0;                // 2
    virtual void DARVIK_SLOT Unused3() {}                             // 3
    // Slot 4. @param size  number of bytes the frame holds: the whole JPEG
    // picture, or one MPEG-4 frame (with the sequence header in front of a
    // key frame).
    virtual void DARVIK_SLOT SetDataSize(std::uint32_t size) = 0;     // 4
    // Slot 5. Called after the frame's description is complete and before
    // GetBuffer: the host makes the buffer ready for writing.
    virtual void DARVIK_SLOT PrepareBuffer() = 0;                     // 5
    virtual void DARVIK_SLOT Unused6() {}                             // 6
    virtual void DARVIK_SLOT Unused7() {}                             // 7
    virtual void DARVIK_SLOT Unused8() {}                             // 8
    virtual void DARVIK_SLOT Unused9() {}                             // 9
    // Slot 10. @param formatCode  kFormatJpeg ("JPEG"), kFormatDivx ("DIVX",
    // an MPEG-4 key frame preceded by its sequence header) or kFormatDivi
    // ("DIVI", any other MPEG-4 frame); see Contract.h.
    virtual void DARVIK_SLOT SetFormat(std::uint32_t formatCode) = 0; // 10
    virtual void DARVIK_SLOT Unused11() {}                            // 11
    // Slot 12. @param height  picture height in lines: for JPEG the height
    // read from the picture (0 until the stream's first baseline picture
    // header), for MPEG-4 the height the channel was started with.
    virtual void DARVIK_SLOT SetHeight(std::uint32_t height) = 0;     // 12
    virtual void DARVIK_SLOT Unused13() {}                            // 13
    // Slot 14. @param width  picture width in pixels, taken like the height.
    virtual void DARVIK_SLOT SetWidth(std::uint32_t width) = 0;       // 14
    virtual void DARVIK_SLOT Unused15() {}                            // 15
    // Slot 16. @param sizeClass  the picture's size class: 3 when the width
    // is below 1024 and more than twice the height (a half-height picture),
    // otherwise 2 when the width is 400 or less, otherwise 4. So 352 x 288
    // is 2, 800 x 240 is 3, 704 x 576 is 4.
    virtual void DARVIK_SLOT SetSizeClass(std::int32_t sizeClass) = 0;  // 16: 2, 3 or 4

   protected:
    ~IFrame() = default;
};

// Argument 2 of IIPCaptureDriver::Open.
// Called on channel worker threads, concurrently when several channels (or
// several drivers sharing one allocator) run: both slots must be safe to call
// from many threads at once.
class IFrameAllocator {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                             // 1
    // The buffer holds at least bufferSize bytes; null when none is free.
    // Slot 2. Gives the module an empty frame for one picture.
    // @param formatCode  kFormatJpeg, kFormatDivx or kFormatDivi.
    // @param bufferSize  the bytes the picture needs.
    // @param sourceName  always kFrameSourceName ("DarvikIPCapture"); valid
    //                    only during the call.
    // @return a frame of the host, or null when none is free: the module then
    //         drops that picture and goes on reading the stream.
    virtual IFrame* DARVIK_SLOT AllocateFrame(std::uint32_t formatCode, std::uint32_t bufferSize,
                                  const char* sourceName) = 0;  // 2
    virtual void DARVIK_SLOT Unused3() {}                             // 3
    virtual void DARVIK_SLOT Unused4() {}                             // 4
    virtual void DARVIK_SLOT Unused5() {}                             // 5
    // Each allocated frame is released exactly once, after delivery.
    // Slot 6. Hands a frame from AllocateFrame back, whether or not the
    // receiver accepted it; a host that keeps the picture copies or
    // references it in DeliverFrame.
    // @param frame  a frame from AllocateFrame of this allocator.
    virtual void DARVIK_SLOT ReleaseFrame(IFrame* frame) = 0;         // 6

   protected:
    ~IFrameAllocator() = default;
};

// Argument 2 of IIPVideoCapture::StartChannel.
// Called only on that channel's worker thread, one call at a time; one
// receiver may serve several channels, and then its calls come from several
// threads.
class IFrameReceiver {
    DARVIK_CONTRACT_SLOT0();
    // True when the host accepted the frame.
    // Slot 1. Offers one finished picture. The first accepted picture of a
    // connection reports the camera online (a level-3 line).
    // @param frame  a frame from the driver's allocator, filled; valid until
    //               the module releases it right after this call.
    // @return true when the host took the frame. False refuses it: the
    //         module releases it all the same, reports the camera offline
    //         and starts a new connection to the camera.
    virtual bool DARVIK_SLOT DeliverFrame(IFrame* frame) = 0;         // 1
    virtual void DARVIK_SLOT Unused2() {}                             // 2
    // Slot 3. An MPEG-4 channel lost its stream: the camera did not answer
    // or refused a setting, the stream broke, or no frame was accepted for
    // twice the stream time-out (10 s). The channel tries again 3 s later,
    // and says so again each time that fails. MJPEG channels never call it;
    // they report a lost camera through the channel state and the message
    // log.
    virtual void DARVIK_SLOT OnSignalLost() = 0;                      // 3

   protected:
    ~IFrameReceiver() = default;
};

// A picture size, from IVideoFormat::GetResolution and as argument 2 of
// IIPVideoCapture::RestartChannel. Read during that call only.
class IResolution {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @return the width in pixels; for MJPEG it picks the camera's
    // JPEG stream, which exists for the widths 160, 352 and 704 only (the
    // camera cannot stream any other width); for MPEG-4 it picks the
    // camera's resolution setting.
    virtual std::uint16_t DARVIK_SLOT GetWidth() = 0;                 // 1
    // Slot 2. @return the height in lines.
    virtual std::uint16_t DARVIK_SLOT GetHeight() = 0;                // 2

   protected:
    ~IResolution() = default;
};

// From IStreamSettings::GetVideoFormat.
class IVideoFormat {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                             // 1
    virtual void DARVIK_SLOT Unused2() {}                             // 2
    // Slot 3. @return the picture size to stream; not null.
    virtual IResolution* DARVIK_SLOT GetResolution() = 0;             // 3

   protected:
    ~IVideoFormat() = default;
};

// From IStreamSettings::GetEncoding.
class IEncodingSettings {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @return the wanted time between pictures in milliseconds
    // (40 for 25 pictures a second).
    virtual std::uint16_t DARVIK_SLOT GetFrameInterval() = 0;         // 1: milliseconds
    virtual void DARVIK_SLOT Unused2() {}                             // 2
    // Slot 3. @return the wanted picture quality in percent; the module
    // maps it to the camera's quality steps (for JPEG: 67 and above high,
    // 34 to 66 medium, below 34 low).
    virtual std::uint16_t DARVIK_SLOT GetQuality() = 0;               // 3: percent

   protected:
    ~IEncodingSettings() = default;
};

// Argument 3 of IIPVideoCapture::StartChannel.
// Read during StartChannel on the host's thread; each value is asked afresh
// through the chain and copied.
class IStreamSettings {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. @return the video format (picture size); not null.
    virtual IVideoFormat* DARVIK_SLOT GetVideoFormat() = 0;           // 1
    // Slot 2. @return the encoding (frame interval, quality); not null.
    virtual IEncodingSettings* DARVIK_SLOT GetEncoding() = 0;         // 2

   protected:
    ~IStreamSettings() = default;
};

// Input state codes reported through IIOEventSink::OnInputChanged.
// kIoStateUnknown is the state of every input and output after a failure or
// Stop; it is never reported, but it makes the next successful poll report
// every input afresh.
inline constexpr std::int32_t kIoStateUnknown = 0;
inline constexpr std::int32_t kIoStateLow = 1;   // the camera reports "0"
inline constexpr std::int32_t kIoStateHigh = 2;  // the camera reports "1"

// Given to ICaptureIOApi::SetEventSink.
// Called on the host's thread inside ICaptureIOApi::Start (the first read of
// the inputs and outputs) and afterwards on the module's "Digital Input
// thread" (polls every 4 s) and "Digital Output thread" (output changes).
// The two threads may call at the same time. A notification must not call
// ICaptureIOApi::Stop, Close or a Delete export: those wait for the very
// thread that is calling.
class IIOEventSink {
    DARVIK_CONTRACT_SLOT0();
    // Slot 1. An input's known state changed (or became known again after a
    // failure).
    // @param inputIndex  zero-based input number, below GetInputCount().
    // @param state       kIoStateLow or kIoStateHigh.
    virtual void DARVIK_SLOT OnInputChanged(std::uint32_t inputIndex, std::int32_t state) = 0;  // 1
    // A camera exchange failed; every state was reset to unknown just before.
    // Slot 2. Once per failed exchange, for inputs or outputs alike. There is
    // no retry beyond the next poll or the next output change; the next
    // successful poll reports every input again.
    virtual void DARVIK_SLOT OnIOFailure() = 0;                       // 2

   protected:
    ~IIOEventSink() = default;
};

}  // namespace brevane::ipcapture
