// Interim: stream sources arrive with the simulator's video streams.
#include "streams/StreamSource.h"

namespace darvik::camsim {

std::unique_ptr<StreamSource> CreateStreamSource(const StreamSettings& settings, std::string* error) {
    if (error != nullptr) {
        *error = "stream \"" + settings.group + "\" is not available in this build";
    }
    return nullptr;
}

}  // namespace darvik::camsim
