// CDarvikCapabilityQueryModule: the capability query module of the vendor's
// cameras; its queries are run by CDarvikCameraProperties.
//
// Ownership and threads as CCapabilityQueryModule.
#pragma once

#include "capability/CapabilityQueryModule.h"

namespace brevane {

class CDarvikCapabilityQueryModule final : public CCapabilityQueryModule {
   public:
    using CCapabilityQueryModule::CCapabilityQueryModule;
    ~CDarvikCapabilityQueryModule() override = default;

    CCameraPropertiesEx* CreateProperties() override;
};

}  // namespace brevane
