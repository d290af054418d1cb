#pragma once
// A libmodbus RTU server as a real peer: it opens the slave side of one pseudo-terminal,
// our side opens the slave side of another, and a bridge thread copies bytes between the
// two master sides. Both ends are thus ordinary serial devices, opened by name.

#include "support/PtyPair.h"

#include <modbus.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

namespace veltro::modbus::test {

class PtyBridge {
public:
    PtyBridge()
    {
        if (::pipe(FStop) != 0)
            throw std::runtime_error("pipe failed");
        FThread = std::thread([this] { Run(); });
    }
    ~PtyBridge()
    {
        const char C = 0;
        (void)::write(FStop[1], &C, 1);
        FThread.join();
        ::close(FStop[0]);
        ::close(FStop[1]);
    }
    PtyBridge(const PtyBridge&) = delete;
    PtyBridge& operator=(const PtyBridge&) = delete;

    // The server opens this one ...
    const std::string& ServerPath() const { return FServer.SlavePath(); }
    // ... and the client this one.
    const std::string& ClientPath() const { return FClient.SlavePath(); }

private:
    static bool Copy(int From, int To)
    {
        std::uint8_t Buf[512];
        const ssize_t N = ::read(From, Buf, sizeof Buf);
        if (N <= 0)
            return N < 0 && (errno == EAGAIN || errno == EINTR);
        ssize_t Done = 0;
        while (Done < N) {
            const ssize_t W = ::write(To, Buf + Done, static_cast<std::size_t>(N - Done));
            if (W > 0) {
                Done += W;
            } else if (W < 0 && (errno == EAGAIN || errno == EINTR)) {
                struct pollfd P {To, POLLOUT, 0};
                ::poll(&P, 1, 10);
            } else {
                return false;
            }
        }
        return true;
    }

    void Run()
    {
        for (;;) {
            struct pollfd P[3] = {{FServer.MasterFd(), POLLIN, 0}, {FClient.MasterFd(), POLLIN, 0}, {FStop[0], POLLIN, 0}};
            if (::poll(P, 3, -1) < 0 && errno != EINTR)
                return;
            if (P[2].revents)
                return;
            if ((P[0].revents & POLLIN) && !Copy(FServer.MasterFd(), FClient.MasterFd()))
                return;
            if ((P[1].revents & POLLIN) && !Copy(FClient.MasterFd(), FServer.MasterFd()))
                return;
        }
    }

    veltro::test::PtyPair FServer;
    veltro::test::PtyPair FClient;
    int FStop[2] = {-1, -1};
    std::thread FThread;
};

// Serves a register map at one address until destroyed. The map is only touched under the
// server's lock, so a test can read and change it while the server runs.
class LibmodbusServer {
public:
    LibmodbusServer(const std::string& Device, int Address, int Baud = 19200)
    {
        FContext = modbus_new_rtu(Device.c_str(), Baud, 'N', 8, 1);
        if (!FContext)
            throw std::runtime_error("modbus_new_rtu failed");
        modbus_set_slave(FContext, Address);
        if (modbus_connect(FContext) != 0) {
            const std::string Error = modbus_strerror(errno);
            modbus_free(FContext);
            throw std::runtime_error("modbus_connect failed: " + Error);
        }
        // Wake up regularly to notice the stop request.
        modbus_set_indication_timeout(FContext, 0, 50000);
        FMap = modbus_mapping_new(200, 200, 200, 200);
        FThread = std::thread([this] { Run(); });
    }
    ~LibmodbusServer()
    {
        FStop = true;
        FThread.join();
        modbus_mapping_free(FMap);
        modbus_close(FContext);
        modbus_free(FContext);
    }
    LibmodbusServer(const LibmodbusServer&) = delete;
    LibmodbusServer& operator=(const LibmodbusServer&) = delete;

    void WithMap(const std::function<void(modbus_mapping_t&)>& F)
    {
        std::lock_guard Lock(FMapLock);
        F(*FMap);
    }

private:
    void Run()
    {
        std::uint8_t Query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!FStop) {
            const int Length = modbus_receive(FContext, Query);
            if (Length > 0) {
                std::lock_guard Lock(FMapLock);
                modbus_reply(FContext, Query, Length, FMap);
            }
        }
    }

    modbus_t* FContext = nullptr;
    modbus_mapping_t* FMap = nullptr;
    std::mutex FMapLock;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// A libmodbus Modbus TCP server on the loopback address, at a port of the system's choice.
class LibmodbusTcpServer {
public:
    LibmodbusTcpServer()
    {
        FContext = modbus_new_tcp("127.0.0.1", 0);
        if (!FContext)
            throw std::runtime_error("modbus_new_tcp failed");
        FListen = modbus_tcp_listen(FContext, 1);
        if (FListen < 0)
            throw std::runtime_error(std::string("modbus_tcp_listen failed: ") + modbus_strerror(errno));
        sockaddr_in Address{};
        socklen_t Size = sizeof Address;
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&Address), &Size);
        FPort = ntohs(Address.sin_port);
        FMap = modbus_mapping_new(0, 0, 200, 0);
        for (int I = 0; I < 200; ++I)
            FMap->tab_registers[I] = static_cast<std::uint16_t>(500 + I);
        FThread = std::thread([this] { Run(); });
    }
    ~LibmodbusTcpServer()
    {
        FStop = true;
        FThread.join();
        ::close(FListen);
        modbus_mapping_free(FMap);
        modbus_close(FContext);
        modbus_free(FContext);
    }
    LibmodbusTcpServer(const LibmodbusTcpServer&) = delete;
    LibmodbusTcpServer& operator=(const LibmodbusTcpServer&) = delete;

    std::uint16_t Port() const { return FPort; }

private:
    void Run()
    {
        // Accepts and serves one client after another, looking for the stop request often.
        while (!FStop) {
            struct pollfd P {FListen, POLLIN, 0};
            if (::poll(&P, 1, 50) <= 0)
                continue;
            int Listen = FListen;
            if (modbus_tcp_accept(FContext, &Listen) < 0)
                continue;
            modbus_set_indication_timeout(FContext, 0, 50000);
            std::uint8_t Query[MODBUS_TCP_MAX_ADU_LENGTH];
            while (!FStop) {
                const int Length = modbus_receive(FContext, Query);
                if (Length > 0)
                    modbus_reply(FContext, Query, Length, FMap);
                else if (Length < 0 && errno != ETIMEDOUT)
                    break;  // the client went
            }
            modbus_close(FContext);
        }
    }

    modbus_t* FContext = nullptr;
    modbus_mapping_t* FMap = nullptr;
    int FListen = -1;
    std::uint16_t FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

} // namespace veltro::modbus::test
