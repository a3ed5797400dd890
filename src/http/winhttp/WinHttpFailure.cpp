#include "http/winhttp/WinHttpFailure.h"

#include <winhttp.h>

namespace Web {

Failure FailureOf(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
        case ERROR_WINHTTP_OPERATION_CANCELLED:
        case ERROR_INVALID_HANDLE:
            return Failure::Aborted;
        case ERROR_WINHTTP_CANNOT_CONNECT:
            return Failure::Refused;
        case ERROR_WINHTTP_TIMEOUT:
        case WSAETIMEDOUT:  // Wine passes its socket's time-out on as it is
            return Failure::TimedOut;
        case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        case ERROR_WINHTTP_INVALID_URL:
        case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
            return Failure::Address;
        case ERROR_WINHTTP_CONNECTION_ERROR:
        case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
        case ERROR_WINHTTP_RESEND_REQUEST:
        case WSAECONNRESET:  // likewise a reset or aborted connection
        case WSAECONNABORTED:
            return Failure::Broken;
        case ERROR_WINHTTP_SECURE_FAILURE:
            return Failure::Tls;
        default:
            return Failure::Other;
    }
}

bool ReachedServer(DWORD sendError) {
    return sendError == ERROR_WINHTTP_CONNECTION_ERROR ||
           sendError == ERROR_WINHTTP_SECURE_FAILURE ||
           sendError == ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
}

}  // namespace Web
