// HttpRequest: the request object fetchUrl drives, one synchronous HTTP exchange at a time.
// Two implementations behind one seam: libcurl (http_request_curl.cpp) and the WinHTTP C API
// (http_request_winhttp.cpp). Failed operations are remembered, never thrown: a failed send
// leaves an empty body, empty headers and status 0.
#pragma once

#include <memory>
#include <string_view>

#include "text/text.h"

namespace zelbrin {

inline constexpr int kOptionFollowRedirects = 6;
inline constexpr int kOptionIgnoreCertificateErrors = 4;
inline constexpr int kProxySettingNamed = 2;

class HttpRequest {
public:
    HttpRequest();
    ~HttpRequest();
    HttpRequest(HttpRequest&&) noexcept;
    HttpRequest& operator=(HttpRequest&&) noexcept;
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // False when the platform client could not be created; every other call is then a no-op.
    bool valid() const;

    void setTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);
    void setProxy(int setting, std::string_view proxy);
    void setRequestHeader(std::string_view name, std::string_view value);
    void open(std::string_view verb, std::string_view url);
    // kOptionFollowRedirects (0 turns redirects off), kOptionIgnoreCertificateErrors (flags).
    void setOption(int option, int value);
    void send(std::string_view body);
    void send(const Bytes& body);

    Bytes responseBody() const;
    // "Name: value" lines separated by CR LF.
    Text allResponseHeaders() const;
    int status() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zelbrin
