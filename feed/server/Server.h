// Server: zphd's network side. One thread runs an epoll loop over the
// listeners (the socket port, the database login port, the control port),
// the client connections (plain or TLS), the serial line and the clock, and
// hands bytes and time to the Hub. Nothing blocks the loop: sockets are
// non-blocking and each client has a bounded send queue; a client that
// falls further behind than that is dropped and logged.
//
// Control connections (loopback only) carry one command per line and get
// one reply per command (Hub::Control; see README.md).
//
// Thread-safety: Start and Run on one thread; Stop from any thread (or a
// signal handler); the port getters after Start.
#pragma once

#include "Hub.h"
#include "ServerConfig.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zphd {

class Poller;
class TlsContext;
class SerialLine;

struct ServerOptions {
    std::string host = "127.0.0.1";   // address of the socket and database listeners
    int socketPort = 6093;            // 0: any free port; -1: none
    int databasePort = 6094;
    int controlPort = 6095;           // always on 127.0.0.1
    bool tls = false;                 // the socket and database listeners speak TLS
    std::string certFile, keyFile;    // given certificate; empty: made in tlsDir
    std::string tlsDir;               // empty: TlsContext::DefaultStateDir()
    std::string serialPath;           // empty: no serial line
    std::string portsFile;            // written once listening: "socket N" ... lines
    std::size_t maxQueue = 8u << 20;  // bytes queued for one client before it is dropped
    int sendBuffer = 0;               // SO_SNDBUF of client sockets; 0: the system's own sizing
    int tickMs = 10;                  // how often the market runs
    std::string name = "zphd";        // the server's name in greetings
    bool handleSignals = false;       // SIGINT and SIGTERM stop Run
};

class Server {
public:
    Server(ServerOptions options, ServerConfig config);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds the listeners, makes TLS ready and opens the serial line. Sets
    // SIGPIPE to be ignored in the whole process.
    bool Start(std::string& error);
    // Runs until Stop, a signal or the control command "quit"; then closes
    // every connection. Returns the process exit code.
    int Run();
    void Stop();

    int SocketPort() const { return m_socketPort; }
    int DatabasePort() const { return m_databasePort; }
    int ControlPort() const { return m_controlPort; }
    std::string SerialDevice() const;
    std::string CertificatePath() const;
    Hub& GetHub() { return *m_hub; }

private:
    class Connection;
    struct ControlClient;

    bool Listen(int& port, const std::string& host, int& fd, std::string& error);
    void Accept(int listener, PortKind kind);
    void AcceptControl();
    void OnClient(Connection& c, std::uint32_t events);
    void OnControl(ControlClient& c, std::uint32_t events);
    void ReadFrom(Connection& c);
    void Flush(Connection& c);
    void FlushControl(ControlClient& c);
    void UpdateInterest(Connection& c);
    void Reap();
    void Stall(bool on);
    void OpenSerial();
    void CloseAll();
    std::int64_t NowMs() const;
    bool WritePortsFile(std::string& error);

    ServerOptions m_options;
    std::unique_ptr<Hub> m_hub;
    std::unique_ptr<Poller> m_poller;
    std::unique_ptr<TlsContext> m_tls;
    std::unique_ptr<SerialLine> m_serial;
    std::chrono::steady_clock::time_point m_start;
    int m_socketListener = -1, m_databaseListener = -1, m_controlListener = -1;
    int m_socketPort = -1, m_databasePort = -1, m_controlPort = -1;
    int m_wake = -1;        // eventfd: Stop
    int m_signals = -1;     // signalfd
    bool m_stop = false;
    bool m_stalled = false;
    std::int64_t m_serialRetry = -1;
    std::map<int, std::unique_ptr<Connection>> m_connections;    // by hub session id
    std::map<int, std::unique_ptr<ControlClient>> m_controls;    // by descriptor
    std::vector<Connection*> m_dead;                              // to reap, outside hub calls
};

} // namespace zphd
