// The completion port over epoll: posted records, time-outs, ordered sends
// with partial writes, accepts, cancellation, stale socket ids and
// event-notified connects, on loopback.
#include "Platform/IoPort.h"
#include "Platform/KernelObjects.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <atomic>
#include <chrono>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

struct PortHolder {
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    ~PortHolder() { CloseIoCompletionPort(port); }
};

// What one wait on a port took: its result, byte count, error (0 on
// success), key and record.
struct Dequeued {
    BOOL ok;
    DWORD bytes, error;
    ULONG_PTR key;
    OVERLAPPED* ov;
    bool operator==(const Dequeued&) const = default;
    friend void PrintTo(const Dequeued& d, std::ostream* os)
    {
        *os << "{" << d.ok << ", " << d.bytes << ", " << d.error << ", " << d.key << ", " << d.ov << "}";
    }
};

Dequeued Take(HANDLE port, DWORD ms = 10000)
{
    Dequeued d{};
    d.ok = GetQueuedCompletionStatus(port, &d.bytes, &d.key, &d.ov, ms);
    d.error = d.ok ? 0 : GetLastError();
    return d;
}

sockaddr_in Loopback(unsigned short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A socket of `type` on an ephemeral loopback port (its address in `at`),
// attached to `port` with `key`.
SOCKET Bound(HANDLE port, int type, ULONG_PTR key, sockaddr_in& at)
{
    SOCKET s = WSASocket(AF_INET, type, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    at = Loopback(0);
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    int length = sizeof at;
    getsockname(s, reinterpret_cast<sockaddr*>(&at), &length);
    EXPECT_EQ(CreateIoCompletionPort(SocketHandle(s), port, key, 0), port);
    return s;
}

// A listening socket on an ephemeral loopback port, attached to `port`.
SOCKET Listen(HANDLE port, unsigned short& bound)
{
    sockaddr_in a{};
    SOCKET s = Bound(port, SOCK_STREAM, 1, a);
    EXPECT_EQ(listen(s, 16), 0);
    bound = ntohs(a.sin_port);
    return s;
}

// A connected pair: a dialled socket (key 2) and the accepted one (key 3).
struct Pair {
    SOCKET client = INVALID_SOCKET;
    SOCKET server = INVALID_SOCKET;
};

Pair Connect(HANDLE port, int sendBuffer = 0)
{
    unsigned short bound = 0;
    SOCKET listener = Listen(port, bound);
    Pair p;
    p.server = WSASocket(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    char addresses[2 * ACCEPT_ADDRESS_LENGTH];
    OVERLAPPED accept{};
    DWORD ignored = 0;
    BOOL started = AcceptEx(listener, p.server, addresses, 0, ACCEPT_ADDRESS_LENGTH, ACCEPT_ADDRESS_LENGTH, &ignored,
                            &accept);
    EXPECT_TRUE(started || GetLastError() == WSA_IO_PENDING);
    p.client = WSASocket(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    if (sendBuffer > 0)
        setsockopt(p.client, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    sockaddr_in a = Loopback(bound);
    EXPECT_EQ(connect(p.client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    Dequeued d = Take(port);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(d.ov, &accept);
    sockaddr* local = nullptr;
    sockaddr* remote = nullptr;
    int localSize = 0, remoteSize = 0;
    GetAcceptExSockaddrs(addresses, 0, ACCEPT_ADDRESS_LENGTH, ACCEPT_ADDRESS_LENGTH, &local, &localSize, &remote,
                         &remoteSize);
    EXPECT_EQ(ntohs(reinterpret_cast<sockaddr_in*>(local)->sin_port), bound);
    EXPECT_EQ(remoteSize, static_cast<int>(sizeof(sockaddr_in)));
    EXPECT_EQ(closesocket(listener), 0);
    EXPECT_EQ(CreateIoCompletionPort(SocketHandle(p.client), port, 2, 0), port);
    EXPECT_EQ(CreateIoCompletionPort(SocketHandle(p.server), port, 3, 0), port);
    return p;
}

// Posts a receive into `buffer` on `s` that completes with `ov`.
void PostReceive(SOCKET s, std::vector<char>& buffer, OVERLAPPED& ov)
{
    WSABUF buf{static_cast<ULONG>(buffer.size()), buffer.data()};
    DWORD flags = 0;
    const int r = WSARecv(s, &buf, 1, nullptr, &flags, &ov, nullptr);
    ASSERT_TRUE(r == 0 || GetLastError() == WSA_IO_PENDING);
}

TEST(IoPort, PostedRecordsFromFourThreadsEachCompleteOnce)
{
    PortHolder h;
    constexpr int kThreads = 4, kEach = 250;
    std::vector<OVERLAPPED> records(kThreads * kEach);
    std::vector<std::atomic<int>> seen(records.size());
    std::atomic<int> taken{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 2; ++w)
        workers.emplace_back([&] {
            while (taken.load() < static_cast<int>(records.size())) {
                Dequeued d = Take(h.port, 50);
                if (d.ov == nullptr)
                    continue;
                ASSERT_TRUE(d.ok);
                std::size_t index = static_cast<std::size_t>(d.ov - records.data());
                ASSERT_EQ(d.key, index * 3);
                ASSERT_EQ(d.bytes, index);
                seen[index].fetch_add(1);
                taken.fetch_add(1);
            }
        });
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                std::size_t index = static_cast<std::size_t>(t * kEach + i);
                ASSERT_TRUE(PostQueuedCompletionStatus(h.port, static_cast<DWORD>(index), index * 3, &records[index]));
            }
        });
    for (auto& t : posters)
        t.join();
    for (auto& t : workers)
        t.join();
    for (auto& count : seen)
        EXPECT_EQ(count.load(), 1);
}

TEST(IoPort, TimeoutsDelayedPostsAndClosingWakeWaiters)
{
    PortHolder h;
    EXPECT_EQ(Take(h.port, 20), (Dequeued{FALSE, 0, WAIT_TIMEOUT, 0, nullptr}));
    OVERLAPPED later{};
    ASSERT_TRUE(PostQueuedCompletionStatusAfter(h.port, 30, 7, 9, &later));
    EXPECT_EQ(Take(h.port), (Dequeued{TRUE, 7, 0, 9, &later}));

    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    std::vector<std::thread> waiters;
    std::atomic<int> woke{0};
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            Dequeued w = Take(port, INFINITE);
            EXPECT_FALSE(w.ok);
            EXPECT_EQ(w.error, ERROR_INVALID_HANDLE);
            woke.fetch_add(1);
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(CloseIoCompletionPort(port));
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(woke.load(), 3);
    EXPECT_FALSE(PostQueuedCompletionStatus(port, 0, 0, nullptr));
}

TEST(IoPort, SendsCompleteInOrderWholeThroughPartialWrites)
{
    PortHolder h;
    Pair p = Connect(h.port, 4096);
    // Many sends queued at once against a small send buffer: each must
    // arrive whole and in order although the system takes them in pieces.
    std::mt19937 rng(7);
    constexpr int kSends = 64;
    std::vector<std::string> blocks(kSends);
    std::string expected;
    for (int i = 0; i < kSends; ++i) {
        blocks[i].resize(1 + rng() % 100000);
        for (char& c : blocks[i])
            c = static_cast<char>('A' + i % 26);
        expected += blocks[i];
    }
    std::vector<OVERLAPPED> sends(kSends);
    for (int i = 0; i < kSends; ++i) {
        WSABUF buf{static_cast<ULONG>(blocks[i].size()), blocks[i].data()};
        int r = WSASend(p.client, &buf, 1, nullptr, 0, &sends[i], nullptr);
        ASSERT_TRUE(r == 0 || GetLastError() == WSA_IO_PENDING);
    }
    std::string received;
    std::vector<char> buffer(65536);
    OVERLAPPED recv{};
    PostReceive(p.server, buffer, recv);
    int nextSend = 0;
    while (received.size() < expected.size() || nextSend < kSends) {
        Dequeued d = Take(h.port);
        ASSERT_NE(d.ov, nullptr);
        ASSERT_TRUE(d.ok) << d.error;
        if (d.ov == &recv) {
            ASSERT_GT(d.bytes, 0u);
            received.append(buffer.data(), d.bytes);
            PostReceive(p.server, buffer, recv);
        } else {
            ASSERT_EQ(d.ov, &sends[nextSend]) << "sends complete in order";
            EXPECT_EQ(d.bytes, blocks[nextSend].size());
            EXPECT_EQ(sends[nextSend].InternalHigh, blocks[nextSend].size());
            ++nextSend;
        }
    }
    EXPECT_TRUE(received == expected);

    // The peer goes: the standing receive completes with 0 bytes.
    closesocket(p.client);
    EXPECT_EQ(Take(h.port), (Dequeued{TRUE, 0, 0, 3, &recv}));
    closesocket(p.server);
}

// Many sockets ready at once are served by every worker: three workers move
// eight streams through small send buffers (partial writes, one readiness
// batch naming many sockets). Every send completes whole and every stream
// arrives intact, in order, on its own socket.
TEST(IoPort, ManyStreamsOnSeveralWorkersArriveWholeAndInOrder)
{
    PortHolder h;
    constexpr int kPairs = 8, kSends = 24;
    struct Stream {
        Pair pair;
        std::vector<std::string> blocks;
        std::vector<OVERLAPPED> sends;
        std::string expected, received;
        std::vector<char> buffer = std::vector<char>(8192);
        OVERLAPPED recv{};
    };
    std::vector<Stream> streams(kPairs);
    std::mt19937 rng(11);
    std::size_t totalBytes = 0;
    for (int n = 0; n < kPairs; ++n) {
        Stream& st = streams[n];
        st.pair = Connect(h.port, 4096);
        st.sends.resize(kSends);
        for (int i = 0; i < kSends; ++i) {
            std::string block(1 + rng() % 20000, '\0');
            for (std::size_t k = 0; k < block.size(); ++k)
                block[k] = static_cast<char>('a' + (n * 7 + i + k / 1000) % 26);
            st.expected += block;
            st.blocks.push_back(std::move(block));
        }
        totalBytes += st.expected.size();
    }
    std::atomic<std::size_t> receivedBytes{0};
    std::atomic<int> sendsDone{0}, failures{0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w)
        workers.emplace_back([&] {
            while ((receivedBytes.load() < totalBytes || sendsDone.load() < kPairs * kSends) &&
                   std::chrono::steady_clock::now() < deadline) {
                Dequeued d = Take(h.port, 50);
                if (d.ov == nullptr)
                    continue;
                if (!d.ok) {
                    failures.fetch_add(1);
                    continue;
                }
                for (Stream& st : streams) {
                    if (d.ov == &st.recv) {
                        st.received.append(st.buffer.data(), d.bytes);
                        receivedBytes.fetch_add(d.bytes);
                        if (d.bytes == 0)
                            failures.fetch_add(1);
                        else if (st.received.size() < st.expected.size())
                            PostReceive(st.pair.server, st.buffer, st.recv);
                    } else if (d.ov >= st.sends.data() && d.ov < st.sends.data() + kSends) {
                        if (d.bytes != st.blocks[d.ov - st.sends.data()].size())
                            failures.fetch_add(1);
                        sendsDone.fetch_add(1);
                    }
                }
            }
        });
    for (Stream& st : streams)
        PostReceive(st.pair.server, st.buffer, st.recv);
    for (int i = 0; i < kSends; ++i)
        for (Stream& st : streams) {
            WSABUF buf{static_cast<ULONG>(st.blocks[i].size()), st.blocks[i].data()};
            const int r = WSASend(st.pair.client, &buf, 1, nullptr, 0, &st.sends[i], nullptr);
            ASSERT_TRUE(r == 0 || GetLastError() == WSA_IO_PENDING);
        }
    for (auto& t : workers)
        t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(sendsDone.load(), kPairs * kSends);
    for (int n = 0; n < kPairs; ++n) {
        EXPECT_TRUE(streams[n].received == streams[n].expected) << "stream " << n;
        closesocket(streams[n].pair.client);
        closesocket(streams[n].pair.server);
    }
}

// The peer's last bytes and its close raise one edge. The read that takes
// the bytes comes back short; the receive posted after it must still learn
// of the end, for no second edge ever comes. Both orders: the receive
// waiting before the edge, and the edge before any receive.
TEST(IoPort, ClosingPeerIsSeenAfterAShortReadOfItsLastBytes)
{
    for (bool receiveFirst : {true, false}) {
        SCOPED_TRACE(receiveFirst ? "receive waiting" : "edge first");
        PortHolder h;
        Pair p = Connect(h.port);
        std::vector<char> buffer(4096);
        OVERLAPPED first{}, second{};
        if (receiveFirst)
            PostReceive(p.server, buffer, first);
        char last[] = "last";
        WSABUF out{4, last};
        OVERLAPPED sent{};
        int r = WSASend(p.client, &out, 1, nullptr, 0, &sent, nullptr);
        ASSERT_TRUE(r == 0 || GetLastError() == WSA_IO_PENDING);
        // The send's own completion may come before or among the receives'.
        auto takeSkippingSend = [&](DWORD ms) {
            Dequeued d = Take(h.port, ms);
            return d.ov == &sent ? Take(h.port, ms) : d;
        };
        if (!receiveFirst) {
            Dequeued d = Take(h.port);
            ASSERT_EQ(d.ov, &sent);
        }
        closesocket(p.client);
        if (!receiveFirst) {
            // Let the edge land with no receive to take it.
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            PostReceive(p.server, buffer, first);
        }
        Dequeued d = takeSkippingSend(10000);
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(d.ov, &first);
        EXPECT_EQ(std::string(buffer.data(), d.bytes), "last");
        PostReceive(p.server, buffer, second);
        d = takeSkippingSend(3000);
        ASSERT_EQ(d.ov, &second) << "the end was never seen";
        EXPECT_TRUE(d.ok);
        EXPECT_EQ(d.bytes, 0u);
        closesocket(p.server);
    }
}

TEST(IoPort, CancelAndCloseAbortPendingOperationsAndIdsAreNotReused)
{
    PortHolder h;
    Pair p = Connect(h.port);
    char a[16], b[16];
    OVERLAPPED first{}, second{};
    WSABUF buf{sizeof a, a};
    DWORD flags = 0;
    ASSERT_EQ(WSARecv(p.server, &buf, 1, nullptr, &flags, &first, nullptr), SOCKET_ERROR);
    ASSERT_EQ(GetLastError(), WSA_IO_PENDING);
    EXPECT_EQ(first.Internal, STATUS_PENDING);
    ASSERT_TRUE(CancelIo(SocketHandle(p.server)));
    EXPECT_EQ(Take(h.port), (Dequeued{FALSE, 0, ERROR_OPERATION_ABORTED, 3, &first}));

    buf = WSABUF{sizeof b, b};
    ASSERT_EQ(WSARecv(p.server, &buf, 1, nullptr, &flags, &second, nullptr), SOCKET_ERROR);
    const SOCKET old = p.server;
    EXPECT_EQ(closesocket(p.server), 0);
    EXPECT_EQ(Take(h.port), (Dequeued{FALSE, 0, ERROR_OPERATION_ABORTED, 3, &second}));

    // A new socket never takes the closed one's id, whatever its descriptor.
    SOCKET fresh = WSASocket(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(WSARecv(old, &buf, 1, nullptr, &flags, &second, nullptr), SOCKET_ERROR);
    EXPECT_EQ(GetLastError(), WSAENOTSOCK);
    EXPECT_EQ(closesocket(old), SOCKET_ERROR);
    // Operations need a port to complete on.
    EXPECT_EQ(WSARecv(fresh, &buf, 1, nullptr, &flags, &second, nullptr), SOCKET_ERROR);
    EXPECT_EQ(GetLastError(), WSAEINVAL);
    closesocket(fresh);
    closesocket(p.client);
}

TEST(IoPort, EventSelectedConnectReportsItsEnd)
{
    PortHolder h;
    // A port nobody listens on: take one and close it again.
    unsigned short closedPort = 0;
    closesocket(Listen(h.port, closedPort));
    unsigned short openPort = 0;
    SOCKET listener = Listen(h.port, openPort);

    for (const auto& [port, error] : {std::pair<unsigned short, int>{closedPort, ECONNREFUSED}, {openPort, 0}}) {
        SOCKET s = WSASocket(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
        ASSERT_EQ(CreateIoCompletionPort(SocketHandle(s), h.port, 5, 0), h.port);
        HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_EQ(WSAEventSelect(s, event, FD_CONNECT), 0);
        sockaddr_in a = Loopback(port);
        if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            EXPECT_EQ(GetLastError(), WSAEWOULDBLOCK);
        }
        // Someone must poll for the connect to be seen.
        std::thread poller([&] { Take(h.port, 300); });
        EXPECT_EQ(WaitForSingleObject(event, 10000), WAIT_OBJECT_0);
        poller.join();
        WSANETWORKEVENTS events;
        ASSERT_EQ(WSAEnumNetworkEvents(s, event, &events), 0);
        EXPECT_EQ(events.lNetworkEvents, FD_CONNECT);
        EXPECT_EQ(events.iErrorCode[FD_CONNECT_BIT], error);
        EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
        WSAEventSelect(s, nullptr, 0);
        closesocket(s);
        CloseHandle(event);
    }
    closesocket(listener);

    // A blocking dial to the closed port fails at once.
    SOCKET s = WSASocket(AF_INET, SOCK_STREAM, 0, nullptr, 0, WSA_FLAG_OVERLAPPED);
    sockaddr_in a = Loopback(closedPort);
    EXPECT_EQ(connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a), SOCKET_ERROR);
    EXPECT_EQ(GetLastError(), WSAECONNREFUSED);
    closesocket(s);
}

TEST(IoPort, DatagramsCarryTheSenderAndEmptyOnesArrive)
{
    PortHolder h;
    sockaddr_in a{}, from{};
    SOCKET rx = Bound(h.port, SOCK_DGRAM, 1, a);
    SOCKET tx = Bound(h.port, SOCK_DGRAM, 2, from);

    for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{60000}}) {
        std::vector<char> buffer(65536);
        sockaddr_in sender{};
        int senderLength = sizeof sender;
        OVERLAPPED recv{}, send{};
        WSABUF in{static_cast<ULONG>(buffer.size()), buffer.data()};
        DWORD flags = 0;
        WSARecvFrom(rx, &in, 1, nullptr, &flags, reinterpret_cast<sockaddr*>(&sender), &senderLength, &recv, nullptr);
        std::string payload(size, 'd');
        WSABUF out{static_cast<ULONG>(payload.size()), payload.data()};
        int r = WSASendTo(tx, &out, 1, nullptr, 0, reinterpret_cast<sockaddr*>(&a), sizeof a, &send, nullptr);
        ASSERT_TRUE(r == 0 || GetLastError() == WSA_IO_PENDING);
        std::set<OVERLAPPED*> done;
        while (done.size() < 2) {
            Dequeued d = Take(h.port);
            ASSERT_TRUE(d.ok) << d.error;
            done.insert(d.ov);
            if (d.ov == &recv) {
                EXPECT_EQ(d.bytes, size);
                EXPECT_EQ(sender.sin_port, from.sin_port);
                EXPECT_EQ(senderLength, static_cast<int>(sizeof sender));
            }
        }
    }
    closesocket(rx);
    closesocket(tx);
}

} // namespace
