// streamGet: one "GET" whose body arrives in blocks while it is received, for transfers too
// large to hold in memory. Two implementations behind one seam: libcurl (http_stream_curl.cpp)
// and the WinHTTP C API (http_stream_winhttp.cpp). Certificate errors are ignored, as fetchUrl
// ignores them. Nothing throws; failures come back in StreamResult.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace zelbrin {

struct StreamRequest {
    Text url;
    std::vector<Text> headers;  // "Name: value" lines; "Name:" alone sends an empty value
    Text proxy;                 // "host" or "host:port" (port 80 when none); empty: direct
    int connectTimeoutMs = 20000;
    int sendTimeoutMs = 20000;
    int receiveTimeoutMs = 20000;  // longest stretch without any received byte
    int maxRedirects = 10;         // 301/302/303/307/308 followed at most this often
    int receiveSize = 0;           // bytes asked for per receive; 0 leaves the client's own
};

enum class StreamError {
    none,       // the answer arrived whole (whatever its status)
    cancelled,  // the sink or the StreamCancel stopped it
    connect,    // no connection (refused, unresolved, connect time-out, TLS)
    timeout,    // no data for receiveTimeoutMs, or sending took too long
    broken,     // the connection failed mid-answer or the answer was malformed
};

struct StreamResult {
    StreamError error = StreamError::none;
    int status = 0;  // of the final answer after redirects; 0 when none arrived
};

// Receives the final answer. Returning false from either call cancels the transfer.
class StreamSink {
public:
    virtual ~StreamSink() = default;
    // Once, before any body, with the status and the header lines ("Name: value", CR LF
    // separated) of the answer that ends the redirect chain.
    virtual bool onResponse(int status, std::string_view headers) = 0;
    virtual bool onBody(const std::uint8_t* data, std::size_t size) = 0;
};

// Stops a running streamGet from another thread. A backend whose receive blocks installs an
// interrupt (closing its request, say) for the time it runs; cancel() fires it at most once.
class StreamCancel {
public:
    void cancel();
    bool cancelled() const;

    // For backends: `interrupt` runs at once when already cancelled. clearInterrupt() returns
    // only when no interrupt is running any more, so the backend may then free what it used.
    void setInterrupt(std::function<void()> interrupt);
    void clearInterrupt();

private:
    mutable std::mutex mutex_;
    bool cancelled_ = false;
    std::function<void()> interrupt_;
};

// What one connection of a transfer keeps between its requests so that they can go over the
// same kept-alive connection instead of a new one each: the client's handle. Used by one
// streamGet at a time. A backend that pools connections by itself keeps nothing in it.
class StreamSession {
public:
    StreamSession();
    ~StreamSession();
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};

// `session`: reuse its connection; none: a connection of its own for this request only.
StreamResult streamGet(const StreamRequest& request, StreamSink& sink, StreamCancel& cancel,
                       StreamSession* session = nullptr);

// The trimmed value of the first header line named `name` (ASCII case ignored); "" when none.
Text findHeader(std::string_view headers, std::string_view name);

}  // namespace zelbrin
