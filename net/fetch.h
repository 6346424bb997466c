// fetchUrl: the program's one way to the web. One synchronous request, the response body back
// as bytes; a failed request is an empty buffer with status 0. Nothing throws, nothing retries.
#pragma once

#include <optional>
#include <string_view>

#include "net/http_request.h"
#include "text/text.h"

namespace zelbrin {

// The optional inputs and outputs of fetchUrl. Presence matters for `cookies`,
// `proxyAuthMode`, `requestObject` and `autoMergeCookies`, hence std::optional there.
struct FetchOptions {
    int method = 0;  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT
    Text body;
    std::optional<Text> cookies;  // in/out
    Text returnedCookies;         // out
    Text headers;                 // in/out: CR LF separated; on return the block applied
    Text responseHeaders;         // out
    int status = 0;               // out
    bool noRedirect = false;
    Bytes byteBody;
    Text proxy;
    int timeoutSeconds = 0;  // -1 keeps the object's own; 1 or more seconds; else 15 s
    Text proxyUser;
    Text proxyPassword;
    std::optional<int> proxyAuthMode;        // absent counts as 1
    HttpRequest* requestObject = nullptr;    // caller-owned; absent: a fresh one per call
    std::optional<bool> autoMergeCookies;    // absent counts as true
};

Bytes fetchUrl(std::string_view url, FetchOptions& options);
Bytes fetchUrl(std::string_view url);

// The trimmed text before / after the first ":" of a header line; "" without a ":".
Text headerName(std::string_view line);
Text headerValue(std::string_view line);

}  // namespace zelbrin
