#include "capability/DarvikCapabilityQueryModule.h"

#include <new>

#include "capability/DarvikCameraProperties.h"

namespace brevane {

CCameraPropertiesEx* CDarvikCapabilityQueryModule::CreateProperties() {
    try {
        return new CDarvikCameraProperties(Device(), Flag());
    } catch (...) {
        return nullptr;
    }
}

}  // namespace brevane
