// Inert digital I/O and PTZ objects: the driver creates them in Open so its
// service life cycle (create, second-Open refusal, Close, re-Open) is whole
// while the camera's real I/O and PTZ classes are not part of the module.
// Every operation fails. Owned by the driver, destroyed through slot 0.
#pragma once

#include <cstdint>

#include "darvik/ICaptureIOApi.h"
#include "darvik/IIPPTZ.h"

namespace brevane {

class IDriver;

class CPlaceholderDigitalIO final : public ICaptureIOApi {
    DARVIK_IMPLEMENT_SLOT0(CPlaceholderDigitalIO)

   public:
    explicit CPlaceholderDigitalIO(IDriver* driver);
    ~CPlaceholderDigitalIO() = default;

    bool SetEventSink(ipcapture::IIOEventSink* sink) override;
    bool Start() override;
    bool Stop() override;
    std::int32_t GetInputCount() override;
    std::int32_t GetOutputCount() override;
    bool SetOutput(std::int32_t outputIndex, std::int32_t value) override;

   private:
    [[maybe_unused]] IDriver* m_driver;  // not owned
};

class CPlaceholderPTZHandler final : public IIPPTZDriver {
    DARVIK_IMPLEMENT_SLOT0(CPlaceholderPTZHandler)

   public:
    explicit CPlaceholderPTZHandler(IDriver* driver);
    ~CPlaceholderPTZHandler() = default;

    IIPPTZApi* GetPTZApi(std::uint32_t channel) override;

   private:
    [[maybe_unused]] IDriver* m_driver;  // not owned
};

}  // namespace brevane
