// BSD sockets. MSG_NOSIGNAL keeps a client that hung up from killing the process with SIGPIPE.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "socket.h"

namespace zelbrin::fake_service {

Socket::~Socket() {
    if (valid()) ::close(static_cast<int>(handle_));
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        if (valid()) ::close(static_cast<int>(handle_));
        handle_ = other.release();
    }
    return *this;
}

std::intptr_t Socket::release() {
    std::intptr_t handle = handle_;
    handle_ = kInvalid;
    return handle;
}

bool startSockets() { return true; }

Socket listenLoopback(int port) {
    Socket socket(::socket(AF_INET, SOCK_STREAM, 0));
    if (!socket.valid()) return {};
    int on = 1;
    ::setsockopt(static_cast<int>(socket.handle()), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(static_cast<int>(socket.handle()), reinterpret_cast<sockaddr*>(&address),
               sizeof address) != 0 ||
        ::listen(static_cast<int>(socket.handle()), 64) != 0)
        return {};
    return socket;
}

int localPort(const Socket& socket) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(static_cast<int>(socket.handle()), reinterpret_cast<sockaddr*>(&address),
                      &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

bool waitReadable(const Socket& socket, int milliseconds) {
    pollfd entry{static_cast<int>(socket.handle()), POLLIN, 0};
    return ::poll(&entry, 1, milliseconds) > 0;
}

Socket acceptConnection(const Socket& listener) {
    int handle = ::accept(static_cast<int>(listener.handle()), nullptr, nullptr);
    if (handle < 0) return {};
    int on = 1;
    ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return Socket(handle);
}

long receiveSome(const Socket& socket, char* buffer, std::size_t size) {
    for (;;) {
        long got = ::recv(static_cast<int>(socket.handle()), buffer, size, 0);
        if (got >= 0 || errno != EINTR) return got;
    }
}

bool sendAll(const Socket& socket, const char* data, std::size_t size) {
    while (size > 0) {
        long sent = ::send(static_cast<int>(socket.handle()), data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void shutdownSocket(const Socket& socket) {
    if (socket.valid()) ::shutdown(static_cast<int>(socket.handle()), SHUT_RDWR);
}

}  // namespace zelbrin::fake_service
