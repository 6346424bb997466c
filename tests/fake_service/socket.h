// The few socket operations the fake service needs, over BSD sockets or Winsock
// (socket_posix.cpp / socket_win32.cpp). Only loopback addresses are ever bound.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelbrin::fake_service {

// Owns one socket; closes it on destruction.
class Socket {
public:
    Socket() = default;
    explicit Socket(std::intptr_t handle) : handle_(handle) {}
    ~Socket();
    Socket(Socket&& other) noexcept : handle_(other.release()) {}
    Socket& operator=(Socket&& other) noexcept;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool valid() const { return handle_ != kInvalid; }
    std::intptr_t handle() const { return handle_; }
    std::intptr_t release();

    static constexpr std::intptr_t kInvalid = -1;

private:
    std::intptr_t handle_ = kInvalid;
};

// Winsock needs a per-process start-up; a no-op elsewhere. Safe to call repeatedly.
bool startSockets();

// A listening socket on 127.0.0.1:port (0: the system picks). Invalid on failure.
Socket listenLoopback(int port);
int localPort(const Socket& socket);

// True when the socket can be read (or accepted from) within `milliseconds`.
bool waitReadable(const Socket& socket, int milliseconds);
Socket acceptConnection(const Socket& listener);

// Bytes received, 0 when the peer closed, negative on error.
long receiveSome(const Socket& socket, char* buffer, std::size_t size);
bool sendAll(const Socket& socket, const char* data, std::size_t size);
// Wakes any thread blocked on the socket; the owner still closes it.
void shutdownSocket(const Socket& socket);

}  // namespace zelbrin::fake_service
