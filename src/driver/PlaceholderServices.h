// Inert digital I/O object: the driver creates it in Open so its service
// life cycle (create, second-Open refusal, Close, re-Open) is whole while the
// camera's real I/O classes are not part of the module.
// Every operation fails. Owned by the driver, destroyed through slot 0.
#pragma once

#include <cstdint>

#include "darvik/ICaptureIOApi.h"

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

}  // namespace brevane
