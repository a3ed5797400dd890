#include "driver/PlaceholderServices.h"

namespace brevane {

CPlaceholderPTZHandler::CPlaceholderPTZHandler(IDriver* driver) : m_driver(driver) {}

IIPPTZApi* CPlaceholderPTZHandler::GetPTZApi(std::uint32_t) { return nullptr; }

}  // namespace brevane
