// Winsock 2. WSAStartup once per process; the matching WSACleanup is left to process exit,
// since servers may start and stop many times in one test program.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mutex>

#include "socket.h"

namespace zelbrin::fake_service {

namespace {
SOCKET raw(const Socket& socket) { return static_cast<SOCKET>(socket.handle()); }
}  // namespace

Socket::~Socket() {
    if (valid()) ::closesocket(static_cast<SOCKET>(handle_));
}

Socket& Socket::operator=(Socket&& other) noexcept {
    if (this != &other) {
        if (valid()) ::closesocket(static_cast<SOCKET>(handle_));
        handle_ = other.release();
    }
    return *this;
}

std::intptr_t Socket::release() {
    std::intptr_t handle = handle_;
    handle_ = kInvalid;
    return handle;
}

bool startSockets() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data;
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

Socket listenLoopback(int port) {
    if (!startSockets()) return {};
    SOCKET handle = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET) return {};
    Socket socket(static_cast<std::intptr_t>(handle));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(handle, 64) != 0)
        return {};
    return socket;
}

int localPort(const Socket& socket) {
    sockaddr_in address{};
    int length = sizeof address;
    if (::getsockname(raw(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0) return 0;
    return ntohs(address.sin_port);
}

bool waitReadable(const Socket& socket, int milliseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(raw(socket), &readable);
    timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
    return ::select(0, &readable, nullptr, nullptr, &wait) > 0;
}

Socket acceptConnection(const Socket& listener) {
    SOCKET handle = ::accept(raw(listener), nullptr, nullptr);
    if (handle == INVALID_SOCKET) return {};
    BOOL on = TRUE;
    ::setsockopt(handle, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return Socket(static_cast<std::intptr_t>(handle));
}

long receiveSome(const Socket& socket, char* buffer, std::size_t size) {
    return ::recv(raw(socket), buffer, static_cast<int>(size), 0);
}

bool sendAll(const Socket& socket, const char* data, std::size_t size) {
    while (size > 0) {
        int sent = ::send(raw(socket), data, static_cast<int>(size), 0);
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

void shutdownSocket(const Socket& socket) {
    if (socket.valid()) ::shutdown(raw(socket), SD_BOTH);
}

}  // namespace zelbrin::fake_service
