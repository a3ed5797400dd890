// Capability result sink of the reference host, with the field, parameter
// and list objects it hands out. Every call the module makes on any of them
// is recorded in order as a line of text (for exact-order checks), and the
// values are also kept in structured form.
//
// Owned by the host. The module calls it on its capability fetching thread;
// the accessors may be called from any thread. State is guarded by m_mutex,
// shared by the sink and its sub-objects.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/Mutex.h"
#include "darvik/CapabilitySink.h"

namespace darvik::host {

class CapabilitySink;

class CapabilityTextField final : public brevane::ipcapture::ICapabilityTextField {
    DARVIK_IMPLEMENT_SLOT0(CapabilityTextField)

   public:
    CapabilityTextField(CapabilitySink& owner, std::int32_t index) : m_owner(owner), m_index(index) {}
    ~CapabilityTextField() = default;
    void SetText(const char* text) override;

   private:
    CapabilitySink& m_owner;
    std::int32_t m_index;
};

class CapabilityParameter final : public brevane::ipcapture::ICapabilityParameter {
    DARVIK_IMPLEMENT_SLOT0(CapabilityParameter)

   public:
    CapabilityParameter(CapabilitySink& owner, std::size_t number) : m_owner(owner), m_number(number) {}
    ~CapabilityParameter() = default;
    void SetValue(const char* value) override;
    void SetSlot4(std::int32_t value) override;
    void SetName(const char* name) override;
    void SetSlot6(std::int32_t value) override;

   private:
    CapabilitySink& m_owner;
    std::size_t m_number;
};

class CapabilityResolutionList final : public brevane::ipcapture::ICapabilityResolutionList {
    DARVIK_IMPLEMENT_SLOT0(CapabilityResolutionList)

   public:
    explicit CapabilityResolutionList(CapabilitySink& owner) : m_owner(owner) {}
    ~CapabilityResolutionList() = default;
    void AddResolution(const char* name, std::int32_t width, std::int32_t height,
                       std::int32_t frameIntervalMs) override;

   private:
    CapabilitySink& m_owner;
};

class CapabilityFrameIntervalList final : public brevane::ipcapture::ICapabilityFrameIntervalList {
    DARVIK_IMPLEMENT_SLOT0(CapabilityFrameIntervalList)

   public:
    explicit CapabilityFrameIntervalList(CapabilitySink& owner) : m_owner(owner) {}
    ~CapabilityFrameIntervalList() = default;
    void AddFrameInterval(std::int32_t frameIntervalMs) override;

   private:
    CapabilitySink& m_owner;
};

struct CapabilityParameterRecord {
    std::string name;
    std::string value;
    std::int32_t slot4 = -1;
    std::int32_t slot6 = -1;
};

struct CapabilityResolutionRecord {
    std::string name;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t frameIntervalMs = 0;
};

class CapabilitySink final : public brevane::ipcapture::ICapabilitySink {
    DARVIK_IMPLEMENT_SLOT0(CapabilitySink)

   public:
    CapabilitySink();
    ~CapabilitySink() = default;
    CapabilitySink(const CapabilitySink&) = delete;
    CapabilitySink& operator=(const CapabilitySink&) = delete;

    std::int32_t SetCapability(std::int32_t id, std::int32_t value) override;
    void SetModelName(const char* name) override;
    // Index 1..4; null for any other index.
    brevane::ipcapture::ICapabilityTextField* GetConnectionField(std::int32_t index) override;
    // A new parameter object for each call (at most kMaxParameters, then null).
    brevane::ipcapture::ICapabilityParameter* AddParameter(std::int32_t kind) override;
    brevane::ipcapture::ICapabilityResolutionList* GetResolutionList() override;
    brevane::ipcapture::ICapabilityFrameIntervalList* GetFrameIntervalList(std::int32_t kind) override;

    // Every call in order, e.g. "SetCapability(6, 1)",
    // "Parameter[0].SetName(Video standard)", "ResolutionList.AddResolution(CIF, 352, 288, 40)".
    std::vector<std::string> Calls() const;
    std::map<std::int32_t, std::int32_t> Capabilities() const;
    std::string ModelName() const;
    // Connection field text by index 1..4 ("" when never set).
    std::string ConnectionField(std::int32_t index) const;
    std::vector<CapabilityParameterRecord> Parameters() const;
    std::vector<CapabilityResolutionRecord> Resolutions() const;
    std::vector<std::int32_t> FrameIntervals() const;
    // Forgets everything; only while no query writes into the sink.
    void Clear();

    static constexpr std::size_t kMaxParameters = 1000;
    static constexpr std::size_t kMaxCalls = 100000;

   private:
    friend class CapabilityTextField;
    friend class CapabilityParameter;
    friend class CapabilityResolutionList;
    friend class CapabilityFrameIntervalList;

    // Appends to the call record.
    void RecordLocked(std::string call) REQUIRES(m_mutex);

    mutable brevane::Mutex m_mutex;
    std::vector<std::string> m_calls GUARDED_BY(m_mutex);
    std::map<std::int32_t, std::int32_t> m_capabilities GUARDED_BY(m_mutex);
    std::string m_modelName GUARDED_BY(m_mutex);
    std::string m_connectionFields[4] GUARDED_BY(m_mutex);
    std::vector<CapabilityParameterRecord> m_parameterRecords GUARDED_BY(m_mutex);
    std::vector<CapabilityResolutionRecord> m_resolutions GUARDED_BY(m_mutex);
    std::vector<std::int32_t> m_frameIntervals GUARDED_BY(m_mutex);
    std::vector<std::unique_ptr<CapabilityTextField>> m_fields;    // fixed after construction
    std::vector<std::unique_ptr<CapabilityParameter>> m_parameters GUARDED_BY(m_mutex);
    CapabilityResolutionList m_resolutionList;
    CapabilityFrameIntervalList m_frameIntervalList;
};

}  // namespace darvik::host
