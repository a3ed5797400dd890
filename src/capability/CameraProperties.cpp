#include "capability/CameraProperties.h"

#include "http/Utils.h"

namespace brevane {

bool CCameraPropertiesEx::Save(ipcapture::ICapabilitySink* sink) {
    if (sink == nullptr) {
        return false;
    }
    sink->SetModelName(m_modelName.c_str());

    sink->SetCapability(kCapabilityBasic, m_capability0);
    if (m_alarmInputs != 0) {
        sink->SetCapability(kCapabilityAlarmInputs, m_alarmInputs);
    }
    if (m_alarmOutputs != 0) {
        sink->SetCapability(kCapabilityAlarmOutputs, m_alarmOutputs);
    }
    if (m_hasAudio) {
        sink->SetCapability(kCapabilityAudio, 1);
    }
    if (m_extendedProduct) {
        sink->SetCapability(kCapabilityExtendedProduct, 1);
    }

    for (const std::uint32_t kind : m_codecKinds) {
        if (kind == 0) {
            break;
        }
        if (kind == kCodecKindJpeg || kind == kCodecKindJpeg2) {
            sink->SetCapability(kCapabilityCodecJpeg, 1);
        } else if (kind == kCodecKindMpeg4) {
            sink->SetCapability(kCapabilityCodecMpeg4, 1);
        } else if (kind == kCodecKind16) {
            sink->SetCapability(kCapabilityCodec16, 1);
        }
    }

    if (ipcapture::ICapabilityResolutionList* list = sink->GetResolutionList()) {
        for (const VideoResolution& resolution : m_resolutions) {
            const std::string name = Utils::Format("%dx%d", static_cast<int>(resolution.width),
                                                   static_cast<int>(resolution.height));
            const std::uint32_t interval =
                resolution.frameIntervals.empty() ? 0 : resolution.frameIntervals.front();
            list->AddResolution(name.c_str(), resolution.width, resolution.height,
                                static_cast<std::int32_t>(interval));
        }
    }

    const std::string port = Utils::Format("%u", static_cast<unsigned>(m_device.port));
    const std::string* fields[] = {&m_device.address, &port, &m_device.userName, &m_device.password};
    for (std::int32_t index = 1; index <= 4; ++index) {
        if (ipcapture::ICapabilityTextField* field = sink->GetConnectionField(index)) {
            field->SetText(fields[index - 1]->c_str());
        }
    }
    return true;
}

}  // namespace brevane
