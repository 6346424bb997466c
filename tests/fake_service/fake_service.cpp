#include "fake_service.h"

#include <chrono>
#include <list>
#include <nlohmann/json.hpp>
#include <thread>

#include "exchange.h"

namespace zelbrin::fake_service {

namespace {

constexpr int kPollMs = 50;
constexpr int kIdleLimitMs = 15000;  // keep-alive connections idle longer than this are closed
constexpr std::size_t kHeaderLimit = 64 * 1024;

struct Connection {
    Socket socket;
    int number = 0;
    std::thread thread;
    std::atomic<bool> done{false};
};

std::string lowered(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

void parseQuery(Request& request) {
    std::size_t at = 0;
    const std::string& query = request.query;
    while (at < query.size()) {
        std::size_t end = query.find('&', at);
        if (end == std::string::npos) end = query.size();
        std::string pair = query.substr(at, end - at);
        std::size_t equals = pair.find('=');
        if (!pair.empty())
            request.params.emplace_back(
                percentDecode(pair.substr(0, equals)),
                equals == std::string::npos ? "" : percentDecode(pair.substr(equals + 1)));
        at = end + 1;
    }
}

bool parseHead(const std::string& head, Request& request) {
    std::size_t lineEnd = head.find("\r\n");
    request.requestLine = head.substr(0, lineEnd);
    std::size_t first = request.requestLine.find(' ');
    std::size_t last = request.requestLine.rfind(' ');
    if (first == std::string::npos || last == first) return false;
    request.method = request.requestLine.substr(0, first);
    request.target = request.requestLine.substr(first + 1, last - first - 1);
    request.version = request.requestLine.substr(last + 1);
    std::string target = request.target;
    if (lowered(target.substr(0, 7)) == "http://") {
        request.absoluteForm = true;
        std::size_t slash = target.find('/', 7);
        target = slash == std::string::npos ? "/" : target.substr(slash);
    }
    std::size_t mark = target.find('?');
    request.path = target.substr(0, mark);
    if (mark != std::string::npos) request.query = target.substr(mark + 1);
    parseQuery(request);
    std::size_t at = lineEnd + 2;
    while (at < head.size()) {
        std::size_t end = head.find("\r\n", at);
        if (end == std::string::npos) end = head.size();
        if (end > at) request.headerLines.push_back(head.substr(at, end - at));
        at = end + 2;
    }
    return true;
}

// Appends received bytes to `pending` until `enough` says so; false on close, stop or idling.
template <class Enough>
bool receiveUntil(ServiceState& state, const Socket& socket, std::string& pending, Enough enough) {
    int idleMs = 0;
    char buffer[16384];
    while (!enough()) {
        if (state.stopping) return false;
        if (!waitReadable(socket, kPollMs)) {
            if ((idleMs += kPollMs) > kIdleLimitMs) return false;
            continue;
        }
        long got = receiveSome(socket, buffer, sizeof buffer);
        if (got <= 0) return false;
        pending.append(buffer, static_cast<std::size_t>(got));
        idleMs = 0;
    }
    return true;
}

bool readRequest(ServiceState& state, const Socket& socket, std::string& pending,
                 Request& request) {
    std::size_t headEnd = std::string::npos;
    if (!receiveUntil(state, socket, pending,
                      [&] {
                          headEnd = pending.find("\r\n\r\n");
                          return headEnd != std::string::npos || pending.size() > kHeaderLimit;
                      }) ||
        headEnd == std::string::npos)
        return false;
    if (!parseHead(pending.substr(0, headEnd), request)) return false;
    pending.erase(0, headEnd + 4);
    std::size_t length = 0;
    try {
        std::string value = request.header("Content-Length");
        if (!value.empty()) length = std::stoul(value);
    } catch (const std::exception&) {
        return false;
    }
    if (!receiveUntil(state, socket, pending, [&] { return pending.size() >= length; }))
        return false;
    request.body = pending.substr(0, length);
    pending.erase(0, length);
    return true;
}

bool wantsClose(const Request& request) {
    std::string connection = lowered(request.header("Connection"));
    if (request.version == "HTTP/1.0") return connection != "keep-alive";
    return connection == "close";
}

}  // namespace

struct FakeService::Impl {
    ServiceState state;
    Socket listener;
    std::thread acceptThread;
    std::mutex connectionsMutex;
    std::list<std::unique_ptr<Connection>> connections;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    void serve(Connection& connection) {
        Responder responder(state, connection.socket, connection.number);
        std::string pending;
        for (;;) {
            Request request;
            if (!readRequest(state, connection.socket, pending, request)) break;
            double begun = secondsSinceStart();
            bool keep = route(request, responder) && !wantsClose(request);
            logRequest(begun, connection.number, request);
            if (!keep || state.stopping) break;
        }
        shutdownSocket(connection.socket);
        connection.done = true;
    }

    double secondsSinceStart() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    }

    // "<began> <ended> <connection> <method> <target>", seconds since the start.
    void logRequest(double begun, int connection, const Request& request) {
        std::lock_guard lock(state.mutex);
        if (!state.log) return;
        std::fprintf(state.log.get(), "%.6f %.6f %d %s %s\n", begun, secondsSinceStart(),
                     connection, request.method.c_str(), request.target.c_str());
        std::fflush(state.log.get());
    }

    void reapFinished() {
        std::lock_guard lock(connectionsMutex);
        for (auto it = connections.begin(); it != connections.end();) {
            if ((*it)->done) {
                (*it)->thread.join();
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }

    void acceptLoop() {
        while (!state.stopping) {
            reapFinished();
            if (!waitReadable(listener, kPollMs)) continue;
            Socket socket = acceptConnection(listener);
            if (!socket.valid()) continue;
            auto connection = std::make_unique<Connection>();
            connection->socket = std::move(socket);
            {
                std::lock_guard statsLock(state.mutex);
                connection->number = ++state.stats.accepted;
            }
            Connection& ref = *connection;
            std::lock_guard lock(connectionsMutex);
            connections.push_back(std::move(connection));
            ref.thread = std::thread([this, &ref] { serve(ref); });
        }
    }
};

bool FakeService::logRequestsTo(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    std::lock_guard lock(impl_->state.mutex);
    impl_->state.log.reset(file);
    return file != nullptr;
}

bool ServiceState::pause(long milliseconds) {
    std::unique_lock lock(mutex);
    return !wake.wait_for(lock, std::chrono::milliseconds(milliseconds),
                          [this] { return stopping.load(); });
}

FakeService::FakeService(Catalogue catalogue) : impl_(std::make_unique<Impl>()) {
    impl_->state.catalogue = std::move(catalogue);
}

FakeService::~FakeService() { stop(); }

bool FakeService::start(int port) {
    if (impl_->listener.valid()) return false;
    impl_->listener = listenLoopback(port);
    if (!impl_->listener.valid()) return false;
    impl_->state.port = localPort(impl_->listener);
    impl_->state.stopping = false;
    impl_->acceptThread = std::thread([this] { impl_->acceptLoop(); });
    return true;
}

int FakeService::port() const { return impl_->state.port; }

std::string FakeService::baseUrl() const {
    return "http://127.0.0.1:" + std::to_string(impl_->state.port);
}

void FakeService::stop() {
    {
        std::lock_guard lock(impl_->state.mutex);
        impl_->state.stopping = true;
    }
    impl_->state.wake.notify_all();
    if (impl_->acceptThread.joinable()) impl_->acceptThread.join();
    std::lock_guard lock(impl_->connectionsMutex);
    for (auto& connection : impl_->connections) shutdownSocket(connection->socket);
    for (auto& connection : impl_->connections) connection->thread.join();
    impl_->connections.clear();
    impl_->listener = Socket();
}

std::string FakeService::statsJson() const {
    std::lock_guard lock(impl_->state.mutex);
    const Statistics& stats = impl_->state.stats;
    return statisticsText(stats);
}

int FakeService::connectionCount(const std::string& path) const {
    std::lock_guard lock(impl_->state.mutex);
    auto it = impl_->state.stats.connections.find(path);
    return it == impl_->state.stats.connections.end() ? 0 : it->second;
}

int FakeService::requestCount(const std::string& path) const {
    std::lock_guard lock(impl_->state.mutex);
    auto it = impl_->state.stats.requests.find(path);
    return it == impl_->state.stats.requests.end() ? 0 : it->second;
}

int FakeService::rangeCount(const std::string& path) const {
    std::lock_guard lock(impl_->state.mutex);
    auto it = impl_->state.stats.ranges.find(path);
    return it == impl_->state.stats.ranges.end() ? 0 : it->second;
}

std::vector<std::string> FakeService::proxyAuthorizations() const {
    std::lock_guard lock(impl_->state.mutex);
    return impl_->state.stats.proxyAuthorizations;
}

std::string Request::header(const std::string& name) const {
    std::string sought = lowered(name);
    for (const auto& line : headerLines) {
        std::size_t colon = line.find(':');
        if (colon == std::string::npos || lowered(line.substr(0, colon)) != sought) continue;
        std::size_t start = line.find_first_not_of(" \t", colon + 1);
        std::size_t end = line.find_last_not_of(" \t");
        return start == std::string::npos ? "" : line.substr(start, end - start + 1);
    }
    return {};
}

std::string Request::param(const std::string& name, const std::string& otherwise) const {
    for (const auto& [key, value] : params)
        if (key == name) return value;
    return otherwise;
}

}  // namespace zelbrin::fake_service
