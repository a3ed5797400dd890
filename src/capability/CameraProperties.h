// What a capability query finds out about one camera, and the generic half
// of the object that finds it.
//
// CCameraProperties holds the findings (plain data). CCameraPropertiesEx adds
// the connection data, the cancel flag and the writing of the findings into
// the host's ICapabilitySink; a vendor class performs the camera queries
// (Fetch) and adds its own part of the result (Save).
//
// One object serves one query: the capability query module creates it, its
// fetching thread calls Fetch and then Save, and the host's thread may call
// Cancel or AbortRequests at any time. The object is shared through
// TSmartPtr by the module and the fetching thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "darvik/CapabilitySink.h"
#include "core/DeviceInfo.h"

namespace brevane {

// Codec kinds known to Save (the host files 1 and 2 alike).
inline constexpr std::uint32_t kCodecKindJpeg = 1;
inline constexpr std::uint32_t kCodecKindJpeg2 = 2;
inline constexpr std::uint32_t kCodecKindMpeg4 = 4;
inline constexpr std::uint32_t kCodecKind16 = 16;

// Capability ids given to ICapabilitySink::SetCapability.
inline constexpr std::int32_t kCapabilityBasic = 0;
inline constexpr std::int32_t kCapabilityExtendedProduct = 1;
inline constexpr std::int32_t kCapabilityAlarmInputs = 2;
inline constexpr std::int32_t kCapabilityAlarmOutputs = 3;
inline constexpr std::int32_t kCapabilityAudio = 4;
inline constexpr std::int32_t kCapabilityCodecMpeg4 = 6;   // per codec kind 4
inline constexpr std::int32_t kCapabilityCodecJpeg = 7;    // per codec kind 1 or 2
inline constexpr std::int32_t kCapabilityCodec16 = 8;      // per codec kind 16
// Sent with value 0 by the vendor class.
inline constexpr std::int32_t kCapabilityFixed11 = 11;
inline constexpr std::int32_t kCapabilityFixed12 = 12;

// Error codes of Fetch.
inline constexpr std::int32_t kFetchErrorLogin = 1;
inline constexpr std::int32_t kFetchErrorOffline = 2;
inline constexpr std::int32_t kFetchErrorFailed = 3;

// One supported resolution with its frame intervals (milliseconds).
struct VideoResolution {
    std::vector<std::uint32_t> frameIntervals;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
};

class CCameraProperties {
   public:
    // Codec kinds in the order found; a zero entry ends the list for Save.
    std::vector<std::uint32_t> m_codecKinds;
    // In table order, without duplicates.
    std::vector<VideoResolution> m_resolutions;
    // "Darvik <model>" once the system query succeeded.
    std::string m_modelName;
    std::int32_t m_capability0 = 0;
    std::int32_t m_alarmInputs = 0;
    std::int32_t m_alarmOutputs = 0;
    bool m_hasAudio = false;
    // Product id 40 or more.
    bool m_extendedProduct = false;
};

class CCameraPropertiesEx : public CCameraProperties {
   public:
    explicit CCameraPropertiesEx(const DEVICE_INFO& device) : m_device(device) {}
    virtual ~CCameraPropertiesEx() = default;
    CCameraPropertiesEx(const CCameraPropertiesEx&) = delete;
    CCameraPropertiesEx& operator=(const CCameraPropertiesEx&) = delete;

    // Queries the camera. False on failure, with errorCode set; on success
    // errorCode is left as it was.
    virtual bool Fetch(std::int32_t& errorCode) = 0;
    // Writes the findings into the sink. False only for a null sink, in
    // which case nothing is called. A null object returned by the sink skips
    // the step that needed it.
    virtual bool Save(ipcapture::ICapabilitySink* sink);
    // Keeps Fetch from starting another query; a request in progress goes on.
    virtual void Cancel() { m_cancel.store(true); }
    // Makes a request in progress, and every later one, fail at once.
    // Callable from any thread.
    virtual void AbortRequests() {}

    bool IsCancelled() const { return m_cancel.load(); }
    const DEVICE_INFO& Device() const { return m_device; }

   protected:
    // Written by the cancelling thread, read by the fetching thread.
    std::atomic<bool> m_cancel{false};
    const DEVICE_INFO m_device;
};

}  // namespace brevane
