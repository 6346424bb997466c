// streamGet over a libcurl easy handle. The progress callback, which curl calls at least once
// a second even while nothing arrives, carries both the cancel and the receive time-out: curl's
// own low-speed check averages over several seconds, so a stall right after a burst of data
// would go unnoticed for far longer than the time-out.
#include "net/curl_handles.h"
#include "net/http_stream.h"

namespace zelbrin {
namespace {

struct Transfer {
    CURL* handle = nullptr;
    StreamSink* sink = nullptr;
    StreamCancel* cancel = nullptr;
    Text headers;  // of the latest answer in the redirect chain
    bool announced = false;
    bool sinkStopped = false;
    bool stalled = false;
    curl_off_t stallLimitUs = 0;
    curl_off_t lastReceived = -1;
    curl_off_t lastChangeUs = 0;

    bool announce() {
        if (announced) return true;
        announced = true;
        long status = 0;
        curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        return sink->onResponse(static_cast<int>(status), headers);
    }
};

size_t onHeaderLine(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    std::string_view line(data, size * count);
    // Every answer of a redirect chain (and a proxy's CONNECT answer) starts with its status
    // line; only the last answer's headers matter.
    if (line.starts_with("HTTP/")) {
        transfer->headers.clear();
    } else if (line != "\r\n" && line != "\n") {
        transfer->headers.append(line);
    }
    return size * count;
}

size_t onBodyBlock(char* data, size_t size, size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    size_t bytes = size * count;
    if (!transfer->announce() ||
        !transfer->sink->onBody(reinterpret_cast<const std::uint8_t*>(data), bytes)) {
        transfer->sinkStopped = true;
        return 0;  // anything but `bytes` makes curl end the transfer
    }
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    if (transfer->cancel->cancelled()) return 1;
    curl_off_t nowUs = 0;
    curl_easy_getinfo(transfer->handle, CURLINFO_TOTAL_TIME_T, &nowUs);
    if (received != transfer->lastReceived) {
        transfer->lastReceived = received;
        transfer->lastChangeUs = nowUs;
    } else if (nowUs - transfer->lastChangeUs > transfer->stallLimitUs) {
        transfer->stalled = true;
        return 1;
    }
    return 0;
}

// curl drops a header given as "Name:"; "Name;" is its spelling for an empty value.
Text curlHeaderLine(const Text& line) {
    std::size_t colon = line.find(':');
    if (colon != Text::npos && line.find_first_not_of(' ', colon + 1) == Text::npos)
        return line.substr(0, colon) + ";";
    return line;
}

Text proxyAddress(const Text& proxy) {
    if (proxy.empty()) return {};
    return "http://" + proxy + (proxy.find(':') == Text::npos ? ":80" : "");
}

StreamError classify(CURLcode code, const Transfer& transfer) {
    switch (code) {
        case CURLE_OK:
            return StreamError::none;
        case CURLE_ABORTED_BY_CALLBACK:
            return transfer.stalled ? StreamError::timeout : StreamError::cancelled;
        case CURLE_WRITE_ERROR:
            return transfer.sinkStopped ? StreamError::cancelled : StreamError::broken;
        case CURLE_OPERATION_TIMEDOUT:
            return StreamError::timeout;
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_SSL_CONNECT_ERROR:
            return StreamError::connect;
        default:
            return StreamError::broken;
    }
}

}  // namespace

// The easy handle carries libcurl's connection cache: the next request of the same session to
// the same host goes over the connection the last one left open.
struct StreamSession::Impl {
    EasyHandle easy = newEasyHandle();
};

StreamSession::StreamSession() : impl_(std::make_unique<Impl>()) {}
StreamSession::~StreamSession() = default;

StreamResult streamGet(const StreamRequest& request, StreamSink& sink, StreamCancel& cancel,
                       StreamSession* session) {
    EasyHandle own;
    if (session == nullptr) own = newEasyHandle();
    CURL* h = session ? session->impl().easy.get() : own.get();
    if (h == nullptr) return {StreamError::connect, 0};
    // Options of an earlier request of the session must not leak into this one.
    curl_easy_reset(h);

    HeaderList list;
    for (const Text& line : request.headers) {
        curl_slist* grown = curl_slist_append(list.get(), curlHeaderLine(line).c_str());
        if (!grown) return {StreamError::connect, 0};
        list.release();
        list.reset(grown);
    }
    Text proxy = proxyAddress(request.proxy);
    Transfer transfer;
    transfer.handle = h;
    transfer.sink = &sink;
    transfer.cancel = &cancel;

    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
    // An empty proxy text turns off the environment's proxy variables too.
    curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, request.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(request.maxRedirects));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeoutMs));
    transfer.stallLimitUs = static_cast<curl_off_t>(request.receiveTimeoutMs) * 1000;
    if (request.receiveSize > 0)
        curl_easy_setopt(h, CURLOPT_BUFFERSIZE, static_cast<long>(request.receiveSize));
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeaderLine);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBodyBlock);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);

    CURLcode code = curl_easy_perform(h);
    StreamResult result;
    result.error = classify(code, transfer);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    result.status = static_cast<int>(status);
    // An answer without a body has not been announced yet.
    if (result.error == StreamError::none && !transfer.announce())
        result.error = StreamError::cancelled;
    return result;
}

}  // namespace zelbrin
