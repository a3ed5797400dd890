// The console's HTTP answers through libmicrohttpd: a body with its type,
// JSON, a refusal, a 503 that ends its connection, and the headers every
// answer carries; and the request headers the server reads.
//
// Stateless functions; libmicrohttpd's connection threads call them.
#pragma once

#include <microhttpd.h>

#include <string>

#include <nlohmann/json.hpp>

namespace darvik::console::reply {

std::string Lower(std::string text);
// A request header's value; empty when it is absent.
std::string Header(MHD_Connection* connection, const char* name);
// The host name of a Host header value ("127.0.0.1:8088", "[::1]:8088").
std::string HostName(const std::string& host);

// Headers every answer carries: nothing is cached, nothing framed, and the
// page may load nothing but its own files.
void Harden(MHD_Response* response);
MHD_Result Send(MHD_Connection* connection, unsigned status, const std::string& body, const char* type);
// A body (none for a 304: type null) with its entity tag.
MHD_Result SendTagged(MHD_Connection* connection, unsigned status, const std::string& body, const char* type,
                      const std::string& tag);
MHD_Result SendJson(MHD_Connection* connection, unsigned status, const nlohmann::json& body);
// {"ok": false, "error": reason}.
MHD_Result SendError(MHD_Connection* connection, unsigned status, const std::string& reason);
// A 503 that also ends the connection, so that a refused stream does not
// keep a connection alive.
MHD_Result SendBusy(MHD_Connection* connection, const std::string& reason);
// Queues a response made from a callback (a stream) with its type: 200.
// Takes the response.
MHD_Result SendStream(MHD_Connection* connection, MHD_Response* response, const std::string& type);

}  // namespace darvik::console::reply
