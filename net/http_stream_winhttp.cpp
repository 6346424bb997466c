// streamGet over the WinHTTP C API in synchronous mode. WinHttpSetTimeouts gives the connect,
// send and receive limits (the receive limit applies to every WinHttpReadData, so it is the
// longest stretch without data). A cancel from another thread closes the request handle,
// which makes a blocked WinHTTP call return with ERROR_WINHTTP_OPERATION_CANCELLED
// (https://learn.microsoft.com/windows/win32/api/winhttp/nf-winhttp-winhttpclosehandle).
#include <windows.h>
#include <winhttp.h>

#include <atomic>
#include <string>
#include <vector>

#include "net/http_stream.h"
#include "text/wide_text.h"

namespace zelbrin {
namespace {

// Owner of one HINTERNET; close() may race with the owner's use, which is how WinHTTP cancels.
class InternetHandle {
public:
    explicit InternetHandle(HINTERNET handle = nullptr) : handle_(handle) {}
    ~InternetHandle() { close(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;
    HINTERNET get() const { return handle_.load(); }
    explicit operator bool() const { return get() != nullptr; }
    void close() {
        if (HINTERNET h = handle_.exchange(nullptr)) WinHttpCloseHandle(h);
    }
    void reset(HINTERNET handle) {
        close();
        handle_ = handle;
    }

private:
    std::atomic<HINTERNET> handle_;
};

std::wstring proxyName(const Text& proxy) {
    return widen(proxy.find(':') == Text::npos ? proxy + ":80" : proxy);
}

// The header block without its status line, CR LF separated.
Text responseHeaders(HINTERNET request) {
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (size == 0) return {};
    std::wstring wide(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                             wide.data(), &size, WINHTTP_NO_HEADER_INDEX))
        return {};
    wide.resize(size / sizeof(wchar_t));
    Text all = narrow(wide);
    std::size_t firstLineEnd = all.find("\r\n");
    return firstLineEnd == Text::npos ? Text{} : all.substr(firstLineEnd + 2);
}

StreamError errorOf(DWORD code, bool answered, const StreamCancel& cancel) {
    if (cancel.cancelled() || code == ERROR_WINHTTP_OPERATION_CANCELLED ||
        code == ERROR_INVALID_HANDLE)
        return StreamError::cancelled;
    if (code == ERROR_WINHTTP_TIMEOUT) return StreamError::timeout;
    return answered ? StreamError::broken : StreamError::connect;
}

struct Connection {
    InternetHandle session;
    InternetHandle connection;
    InternetHandle request;
};

bool openRequest(const StreamRequest& request, Connection& c) {
    std::wstring url = widen(request.url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return false;
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    std::wstring proxy = proxyName(request.proxy);
    bool viaProxy = !request.proxy.empty();
    c.session.reset(
        WinHttpOpen(L"Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
                    viaProxy ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                    viaProxy ? proxy.c_str() : WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!c.session) return false;
    WinHttpSetTimeouts(c.session.get(), request.connectTimeoutMs, request.connectTimeoutMs,
                       request.sendTimeoutMs, request.receiveTimeoutMs);
    c.connection.reset(WinHttpConnect(c.session.get(), host.c_str(), parts.nPort, 0));
    if (!c.connection) return false;
    DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    c.request.reset(WinHttpOpenRequest(c.connection.get(), L"GET", path.c_str(), nullptr,
                                       WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!c.request) return false;

    DWORD security = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                     SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE;
    WinHttpSetOption(c.request.get(), WINHTTP_OPTION_SECURITY_FLAGS, &security, sizeof(security));
    if (request.maxRedirects > 0) {
        DWORD limit = static_cast<DWORD>(request.maxRedirects);
        WinHttpSetOption(c.request.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &limit,
                         sizeof(limit));
    } else {
        DWORD off = WINHTTP_DISABLE_REDIRECTS;
        WinHttpSetOption(c.request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &off, sizeof(off));
    }
    for (const Text& line : request.headers) {
        std::wstring header = widen(line);
        WinHttpAddRequestHeaders(c.request.get(), header.c_str(), static_cast<DWORD>(-1),
                                 WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
    }
    return true;
}

}  // namespace

// WinHTTP keeps connections alive per session handle, and this backend opens a session for
// each request (its proxy and time-outs are set there), so it keeps nothing between requests
// yet: every range costs a new connection on Windows.
struct StreamSession::Impl {};

StreamSession::StreamSession() : impl_(std::make_unique<Impl>()) {}
StreamSession::~StreamSession() = default;

StreamResult streamGet(const StreamRequest& request, StreamSink& sink, StreamCancel& cancel,
                       StreamSession*) {
    Connection c;
    if (!openRequest(request, c)) return {errorOf(GetLastError(), false, cancel), 0};
    cancel.setInterrupt([&c] { c.request.close(); });
    struct Uninstall {
        StreamCancel& cancel;
        ~Uninstall() { cancel.clearInterrupt(); }
    } uninstall{cancel};

    HINTERNET h = c.request.get();
    if (!h ||
        !WinHttpSendRequest(h, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0) ||
        !WinHttpReceiveResponse(h, nullptr))
        return {errorOf(GetLastError(), false, cancel), 0};

    StreamResult result;
    DWORD status = 0;
    DWORD size = sizeof(status);
    WinHttpQueryHeaders(h, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
    result.status = static_cast<int>(status);
    if (!sink.onResponse(result.status, responseHeaders(h))) {
        result.error = StreamError::cancelled;
        return result;
    }
    std::vector<std::uint8_t> buffer(request.receiveSize > 0 ? request.receiveSize : 16384);
    for (;;) {
        // Asking only for what has arrived keeps WinHttpReadData from waiting to fill the
        // whole buffer, so each block is handed on as soon as it is here.
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(h, &available)) {
            result.error = errorOf(GetLastError(), true, cancel);
            return result;
        }
        if (available == 0) break;
        DWORD want = available < buffer.size() ? available : static_cast<DWORD>(buffer.size());
        DWORD got = 0;
        if (!WinHttpReadData(h, buffer.data(), want, &got)) {
            result.error = errorOf(GetLastError(), true, cancel);
            return result;
        }
        if (got == 0) break;
        if (!sink.onBody(buffer.data(), got)) {
            result.error = StreamError::cancelled;
            return result;
        }
    }
    if (cancel.cancelled()) result.error = StreamError::cancelled;
    return result;
}

}  // namespace zelbrin
