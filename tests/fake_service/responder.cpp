#include <algorithm>
#include <chrono>

#include "exchange.h"

namespace zelbrin::fake_service {

namespace {

constexpr double kBurstBytes = 64 * 1024;
constexpr std::size_t kSlice = 8 * 1024;

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void Responder::setRate(std::uint64_t bytesPerSecond) {
    std::int64_t now = nowMs();
    if (bytesPerSecond != 0 && bytesPerSecond == bucketRate_) {
        // The bucket belongs to the connection, as a CDN's does: the next answer at the same
        // rate goes on with what is left, refilled for the time between, so a client asking
        // for many pieces on one kept-alive connection earns no fresh burst for each.
        tokens_ = std::min(kBurstBytes, tokens_ + static_cast<double>(now - lastRefillMs_) *
                                                      static_cast<double>(bytesPerSecond) / 1000.0);
    } else if (bytesPerSecond != 0) {
        tokens_ = std::min<double>(kBurstBytes, static_cast<double>(bytesPerSecond));
        bucketRate_ = bytesPerSecond;
    }
    rate_ = bytesPerSecond;
    lastRefillMs_ = now;
}

bool Responder::send(const std::string& data) { return send(data.data(), data.size()); }

bool Responder::send(const char* data, std::size_t size) {
    if (rate_ == 0) return sendAll(socket_, data, size);
    while (size > 0) {
        std::int64_t now = nowMs();
        tokens_ = std::min(kBurstBytes, tokens_ + static_cast<double>(now - lastRefillMs_) *
                                                      static_cast<double>(rate_) / 1000.0);
        lastRefillMs_ = now;
        std::size_t slice = std::min(size, kSlice);
        if (tokens_ < static_cast<double>(slice)) {
            slice = std::max<std::size_t>(1, static_cast<std::size_t>(tokens_));
            if (tokens_ < 1) {
                auto waitMs = static_cast<long>((1 - tokens_) * 1000.0 / rate_) + 1;
                if (!state_.pause(std::min(waitMs, 50L))) return false;
                continue;
            }
        }
        if (!sendAll(socket_, data, slice)) return false;
        tokens_ -= static_cast<double>(slice);
        data += slice;
        size -= slice;
    }
    return true;
}

bool Responder::answer(int status, const std::vector<std::string>& headerLines,
                       const std::string& body, bool headOnly, bool withLength) {
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    for (const auto& line : headerLines) head += line + "\r\n";
    if (withLength) head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    head += "\r\n";
    if (!send(head)) return false;
    return headOnly || send(body);
}

std::string reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 206:
            return "Partial Content";
        case 301:
            return "Moved Permanently";
        case 302:
            return "Found";
        case 303:
            return "See Other";
        case 307:
            return "Temporary Redirect";
        case 308:
            return "Permanent Redirect";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 416:
            return "Range Not Satisfiable";
        case 500:
            return "Internal Server Error";
        case 503:
            return "Service Unavailable";
        default:
            return "Status";
    }
}

std::string percentDecode(const std::string& text) {
    auto hex = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hex(text[i + 1]) >= 0 &&
            hex(text[i + 2]) >= 0) {
            out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

}  // namespace zelbrin::fake_service
