#include "kit/CapabilitySink.h"

namespace darvik::host {
namespace {
std::string Text(const char* text) { return text != nullptr ? text : "(null)"; }
}  // namespace

void CapabilityTextField::SetText(const char* text) {
    brevane::MutexLock lock(m_owner.m_mutex);
    m_owner.RecordLocked("ConnectionField[" + std::to_string(m_index) + "].SetText(" + Text(text) + ")");
    m_owner.m_connectionFields[m_index - 1] = text != nullptr ? text : "";
}

void CapabilityParameter::SetValue(const char* value) {
    brevane::MutexLock lock(m_owner.m_mutex);
    m_owner.RecordLocked("Parameter[" + std::to_string(m_number) + "].SetValue(" + Text(value) + ")");
    m_owner.m_parameterRecords[m_number].value = value != nullptr ? value : "";
}

void CapabilityParameter::SetSlot4(std::int32_t value) {
    brevane::MutexLock lock(m_owner.m_mutex);
    m_owner.RecordLocked("Parameter[" + std::to_string(m_number) + "].SetSlot4(" + std::to_string(value) + ")");
    m_owner.m_parameterRecords[m_number].slot4 = value;
}

void CapabilityParameter::SetName(const char* name) {
    brevane::MutexLock lock(m_owner.m_mutex);
    m_owner.RecordLocked("Parameter[" + std::to_string(m_number) + "].SetName(" + Text(name) + ")");
    m_owner.m_parameterRecords[m_number].name = name != nullptr ? name : "";
}

void CapabilityParameter::SetSlot6(std::int32_t value) {
    brevane::MutexLock lock(m_owner.m_mutex);
    m_owner.RecordLocked("Parameter[" + std::to_string(m_number) + "].SetSlot6(" + std::to_string(value) + ")");
    m_owner.m_parameterRecords[m_number].slot6 = value;
}

void CapabilityResolutionList::AddResolution(const char* name, std::int32_t width,
                                             std::int32_t height, std::int32_t frameIntervalMs) {
    brevane::MutexLock lock(m_owner.m_mutex);
    m_owner.RecordLocked("ResolutionList.AddResolution(" + Text(name) + ", " + std::to_string(width) +
                         ", " + std::to_string(height) + ", " + std::to_string(frameIntervalMs) + ")");
    if (m_owner.m_resolutions.size() < CapabilitySink::kMaxCalls) {
        m_owner.m_resolutions.push_back({name != nullptr ? name : "", width, height, frameIntervalMs});
    }
}

void CapabilityFrameIntervalList::AddFrameInterval(std::int32_t frameIntervalMs) {
    brevane::MutexLock lock(m_owner.m_mutex);
    m_owner.RecordLocked("FrameIntervalList.AddFrameInterval(" + std::to_string(frameIntervalMs) + ")");
    if (m_owner.m_frameIntervals.size() < CapabilitySink::kMaxCalls) {
        m_owner.m_frameIntervals.push_back(frameIntervalMs);
    }
}

CapabilitySink::CapabilitySink() : m_resolutionList(*this), m_frameIntervalList(*this) {
    for (std::int32_t index = 1; index <= 4; ++index) {
        m_fields.push_back(std::make_unique<CapabilityTextField>(*this, index));
    }
}

void CapabilitySink::RecordLocked(std::string call) {
    if (m_calls.size() < kMaxCalls) {
        m_calls.push_back(std::move(call));
    }
}

std::int32_t CapabilitySink::SetCapability(std::int32_t id, std::int32_t value) {
    brevane::MutexLock lock(m_mutex);
    RecordLocked("SetCapability(" + std::to_string(id) + ", " + std::to_string(value) + ")");
    m_capabilities[id] = value;
    return 1;
}

void CapabilitySink::SetModelName(const char* name) {
    brevane::MutexLock lock(m_mutex);
    RecordLocked("SetModelName(" + Text(name) + ")");
    m_modelName = name != nullptr ? name : "";
}

brevane::ipcapture::ICapabilityTextField* CapabilitySink::GetConnectionField(std::int32_t index) {
    brevane::MutexLock lock(m_mutex);
    RecordLocked("GetConnectionField(" + std::to_string(index) + ")");
    if (index < 1 || index > 4) {
        return nullptr;
    }
    return m_fields[static_cast<std::size_t>(index - 1)].get();
}

brevane::ipcapture::ICapabilityParameter* CapabilitySink::AddParameter(std::int32_t kind) {
    brevane::MutexLock lock(m_mutex);
    RecordLocked("AddParameter(" + std::to_string(kind) + ")");
    if (m_parameters.size() >= kMaxParameters) {
        return nullptr;
    }
    m_parameterRecords.emplace_back();
    m_parameters.push_back(std::make_unique<CapabilityParameter>(*this, m_parameters.size()));
    return m_parameters.back().get();
}

brevane::ipcapture::ICapabilityResolutionList* CapabilitySink::GetResolutionList() {
    brevane::MutexLock lock(m_mutex);
    RecordLocked("GetResolutionList()");
    return &m_resolutionList;
}

brevane::ipcapture::ICapabilityFrameIntervalList* CapabilitySink::GetFrameIntervalList(std::int32_t kind) {
    brevane::MutexLock lock(m_mutex);
    RecordLocked("GetFrameIntervalList(" + std::to_string(kind) + ")");
    return &m_frameIntervalList;
}

std::vector<std::string> CapabilitySink::Calls() const {
    brevane::MutexLock lock(m_mutex);
    return m_calls;
}

std::map<std::int32_t, std::int32_t> CapabilitySink::Capabilities() const {
    brevane::MutexLock lock(m_mutex);
    return m_capabilities;
}

std::string CapabilitySink::ModelName() const {
    brevane::MutexLock lock(m_mutex);
    return m_modelName;
}

std::string CapabilitySink::ConnectionField(std::int32_t index) const {
    brevane::MutexLock lock(m_mutex);
    if (index < 1 || index > 4) {
        return {};
    }
    return m_connectionFields[index - 1];
}

std::vector<CapabilityParameterRecord> CapabilitySink::Parameters() const {
    brevane::MutexLock lock(m_mutex);
    return m_parameterRecords;
}

std::vector<CapabilityResolutionRecord> CapabilitySink::Resolutions() const {
    brevane::MutexLock lock(m_mutex);
    return m_resolutions;
}

std::vector<std::int32_t> CapabilitySink::FrameIntervals() const {
    brevane::MutexLock lock(m_mutex);
    return m_frameIntervals;
}

void CapabilitySink::Clear() {
    brevane::MutexLock lock(m_mutex);
    m_calls.clear();
    m_capabilities.clear();
    m_modelName.clear();
    for (std::string& field : m_connectionFields) {
        field.clear();
    }
    m_parameterRecords.clear();
    m_parameters.clear();
    m_resolutions.clear();
    m_frameIntervals.clear();
}

}  // namespace darvik::host
