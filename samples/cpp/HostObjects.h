// The objects a host hands to DarvikIPCapture, as C++ classes deriving the
// public interfaces of include/darvik. Copy and adapt them.
//
// Each class fills slot 0 with DARVIK_IMPLEMENT_SLOT0 and has a virtual
// destructor, so deleting one through slot 0 destroys the whole object. The
// module never destroys a host object and never calls slot 0 of one; the
// slot is there because every later slot is found by its position.
//
// Ownership: the host owns all of these; the module keeps pointers to some
// (message sink and frame allocator until Close, a frame receiver until its
// channel stops, the event sink until ICaptureIOApi::Stop) and copies every
// text it is given. Texts the module hands in are valid only during the
// call, so the objects below copy what they keep.
//
// Threads: which module thread calls which object is said at each class.
// What one thread records and another reads goes through the counters of
// ModuleLoader.h.
#pragma once

#include <stdio.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>

#include "ModuleLoader.h"
#include "darvik/DarvikIPCapture.h"

namespace sample {

using namespace brevane::ipcapture;
using brevane::ICaptureIOApi;
using brevane::IIPPTZApi;
using brevane::IIPPTZDriver;

// Copies a NUL-terminated text into a fixed buffer, cutting it if needed.
template <std::size_t Size>
void CopyText(char (&target)[Size], const char* text) {
    const std::size_t length = text != nullptr ? std::strlen(text) : 0;
    const std::size_t kept = length < Size ? length : Size - 1;
    if (kept > 0) {
        std::memcpy(target, text, kept);
    }
    target[kept] = '\0';
}

// ---- Open: parameters, connection settings, device description ----------
// Called only inside IIPCaptureDriver::Open, on the host's thread; every
// value is copied by the module.

class ConnectionSettings : public IConnectionSettings {
   public:
    DARVIK_IMPLEMENT_SLOT0(ConnectionSettings)
    ConnectionSettings(const char* address, std::uint16_t port, const char* user, const char* password)
        : m_address(address), m_port(port), m_user(user), m_password(password) {}
    virtual ~ConnectionSettings() = default;

    const char* DARVIK_SLOT GetAddress() override { return m_address; }
    std::uint16_t DARVIK_SLOT GetPort() override { return m_port; }
    std::int32_t DARVIK_SLOT GetStreamType() override { return 1; }  // 1 motion JPEG, 2 MPEG-4
    const char* DARVIK_SLOT GetUserName() override { return m_user; }
    const char* DARVIK_SLOT GetPassword() override { return m_password; }

   private:
    const char* m_address;
    std::uint16_t m_port;
    const char* m_user;
    const char* m_password;
};

class DeviceDescription : public IDeviceDescription {
   public:
    DARVIK_IMPLEMENT_SLOT0(DeviceDescription)
    DeviceDescription(const char* model, std::uint32_t inputs, std::uint32_t outputs)
        : m_model(model), m_inputs(inputs), m_outputs(outputs) {}
    virtual ~DeviceDescription() = default;

    const char* DARVIK_SLOT GetModelName() override { return m_model; }
    std::uint32_t DARVIK_SLOT GetChannelCount() override { return 1; }
    std::uint32_t DARVIK_SLOT GetInputCount() override { return m_inputs; }
    std::uint32_t DARVIK_SLOT GetOutputCount() override { return m_outputs; }

   private:
    const char* m_model;
    std::uint32_t m_inputs;
    std::uint32_t m_outputs;
};

class OpenParameters : public IOpenParameters {
   public:
    DARVIK_IMPLEMENT_SLOT0(OpenParameters)
    // videoStandard: custom parameter 1, "0" PAL or "1" NTSC; Open fails
    // without it.
    OpenParameters(IDeviceDescription* device, IConnectionSettings* connection, const char* videoStandard)
        : m_device(device), m_connection(connection), m_videoStandard(videoStandard) {}
    virtual ~OpenParameters() = default;

    IDeviceDescription* DARVIK_SLOT GetDeviceDescription() override { return m_device; }
    IConnectionSettings* DARVIK_SLOT GetConnectionSettings() override { return m_connection; }
    // Asked for 1, 2, 3 ... until null.
    const char* DARVIK_SLOT GetCustomParameterText(std::uint32_t index) override {
        return index == 1 ? m_videoStandard : nullptr;
    }

   private:
    IDeviceDescription* m_device;
    IConnectionSettings* m_connection;
    const char* m_videoStandard;
};

// ---- Messages -------------------------------------------------------------
// Called concurrently from every module thread: printf writes each line
// whole, and the counters need no lock.

class MessageSink : public IMessageSink {
   public:
    DARVIK_IMPLEMENT_SLOT0(MessageSink)
    virtual ~MessageSink() = default;

    void DARVIK_SLOT OnMessage(CDebugInfoIf* message) override {
        const char* text = message->GetText();
        if (text == nullptr) {
            text = "";
        }
        printf("  module [%d] %s\n", static_cast<int>(message->GetLevel()), text);
        CounterIncrement(&m_lines);
        if (message->GetLevel() == 1) {
            CounterIncrement(&m_failures);
        }
        if (std::strstr(text, "DRIVER IS OPENED") != nullptr) {
            CounterIncrement(&m_openedLines);
        }
    }

    long Lines() { return CounterRead(&m_lines); }
    long Failures() { return CounterRead(&m_failures); }
    long OpenedLines() { return CounterRead(&m_openedLines); }

   private:
    volatile long m_lines = 0;
    volatile long m_failures = 0;
    volatile long m_openedLines = 0;
};

// ---- Frames -----------------------------------------------------------------
// The module asks the allocator for a frame, describes the picture, copies it
// into GetBuffer(), offers it to the channel's receiver and releases it, all
// on the channel's worker thread. The frames live in a small pool that
// several channels may share: taking and returning a frame are atomic.

class Frame : public IFrame {
   public:
    DARVIK_IMPLEMENT_SLOT0(Frame)
    Frame() = default;
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    virtual ~Frame() { free(m_buffer); }

    std::uint8_t* DARVIK_SLOT GetBuffer() override { return m_buffer; }
    void DARVIK_SLOT SetDataSize(std::uint32_t size) override { m_size = size; }
    void DARVIK_SLOT PrepareBuffer() override {}
    void DARVIK_SLOT SetFormat(std::uint32_t formatCode) override { m_format = formatCode; }
    void DARVIK_SLOT SetHeight(std::uint32_t height) override { m_height = height; }
    void DARVIK_SLOT SetWidth(std::uint32_t width) override { m_width = width; }
    void DARVIK_SLOT SetSizeClass(std::int32_t sizeClass) override { m_sizeClass = sizeClass; }

    // Takes the frame for one picture of `capacity` bytes; false when it is
    // in use or the memory cannot be had.
    bool Take(std::uint32_t capacity) {
        if (!CounterSwap(&m_inUse, 0, 1)) {
            return false;
        }
        if (capacity > m_capacity) {
            void* grown = realloc(m_buffer, capacity);
            if (grown == nullptr) {
                CounterWrite(&m_inUse, 0);
                return false;
            }
            m_buffer = static_cast<std::uint8_t*>(grown);
            m_capacity = capacity;
        }
        m_size = m_width = m_height = m_format = 0;
        m_sizeClass = 0;
        return true;
    }
    void Give() { CounterWrite(&m_inUse, 0); }

    const std::uint8_t* Data() const { return m_buffer; }
    std::uint32_t Size() const { return m_size; }
    std::uint32_t Capacity() const { return m_capacity; }
    std::uint32_t Format() const { return m_format; }
    std::uint32_t Width() const { return m_width; }
    std::uint32_t Height() const { return m_height; }
    std::int32_t SizeClass() const { return m_sizeClass; }

   private:
    volatile long m_inUse = 0;
    std::uint8_t* m_buffer = nullptr;
    std::uint32_t m_capacity = 0;
    std::uint32_t m_size = 0;
    std::uint32_t m_format = 0;
    std::uint32_t m_width = 0;
    std::uint32_t m_height = 0;
    std::int32_t m_sizeClass = 0;
};

class FrameAllocator : public IFrameAllocator {
   public:
    DARVIK_IMPLEMENT_SLOT0(FrameAllocator)
    virtual ~FrameAllocator() = default;

    // Null when every frame is in use: the module then drops that picture.
    IFrame* DARVIK_SLOT AllocateFrame(std::uint32_t, std::uint32_t bufferSize, const char* sourceName) override {
        if (sourceName == nullptr || std::strcmp(sourceName, brevane::contract::kFrameSourceName) != 0) {
            CounterIncrement(&m_wrongSource);
        }
        for (Frame& frame : m_frames) {
            if (frame.Take(bufferSize)) {
                return &frame;
            }
        }
        return nullptr;
    }
    void DARVIK_SLOT ReleaseFrame(IFrame* frame) override {
        for (Frame& own : m_frames) {
            if (&own == frame) {
                own.Give();
                return;
            }
        }
        CounterIncrement(&m_foreignReleases);  // not one of ours: a fault
    }

    long WrongSources() { return CounterRead(&m_wrongSource); }
    long ForeignReleases() { return CounterRead(&m_foreignReleases); }

   private:
    Frame m_frames[4];
    volatile long m_wrongSource = 0;
    volatile long m_foreignReleases = 0;
};

// Receives the pictures of one channel on its worker thread and checks each:
// a whole JPEG picture (FF D8 ... FF D9) of the requested width, within the
// buffer the module asked for. A real host would hand it on to its recorder.
class FrameReceiver : public IFrameReceiver {
   public:
    DARVIK_IMPLEMENT_SLOT0(FrameReceiver)
    explicit FrameReceiver(std::uint32_t width) : m_width(width) {}
    virtual ~FrameReceiver() = default;

    bool DARVIK_SLOT DeliverFrame(IFrame* frame) override {
        // Every frame the module offers came from our allocator.
        const Frame* picture = static_cast<Frame*>(frame);
        const std::uint8_t* data = picture->Data();
        const std::uint32_t size = picture->Size();
        const bool whole = size >= 4 && size <= picture->Capacity() && data[0] == 0xFF && data[1] == 0xD8 &&
                           data[size - 2] == 0xFF && data[size - 1] == 0xD9;
        const bool described = picture->Format() == brevane::contract::kFormatJpeg &&
                               picture->Width() == m_width && picture->Height() > 0 &&
                               picture->SizeClass() >= 2 && picture->SizeClass() <= 4;
        if (!whole || !described) {
            if (CounterIncrement(&m_bad) == 1) {
                printf("FAIL  picture: %u bytes, format 0x%08x, %ux%u, size class %d\n",
                            static_cast<unsigned>(size), static_cast<unsigned>(picture->Format()),
                            static_cast<unsigned>(picture->Width()), static_cast<unsigned>(picture->Height()),
                            static_cast<int>(picture->SizeClass()));
            }
            return true;
        }
        CounterWrite(&m_lastHeight, static_cast<long>(picture->Height()));
        CounterIncrement(&m_good);
        return true;
    }
    void DARVIK_SLOT OnSignalLost() override { CounterIncrement(&m_signalLost); }

    long Good() { return CounterRead(&m_good); }
    long Bad() { return CounterRead(&m_bad); }
    long LastHeight() { return CounterRead(&m_lastHeight); }

   private:
    std::uint32_t m_width;
    volatile long m_good = 0;
    volatile long m_bad = 0;
    volatile long m_signalLost = 0;
    volatile long m_lastHeight = 0;
};

// ---- Stream settings ------------------------------------------------------
// Read during StartChannel on the host's thread.

class Resolution : public IResolution {
   public:
    DARVIK_IMPLEMENT_SLOT0(Resolution)
    Resolution(std::uint16_t width, std::uint16_t height) : m_width(width), m_height(height) {}
    virtual ~Resolution() = default;
    std::uint16_t DARVIK_SLOT GetWidth() override { return m_width; }
    std::uint16_t DARVIK_SLOT GetHeight() override { return m_height; }

   private:
    std::uint16_t m_width;
    std::uint16_t m_height;
};

class VideoFormat : public IVideoFormat {
   public:
    DARVIK_IMPLEMENT_SLOT0(VideoFormat)
    explicit VideoFormat(IResolution* resolution) : m_resolution(resolution) {}
    virtual ~VideoFormat() = default;
    IResolution* DARVIK_SLOT GetResolution() override { return m_resolution; }

   private:
    IResolution* m_resolution;
};

class EncodingSettings : public IEncodingSettings {
   public:
    DARVIK_IMPLEMENT_SLOT0(EncodingSettings)
    EncodingSettings(std::uint16_t frameIntervalMs, std::uint16_t quality)
        : m_frameIntervalMs(frameIntervalMs), m_quality(quality) {}
    virtual ~EncodingSettings() = default;
    std::uint16_t DARVIK_SLOT GetFrameInterval() override { return m_frameIntervalMs; }
    std::uint16_t DARVIK_SLOT GetQuality() override { return m_quality; }

   private:
    std::uint16_t m_frameIntervalMs;
    std::uint16_t m_quality;
};

class StreamSettings : public IStreamSettings {
   public:
    DARVIK_IMPLEMENT_SLOT0(StreamSettings)
    StreamSettings(IVideoFormat* format, IEncodingSettings* encoding) : m_format(format), m_encoding(encoding) {}
    virtual ~StreamSettings() = default;
    IVideoFormat* DARVIK_SLOT GetVideoFormat() override { return m_format; }
    IEncodingSettings* DARVIK_SLOT GetEncoding() override { return m_encoding; }

   private:
    IVideoFormat* m_format;
    IEncodingSettings* m_encoding;
};

// ---- Capability query -------------------------------------------------------
// The sink and the objects it returns are written on the module's fetching
// thread; the callback follows on the same thread, after the last sink call.
// The main thread reads the findings only after the callback said so.

class CapabilityTextField : public ICapabilityTextField {
   public:
    DARVIK_IMPLEMENT_SLOT0(CapabilityTextField)
    virtual ~CapabilityTextField() = default;
    void DARVIK_SLOT SetText(const char* text) override { CopyText(m_text, text); }
    const char* Text() const { return m_text; }

   private:
    char m_text[128] = {};
};

// The module calls SetName, then the two attributes, then SetValue.
class CapabilityParameter : public ICapabilityParameter {
   public:
    DARVIK_IMPLEMENT_SLOT0(CapabilityParameter)
    virtual ~CapabilityParameter() = default;
    void DARVIK_SLOT SetValue(const char* value) override {
        if (std::strcmp(m_name, "Video standard") == 0) {
            CopyText(m_videoStandard, value);
        }
    }
    void DARVIK_SLOT SetSlot4(std::int32_t) override {}
    void DARVIK_SLOT SetName(const char* name) override { CopyText(m_name, name); }
    void DARVIK_SLOT SetSlot6(std::int32_t) override {}
    // "0" PAL, "1" NTSC, or empty when the camera did not say.
    const char* VideoStandard() const { return m_videoStandard; }

   private:
    char m_name[64] = {};
    char m_videoStandard[8] = {};
};

class CapabilityResolutionList : public ICapabilityResolutionList {
   public:
    DARVIK_IMPLEMENT_SLOT0(CapabilityResolutionList)
    virtual ~CapabilityResolutionList() = default;
    void DARVIK_SLOT AddResolution(const char* name, std::int32_t width, std::int32_t height,
                                   std::int32_t frameIntervalMs) override {
        printf("      resolution %s (%dx%d, %d ms)\n", name, static_cast<int>(width), static_cast<int>(height),
                    static_cast<int>(frameIntervalMs));
        ++m_count;
    }
    int Count() const { return m_count; }

   private:
    int m_count = 0;
};

class CapabilityFrameIntervalList : public ICapabilityFrameIntervalList {
   public:
    DARVIK_IMPLEMENT_SLOT0(CapabilityFrameIntervalList)
    virtual ~CapabilityFrameIntervalList() = default;
    void DARVIK_SLOT AddFrameInterval(std::int32_t frameIntervalMs) override {
        if (frameIntervalMs > 0) {
            ++m_count;
        }
    }
    int Count() const { return m_count; }

   private:
    int m_count = 0;
};

class CapabilitySink : public ICapabilitySink {
   public:
    DARVIK_IMPLEMENT_SLOT0(CapabilitySink)
    virtual ~CapabilitySink() = default;

    std::int32_t DARVIK_SLOT SetCapability(std::int32_t id, std::int32_t value) override {
        if (id >= 0 && id < kIds) {
            m_values[id] = value;
        }
        return 1;
    }
    void DARVIK_SLOT SetModelName(const char* name) override { CopyText(m_model, name); }
    // Index 1 address, 2 port, 3 user name, 4 password.
    ICapabilityTextField* DARVIK_SLOT GetConnectionField(std::int32_t index) override {
        return index >= 1 && index <= 4 ? &m_fields[index - 1] : &m_ignoredField;
    }
    ICapabilityParameter* DARVIK_SLOT AddParameter(std::int32_t) override { return &m_parameter; }
    ICapabilityResolutionList* DARVIK_SLOT GetResolutionList() override { return &m_resolutions; }
    ICapabilityFrameIntervalList* DARVIK_SLOT GetFrameIntervalList(std::int32_t) override { return &m_intervals; }

    // Capability ids: 0 the camera answered, 2 alarm inputs, 3 relay outputs.
    std::int32_t Value(int id) const { return id >= 0 && id < kIds ? m_values[id] : 0; }
    const char* Model() const { return m_model; }
    const char* VideoStandard() const { return m_parameter.VideoStandard(); }
    const char* Address() const { return m_fields[0].Text(); }
    int Resolutions() const { return m_resolutions.Count(); }
    int FrameIntervals() const { return m_intervals.Count(); }

   private:
    static constexpr int kIds = 16;
    std::int32_t m_values[kIds] = {};
    char m_model[128] = {};
    CapabilityTextField m_fields[4];
    CapabilityTextField m_ignoredField;
    CapabilityParameter m_parameter;
    CapabilityResolutionList m_resolutions;
    CapabilityFrameIntervalList m_intervals;
};

// Exactly one of the three is called per started query.
class QueryCallback : public ICapabilityQueryCallback {
   public:
    DARVIK_IMPLEMENT_SLOT0(QueryCallback)
    virtual ~QueryCallback() = default;

    enum Outcome : long { kPending = 0, kSucceeded = 1, kFailed = 2, kAborted = 3 };

    void DARVIK_SLOT OnQuerySucceeded() override { CounterWrite(&m_outcome, kSucceeded); }
    void DARVIK_SLOT OnQueryFailed(std::int32_t errorCode, const char* message) override {
        printf("      query failed: %d %s\n", static_cast<int>(errorCode), message != nullptr ? message : "");
        CounterWrite(&m_outcome, kFailed);
    }
    void DARVIK_SLOT OnQueryAborted() override { CounterWrite(&m_outcome, kAborted); }

    long Result() { return CounterRead(&m_outcome); }

   private:
    volatile long m_outcome = kPending;
};

// ---- Digital I/O ------------------------------------------------------------
// Called on the host's thread inside ICaptureIOApi::Start (the first read of
// every input), then on the module's input and output threads.

class IOEventSink : public IIOEventSink {
   public:
    DARVIK_IMPLEMENT_SLOT0(IOEventSink)
    virtual ~IOEventSink() = default;

    void DARVIK_SLOT OnInputChanged(std::uint32_t inputIndex, std::int32_t state) override {
        printf("      input %u is %s\n", static_cast<unsigned>(inputIndex),
                    state == kIoStateHigh ? "high" : state == kIoStateLow ? "low" : "?");
        if (state == kIoStateLow || state == kIoStateHigh) {
            CounterIncrement(&m_reports);
        } else {
            CounterIncrement(&m_failures);
        }
    }
    void DARVIK_SLOT OnIOFailure() override { CounterIncrement(&m_failures); }

    long Reports() { return CounterRead(&m_reports); }
    long Failures() { return CounterRead(&m_failures); }

   private:
    volatile long m_reports = 0;
    volatile long m_failures = 0;
};

}  // namespace sample
