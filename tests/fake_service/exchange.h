// One request as it came off the wire and the means to answer it: the plumbing shared by the
// server loop (fake_service.cpp) and the endpoints (routes.cpp).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "catalogue.h"
#include "socket.h"

namespace zelbrin::fake_service {

struct Request {
    std::string requestLine;  // as received, without CR LF
    std::string method, target, version;
    std::string path;   // the target without its query; for a proxy request the full URL's path
    std::string query;  // raw, after "?"
    std::vector<std::pair<std::string, std::string>> params;  // query, decoded, in order
    std::vector<std::string> headerLines;                     // as received, in order
    std::string body;
    bool absoluteForm = false;  // "GET http://host/path HTTP/1.1": we are being used as a proxy

    std::string header(const std::string& name) const;  // first match, any case; "" if none
    std::string param(const std::string& name, const std::string& otherwise = {}) const;
};

// What the service has seen, for /stats and the tests.
struct Statistics {
    std::map<std::string, int> requests;  // by path
    std::map<std::string, int> ranges;    // by path: 206 answers served
    std::vector<std::string> proxyAuthorizations;
    std::map<std::string, int> seen;  // by full target: for faults that happen only the first times
    std::map<std::string, int> connections;  // by path: distinct connections that asked for it
    int accepted = 0;                        // connections accepted so far
};

// The /stats document: {"requests":{path:n},"ranges":{path:n},"connections":{path:n},
// "accepted":n,"proxyAuthorizations":[...]}.
std::string statisticsText(const Statistics& stats);

// State the endpoints share; owned by the FakeService.
struct ServiceState {
    Catalogue catalogue;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::mutex mutex;  // guards stats
    std::condition_variable wake;
    Statistics stats;
    // One line per answered request, for benchmarks that time the gaps between requests.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> log{nullptr, &std::fclose};

    // Sleeps, but returns false at once when the service stops.
    bool pause(long milliseconds);
};

// One connection's answering side.
class Responder {
public:
    // `connection`: 1 for the first connection the service accepted, 2 for the next, ...
    Responder(ServiceState& state, const Socket& socket, int connection = 0)
        : state_(state), socket_(socket), connection_(connection) {}

    // Bytes per second for what follows; 0 = unlimited. A bucket of ~64 KB lets a burst through;
    // it lasts as long as the connection while the rate stays the same.
    void setRate(std::uint64_t bytesPerSecond);
    bool send(const std::string& data);
    bool send(const char* data, std::size_t size);

    // Status line, the given header lines (raw, each without CR LF), a Content-Length unless
    // `withLength` is false, then the body unless `headOnly`.
    bool answer(int status, const std::vector<std::string>& headerLines, const std::string& body,
                bool headOnly = false, bool withLength = true);

    ServiceState& state() { return state_; }
    int connection() const { return connection_; }
    // True the first time this connection asks for `path`.
    bool firstAskFor(const std::string& path) { return askedPaths_.insert(path).second; }

private:
    ServiceState& state_;
    const Socket& socket_;
    int connection_;
    std::set<std::string> askedPaths_;
    std::uint64_t rate_ = 0;
    std::uint64_t bucketRate_ = 0;  // the rate the bucket was filled at; 0: none yet
    double tokens_ = 0;
    std::int64_t lastRefillMs_ = 0;
};

std::string reasonPhrase(int status);
std::string percentDecode(const std::string& text);

// Answers one request; false when the connection must close afterwards.
bool route(const Request& request, Responder& responder);

}  // namespace zelbrin::fake_service
