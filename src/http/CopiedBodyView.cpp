#include "http/CopiedBodyView.h"

#include <algorithm>

#include "http/Transport.h"

namespace Web {

bool CCopiedBodyView::Show(CHttpResponse& response, BodyView* view) {
    brevane::MutexLock lock(m_mutex);
    if (m_begin == m_end) {
        m_begin = 0;
        m_end = 0;
        if (m_storage.empty()) {
            m_storage.resize(kInitialSize);
        }
        std::uint32_t read = 0;
        if (!response.ReadData(m_storage.data(), static_cast<std::uint32_t>(m_storage.size()), &read)) {
            return false;
        }
        m_end = read;
        // A read that filled the storage says more was waiting: the next
        // one may take twice as much.
        if (read == m_storage.size() && m_storage.size() < kMaxSize) {
            m_storage.resize(std::min<std::size_t>(m_storage.size() * 2, kMaxSize));
        }
    }
    view->first = m_storage.data() + m_begin;
    view->firstSize = m_end - m_begin;
    return true;
}

void CCopiedBodyView::Release(std::uint32_t count) {
    brevane::MutexLock lock(m_mutex);
    m_begin += std::min(count, m_end - m_begin);
}

}  // namespace Web
