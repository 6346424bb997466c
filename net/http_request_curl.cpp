// HttpRequest over a libcurl easy handle. The handle lives as long as the object, so a reused
// request object also reuses its kept-alive connections.
// https://curl.se/libcurl/c/curl_easy_setopt.html
#include <curl/curl.h>
#include <time.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/curl_handles.h"
#include "net/http_request.h"

namespace zelbrin {

namespace {

// <chrono> cannot be compiled with a GBK execution character set (it spells "µs"), so the
// idle clock comes from the C library.
long long nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// What WinHTTP does when no time-outs were set: connect 60 s, send and receive 30 s each.
constexpr int kDefaultConnectMs = 60000;
constexpr int kDefaultReceiveMs = 30000;

constexpr int kMaxRedirects = 10;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

// A Content-Length value: one or more digits, spaces around allowed.
bool digitsOnly(std::string_view value) {
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    return !value.empty() && std::all_of(value.begin(), value.end(),
                                         [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

struct HttpRequest::Impl {
    EasyHandle easy = newEasyHandle();
    Text verb = "GET";
    Text url;
    Text proxy;
    std::vector<std::pair<Text, Text>> headers;
    int resolveMs = 0, connectMs = kDefaultConnectMs, sendMs = kDefaultReceiveMs,
        receiveMs = kDefaultReceiveMs;
    bool followRedirects = true;
    int ignoredCertificateErrors = 0;

    Bytes body;
    Text responseHeaders;
    int status = 0;
    // curl reads "12abc" as 12 and cuts the body there; RFC 9110 (8.6) makes an invalid
    // Content-Length an unrecoverable error, so such an answer is a failure.
    bool malformedLength = false;

    // Progress seen by the transfer, for the "nothing received for too long" time-out that
    // WinHTTP's receive time-out means (curl's own time-outs cap the whole transfer instead).
    curl_off_t lastBytes = -1;
    long long lastActivityMs = 0;

    static size_t onBody(char* data, size_t size, size_t count, void* self) {
        auto& impl = *static_cast<Impl*>(self);
        impl.body.insert(impl.body.end(), data, data + size * count);
        return size * count;
    }

    // Each status line starts a new answer (a redirect hop, a 100 Continue): keep the last.
    static size_t onHeader(char* data, size_t size, size_t count, void* self) {
        auto& impl = *static_cast<Impl*>(self);
        std::string_view line(data, size * count);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
        if (line.substr(0, 5) == "HTTP/") {
            impl.responseHeaders.clear();
            impl.body.clear();
            impl.malformedLength = false;
        } else if (!line.empty()) {
            if (sameName(line.substr(0, line.find(':')), "Content-Length"))
                impl.malformedLength = !digitsOnly(line.substr(line.find(':') + 1));
            impl.responseHeaders.append(line).append("\r\n");
        }
        return size * count;
    }

    static int onProgress(void* self, curl_off_t, curl_off_t received, curl_off_t,
                          curl_off_t sent) {
        auto& impl = *static_cast<Impl*>(self);
        long long now = nowMs();
        if (received + sent != impl.lastBytes) {
            impl.lastBytes = received + sent;
            impl.lastActivityMs = now;
            return 0;
        }
        return impl.receiveMs > 0 && now - impl.lastActivityMs > impl.receiveMs ? 1 : 0;
    }

    HeaderList headerList() const {
        curl_slist* list = nullptr;
        auto add = [&list](const std::string& line) {
            if (curl_slist* grown = curl_slist_append(list, line.c_str())) list = grown;
        };
        for (const auto& [name, value] : headers) {
            if (name.empty()) continue;
            // "Name;" is curl's spelling of a header with an empty value.
            add(value.empty() ? name + ";" : name + ": " + value);
        }
        add("Expect:");  // no 100-continue round trip before a body
        // curl would invent a form content type for every body; only the caller's counts.
        bool typed = std::any_of(headers.begin(), headers.end(),
                                 [](const auto& h) { return sameName(h.first, "Content-Type"); });
        if (!typed) add("Content-Type:");
        return HeaderList(list);
    }

    void configure(const Bytes& payload) {
        CURL* h = easy.get();
        curl_easy_reset(h);
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        // An empty proxy text also keeps curl from taking one from the environment.
        curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, followRedirects ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
        // POST becoming GET after 301/302/303 while 307/308 keep it is curl's default and
        // WinHTTP's too, so nothing to set.
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(std::max(0, resolveMs) + std::max(0, connectMs)));
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, (ignoredCertificateErrors & 0x2300) ? 0L : 1L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, (ignoredCertificateErrors & 0x1000) ? 0L : 2L);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::onBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::onHeader);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Impl::onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
        if (verb == "GET") {
            curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
        } else if (verb == "HEAD") {
            curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
        } else {
            // POST fields also for other verbs: CUSTOMREQUEST only renames the method.
            curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                             static_cast<curl_off_t>(payload.size()));
            curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS,
                             payload.empty() ? "" : reinterpret_cast<const char*>(payload.data()));
            if (verb != "POST") curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, verb.c_str());
        }
    }

    void perform(const Bytes& payload) {
        body.clear();
        responseHeaders.clear();
        status = 0;
        malformedLength = false;
        if (!easy || url.empty()) return;
        configure(payload);
        HeaderList list = headerList();
        curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, list.get());
        lastBytes = -1;
        lastActivityMs = nowMs();
        CURLcode result = curl_easy_perform(easy.get());
        long code = 0;
        curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &code);
        curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, nullptr);
        if (result != CURLE_OK || malformedLength) {
            body.clear();
            responseHeaders.clear();
            status = 0;
            return;
        }
        status = static_cast<int>(code);
    }
};

HttpRequest::HttpRequest() : impl_(std::make_unique<Impl>()) {}
HttpRequest::~HttpRequest() = default;
HttpRequest::HttpRequest(HttpRequest&&) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&&) noexcept = default;

bool HttpRequest::valid() const { return impl_ && impl_->easy != nullptr; }

void HttpRequest::setTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
    if (!valid()) return;
    impl_->resolveMs = resolveMs;
    impl_->connectMs = connectMs;
    impl_->sendMs = sendMs;
    impl_->receiveMs = receiveMs;
}

void HttpRequest::setProxy(int setting, std::string_view proxy) {
    if (!valid()) return;
    impl_->proxy = setting == kProxySettingNamed ? Text(proxy) : Text();
}

void HttpRequest::setRequestHeader(std::string_view name, std::string_view value) {
    if (!valid()) return;
    for (auto& header : impl_->headers) {
        if (!name.empty() && sameName(header.first, name)) {
            header.second = Text(value);
            return;
        }
    }
    impl_->headers.emplace_back(Text(name), Text(value));
}

void HttpRequest::open(std::string_view verb, std::string_view url) {
    if (!valid()) return;
    impl_->verb = Text(verb);
    impl_->url = Text(url);
    impl_->followRedirects = true;
    impl_->ignoredCertificateErrors = 0;
}

void HttpRequest::setOption(int option, int value) {
    if (!valid()) return;
    if (option == kOptionFollowRedirects) impl_->followRedirects = value != 0;
    if (option == kOptionIgnoreCertificateErrors) impl_->ignoredCertificateErrors = value;
}

void HttpRequest::send(std::string_view body) { send(textToBytes(body)); }

void HttpRequest::send(const Bytes& body) {
    if (!valid()) return;
    impl_->perform(body);
    // Headers belong to one exchange; the next one starts clean.
    impl_->headers.clear();
}

Bytes HttpRequest::responseBody() const { return valid() ? impl_->body : Bytes(); }
Text HttpRequest::allResponseHeaders() const { return valid() ? impl_->responseHeaders : Text(); }
int HttpRequest::status() const { return valid() ? impl_->status : 0; }

}  // namespace zelbrin
