#include "http/winhttp/WinHttpHeaders.h"

namespace Web {

namespace {

bool QueryNumber(CWinHttpRequest& request, DWORD query, std::uint32_t* value) {
    DWORD number = 0;
    DWORD size = sizeof number;
    const bool ok = request.Use([&](HINTERNET h) {
        return ::WinHttpQueryHeaders(h, query | WINHTTP_QUERY_FLAG_NUMBER,
                                     WINHTTP_HEADER_NAME_BY_INDEX, &number, &size,
                                     WINHTTP_NO_HEADER_INDEX);
    });
    *value = ok ? number : 0;
    return ok;
}

}  // namespace

bool ReadResponseHead(CWinHttpRequest& request, ResponseHead* head) {
    *head = ResponseHead{};
    if (!QueryNumber(request, WINHTTP_QUERY_STATUS_CODE, &head->status) || head->status == 0) {
        return false;
    }
    head->hasContentLength =
        QueryNumber(request, WINHTTP_QUERY_CONTENT_LENGTH, &head->contentLength);
    return true;
}

}  // namespace Web
