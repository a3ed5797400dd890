// What the files of the simulator's camera server share: the request
// handling with its faults and the daemon (CameraServer.cpp) call the
// authentication (CameraAuth.cpp) and the video streams (CameraStream.cpp),
// and all of them use the small libmicrohttpd helpers declared here.
#pragma once

#include <microhttpd.h>

#include <string>

#include "SimulatorImpl.h"

namespace darvik::camsim::server {

using Impl = Simulator::Impl;

// The scheme of the request's Authorization header.
AuthScheme SchemeOf(MHD_Connection* connection);
// True when the client has closed its side or the connection broke.
bool PeerGone(MHD_Connection* connection);
// A plain-text response holding a copy of `body`; null when out of memory.
MHD_Response* TextResponse(const std::string& body);
// Queues `response` (null: drops the connection) and releases it.
MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response);

// True when the request may go on; otherwise a 401 challenge is queued and
// its result left in `queued`. Right Digest credentials are answered as a
// stale nonce when impl.TakeStaleNonce() says so.
bool Authorize(Impl& impl, MHD_Connection* connection, const char* method, const char* url, AuthScheme scheme,
               MHD_Result& queued);

// Answers a stream request; `status` receives what was sent (0: nothing).
MHD_Result ServeStream(Impl& impl, MHD_Connection* connection, const std::string& group, unsigned& status);

}  // namespace darvik::camsim::server
