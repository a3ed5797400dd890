#include "kit/OpenParameters.h"

namespace darvik::host {
namespace {
// Asked indices recorded at most; beyond that a runaway module would only
// grow the record.
constexpr std::size_t kMaxRecordedIndices = 1u << 20;
}  // namespace

void OpenParameters::SetCustomParameter(std::uint32_t index, std::string text) {
    m_custom[index] = std::move(text);
}

void OpenParameters::RemoveCustomParameter(std::uint32_t index) { m_custom.erase(index); }

void OpenParameters::ClearCustomParameters() { m_custom.clear(); }

void OpenParameters::SetEndlessCustomParameters(std::optional<std::string> text) {
    m_endless = std::move(text);
}

const char* OpenParameters::GetCustomParameterText(std::uint32_t index) {
    if (m_asked.size() < kMaxRecordedIndices) {
        m_asked.push_back(index);
    }
    const auto found = m_custom.find(index);
    if (found != m_custom.end()) {
        return found->second.c_str();
    }
    return m_endless ? m_endless->c_str() : nullptr;
}

}  // namespace darvik::host
