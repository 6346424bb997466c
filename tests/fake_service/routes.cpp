// The endpoints: the three service pages, the audio files with their knobs, and the test aids.
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "audio_bytes.h"
#include "exchange.h"

namespace zelbrin::fake_service {

namespace {

// Splits "/a/b/c" into {"a","b","c"}.
std::vector<std::string> segments(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t at = 1;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        parts.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return parts;
}

std::optional<std::int64_t> number(const std::string& text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::int64_t knobNumber(const Knobs& knobs, const std::string& name, std::int64_t otherwise = 0) {
    auto it = knobs.find(name);
    if (it == knobs.end()) return otherwise;
    try {
        return static_cast<std::int64_t>(std::stod(it->second));
    } catch (const std::exception&) {
        return otherwise;
    }
}

double knobSeconds(const Knobs& knobs, const std::string& name) {
    auto it = knobs.find(name);
    if (it == knobs.end()) return 0;
    try {
        return std::stod(it->second);
    } catch (const std::exception&) {
        return 0;
    }
}

bool knobOn(const Knobs& knobs, const std::string& name) {
    auto it = knobs.find(name);
    return it != knobs.end() && !it->second.empty() && it->second != "0" && it->second != "false";
}

// The "rate" knob, unless this connection is one of the stragglers: with stragglerEvery=10 and
// stragglerIndex=7, connections 7, 17, 27, ... of this service get stragglerRate instead, the way
// one slow path of a CDN holds a few of a client's connections and not the others.
std::int64_t connectionRate(const Knobs& knobs, int connection) {
    std::int64_t rate = knobNumber(knobs, "rate", 0);
    std::int64_t every = knobNumber(knobs, "stragglerEvery", 0);
    if (every > 0 && connection % every == knobNumber(knobs, "stragglerIndex", 0))
        return knobNumber(knobs, "stragglerRate", rate);
    return rate;
}

// A book's "pageLatency" knob (milliseconds) delays its book page, chapter pages and lookups,
// as a distant server would; false when the service stopped meanwhile.
bool pageDelay(Responder& out, const Book* book) {
    std::int64_t latency = book ? knobNumber(book->knobs, "pageLatency", 0) : 0;
    return latency <= 0 || out.state().pause(static_cast<long>(latency));
}

std::string htmlPage(const std::string& title, const std::string& text) {
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head>\n<body><div class=\"error\"><h2>" + title + "</h2><p>" + text +
           "</p></div></body></html>\n";
}

const std::vector<std::string> kHtml = {"Content-Type: text/html; charset=utf-8"};
const std::vector<std::string> kJson = {"Content-Type: application/json;charset=UTF-8"};
const std::vector<std::string> kPlain = {"Content-Type: text/plain; charset=utf-8"};

// UTF-8 → JSON string content where every non-ASCII character is "&#xhhhh;", per UTF-16 unit.
std::string referencedName(const std::string& utf8) {
    std::string out;
    char unit[16];
    auto reference = [&](unsigned value) {
        std::snprintf(unit, sizeof unit, "&#x%04x;", value);
        out += unit;
    };
    for (std::size_t i = 0; i < utf8.size();) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            if (byte == '"' || byte == '\\') out += '\\';
            if (byte >= 0x20) out += static_cast<char>(byte);
            ++i;
            continue;
        }
        int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : 1;
        unsigned code = byte & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += 1 + extra;
        if (code >= 0x10000) {
            code -= 0x10000;
            reference(0xD800 + (code >> 10));
            reference(0xDC00 + (code & 0x3FF));
        } else {
            reference(code);
        }
    }
    return out;
}

// Invalid UTF-8: a lone continuation byte, an overlong "/", a surrogate and a cut-off sequence.
const char* const kBadUtf8 = "\xff\xfe\x80\xc0\xaf\xed\xa0\x80\xe6\x97";

bool bookPage(const Request& request, Responder& out, const std::string& id) {
    auto bookId = number(id);
    const Book* book = bookId ? out.state().catalogue.findBook(*bookId) : nullptr;
    if (!pageDelay(out, book)) return false;
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
        "<title>" +
        (book ? book->name + "_" : std::string()) +
        "有声小说_懒人听书</title>\n"
        "<link rel=\"stylesheet\" href=\"/static/css/book.css\">\n"
        "<script src=\"/static/js/jquery.min.js\"></script>\n</head>\n<body>\n"
        "<div class=\"header\"><a href=\"/\" class=\"logo\">懒人听书</a>"
        "<a href=\"/user/login\">登录</a> <a href=\"/download\">下载客户端</a></div>\n";
    if (book) {
        page += "<script>var bookId='" + id + "';var totalCount='" + std::to_string(book->total) +
                "',page=0,pageSize=10;</script>\n"
                "<section class=\"book-detail\">\n<h1 class=\"nowrap\">" +
                book->name + (knobOn(book->knobs, "badUtf8") ? kBadUtf8 : "") +
                "<i class=\"d-status\">连载中</i></h1>\n<ul class=\"info\">\n"
                "<li><span>作者：</span><a class=\"author\">" +
                book->author +
                "</a></li>\n"
                "<li><span>播音：</span><a href=\"/user/" +
                id + "\" class=\"g-user\">" + book->narrator +
                "</a></li>\n<li><span>分类：</span><a href=\"/tag/1\">有声小说</a></li>\n"
                "</ul>\n<div class=\"intro\">简介：暂无简介。</div>\n</section>\n";
    } else {
        page += "<div class=\"empty\">该书不存在或已下架</div>\n";
    }
    if (auto padding = book ? knobNumber(book->knobs, "pagePadding", 0) : 0; padding > 0)
        page += "<!--" + std::string(static_cast<std::size_t>(padding), 'x') + "-->\n";
    page +=
        "<ul class=\"footer\"><li><a href=\"/about\">关于我们</a></li></ul>\n</body>\n</html>\n";
    return out.answer(200, kHtml, page, request.method == "HEAD");
}

// A book's "listShape" knob gives its chapter pages the wrong JSON types: resIdString,
// resIdNull, dataObject ("data.data" an object), dataNull.
std::string listedResId(const Knobs& knobs, std::int64_t resId) {
    auto shape = knobs.find("listShape");
    if (shape != knobs.end() && shape->second == "resIdString")
        return "\"" + std::to_string(resId) + "\"";
    if (shape != knobs.end() && shape->second == "resIdNull") return "null";
    return std::to_string(resId);
}

// "listPadding"=N adds a member of N bytes before the list, for pages of many megabytes.
std::string chapterPageBody(const Book* book, const std::string& items) {
    std::string shape = book && book->knobs.count("listShape") ? book->knobs.at("listShape") : "";
    std::string padding;
    if (auto bytes = book ? knobNumber(book->knobs, "listPadding", 0) : 0; bytes > 0)
        padding = "\"padding\":\"" + std::string(static_cast<std::size_t>(bytes), 'x') + "\",";
    std::string list = "[" + items + "]";
    if (shape == "dataObject") list = "{\"0\":" + (items.empty() ? "{}" : items.substr(0, items.find('}') + 1)) + "}";
    if (shape == "dataNull") list = "null";
    return "{\"status\":\"success\"," + padding + "\"data\":{\"data\":" + list + "}}";
}

bool chapterPage(Responder& out, const std::vector<std::string>& parts) {
    auto bookId = number(parts[2]);
    auto page = number(parts[3]);
    auto size = number(parts[4]);
    const Book* book = bookId ? out.state().catalogue.findBook(*bookId) : nullptr;
    if (!pageDelay(out, book)) return false;
    std::string items;
    if (book && page && size) {
        std::size_t first = static_cast<std::size_t>(*page * *size);
        std::size_t last = std::min(book->chapters.size(), first + static_cast<std::size_t>(*size));
        for (std::size_t k = first; k < last; ++k) {
            const Chapter& chapter = book->chapters[k];
            if (!items.empty()) items += ",";
            items += "{\"resId\":" + listedResId(book->knobs, chapter.resId) + ",\"resName\":\"" +
                     referencedName(chapter.name) + "\",\"section\":" + std::to_string(k + 1) + "}";
        }
    }
    return out.answer(200, kJson, chapterPageBody(book, items));
}

Knobs audioKnobs(const Request& request, const Book* book, const Chapter* chapter) {
    Knobs knobs;
    if (book) knobs = book->knobs;
    if (chapter)
        for (const auto& [k, v] : chapter->knobs) knobs[k] = v;
    for (const auto& [k, v] : request.params) knobs[k] = v;
    return knobs;
}

// How often this exact URL was asked for before (0 the first time).
int timesSeenBefore(Responder& out, const Request& request) {
    std::lock_guard lock(out.state().mutex);
    return out.state().stats.seen[request.target]++;
}

// The "chaos"=P knob (with "seed"=N): a deterministic P % of requests fail. The draw hashes the
// seed, the target, the Range asked for and how often the target was asked before, so a rerun
// with the same seed meets the same faults in the same places, whatever the timing.
std::uint64_t chaosDraw(const Knobs& knobs, const Request& request, int seenBefore) {
    std::uint64_t hash = 1469598103934665603ULL;  // FNV-1a
    auto mix = [&hash](const std::string& text) {
        for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ULL;
    };
    mix(knobs.count("seed") ? knobs.at("seed") : "0");
    mix(request.target);
    mix(request.header("Range"));
    mix(std::to_string(seenBefore));
    return hash;
}

bool chaosStrikes(const Knobs& knobs, const Request& request, int seenBefore) {
    double percent = knobSeconds(knobs, "chaos");
    return percent > 0 &&
           static_cast<double>(chaosDraw(knobs, request, seenBefore) % 10000) < percent * 100;
}

// The fault a chaos draw picks for an audio answer: a mix of statuses and broken connections.
void applyChaos(Knobs& knobs, const Request& request, int seenBefore) {
    if (!chaosStrikes(knobs, request, seenBefore)) return;
    switch ((chaosDraw(knobs, request, seenBefore) / 10000) % 6) {
        case 0: knobs["fault"] = "500"; break;
        case 1: knobs["fault"] = "503"; knobs["retryAfter"] = "1"; break;
        case 2: knobs["fault"] = "404"; break;
        case 3: knobs["drop"] = "1"; break;
        case 4: knobs["closeAfter"] = std::to_string(knobNumber(knobs, "size", 0) / 3); break;
        default: knobs["errorPage"] = "1"; break;
    }
    knobs.erase("faultCount");
    knobs.erase("closeMode");
}

bool lookup(const Request& request, Responder& out, const std::vector<std::string>& parts) {
    auto bookId = number(parts[3]);
    auto resId = number(parts[4]);
    const Book* book = bookId ? out.state().catalogue.findBook(*bookId) : nullptr;
    const Chapter* chapter =
        book && resId ? out.state().catalogue.findChapter(*bookId, *resId) : nullptr;
    if (!pageDelay(out, book)) return false;
    if (!chapter) return out.answer(200, kJson, "{\"status\":\"failed\"}");
    Knobs knobs = audioKnobs(request, book, chapter);
    if (chaosStrikes(knobs, request, timesSeenBefore(out, request)))
        knobs["lookup"] = "html";
    std::string mode = knobs.count("lookup") ? knobs["lookup"] : "";
    if (mode == "html")
        return out.answer(200, kHtml, htmlPage("系统繁忙", "服务器开小差了，请稍后再试"));
    if (mode == "nodata") return out.answer(200, kJson, "{\"status\":\"success\"}");
    std::string address = "http://127.0.0.1:" + std::to_string(out.state().port) + "/audio/" +
                          parts[3] + "/" + parts[4] + ".mp3";
    return out.answer(200, kJson, "{\"status\":\"success\",\"data\":\"" + address + "\"}");
}

struct Span {
    std::uint64_t first = 0, last = 0;  // inclusive
};

// Parses a single "bytes=a-b" range; nullopt when absent; a span with first > last when bad.
std::optional<Span> requestedRange(const Request& request, std::uint64_t size) {
    std::string value = request.header("Range");
    if (value.rfind("bytes=", 0) != 0) return std::nullopt;
    std::string ranges = value.substr(6);
    std::size_t dash = ranges.find('-');
    Span bad{1, 0};
    if (dash == std::string::npos || ranges.find(',') != std::string::npos) return bad;
    auto from = number(ranges.substr(0, dash));
    auto to = number(ranges.substr(dash + 1));
    if (!from) {
        if (!to || *to == 0 || size == 0) return bad;
        auto n = std::min<std::uint64_t>(static_cast<std::uint64_t>(*to), size);
        return Span{size - n, size - 1};
    }
    auto first = static_cast<std::uint64_t>(*from);
    if (first >= size) return bad;
    std::uint64_t last =
        to ? std::min<std::uint64_t>(static_cast<std::uint64_t>(*to), size - 1) : size - 1;
    if (to && static_cast<std::uint64_t>(*to) < first) return bad;
    return Span{first, last};
}

// Absolute locations: older clients do not all resolve relative ones.
bool redirectTo(Responder& out, const std::string& location) {
    std::string absolute = "http://127.0.0.1:" + std::to_string(out.state().port) + location;
    return out.answer(302, {"Location: " + absolute, "Content-Type: text/html"},
                      htmlPage("302 Found", "Moved"));
}

std::string withRedirects(const Request& request, std::int64_t remaining) {
    std::string query;
    for (const auto& [k, v] : request.params) {
        if (k == "redirects") continue;
        query += (query.empty() ? "" : "&") + k + "=" + v;
    }
    if (remaining > 0)
        query += (query.empty() ? "" : "&") + std::string("redirects=") + std::to_string(remaining);
    return request.path + (query.empty() ? "" : "?" + query);
}

bool streamAudio(Responder& out, const Request& request, std::int64_t bookId, std::int64_t resId,
                 const Knobs& knobs, int seenBefore) {
    auto size = static_cast<std::uint64_t>(knobNumber(knobs, "size", 0));
    bool headOnly = request.method == "HEAD";
    // A plain flag and span rather than the optional itself: GCC 12 at -O3 takes the optional's
    // members for uninitialised here.
    Span span{0, size - 1};
    bool range = false;
    if (!knobOn(knobs, "ignoreRange")) {
        if (auto asked = requestedRange(request, size)) {
            range = true;
            span = *asked;
        }
    }
    if (range && span.first > span.last)
        return out.answer(416, {"Content-Range: bytes */" + std::to_string(size)}, "", headOnly);
    std::uint64_t length = size == 0 ? 0 : span.last - span.first + 1;
    bool noLength = knobOn(knobs, "noLength");
    std::int64_t closeAfter = knobNumber(knobs, "closeAfter", -1);
    if (closeAfter >= 0 && knobs.count("closeMode") && knobs.at("closeMode") == "once" &&
        seenBefore > 0)
        closeAfter = -1;
    // closeMode=firstRange: only the first ranged answer for this URL breaks (another
    // connection than the first one).
    if (closeAfter >= 0 && knobs.count("closeMode") && knobs.at("closeMode") == "firstRange") {
        std::lock_guard lock(out.state().mutex);
        if (!range || out.state().stats.seen[request.target + " ranged"]++ > 0) closeAfter = -1;
    }
    std::string head = "HTTP/1.1 " + std::string(range ? "206 Partial Content" : "200 OK") +
                       "\r\nContent-Type: audio/mpeg\r\nAccept-Ranges: bytes\r\n";
    if (range) {
        std::uint64_t shown = span.first + (knobOn(knobs, "badRange") ? 1000 : 0);
        head += "Content-Range: bytes " + std::to_string(shown) + "-" +
                std::to_string(shown + length - 1) + "/" + std::to_string(size) + "\r\n";
        std::lock_guard lock(out.state().mutex);
        ++out.state().stats.ranges[request.path];
    }
    // "length" puts any text in Content-Length (too large, too small, negative, garbage); the
    // body stays the real one and the connection closes after it.
    bool lyingLength = knobs.count("length") > 0;
    if (lyingLength) {
        head += "Content-Length: " + knobs.at("length") + "\r\n";
    } else if (!noLength) {
        head += "Content-Length: " + std::to_string(length) + "\r\n";
    }
    if (noLength || closeAfter >= 0 || lyingLength) head += "Connection: close\r\n";
    head += "\r\n";
    if (!out.send(head)) return false;
    if (headOnly) return !noLength && closeAfter < 0;
    auto stallAfter = static_cast<std::uint64_t>(knobNumber(knobs, "stallAfter", 0));
    double stall = knobSeconds(knobs, "stall");
    std::uint64_t sent = 0;
    constexpr std::uint64_t kChunk = 16 * 1024;
    while (sent < length) {
        if (stall > 0 && sent >= stallAfter) {
            if (!out.state().pause(static_cast<long>(stall * 1000))) return false;
            stall = 0;
        }
        std::uint64_t count = std::min(kChunk, length - sent);
        if (stall > 0 && sent < stallAfter) count = std::min(count, stallAfter - sent);
        if (closeAfter >= 0) {
            if (sent >= static_cast<std::uint64_t>(closeAfter)) return false;
            count = std::min(count, static_cast<std::uint64_t>(closeAfter) - sent);
        }
        auto bytes = audioBytes(bookId, resId, size, span.first + sent, count);
        if (!out.send(reinterpret_cast<const char*>(bytes.data()), bytes.size())) return false;
        sent += count;
    }
    return !noLength && closeAfter < 0 && !lyingLength;
}

bool audio(const Request& request, Responder& out, const std::vector<std::string>& parts) {
    auto bookId = number(parts[1]);
    std::string file = parts[2];
    auto resId = file.size() > 4 && file.substr(file.size() - 4) == ".mp3"
                     ? number(file.substr(0, file.size() - 4))
                     : std::nullopt;
    const Catalogue& catalogue = out.state().catalogue;
    const Book* book = bookId ? catalogue.findBook(*bookId) : nullptr;
    const Chapter* chapter = book && resId ? catalogue.findChapter(*bookId, *resId) : nullptr;
    if (!chapter) return out.answer(404, kHtml, htmlPage("404 Not Found", "没有找到该文件"));
    Knobs knobs = audioKnobs(request, book, chapter);
    if (!knobs.count("size")) knobs["size"] = std::to_string(chapter->size);
    int seenBefore = timesSeenBefore(out, request);
    applyChaos(knobs, request, seenBefore);
    if (knobOn(knobs, "drop") &&
        (knobNumber(knobs, "dropCount", -1) < 0 || seenBefore < knobNumber(knobs, "dropCount", -1)))
        return false;
    out.setRate(static_cast<std::uint64_t>(connectionRate(knobs, out.connection())));
    if (auto latency = knobNumber(knobs, "latency", 0); latency > 0 && !out.state().pause(latency))
        return false;
    if (knobOn(knobs, "redirectLoop")) return redirectTo(out, request.target);
    if (auto hops = knobNumber(knobs, "redirects", 0); hops > 0)
        return redirectTo(out, withRedirects(request, hops - 1));
    if (auto fault = knobNumber(knobs, "fault", 0); fault >= 400) {
        auto failures = knobNumber(knobs, "faultCount", -1);
        if (failures < 0 || seenBefore < failures) {
            std::vector<std::string> lines = kHtml;
            if (knobs.count("retryAfter")) lines.push_back("Retry-After: " + knobs["retryAfter"]);
            auto code = static_cast<int>(fault);
            return out.answer(code, lines,
                              htmlPage(std::to_string(code) + " " + reasonPhrase(code), "出错了"),
                              request.method == "HEAD");
        }
    }
    if (knobOn(knobs, "errorPage"))
        return out.answer(200, kHtml, htmlPage("访问出错", "您访问的页面不存在"),
                          request.method == "HEAD");
    bool keep = streamAudio(out, request, book->id, chapter->resId, knobs, seenBefore);
    out.setRate(0);
    // "dropIdle": a whole answer that promises keep-alive, then the connection closes anyway,
    // as a server timing out idle connections does just before the client reuses one.
    return keep && !knobOn(knobs, "dropIdle");
}

bool echo(const Request& request, Responder& out) {
    std::string body = request.requestLine + "\r\n";
    for (const auto& line : request.headerLines) body += line + "\r\n";
    body += "\r\n" + request.body;
    return out.answer(200, kPlain, body, request.method == "HEAD");
}

bool setCookie(const Request& request, Responder& out) {
    std::vector<std::string> lines = kPlain;
    for (const auto& [k, v] : request.params)
        if (k == "line" && v.find('\r') == std::string::npos && v.find('\n') == std::string::npos)
            lines.push_back(v);
    return out.answer(200, lines, "ok");
}

bool stats(Responder& out) {
    std::string text;
    {
        std::lock_guard lock(out.state().mutex);
        text = statisticsText(out.state().stats);
    }
    return out.answer(200, kJson, text);
}

bool proxied(const Request& request, Responder& out) {
    {
        std::lock_guard lock(out.state().mutex);
        out.state().stats.proxyAuthorizations.push_back(request.header("Proxy-Authorization"));
    }
    return echo(request, out);
}

}  // namespace

std::string statisticsText(const Statistics& stats) {
    nlohmann::json json = {{"requests", stats.requests},
                           {"ranges", stats.ranges},
                           {"connections", stats.connections},
                           {"accepted", stats.accepted},
                           {"proxyAuthorizations", stats.proxyAuthorizations}};
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool route(const Request& request, Responder& out) {
    {
        std::lock_guard lock(out.state().mutex);
        ++out.state().stats.requests[request.path];
        if (out.firstAskFor(request.path)) ++out.state().stats.connections[request.path];
    }
    if (request.absoluteForm) return proxied(request, out);
    auto parts = segments(request.path);
    const std::string& first = parts.empty() ? std::string() : parts[0];
    if (first == "book" && parts.size() == 2) return bookPage(request, out, parts[1]);
    if (first == "ajax" && parts.size() == 5 && parts[1] == "book") return chapterPage(out, parts);
    if (first == "ajax" && parts.size() == 5 && parts[1] == "path")
        return lookup(request, out, parts);
    if (first == "audio" && parts.size() == 3) return audio(request, out, parts);
    if (request.path == "/echo") return echo(request, out);
    if (request.path == "/set-cookie") return setCookie(request, out);
    if (request.path == "/stats") return stats(out);
    if (request.path == "/loop") return redirectTo(out, "/loop");
    if (first == "redirect" && parts.size() == 2) {
        auto n = number(parts[1]);
        if (n && *n > 0) return redirectTo(out, "/redirect/" + std::to_string(*n - 1));
        return out.answer(200, kPlain, "arrived");
    }
    if (first == "status" && parts.size() == 2) {
        auto code = number(parts[1]);
        int status = code && *code >= 100 && *code < 600 ? static_cast<int>(*code) : 400;
        return out.answer(status, kPlain, "status " + std::to_string(status) + "\n",
                          request.method == "HEAD");
    }
    if (request.path == "/stall") {
        double seconds = 0;
        try {
            seconds = std::stod(request.param("seconds", "0"));
        } catch (const std::exception&) {
        }
        if (!out.state().pause(static_cast<long>(seconds * 1000))) return false;
        return out.answer(200, kPlain, "late");
    }
    return out.answer(404, kHtml, htmlPage("404 Not Found", "页面不存在"),
                      request.method == "HEAD");
}

}  // namespace zelbrin::fake_service
