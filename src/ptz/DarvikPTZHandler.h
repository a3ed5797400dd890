// CDarvikPTZHandler: the PTZ handler of a Darvik camera. Its preset file is
// named after the camera's MAC address ("Darvik_<MAC>.preset").
//
// Created and owned by the Darvik driver; threads as CBasePTZHandler.
#pragma once

#include <string>

#include "ptz/BasePTZHandler.h"

namespace brevane {

class CDarvikPTZHandler final : public CBasePTZHandler {
   public:
    explicit CDarvikPTZHandler(IDriver* driver);

    // Asks the camera for its MAC address ("/cgi-bin/get?net", n_madr). The
    // address, without its "-" characters, must be ASCII letters and digits
    // only: anything else could lead the file out of the settings directory.
    bool GetPresetFileName(std::string& name) override;
    CBasePTZControl* CreateControl(std::uint32_t channel, bool persistPresets) override;

    // The preset file name for a MAC address text; false when the text
    // cannot name a file.
    static bool PresetFileNameFor(const std::string& macAddress, std::string& name);
};

}  // namespace brevane
