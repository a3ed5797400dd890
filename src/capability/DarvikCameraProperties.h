// CDarvikCameraProperties: finds out what one of the vendor's cameras is by
// four CGI queries (system, MPEG, audio, alarm) and adds the video standard's
// frame intervals and the "Video standard" parameter to the result.
//
// Created per query by CDarvikCapabilityQueryModule; Fetch and Save run on
// the module's fetching thread, Cancel and AbortRequests on the host's
// thread. The HTTP client is this object's own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "capability/CameraProperties.h"
#include "core/UserAgent.h"
#include "http/HttpClient.h"

namespace brevane {

class CDarvikCameraProperties final : public CCameraPropertiesEx {
   public:
    static constexpr const char* kVendorWord = "Darvik";
    // The alarm reply is searched for at most this many numbered outputs, so
    // a reply of endless keys cannot keep the fetching thread busy.
    static constexpr std::int32_t kMaxAlarmOutputs = 1024;
    // A larger input count ("a_snum") is reported as this many, the most
    // the digital I/O tracks, so a host that sizes its input table by the
    // result cannot be made to allocate gigabytes.
    static constexpr std::int32_t kMaxAlarmInputs = 1024;

    // flag: the module's creation flag, kept and not used.
    CDarvikCameraProperties(const DEVICE_INFO& device, std::int32_t flag);
    ~CDarvikCameraProperties() override = default;

    bool Fetch(std::int32_t& errorCode) override;
    bool Save(ipcapture::ICapabilitySink* sink) override;
    void AbortRequests() override { m_client.Abort(); }

    // The model name of a product id ("s_prid", compared exactly), or null
    // when the model table has no row for it.
    static const char* ModelForProductId(std::string_view productId);

    // 1 for the NTSC family, 0 for PAL.
    std::int32_t Standard() const { return m_ntsc; }
    std::int32_t Flag() const { return m_flag; }

   private:
    // GET of path; true with the reply text when the camera answered with a
    // non-empty body.
    bool Query(const char* path, std::string& reply);
    bool QuerySystem();
    bool QueryMpeg();
    void QueryAudio();
    void BuildResolutionList();
    bool QueryAlarms();
    // Fetch's error code for the last failed exchange: kFetchErrorLogin for
    // a refused login (401, 403), kFetchErrorOffline for a camera that could
    // not be reached, kFetchErrorFailed otherwise.
    std::int32_t FetchErrorCode() const;

    Web::CHttpClient m_client;
    std::int32_t m_ntsc = 0;  // written by Fetch, read by Save, same thread
    const std::int32_t m_flag;
};

}  // namespace brevane
