#include "driver/DebugInfo.h"

#include <cstring>
#include <new>

namespace brevane {

CDebugInfo::CDebugInfo(const char* text, std::int8_t level) : m_level(level) {
    if (text == nullptr || text[0] == '\0') {
        return;
    }
    const std::size_t length = std::strlen(text);
    m_text.reset(new (std::nothrow) char[length + 1]);
    if (m_text) {
        std::memcpy(m_text.get(), text, length + 1);
    }
}

}  // namespace brevane
