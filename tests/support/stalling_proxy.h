#pragma once
// A TCP relay on loopback to a server that can be made to stall as a hung
// server, proxy or pooler does: its host's TCP stack goes on answering while
// nothing comes back. Plain sockets on a thread of its own, so that it relays
// while the test's thread waits in a driver, on Linux and under Wine alike.

#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class TStallingProxy {
public:
    // Relays connections to 127.0.0.1:`serverPort` from a free loopback port.
    explicit TStallingProxy(std::uint16_t serverPort);
    ~TStallingProxy();
    TStallingProxy(const TStallingProxy&) = delete;
    TStallingProxy& operator=(const TStallingProxy&) = delete;

    std::uint16_t Port() const { return FPort; }
    // Stops relaying on every connection open now; their sockets stay open.
    // Connections made later are relayed.
    void Stall();
    // Closes the stalled connections, so that a client still waiting on one
    // sees its end.
    void Release();

private:
    using TSocket = std::intptr_t;
    struct TLink {
        TSocket Client, Server;
        bool Stalled;
    };
    void Serve();
    void Accept();
    // Relays what `from` has to its peer; false once either end is gone.
    bool Relay(TSocket from, TSocket to);

    TSocket FListener = -1;
    std::uint16_t FPort = 0;
    std::uint16_t FServerPort;
    std::mutex FMutex;
    std::vector<TLink> FLinks;  // under FMutex
    bool FStopping = false;  // under FMutex
    std::thread FThread;
};
