// Inert PTZ object: the driver creates it in Open so its service life cycle
// (create, second-Open refusal, Close, re-Open) is whole while the camera's
// real PTZ classes are not part of the module. Every operation fails.
// Owned by the driver, destroyed through slot 0.
#pragma once

#include <cstdint>

#include "darvik/IIPPTZ.h"

namespace brevane {

class IDriver;

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
