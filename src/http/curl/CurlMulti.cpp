#include "http/curl/CurlMulti.h"

#include <algorithm>

#include "http/curl/CurlGlobal.h"
#include "http/curl/CurlResponse.h"

namespace Web {

namespace {

brevane::Mutex g_sharedMutex;
// The handle while any session holds it. Only Acquire reads it, so it may
// go with the module while a last session is still ending.
std::weak_ptr<CCurlMulti> g_shared GUARDED_BY(g_sharedMutex);

}  // namespace

// --- Turn ---

CCurlMulti::Turn::Turn(CCurlMulti& multi, bool onlyIfFree) : m_multi(multi) {
    brevane::UniqueMutexLock lock(multi.m_turnMutex);
    if (onlyIfFree && multi.m_nextTicket != multi.m_serving) {
        return;
    }
    m_owns = true;
    const std::uint64_t ticket = multi.m_nextTicket++;
    if (ticket != multi.m_serving) {
        // The driver may sit in a poll for a while; make it give up its turn.
        lock.unlock();
        multi.Wake();
        lock.lock();
        const auto served = [&]() REQUIRES(multi.m_turnMutex) { return multi.m_serving == ticket; };
        multi.m_turnChanged.wait(lock.Native(), served);
    }
}

CCurlMulti::Turn::~Turn() {
    if (!m_owns) {
        return;
    }
    {
        brevane::MutexLock lock(m_multi.m_turnMutex);
        ++m_multi.m_serving;
    }
    m_multi.m_turnChanged.notify_all();
}

// --- CCurlMulti ---

std::shared_ptr<CCurlMulti> CCurlMulti::Acquire() {
    if (!EnsureCurlGlobalInit()) {
        return nullptr;
    }
    brevane::MutexLock lock(g_sharedMutex);
    if (std::shared_ptr<CCurlMulti> shared = g_shared.lock()) {
        return shared;
    }
    CURLM* handle = curl_multi_init();
    if (handle == nullptr) {
        return nullptr;
    }
    // Every client's transfers share the handle, so a per-host connection
    // limit here would bind cameras together; each client runs at most a
    // request and a closing response at once. No multiplexing: each exchange
    // has a connection of its own while its body is open.
    curl_multi_setopt(handle, CURLMOPT_PIPELINING, CURLPIPE_NOTHING);
    std::shared_ptr<CCurlMulti> shared(new CCurlMulti(handle));
    g_shared = shared;
    return shared;
}

CCurlMulti::CCurlMulti(CURLM* multi) : m_multi(multi) {}

CCurlMulti::~CCurlMulti() {
    // Every response holds its session and every session this handle, so no
    // transfer is left in it.
    curl_multi_cleanup(m_multi);
}

void CCurlMulti::Wake() { curl_multi_wakeup(m_multi); }

bool CCurlMulti::Attach(CCurlResponse& response) {
    Turn turn(*this);
    if (curl_multi_add_handle(m_multi, response.Easy()) != CURLM_OK) {
        return false;
    }
    m_live.push_back(&response);
    return true;
}

void CCurlMulti::Detach(CCurlResponse& response) {
    Turn turn(*this);
    m_live.erase(std::remove(m_live.begin(), m_live.end(), &response), m_live.end());
    curl_multi_remove_handle(m_multi, response.Easy());
}

void CCurlMulti::ResumeDrained() {
    for (CCurlResponse* response : m_live) {
        if (response->TakeResume()) {
            // May deliver the held-back data to the write callback at once.
            curl_easy_pause(response->Easy(), CURLPAUSE_CONT);
        }
    }
}

void CCurlMulti::CollectFinished() {
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        void* owner = nullptr;
        if (curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner) == CURLE_OK &&
            owner != nullptr) {
            static_cast<CCurlResponse*>(owner)->OnDone(message->data.result);
        }
    }
}

bool CCurlMulti::Perform() {
    ResumeDrained();
    int running = 0;
    const CURLMcode performed = curl_multi_perform(m_multi, &running);
    CollectFinished();
    return performed == CURLM_OK;
}

bool CCurlMulti::Poll(std::uint64_t timeoutMs) {
    return curl_multi_poll(m_multi, nullptr, 0, static_cast<int>(timeoutMs), nullptr) == CURLM_OK;
}

}  // namespace Web
