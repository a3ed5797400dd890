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
#pragma once

#include <cstdint>

#include "darvik/Contract.h"

class CDebugInfoIf;

namespace brevane::ipcapture {

class IConnectionSettings {
    DARVIK_CONTRACT_SLOT0();
    virtual const char* DARVIK_SLOT GetAddress() = 0;                 // 1
    virtual std::uint16_t DARVIK_SLOT GetPort() = 0;                  // 2
    virtual void DARVIK_SLOT Unused3() {}                             // 3
    virtual std::int32_t DARVIK_SLOT GetStreamType() = 0;             // 4: 1 MJPEG, 2 MPEG
    virtual const char* DARVIK_SLOT GetUserName() = 0;                // 5
    virtual const char* DARVIK_SLOT GetPassword() = 0;                // 6

   protected:
    ~IConnectionSettings() = default;
};

class IDeviceDescription {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                             // 1
    virtual const char* DARVIK_SLOT GetModelName() = 0;               // 2
    virtual std::uint32_t DARVIK_SLOT GetChannelCount() = 0;          // 3
    virtual void DARVIK_SLOT Unused4() {}                             // 4
    virtual std::uint32_t DARVIK_SLOT GetInputCount() = 0;            // 5
    virtual std::uint32_t DARVIK_SLOT GetOutputCount() = 0;           // 6

   protected:
    ~IDeviceDescription() = default;
};

// Argument 3 of IIPCaptureDriver::Open.
class IOpenParameters {
    DARVIK_CONTRACT_SLOT0();
    virtual IDeviceDescription* DARVIK_SLOT GetDeviceDescription() = 0;      // 1
    virtual IConnectionSettings* DARVIK_SLOT GetConnectionSettings() = 0;    // 2
    virtual void DARVIK_SLOT Unused3() {}                                    // 3
    // Custom parameter text by 1-based index, or null when there is none.
    virtual const char* DARVIK_SLOT GetCustomParameterText(std::uint32_t index) = 0;  // 4

   protected:
    ~IOpenParameters() = default;
};

// Argument 1 of IIPCaptureDriver::Open; may be null. The message object lives
// only during the call: the sink copies what it keeps.
class IMessageSink {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT OnMessage(CDebugInfoIf* message) = 0;    // 1

   protected:
    ~IMessageSink() = default;
};

// One frame buffer of the host. The module calls, in this order:
// SetWidth, SetHeight, SetSizeClass, SetDataSize, SetFormat, PrepareBuffer,
// GetBuffer, then copies the data in.
class IFrame {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                             // 1
    virtual std::uint8_t* DARVIK_SLOT GetBuffer() = 0;                // 2
    virtual void DARVIK_SLOT Unused3() {}                             // 3
    virtual void DARVIK_SLOT SetDataSize(std::uint32_t size) = 0;     // 4
    virtual void DARVIK_SLOT PrepareBuffer() = 0;                     // 5
    virtual void DARVIK_SLOT Unused6() {}                             // 6
    virtual void DARVIK_SLOT Unused7() {}                             // 7
    virtual void DARVIK_SLOT Unused8() {}                             // 8
    virtual void DARVIK_SLOT Unused9() {}                             // 9
    virtual void DARVIK_SLOT SetFormat(std::uint32_t formatCode) = 0; // 10
    virtual void DARVIK_SLOT Unused11() {}                            // 11
    virtual void DARVIK_SLOT SetHeight(std::uint32_t height) = 0;     // 12
    virtual void DARVIK_SLOT Unused13() {}                            // 13
    virtual void DARVIK_SLOT SetWidth(std::uint32_t width) = 0;       // 14
    virtual void DARVIK_SLOT Unused15() {}                            // 15
    virtual void DARVIK_SLOT SetSizeClass(std::int32_t sizeClass) = 0;  // 16: 2, 3 or 4

   protected:
    ~IFrame() = default;
};

// Argument 2 of IIPCaptureDriver::Open.
class IFrameAllocator {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                             // 1
    // The buffer holds at least bufferSize bytes; null when none is free.
    virtual IFrame* DARVIK_SLOT AllocateFrame(std::uint32_t formatCode, std::uint32_t bufferSize,
                                  const char* sourceName) = 0;  // 2
    virtual void DARVIK_SLOT Unused3() {}                             // 3
    virtual void DARVIK_SLOT Unused4() {}                             // 4
    virtual void DARVIK_SLOT Unused5() {}                             // 5
    // Each allocated frame is released exactly once, after delivery.
    virtual void DARVIK_SLOT ReleaseFrame(IFrame* frame) = 0;         // 6

   protected:
    ~IFrameAllocator() = default;
};

// Argument 2 of IIPVideoCapture::StartChannel.
class IFrameReceiver {
    DARVIK_CONTRACT_SLOT0();
    // True when the host accepted the frame.
    virtual bool DARVIK_SLOT DeliverFrame(IFrame* frame) = 0;         // 1
    virtual void DARVIK_SLOT Unused2() {}                             // 2
    virtual void DARVIK_SLOT OnSignalLost() = 0;                      // 3

   protected:
    ~IFrameReceiver() = default;
};

class IResolution {
    DARVIK_CONTRACT_SLOT0();
    virtual std::uint16_t DARVIK_SLOT GetWidth() = 0;                 // 1
    virtual std::uint16_t DARVIK_SLOT GetHeight() = 0;                // 2

   protected:
    ~IResolution() = default;
};

class IVideoFormat {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT Unused1() {}                             // 1
    virtual void DARVIK_SLOT Unused2() {}                             // 2
    virtual IResolution* DARVIK_SLOT GetResolution() = 0;             // 3

   protected:
    ~IVideoFormat() = default;
};

class IEncodingSettings {
    DARVIK_CONTRACT_SLOT0();
    virtual std::uint16_t DARVIK_SLOT GetFrameInterval() = 0;         // 1: milliseconds
    virtual void DARVIK_SLOT Unused2() {}                             // 2
    virtual std::uint16_t DARVIK_SLOT GetQuality() = 0;               // 3: percent

   protected:
    ~IEncodingSettings() = default;
};

// Argument 3 of IIPVideoCapture::StartChannel.
class IStreamSettings {
    DARVIK_CONTRACT_SLOT0();
    virtual IVideoFormat* DARVIK_SLOT GetVideoFormat() = 0;           // 1
    virtual IEncodingSettings* DARVIK_SLOT GetEncoding() = 0;         // 2

   protected:
    ~IStreamSettings() = default;
};

// Input state codes reported through IIOEventSink::OnInputChanged.
inline constexpr std::int32_t kIoStateUnknown = 0;
inline constexpr std::int32_t kIoStateLow = 1;   // the camera reports "0"
inline constexpr std::int32_t kIoStateHigh = 2;  // the camera reports "1"

// Given to ICaptureIOApi::SetEventSink.
class IIOEventSink {
    DARVIK_CONTRACT_SLOT0();
    virtual void DARVIK_SLOT OnInputChanged(std::uint32_t inputIndex, std::int32_t state) = 0;  // 1
    // A camera exchange failed; every state was reset to unknown just before.
    virtual void DARVIK_SLOT OnIOFailure() = 0;                       // 2

   protected:
    ~IIOEventSink() = default;
};

}  // namespace brevane::ipcapture
