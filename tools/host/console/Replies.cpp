#include "console/Replies.h"

#include <algorithm>
#include <cctype>

namespace darvik::console::reply {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string Header(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value != nullptr ? value : "";
}

void Harden(MHD_Response* response) {
    MHD_add_response_header(response, "Cache-Control", "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    // No other site may embed the pictures (or anything else) in its page.
    MHD_add_response_header(response, "Cross-Origin-Resource-Policy", "same-origin");
    MHD_add_response_header(response, "Content-Security-Policy",
                            "default-src 'self'; img-src 'self' data: blob:; frame-ancestors 'none'");
}

MHD_Result Send(MHD_Connection* connection, unsigned status, const std::string& body, const char* type) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, "Content-Type", type);
    Harden(response);
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result SendTagged(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
                      const std::string& tag) {
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    if (type != nullptr) {
        MHD_add_response_header(response, "Content-Type", type);
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, tag.c_str());
    Harden(response);
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result SendJson(MHD_Connection* connection, unsigned status, const nlohmann::json& body) {
    return Send(connection, status, body.dump(), "application/json");
}

MHD_Result SendError(MHD_Connection* connection, unsigned status, const std::string& reason) {
    return SendJson(connection, status, nlohmann::json{{"ok", false}, {"error", reason}});
}

MHD_Result SendBusy(MHD_Connection* connection, const std::string& reason) {
    const std::string body = nlohmann::json{{"ok", false}, {"error", reason}}.dump();
    MHD_Response* response =
        MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) {
        return MHD_NO;
    }
    MHD_add_response_header(response, "Content-Type", "application/json");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, "5");
    Harden(response);
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_SERVICE_UNAVAILABLE, response);
    MHD_destroy_response(response);
    return result;
}

std::string HostName(const std::string& host) {
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        return close == std::string::npos ? host : host.substr(1, close - 1);
    }
    return host.substr(0, host.find(':'));
}

MHD_Result SendStream(MHD_Connection* connection, MHD_Response* response, const std::string& type) {
    MHD_add_response_header(response, "Content-Type", type.c_str());
    Harden(response);
    const MHD_Result result = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return result;
}

}  // namespace darvik::console::reply
