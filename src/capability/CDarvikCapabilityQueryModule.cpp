#include "capability/CDarvikCapabilityQueryModule.h"

#include <new>

#include "capability/CDarvikCameraProperties.h"

namespace brevane {

CCameraPropertiesEx* CDarvikCapabilityQueryModule::CreateProperties() {
    try {
        return new CDarvikCameraProperties(Device(), Flag());
    } catch (...) {
        return nullptr;
    }
}

}  // namespace brevane
