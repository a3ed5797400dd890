#include "ptz/DarvikPTZControl.h"

#include <new>

#include "ptz/DarvikPTZComm.h"

namespace brevane {

CBasePTZComm* CDarvikPTZControl::CreateComm() {
    return new (std::nothrow) CDarvikPTZComm(m_driver, static_cast<std::uint16_t>(m_channel & 0xFFFFu));
}

}  // namespace brevane
