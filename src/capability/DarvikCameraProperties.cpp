#include "capability/DarvikCameraProperties.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "http/Utils.h"
#include "video/VideoTables.h"

namespace brevane {
namespace {

struct ModelRow {
    std::string_view productId;
    const char* model;
};

constexpr std::array<ModelRow, 7> kModels{{
    {"000", "TR-500"},
    {"004", "TR-501"},
    {"013", "TR-520"},
    {"021", "TP-50"},
    {"030", "TE-900"},
    {"031", "TC-810"},
    {"034", "TC-830NX"},
}};

constexpr std::int32_t kExtendedProductFrom = 40;

std::string Value(std::string_view key, const std::string& reply) {
    return Utils::GetParameter(key, ":", reply, "\r\n");
}

// The fastest rate of a standard's table (the table is ascending, but the
// largest value is taken whatever the order).
std::uint32_t HighestFrameRate(bool ntsc) {
    std::uint32_t highest = 0;
    for (const FrameRateCode& row : FrameRateTable(ntsc)) {
        highest = std::max(highest, row.framesPerSecond);
    }
    return highest;
}

}  // namespace

CDarvikCameraProperties::CDarvikCameraProperties(const DEVICE_INFO& device, std::int32_t flag)
    : CCameraPropertiesEx(device), m_client(m_device, kHttpUserAgent), m_flag(flag) {}

const char* CDarvikCameraProperties::ModelForProductId(std::string_view productId) {
    for (const ModelRow& row : kModels) {
        if (row.productId == productId) {
            return row.model;
        }
    }
    return nullptr;
}

bool CDarvikCameraProperties::Fetch(std::int32_t& errorCode) {
    // A cancel skips the queries still to come; the result stays as the
    // last query left it.
    bool result = QuerySystem();
    if (result) {
        if (!IsCancelled()) {
            result = QueryMpeg();
        }
        if (result) {
            if (!IsCancelled()) {
                QueryAudio();
                BuildResolutionList();
            }
            if (!IsCancelled()) {
                result = QueryAlarms();
            }
        }
    }
    m_capability0 = 1;
    m_codecKinds.push_back(kCodecKindMpeg4);
    m_codecKinds.push_back(kCodecKindJpeg);
    if (!result) {
        errorCode = FetchErrorCode();
    }
    return result;
}

std::int32_t CDarvikCameraProperties::FetchErrorCode() const {
    // The last exchange says whether the host should blame the credentials
    // or the network; anything else (a wrong or empty reply, another status)
    // is a plain failure.
    switch (m_client.GetLastFailure()) {
        case Web::Failure::HttpStatus: {
            const std::uint32_t status = m_client.GetStatusCode();
            return status == 401 || status == 403 ? kFetchErrorLogin : kFetchErrorFailed;
        }
        case Web::Failure::Refused:
        case Web::Failure::TimedOut:
        case Web::Failure::Address:
        case Web::Failure::Unreachable:
            return kFetchErrorOffline;
        default:
            return kFetchErrorFailed;
    }
}

bool CDarvikCameraProperties::Query(const char* path, std::string& reply) {
    std::vector<std::uint8_t> response;
    if (!Utils::SendRequestEx(path, response, m_client, nullptr)) {
        return false;
    }
    // The reply is zero-terminated text.
    reply.assign(reinterpret_cast<const char*>(response.data()));
    return !reply.empty();
}

bool CDarvikCameraProperties::QuerySystem() {
    std::string reply;
    if (!Query("/cgi-bin/get?sys", reply)) {
        return false;
    }
    const std::string productId = Value("s_prid", reply);
    if (productId.empty()) {
        return false;
    }
    std::int32_t number = 0;
    if (Utils::ParseInt(productId, number) && number >= kExtendedProductFrom) {
        m_extendedProduct = true;
    }
    const char* model = ModelForProductId(productId);
    m_modelName = std::string(kVendorWord) + " " + (model != nullptr ? model : productId);
    return true;
}

bool CDarvikCameraProperties::QueryMpeg() {
    std::string reply;
    if (!Query("/cgi-bin/get?mpg", reply)) {
        return false;
    }
    const std::string type = Value("m_type", reply);
    if (type == "1") {
        m_ntsc = 0;
        return true;
    }
    if (type == "0") {
        m_ntsc = 1;
        return true;
    }
    return false;
}

void CDarvikCameraProperties::QueryAudio() {
    std::string reply;
    if (!Query("/cgi-bin/get?aud", reply)) {
        return;
    }
    const std::string type = Value("a_type", reply);
    if (!type.empty() && type != "0") {
        m_hasAudio = true;
    }
}

void CDarvikCameraProperties::BuildResolutionList() {
    const bool ntsc = m_ntsc == 1;
    const std::uint32_t rate = HighestFrameRate(ntsc);
    const std::uint32_t interval = rate != 0 ? 1000 / rate : 0;
    for (const ResolutionCode& row : ResolutionTable(ntsc)) {
        VideoResolution resolution;
        resolution.width = static_cast<std::uint16_t>(row.width);
        resolution.height = static_cast<std::uint16_t>(row.height);
        resolution.frameIntervals.push_back(interval);
        const bool duplicate =
            resolution.width != 0 &&
            std::any_of(m_resolutions.begin(), m_resolutions.end(), [&](const VideoResolution& known) {
                return known.width == resolution.width && known.height == resolution.height;
            });
        if (!duplicate) {
            m_resolutions.push_back(std::move(resolution));
        }
    }
}

bool CDarvikCameraProperties::QueryAlarms() {
    std::string reply;
    if (!Query("/cgi-bin/get?alm", reply)) {
        return false;
    }
    std::int32_t inputs = 0;
    if (Utils::ParseInt(Value("a_snum", reply), inputs)) {
        m_alarmInputs = std::clamp(inputs, 0, kMaxAlarmInputs);
    }
    // Outputs are the consecutive keys a_aoa1, a_aoa2, ...
    std::int32_t outputs = 0;
    while (outputs < kMaxAlarmOutputs &&
           !Value("a_aoa" + std::to_string(outputs + 1), reply).empty()) {
        ++outputs;
    }
    m_alarmOutputs = outputs;
    return true;
}

bool CDarvikCameraProperties::Save(ipcapture::ICapabilitySink* sink) {
    if (sink == nullptr) {
        return false;
    }
    const bool ntsc = m_ntsc == 1;
    if (ipcapture::ICapabilityFrameIntervalList* list = sink->GetFrameIntervalList(1)) {
        for (const FrameRateCode& row : FrameRateTable(ntsc)) {
            if (row.framesPerSecond != 0) {
                list->AddFrameInterval(static_cast<std::int32_t>(1000 / row.framesPerSecond));
            }
        }
    }
    sink->SetCapability(kCapabilityFixed11, 0);
    sink->SetCapability(kCapabilityFixed12, 0);
    if (!CCameraPropertiesEx::Save(sink)) {
        return false;
    }
    if (ipcapture::ICapabilityParameter* parameter = sink->AddParameter(1)) {
        parameter->SetName("Video standard");
        parameter->SetSlot6(0);
        parameter->SetSlot4(0);
        parameter->SetValue(ntsc ? "1" : "0");
    }
    return true;
}

}  // namespace brevane
