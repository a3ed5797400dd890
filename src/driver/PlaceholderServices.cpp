#include "driver/PlaceholderServices.h"

namespace brevane {

CPlaceholderDigitalIO::CPlaceholderDigitalIO(IDriver* driver) : m_driver(driver) {}

bool CPlaceholderDigitalIO::SetEventSink(ipcapture::IIOEventSink*) { return false; }
bool CPlaceholderDigitalIO::Start() { return false; }
bool CPlaceholderDigitalIO::Stop() { return false; }
std::int32_t CPlaceholderDigitalIO::GetInputCount() { return 0; }
std::int32_t CPlaceholderDigitalIO::GetOutputCount() { return 0; }
bool CPlaceholderDigitalIO::SetOutput(std::int32_t, std::int32_t) { return false; }

}  // namespace brevane
