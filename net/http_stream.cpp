#include "net/http_stream.h"

#include <utility>

namespace zelbrin {

void StreamCancel::cancel() {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    if (interrupt_) interrupt_();
}

bool StreamCancel::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

void StreamCancel::setInterrupt(std::function<void()> interrupt) {
    std::lock_guard lock(mutex_);
    interrupt_ = std::move(interrupt);
    if (cancelled_ && interrupt_) interrupt_();
}

void StreamCancel::clearInterrupt() {
    std::lock_guard lock(mutex_);
    interrupt_ = nullptr;
}

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

}  // namespace

Text findHeader(std::string_view headers, std::string_view name) {
    while (!headers.empty()) {
        std::size_t end = headers.find('\n');
        std::string_view line = headers.substr(0, end);
        headers = end == std::string_view::npos ? std::string_view{} : headers.substr(end + 1);
        std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && sameName(trim(line.substr(0, colon)), name))
            return Text(trim(line.substr(colon + 1)));
    }
    return {};
}

}  // namespace zelbrin
