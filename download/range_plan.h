// Who fetches which bytes of a file, and which bytes are on disk. Splitting follows the
// dynamic scheme of segmented downloaders: a connection that runs out of work takes over the
// upper half of the largest range still in progress, so the tail of a file never waits on one
// slow connection. Bytes are claimed before they are written, so no byte is ever written by
// two connections. Not thread-safe: the transfer guards it with its lock.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace zelbrin {

struct Segment {
    std::int64_t start = 0;
    std::int64_t pos = 0;  // next byte to claim; [start, pos) is claimed
    std::int64_t end = 0;  // exclusive
    int owner = -1;        // worker id; -1: nobody fetches it
};

class RangePlan {
public:
    RangePlan(std::int64_t size, std::int64_t minPiece);

    // The whole file to `worker`; the first connection starts this way.
    void assignWhole(int worker);
    // Next work for a worker without a segment: an abandoned range first, else (while
    // splitting is allowed) the upper half of the largest range in progress. False: none.
    bool takeWork(int worker);
    std::optional<Segment> segmentOf(int worker) const;
    // The segments being fetched that still have bytes to claim.
    std::vector<Segment> active() const;
    // `worker`, which has no segment, takes over what `owner` has not claimed yet: the owner's
    // range ends where it stands, so its next claim gets 0. False when there is nothing left.
    bool takeOver(int worker, int owner);

    // Claims up to `length` bytes at `offset` for `worker`, which must be its next byte.
    // Returns how many it may write: fewer at the end of its range, 0 when it has none.
    std::int64_t claim(int worker, std::int64_t offset, std::int64_t length);
    // Records bytes that are now on disk.
    void markWritten(std::int64_t offset, std::int64_t length);

    // The worker stops fetching; what it had not claimed yet is left for others.
    void release(int worker);
    // The server cannot be trusted with ranges: no more splitting, and an untouched range goes
    // back to the running range just below it. True when it did; else the range stays the
    // worker's, to be fetched from a whole-file answer.
    bool mergeBack(int worker);
    void stopSplitting() { splitting_ = false; }
    bool splitting() const { return splitting_; }

    std::int64_t size() const { return size_; }
    std::int64_t covered() const;
    bool complete() const { return covered() == size_; }

private:
    Segment* find(int worker);
    const Segment* find(int worker) const;

    std::int64_t size_;
    std::int64_t minPiece_;
    bool splitting_ = true;
    std::vector<Segment> segments_;
    std::map<std::int64_t, std::int64_t> written_;  // start -> end, disjoint and not touching
};

}  // namespace zelbrin
