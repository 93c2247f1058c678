#include "support/stalling_proxy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using TNativeSocket = SOCKET;
#define CloseSocket closesocket
constexpr int kSendFlags = 0;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using TNativeSocket = int;
#define CloseSocket close
constexpr int kSendFlags = MSG_NOSIGNAL;  // a peer gone is a return value, not a signal
#endif

namespace {

TNativeSocket Native(std::intptr_t socket)
{
    return static_cast<TNativeSocket>(socket);
}

sockaddr_in Loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

}  // namespace

TStallingProxy::TStallingProxy(std::uint16_t serverPort) : FServerPort(serverPort)
{
#ifdef _WIN32
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
#endif
    FListener = static_cast<TSocket>(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof(address);
    const bool listening = ::bind(Native(FListener), reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                           ::listen(Native(FListener), 8) == 0 &&
                           ::getsockname(Native(FListener), reinterpret_cast<sockaddr*>(&address), &size) == 0;
    EXPECT_TRUE(listening) << "the proxy cannot listen on loopback";
    FPort = ntohs(address.sin_port);
    FThread = std::thread([this] { Serve(); });
}

TStallingProxy::~TStallingProxy()
{
    {
        const std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FThread.join();
    for (const TLink& link : FLinks) {
        CloseSocket(Native(link.Client));
        CloseSocket(Native(link.Server));
    }
    CloseSocket(Native(FListener));
}

void TStallingProxy::Stall()
{
    const std::lock_guard lock(FMutex);
    for (TLink& link : FLinks)
        link.Stalled = true;
}

void TStallingProxy::Release()
{
    const std::lock_guard lock(FMutex);
    std::erase_if(FLinks, [](const TLink& link) {
        if (link.Stalled) {
            CloseSocket(Native(link.Client));
            CloseSocket(Native(link.Server));
        }
        return link.Stalled;
    });
}

// Waits a little for data outside the lock; relays under it, so that nothing
// passes a link once Stall() has returned.
void TStallingProxy::Serve()
{
    std::unique_lock lock(FMutex);
    while (!FStopping) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(Native(FListener), &readable);
        TSocket highest = FListener;
        for (const TLink& link : FLinks)
            if (!link.Stalled)
                for (const TSocket socket : {link.Client, link.Server}) {
                    FD_SET(Native(socket), &readable);
                    highest = std::max(highest, socket);
                }
        lock.unlock();
        timeval tick{0, 20000};
        const int ready = ::select(static_cast<int>(highest + 1), &readable, nullptr, nullptr, &tick);
        lock.lock();
        if (ready <= 0)
            continue;
        if (FD_ISSET(Native(FListener), &readable))
            Accept();
        std::erase_if(FLinks, [&](const TLink& link) {
            bool open = true;
            if (!link.Stalled && FD_ISSET(Native(link.Client), &readable))
                open = Relay(link.Client, link.Server);
            if (open && !link.Stalled && FD_ISSET(Native(link.Server), &readable))
                open = Relay(link.Server, link.Client);
            if (!open) {
                CloseSocket(Native(link.Client));
                CloseSocket(Native(link.Server));
            }
            return !open;
        });
    }
}

void TStallingProxy::Accept()
{
    const auto client = static_cast<TSocket>(::accept(Native(FListener), nullptr, nullptr));
    const auto server = static_cast<TSocket>(::socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in address = Loopback(FServerPort);
    if (::connect(Native(server), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        CloseSocket(Native(client));
        CloseSocket(Native(server));
        return;
    }
    FLinks.push_back({client, server, false});
}

bool TStallingProxy::Relay(TSocket from, TSocket to)
{
    std::array<char, 16384> buffer;
    const int received = static_cast<int>(::recv(Native(from), buffer.data(), static_cast<int>(buffer.size()), 0));
    if (received <= 0)
        return false;
    for (int sent = 0; sent < received;) {
        const int n = static_cast<int>(::send(Native(to), buffer.data() + sent, received - sent, kSendFlags));
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}
