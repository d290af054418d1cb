#pragma once
// A loopback TCP port nobody listens on now: that of a listener that has just gone. For a
// simulated gateway to take, or for a connection that must be refused.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace veltro::test {

inline std::uint16_t FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

inline std::string FreeLoopbackEndpoint()
{
    return "127.0.0.1:" + std::to_string(FreeLoopbackPort());
}

}  // namespace veltro::test
