#include "net/fetch.h"

#include "net/base64.h"
#include "net/cookies.h"

namespace zelbrin {

namespace {

constexpr int kDefaultTimeoutMs = 15000;
constexpr int kFormMethod = 1;
const char* const kCrLf = "\r\n";

const char* verbOf(int method) {
    static const char* const verbs[] = {"GET",     "POST",   "HEAD",  "PUT",
                                        "OPTIONS", "DELETE", "TRACE", "CONNECT"};
    return verbs[method < 0 || method > 7 ? 0 : method];
}

bool contains(std::string_view text, std::string_view sought) {
    return findText(text, sought) != -1;
}

void appendLine(Text& block, std::string_view line) { block.append(kCrLf).append(line); }

// The caller's extra headers completed with the defaults every request carries.
void completeHeaderBlock(Text& block, std::string_view url, int method) {
    if (block.empty()) {
        block = "Accept: */*";
    } else if (!contains(block, "Accept:")) {
        appendLine(block, "Accept: */*");
    }
    if (!contains(block, "Referer:")) appendLine(block, Text("Referer: ").append(url));
    if (!contains(block, "Accept-Language:")) appendLine(block, "Accept-Language: zh-cn");
    if (!contains(block, "User-Agent:"))
        appendLine(block, "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
    if (method == kFormMethod) {
        if (contains(block, "content-type"))
            block = replaceText(block, "content-type", "Content-Type", 1, {}, true);
        if (!contains(block, "Content-Type:"))
            appendLine(block, "Content-Type: application/x-www-form-urlencoded");
    }
}

void applyHeaderBlock(HttpRequest& request, const Text& block) {
    if (!contains(block, kCrLf)) {
        request.setRequestHeader(headerName(block), headerValue(block));
        return;
    }
    for (const Text& line : splitText(block, kCrLf))
        if (!line.empty()) request.setRequestHeader(headerName(line), headerValue(line));
}

// Only lines spelled exactly "Set-Cookie: " count; each gives its first name=value pair.
Text collectCookies(const Text& responseHeaders) {
    Text cookies;
    for (const Text& line : splitText(responseHeaders, kCrLf)) {
        if (textBefore(line, ": ") != "Set-Cookie") continue;
        Text pair = contains(line, ";") ? trimSpaces(textBetween(line, "Set-Cookie:", ";"))
                                        : trimSpaces(replaceText(line, "Set-Cookie:"));
        cookies.append(pair).append("; ");
    }
    return leftText(cookies, textLength(cookies) - 2);
}

Bytes exchange(HttpRequest& request, std::string_view url, FetchOptions& options) {
    int method = options.method < 0 || options.method > 7 ? 0 : options.method;
    if (options.timeoutSeconds != -1) {
        int ms = options.timeoutSeconds >= 1 ? options.timeoutSeconds * 1000 : kDefaultTimeoutMs;
        request.setTimeouts(ms, ms, ms, ms);
    }
    if (!options.proxy.empty()) {
        request.setProxy(kProxySettingNamed, options.proxy);
        if (!options.proxyUser.empty() && options.proxyAuthMode.value_or(1) == 1) {
            Text credentials = options.proxyUser + ":" + options.proxyPassword;
            request.setRequestHeader("Proxy-Authorization",
                                     "Basic " + base64Encode(textToBytes(credentials)));
        }
    }
    request.open(verbOf(method), url);
    if (options.noRedirect) request.setOption(kOptionFollowRedirects, 0);
    request.setOption(kOptionIgnoreCertificateErrors, 0x3300);
    completeHeaderBlock(options.headers, url, method);
    if (options.cookies) request.setRequestHeader("Cookie", *options.cookies);
    applyHeaderBlock(request, options.headers);
    if (!options.byteBody.empty()) {
        request.send(options.byteBody);
    } else {
        request.send(std::string_view(options.body));
    }
    Bytes body = request.responseBody();
    options.responseHeaders = request.allResponseHeaders();
    options.status = request.status();
    options.returnedCookies = collectCookies(options.responseHeaders);
    if (options.autoMergeCookies.value_or(true) && options.cookies)
        options.returnedCookies = mergeCookies(*options.cookies, options.returnedCookies);
    return body;
}

}  // namespace

Bytes fetchUrl(std::string_view url, FetchOptions& options) {
    if (options.requestObject) {
        if (!options.requestObject->valid()) return {};
        return exchange(*options.requestObject, url, options);
    }
    HttpRequest request;
    if (!request.valid()) return {};
    return exchange(request, url, options);
}

Bytes fetchUrl(std::string_view url) {
    FetchOptions options;
    return fetchUrl(url, options);
}

Text headerName(std::string_view line) {
    int colon = findText(line, ":");
    return colon == -1 ? Text() : trimSpaces(leftText(line, colon - 1));
}

Text headerValue(std::string_view line) {
    int colon = findText(line, ":");
    return colon == -1 ? Text() : trimSpaces(line.substr(static_cast<std::size_t>(colon)));
}

}  // namespace zelbrin
