// IPrepositionComm: the camera's preset commands as the preset list uses
// them. The PTZ command object implements it; the commands run
// synchronously on the caller's thread, outside the PTZ command queue.
// Through its IDebugMessage base the preset list writes its log lines.
//
// Owned by the PTZ control (as part of its command object); the preset list
// holds a non-owning pointer while the control is open. Called on the host's
// threads.
#pragma once

#include <cstdint>

#include "core/DebugMessage.h"

namespace brevane {

class IPrepositionComm : public virtual IDebugMessage {
   public:
    ~IPrepositionComm() override = default;

    // Store the camera's current position as preset `number`.
    virtual bool SavePreposition(std::uint32_t number, const char* reserved) = 0;
    // Move the camera to preset `number`.
    virtual bool MoveToPreposition(std::uint32_t number, const char* reserved1, std::int32_t reserved2) = 0;
    // Forget preset `number` on the camera.
    virtual bool DeletePreposition(std::uint32_t number, const char* reserved) = 0;
};

}  // namespace brevane
