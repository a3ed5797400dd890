// CCopiedBodyView: body views for a response whose transport cannot show its
// own buffer (WinHTTP, or a response wrapped around another): the bytes are
// read with the response's ReadData into storage held here, which is then
// their one copy on the way to the reader, and shown from there. Bytes not
// released are shown again before anything new is read.
//
// Owned by the response it serves (CHttpResponse's default ViewData and
// ReleaseData). One reader at a time takes views; m_mutex makes a release
// from another thread safe all the same. The storage grows, while reads fill
// it, from kInitialSize to kMaxSize and stays for the response's life.
#pragma once

#include <cstdint>
#include <vector>

#include "core/Mutex.h"
#include "http/HttpClient.h"

namespace Web {

class CHttpResponse;

class CCopiedBodyView {
   public:
    static constexpr std::uint32_t kInitialSize = 64u * 1024u;
    static constexpr std::uint32_t kMaxSize = 256u * 1024u;

    // Shows the kept bytes, or reads new ones from `response` when none are
    // kept; the meaning of Web::ViewData.
    bool Show(CHttpResponse& response, BodyView* view);
    void Release(std::uint32_t count);

   private:
    brevane::Mutex m_mutex;
    std::vector<std::uint8_t> m_storage GUARDED_BY(m_mutex);
    std::uint32_t m_begin GUARDED_BY(m_mutex) = 0;  // first byte not released
    std::uint32_t m_end GUARDED_BY(m_mutex) = 0;    // end of the bytes read
};

}  // namespace Web
