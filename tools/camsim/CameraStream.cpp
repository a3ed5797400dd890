// The simulated camera's video streams: one response per stream request,
// fed piece by piece from a stream source on the connection's own thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include <sys/socket.h>

#include "CameraServerShared.h"
#include "ScriptedStreamSource.h"

namespace darvik::camsim::server {

namespace {

struct StreamState {
    Impl* impl = nullptr;
    MHD_Connection* connection = nullptr;  // the one connection this response is queued on
    std::unique_ptr<StreamSource> source;
    StreamPiece piece;
    std::size_t offset = 0;
    bool delayDone = true;
    bool started = false;
    std::uint64_t framesCounted = 0;
};

// Makes the connection end with a TCP reset (RST) rather than an orderly
// close, as a camera that crashes or drops its socket does: with a zero
// linger time the socket is reset when it is closed, and disconnecting it
// here sends the reset at once, before the server's own shutdown could send
// a FIN. Bytes the peer has not yet received are lost, as with a real reset.
void AbortWithReset(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (info == nullptr) {
        return;
    }
    const linger abort{1, 0};
    setsockopt(info->connect_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    sockaddr unspecified{};
    unspecified.sa_family = AF_UNSPEC;
    connect(info->connect_fd, &unspecified, sizeof unspecified);
}

ssize_t ReadStream(void* cls, std::uint64_t, char* buffer, std::size_t max) {
    auto& s = *static_cast<StreamState*>(cls);
    // A source that keeps returning empty pieces without waits must not
    // spin this thread forever.
    int emptyPieces = 0;
    for (;;) {
        if (s.started && !s.delayDone) {
            s.delayDone = true;
            if (s.piece.delayMs > 0 &&
                !s.impl->SleepUntil(Impl::Clock::now() + std::chrono::milliseconds(s.piece.delayMs))) {
                return MHD_CONTENT_READER_END_WITH_ERROR;
            }
        }
        if (s.started && s.offset < s.piece.bytes.size()) {
            const std::size_t count = std::min(max, s.piece.bytes.size() - s.offset);
            std::memcpy(buffer, s.piece.bytes.data() + s.offset, count);
            s.offset += count;
            return static_cast<ssize_t>(count);
        }
        if (s.started && s.piece.end) {
            return MHD_CONTENT_READER_END_OF_STREAM;
        }
        if (s.started && s.piece.reset) {
            AbortWithReset(s.connection);
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
        if (s.started && s.piece.stall) {
            MHD_Connection* connection = s.connection;
            s.impl->WaitForStopOrAbandon([connection] { return PeerGone(connection); });
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
        if (s.impl->Stopping()) {
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
        if (s.started && s.piece.bytes.empty() && s.piece.delayMs == 0 && ++emptyPieces > 1000) {
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
        try {
            s.piece = s.source->Next();
        } catch (const std::exception&) {
            return MHD_CONTENT_READER_END_WITH_ERROR;  // nothing may leave this C callback by exception
        }
        s.started = true;
        s.offset = 0;
        s.delayDone = false;
        const std::uint64_t frames = s.source->FramesProduced();
        if (frames > s.framesCounted) {
            s.impl->streamFrames += frames - s.framesCounted;
            s.framesCounted = frames;
        }
    }
}

void FreeStream(void* cls) {
    auto* state = static_cast<StreamState*>(cls);
    --state->impl->activeStreams;
    delete state;
}

}  // namespace

MHD_Result ServeStream(Impl& impl, MHD_Connection* connection, const std::string& group, unsigned& status) {
    if (impl.TakeStreamRefusal()) {
        status = 0;
        return MHD_NO;
    }
    StreamSettings settings;
    settings.group = group;
    settings.ntsc = impl.config.ntsc;
    const EncoderState encoder = impl.model.Encoder();
    settings.jpegQualityCode = encoder.jpegQuality;
    settings.jpegFramesPerSecond = std::max<std::uint32_t>(impl.config.jpegFramesPerSecond, 1);
    settings.unpaced = impl.config.jpegFramesPerSecond == 0;
    settings.mpegResolutionCode = encoder.applied.resolution;
    settings.mpegFrameRateCode = encoder.applied.frameRate;
    settings.mpegQuality = encoder.applied.quality;
    settings.keyFrameInterval = impl.config.keyFrameInterval;
    settings.faults = impl.StreamFaultsSnapshot();

    std::string error;
    std::unique_ptr<StreamSource> source;
    try {
        if (std::optional<StreamScript> script = impl.ScriptSnapshot()) {
            source = std::make_unique<ScriptedStreamSource>(std::move(*script));
        } else if (impl.config.streamFactory) {
            source = impl.config.streamFactory(settings, &error);
        } else if (impl.replay) {
            source = impl.replay->Create(settings, &error);
        } else {
            source = CreateStreamSource(settings, &error);
        }
    } catch (const std::exception& e) {
        error = e.what();
    }
    if (source == nullptr) {
        status = MHD_HTTP_SERVICE_UNAVAILABLE;
        return Queue(connection, status, TextResponse("Service Unavailable: " + error + "\r\n"));
    }
    const std::string contentType = source->ContentType();
    auto* state = new StreamState();
    state->impl = &impl;
    state->connection = connection;
    state->source = std::move(source);
    ++impl.activeStreams;
    MHD_Response* response =
        MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 64 * 1024, ReadStream, state, FreeStream);
    if (response == nullptr) {
        FreeStream(state);
        status = 0;
        return MHD_NO;
    }
    // Like the camera: an HTTP/1.0-style body that ends when the connection
    // closes, never chunked.
    MHD_set_response_options(response, MHD_RF_HTTP_1_0_COMPATIBLE_STRICT, MHD_RO_END);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    status = MHD_HTTP_OK;
    return Queue(connection, status, response);
}

}  // namespace darvik::camsim::server
