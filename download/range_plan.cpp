#include "download/range_plan.h"

#include <algorithm>
#include <iterator>

namespace zelbrin {

RangePlan::RangePlan(std::int64_t size, std::int64_t minPiece)
    : size_(size), minPiece_(std::max<std::int64_t>(minPiece, 1)) {}

void RangePlan::assignWhole(int worker) { segments_.push_back({0, 0, size_, worker}); }

Segment* RangePlan::find(int worker) {
    for (Segment& s : segments_)
        if (s.owner == worker) return &s;
    return nullptr;
}

const Segment* RangePlan::find(int worker) const {
    for (const Segment& s : segments_)
        if (s.owner == worker) return &s;
    return nullptr;
}

std::optional<Segment> RangePlan::segmentOf(int worker) const {
    const Segment* s = find(worker);
    if (!s) return std::nullopt;
    return *s;
}

std::vector<Segment> RangePlan::active() const {
    std::vector<Segment> running;
    for (const Segment& s : segments_)
        if (s.owner >= 0 && s.pos < s.end) running.push_back(s);
    return running;
}

bool RangePlan::takeOver(int worker, int owner) {
    Segment* s = find(owner);
    if (worker == owner || find(worker) || !s || s->pos >= s->end) return false;
    Segment rest{s->pos, s->pos, s->end, worker};
    s->end = s->pos;
    segments_.push_back(rest);
    return true;
}

bool RangePlan::takeWork(int worker) {
    if (find(worker)) return true;
    for (Segment& s : segments_) {
        if (s.owner < 0 && s.pos < s.end) {
            s.owner = worker;
            return true;
        }
    }
    if (!splitting_) return false;
    Segment* largest = nullptr;
    for (Segment& s : segments_)
        if (s.owner >= 0 && (!largest || s.end - s.pos > largest->end - largest->pos)) largest = &s;
    if (!largest || largest->end - largest->pos < 2 * minPiece_) return false;
    std::int64_t middle = largest->pos + (largest->end - largest->pos) / 2;
    Segment upper{middle, middle, largest->end, worker};
    largest->end = middle;
    segments_.push_back(upper);
    return true;
}

std::int64_t RangePlan::claim(int worker, std::int64_t offset, std::int64_t length) {
    Segment* s = find(worker);
    if (!s || offset != s->pos || length <= 0) return 0;
    std::int64_t allowed = std::min(length, s->end - s->pos);
    s->pos += allowed;
    return allowed;
}

void RangePlan::markWritten(std::int64_t offset, std::int64_t length) {
    if (length <= 0) return;
    std::int64_t start = offset;
    std::int64_t end = offset + length;
    auto it = written_.upper_bound(start);
    if (it != written_.begin()) {
        auto before = std::prev(it);
        if (before->second >= start) {
            start = before->first;
            end = std::max(end, before->second);
            it = written_.erase(before);
        }
    }
    while (it != written_.end() && it->first <= end) {
        end = std::max(end, it->second);
        it = written_.erase(it);
    }
    written_[start] = end;
}

void RangePlan::release(int worker) {
    if (Segment* s = find(worker)) s->owner = -1;
}

bool RangePlan::mergeBack(int worker) {
    splitting_ = false;
    Segment* s = find(worker);
    if (!s || s->pos != s->start) return false;
    for (Segment& below : segments_) {
        if (&below != s && below.owner >= 0 && below.end == s->start && below.pos < below.end) {
            below.end = s->end;
            s->end = s->start;
            s->owner = -1;
            return true;
        }
    }
    return false;
}

std::int64_t RangePlan::covered() const {
    std::int64_t total = 0;
    for (const auto& [start, end] : written_) total += end - start;
    return total;
}

}  // namespace zelbrin
