// CDarvikPTZControl: the PTZ control of a Darvik camera channel; it only
// chooses the Darvik command object.
//
// Created and owned by the Darvik PTZ handler; threads as CBasePTZControl.
#pragma once

#include "ptz/BasePTZControl.h"

namespace brevane {

class CDarvikPTZControl final : public CBasePTZControl {
   public:
    using CBasePTZControl::CBasePTZControl;

    CBasePTZComm* CreateComm() override;
};

}  // namespace brevane
