// HttpRequest over the WinHTTP C API. The session lives as long as the object, so a reused
// request object also reuses WinHTTP's kept-alive connections; each send makes a fresh
// connection and request handle. Texts are code page 936 and cross into WinHTTP as UTF-16.
// https://learn.microsoft.com/en-us/windows/win32/winhttp/winhttp-functions
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "net/http_request.h"
#include "text/charset.h"
#include "text/wide_text.h"

namespace zelbrin {

namespace {

struct InternetHandle {
    HINTERNET handle = nullptr;
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET h) : handle(h) {}
    ~InternetHandle() {
        if (handle) WinHttpCloseHandle(handle);
    }
    InternetHandle(InternetHandle&& other) noexcept
        : handle(std::exchange(other.handle, nullptr)) {}
    InternetHandle& operator=(InternetHandle&& other) noexcept {
        std::swap(handle, other.handle);
        return *this;
    }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    explicit operator bool() const { return handle != nullptr; }
};

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

const wchar_t kAgent[] = L"Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// The proxy is a property of the session: Wine ignores WINHTTP_OPTION_PROXY on a request
// handle, and both honour the proxy given to WinHttpOpen.
InternetHandle openSession(const Text& proxy) {
    if (proxy.empty())
        return InternetHandle(WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_NO_PROXY,
                                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    std::wstring server = widen(proxy);
    return InternetHandle(WinHttpOpen(kAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, server.c_str(),
                                      WINHTTP_NO_PROXY_BYPASS, 0));
}

}  // namespace

struct HttpRequest::Impl {
    InternetHandle session = openSession({});
    Text sessionProxy;                               // the proxy `session` was opened with
    const bool usable = static_cast<bool>(session);  // WinHTTP could be started at all
    InternetHandle connection;
    InternetHandle request;
    Text verb = "GET";
    Text url;
    Text proxy;
    std::vector<std::pair<Text, Text>> headers;
    bool timeoutsGiven = false;
    int timeouts[4] = {0, 0, 0, 0};
    bool followRedirects = true;
    DWORD ignoredCertificateErrors = 0;

    Bytes body;
    Text responseHeaders;
    int status = 0;

    void clearResponse() {
        body.clear();
        responseHeaders.clear();
        status = 0;
    }

    bool openRequest() {
        if (proxy != sessionProxy) {
            request = InternetHandle();
            connection = InternetHandle();
            session = openSession(proxy);
            sessionProxy = proxy;
        }
        if (!session) return false;
        std::wstring address = widen(url);
        URL_COMPONENTS parts{};
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = static_cast<DWORD>(-1);
        parts.dwUrlPathLength = static_cast<DWORD>(-1);
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
        parts.dwSchemeLength = static_cast<DWORD>(-1);
        if (!WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) return false;
        std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
        std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
        path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
        if (path.empty()) path = L"/";
        bool secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
        request = InternetHandle();
        connection = InternetHandle(WinHttpConnect(session.handle, host.c_str(), parts.nPort, 0));
        if (!connection) return false;
        request = InternetHandle(WinHttpOpenRequest(
            connection.handle, widen(verb).c_str(), path.c_str(), nullptr, WINHTTP_NO_REFERER,
            WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
        return static_cast<bool>(request);
    }

    void applySettings() {
        HINTERNET h = request.handle;
        if (timeoutsGiven) {
            WinHttpSetTimeouts(h, timeouts[0], timeouts[1], timeouts[2], timeouts[3]);
            // Waiting for the response headers has a time-out of its own; the receive time-out
            // is meant to cover it too (Wine applies only this one while headers are awaited).
            DWORD receive = static_cast<DWORD>(timeouts[3]);
            WinHttpSetOption(h, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive, sizeof receive);
        }
        if (!followRedirects) {
            DWORD off = WINHTTP_DISABLE_REDIRECTS;
            WinHttpSetOption(h, WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof off);
        }
        if (ignoredCertificateErrors != 0) {
            DWORD flags = ignoredCertificateErrors;
            WinHttpSetOption(h, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
        }
        for (const auto& [name, value] : headers) {
            if (name.empty()) continue;
            std::wstring line = widen(name + ": " + value);
            WinHttpAddRequestHeaders(h, line.c_str(), static_cast<DWORD>(-1),
                                     WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
        }
    }

    // The raw header block minus its status line, as "Name: value" lines ending in CR LF.
    Text readHeaders() {
        DWORD size = 0;
        WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_RAW_HEADERS_CRLF,
                            WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                            WINHTTP_NO_HEADER_INDEX);
        if (size == 0) return {};
        std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
        if (!WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_RAW_HEADERS_CRLF,
                                 WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                                 WINHTTP_NO_HEADER_INDEX))
            return {};
        raw.resize(size / sizeof(wchar_t));
        std::size_t first = raw.find(L"\r\n");
        raw = first == std::wstring::npos ? std::wstring() : raw.substr(first + 2);
        while (raw.size() >= 4 && raw.compare(raw.size() - 4, 4, L"\r\n\r\n") == 0)
            raw.resize(raw.size() - 2);
        return narrow(raw);
    }

    // The announced body length; -1 when the answer has none, -2 when it is not a number (an
    // unrecoverable error, RFC 9110 8.6: WinHTTP would read "12abc" as 12 or as nothing).
    long long announcedLength() {
        wchar_t digits[32] = {};
        DWORD size = sizeof digits;
        if (!WinHttpQueryHeaders(request.handle, WINHTTP_QUERY_CONTENT_LENGTH,
                                 WINHTTP_HEADER_NAME_BY_INDEX, digits, &size,
                                 WINHTTP_NO_HEADER_INDEX))
            return -1;
        long long value = 0;
        const wchar_t* c = digits;
        while (*c == L' ') ++c;
        if (*c < L'0' || *c > L'9') return -2;
        for (; *c >= L'0' && *c <= L'9'; ++c) value = value * 10 + (*c - L'0');
        while (*c == L' ') ++c;
        return *c == 0 ? value : -2;
    }

    bool readBody() {
        for (;;) {
            DWORD available = 0;
            if (!WinHttpQueryDataAvailable(request.handle, &available)) return false;
            if (available == 0) return true;
            std::size_t at = body.size();
            body.resize(at + available);
            DWORD got = 0;
            if (!WinHttpReadData(request.handle, body.data() + at, available, &got)) return false;
            body.resize(at + got);
        }
    }

    void perform(const Bytes& payload) {
        clearResponse();
        if (url.empty() || !openRequest()) return;
        applySettings();
        auto length = static_cast<DWORD>(payload.size());
        LPVOID data =
            payload.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<std::uint8_t*>(payload.data());
        if (!WinHttpSendRequest(request.handle, WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length,
                                length, 0) ||
            !WinHttpReceiveResponse(request.handle, nullptr))
            return;
        DWORD code = 0;
        DWORD size = sizeof code;
        if (!WinHttpQueryHeaders(
                request.handle, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX))
            return;
        Text headerText = readHeaders();
        // WinHTTP reports a connection closed before the announced length as a normal end
        // of data; a cut body is a failed request, as libcurl reports it.
        long long expected = verb == "HEAD" ? -1 : announcedLength();
        if (expected == -2 || !readBody() ||
            (expected >= 0 && static_cast<long long>(body.size()) != expected)) {
            body.clear();
            return;
        }
        responseHeaders = std::move(headerText);
        status = static_cast<int>(code);
    }
};

HttpRequest::HttpRequest() : impl_(std::make_unique<Impl>()) {}
HttpRequest::~HttpRequest() = default;
HttpRequest::HttpRequest(HttpRequest&&) noexcept = default;
HttpRequest& HttpRequest::operator=(HttpRequest&&) noexcept = default;

bool HttpRequest::valid() const { return impl_ && impl_->usable; }

void HttpRequest::setTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
    if (!valid()) return;
    impl_->timeoutsGiven = true;
    impl_->timeouts[0] = resolveMs;
    impl_->timeouts[1] = connectMs;
    impl_->timeouts[2] = sendMs;
    impl_->timeouts[3] = receiveMs;
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
    if (option == kOptionIgnoreCertificateErrors)
        impl_->ignoredCertificateErrors = static_cast<DWORD>(value);
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
