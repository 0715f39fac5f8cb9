// CLogServer: the receiving side of the log server. A TCP listener on the
// completion engine, the message parser above it and the receiver on top
// take "Reset" and "Log" messages from any number of clients; one writer
// thread numbers them against each client's counter (C), notes every reset
// and every gap (how many records were lost, from which client) and stores
// everything through CLogStore in batched transactions.
//
// Contract
// - A client is its host and application (the H and A values): its counter
//   is followed across connections and across restarts of the server (the
//   last counter is stored in the same transaction as the records).
//   Expected next is last + 1 (1 after 999999, or after a reset); a higher
//   counter is a gap of the difference, a lower one without a reset a
//   restart (its counter - 1 records lost).
// - Flow: the queue between the receivers and the writer is bounded; a
//   receiver that finds it full waits, so its connection is not read and
//   TCP throttles the client. Nothing received is dropped; a batch that the
//   database refuses is written again after a pause.
// - Refusals: a message that does not parse, one of another kind, or a Log
//   whose numbers are not numbers is refused and counted (the first few of
//   a connection reach the system log); a connection that sends more than
//   `MaxRefusals` of them, or a message longer than the message limit, is
//   closed. Connections beyond the client limit are closed at once.
// - With a user list, a connection's Reset and Log messages count only
//   after a LOGIN whose credentials match; a bad or missing login is
//   refused, logged and the connection closed; LOGOUT closes it.
// - Events (start, stop, connections, refusals, resets, gaps, database
//   failures) go to the system log, at most EventsPerSecond a second (the
//   rest are counted and reported as one line); start, stop and client
//   connections also to the monitor log.
//
// Thread-safety: Start and Stop from one thread; the counters from any.
#pragma once

#include "LogStore.h"

#include <atomic>
#include <map>
#include <memory>
#include <string>

namespace logd {

struct ServerOptions {
    int port = 5140;
    std::string bind;       // empty: every local address
    std::string connection; // ODBC connection text
    unsigned messageLimit = 256 * 1024;
    std::size_t queueLimit = 20000;
    std::size_t batchLimit = 2000;
    int maxClients = 2000;
    int workers = 2;
    bool printEvents = false; // also to standard error
    // With users, a connection must log in (LOGIN with a Credentials record
    // whose username and password match) before anything it sends counts.
    std::map<std::string, std::string> users;
    bool requireLogin = false;
    // The framed secure channel under the messages: the client starts the
    // handshake; frames longer than the message limit are refused.
    bool secure = false;
};

struct ServerCounters {
    std::atomic<long long> received{0}, stored{0}, refused{0}, gaps{0}, lost{0}, resets{0};
    std::atomic<long long> connections{0}, open{0}, dbFailures{0};
};

class CLogServer {
public:
    static constexpr int MaxRefusals = 100;
    static constexpr int EventsPerSecond = 50;

    explicit CLogServer(ServerOptions options);
    ~CLogServer();
    CLogServer(const CLogServer&) = delete;
    CLogServer& operator=(const CLogServer&) = delete;

    // Opens the database and listens; throws CException or COdbcException.
    void Start();
    // Stops listening, closes every connection, stores what was received.
    void Stop();
    // The port listened on (useful with port 0).
    int Port() const;
    const ServerCounters& Counters() const;

    class CImpl;

private:
    std::unique_ptr<CImpl> m_impl;
};

} // namespace logd
