// CDebugInfo: one log line as the host's message sink reads it (level and
// text). The driver builds one on its stack for each delivered line and
// destroys it when the sink's OnMessage returns; the sink copies what it
// keeps. Used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "darvik/CDebugInfoIf.h"

namespace brevane {

class CDebugInfo final : public CDebugInfoIf {
    DARVIK_IMPLEMENT_SLOT0(CDebugInfo)

   public:
    // Keeps a copy of text; an empty or null text is kept as null. When the
    // copy cannot be allocated the line has no text.
    CDebugInfo(const char* text, std::int8_t level);
    ~CDebugInfo() = default;
    CDebugInfo(const CDebugInfo&) = delete;
    CDebugInfo& operator=(const CDebugInfo&) = delete;

    std::int8_t GetLevel() override { return m_level; }
    const char* GetText() override { return m_text.get(); }

   private:
    std::int8_t m_level;
    std::unique_ptr<char[]> m_text;
};

}  // namespace brevane
