#include "http/curl/CurlFailure.h"

#include <cerrno>

namespace Web {

Failure FailureOfTransfer(CURLcode result, long osError) {
    switch (result) {
        case CURLE_OK:
            return Failure::None;
        case CURLE_COULDNT_CONNECT:
            // libcurl says "could not connect" for every cause; the
            // system's error tells a refusal from a missing route.
            if (osError == EHOSTUNREACH || osError == ENETUNREACH) {
                return Failure::Unreachable;
            }
            return osError == ETIMEDOUT ? Failure::TimedOut : Failure::Refused;
        case CURLE_OPERATION_TIMEDOUT:
            return Failure::TimedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_URL_MALFORMAT:
            return Failure::Address;
        case CURLE_ABORTED_BY_CALLBACK:
            return Failure::Aborted;
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_WEIRD_SERVER_REPLY:
            return Failure::Broken;
        case CURLE_SSL_CONNECT_ERROR:
            return Failure::Tls;
        default:
            return Failure::Other;
    }
}

Failure FailureOfWait(CCurlSession::WaitResult waited) {
    switch (waited) {
        case CCurlSession::WaitResult::Ready:
            return Failure::None;
        case CCurlSession::WaitResult::TimedOut:
            return Failure::TimedOut;
        case CCurlSession::WaitResult::Aborted:
        case CCurlSession::WaitResult::Closed:
            return Failure::Aborted;
        case CCurlSession::WaitResult::Failed:
            break;
    }
    return Failure::Other;
}

}  // namespace Web
