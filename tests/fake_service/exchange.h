// One request as it came off the wire and the means to answer it: the plumbing shared by the
// server loop (fake_service.cpp) and the endpoints (routes.cpp).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
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
};

// State the endpoints share; owned by the FakeService.
struct ServiceState {
    Catalogue catalogue;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::mutex mutex;  // guards stats
    std::condition_variable wake;
    Statistics stats;

    // Sleeps, but returns false at once when the service stops.
    bool pause(long milliseconds);
};

// One connection's answering side.
class Responder {
public:
    Responder(ServiceState& state, const Socket& socket) : state_(state), socket_(socket) {}

    // Bytes per second for what follows; 0 = unlimited. A bucket of ~64 KB lets a burst through.
    void setRate(std::uint64_t bytesPerSecond);
    bool send(const std::string& data);
    bool send(const char* data, std::size_t size);

    // Status line, the given header lines (raw, each without CR LF), a Content-Length unless
    // `withLength` is false, then the body unless `headOnly`.
    bool answer(int status, const std::vector<std::string>& headerLines, const std::string& body,
                bool headOnly = false, bool withLength = true);

    ServiceState& state() { return state_; }

private:
    ServiceState& state_;
    const Socket& socket_;
    std::uint64_t rate_ = 0;
    double tokens_ = 0;
    std::int64_t lastRefillMs_ = 0;
};

std::string reasonPhrase(int status);
std::string percentDecode(const std::string& text);

// Answers one request; false when the connection must close afterwards.
bool route(const Request& request, Responder& responder);

}  // namespace zelbrin::fake_service
