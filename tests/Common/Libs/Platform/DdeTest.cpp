// The DDE layer end to end: string and data handles, conversations and each
// transaction kind, notifications, and a server that many clients (one of
// them stalled or hostile) cannot hold up.
#include "DdeTestSupport.h"

#include "Platform/dde/DdeRuntimeDir.h"
#include "Platform/dde/DdeWire.h"

#include <gtest/gtest.h>

// Frames are written with designated initializers; the fields left out keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

#include <algorithm>
#include <cstring>
#include <thread>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace ddetest;

namespace {

struct DdeFixture : ::testing::Test {
    ScopedRuntimeDir runtime;
};

// A MAVO server in its thread and a client of it in the test's.
struct DdeServed : DdeFixture {
    ServerThread server{"MAVO"};
    Client client;
    HCONV conv = nullptr;
    void SetUp() override { ASSERT_TRUE(server.Ok()); }
    // The client's conversation on `topic`, with an advise loop on `item` when one is named.
    void Join(const char* topic, const char* item = nullptr)
    {
        conv = client.Connect("MAVO", topic);
        ASSERT_NE(conv, nullptr);
        if (item != nullptr) {
            ASSERT_TRUE(client.Advise(conv, item));
        }
    }
};

const HDDEDATA kAck = reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(DDE_FACK));

void SetHandler(DWORD inst, Handler handler)
{
    std::lock_guard guard(HandlerLock());
    Handlers()[inst] = std::move(handler);
}

// The permission bits of a path; ~0u when there is nothing there.
unsigned Mode(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : ~0u;
}

void RawSend(int fd, const Platform::Dde::Frame& frame)
{
    std::string bytes;
    ASSERT_TRUE(Platform::Dde::EncodeFrame(frame, bytes));
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
}

bool RawReceive(int fd, Platform::Dde::Frame& frame)
{
    Platform::Dde::FrameReader reader;
    char buffer[4096];
    for (;;) {
        if (reader.Next(frame) == Platform::Dde::FrameReader::FRAME)
            return true;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        reader.Append(buffer, static_cast<std::size_t>(n));
    }
}

Platform::Dde::Frame Transact(std::uint32_t id, UINT type, const char* item)
{
    return {.kind = Platform::Dde::FrameKind::TRANSACT, .id = id, .type = type, .format = CF_TEXT, .item = item};
}

// Sends what of bytes[sent...] the socket takes now; false once it takes nothing.
bool SendSome(int fd, const std::string& bytes, std::size_t& sent)
{
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0)
        sent += static_cast<std::size_t>(n);
    return n > 0;
}

// What of `heard` is of one of `types`.
std::vector<Heard> Only(const std::vector<Heard>& heard, std::initializer_list<UINT> types)
{
    std::vector<Heard> out;
    std::copy_if(heard.begin(), heard.end(), std::back_inserter(out),
                 [&](const Heard& h) { return std::find(types.begin(), types.end(), h.type) != types.end(); });
    return out;
}

// A raw peer that speaks the wire by hand (to stall or to misbehave), with a
// conversation on `topic` of MAVO; `reply` is the server's answer.
int RawJoin(const std::string& dir, const char* instance, const char* topic, Platform::Dde::Frame& reply)
{
    auto files = Platform::Dde::ListServiceFiles(dir, "MAVO");
    EXPECT_FALSE(files.empty());
    if (files.empty())
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", files[0].path.c_str());
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    RawSend(fd, {.kind = Platform::Dde::FrameKind::CONNECT, .instance = instance, .service = "MAVO", .topic = topic});
    EXPECT_TRUE(RawReceive(fd, reply));
    return fd;
}

} // namespace

// ------------------------------------------------------------ handles

TEST_F(DdeFixture, StringHandlesAreSharedWithoutRegardToCaseAndCountedDataHandlesHeldUntilFreed)
{
    Client client;
    const DWORD inst = client.Inst();
    HSZ upper = DdeCreateStringHandle(inst, "BidRate", CP_WINANSI);
    HSZ lower = DdeCreateStringHandle(inst, "bidrate", CP_WINANSI);
    ASSERT_NE(upper, nullptr);
    EXPECT_EQ(upper, lower);
    EXPECT_EQ(DdeCmpStringHandles(upper, lower), 0);
    char buffer[4];
    EXPECT_EQ(DdeQueryString(inst, lower, buffer, sizeof buffer, CP_WINANSI), 3u);
    EXPECT_STREQ(buffer, "Bid");  // the first spelling, cut to the buffer
    EXPECT_EQ(DdeQueryString(inst, lower, nullptr, 0, CP_WINANSI), 7u);

    HSZ other = DdeCreateStringHandle(inst, "OFFERRATE", CP_WINANSI);
    EXPECT_EQ(DdeCmpStringHandles(upper, other), -1);
    EXPECT_EQ(DdeCmpStringHandles(other, upper), 1);
    EXPECT_EQ(DdeCmpStringHandles(nullptr, upper), -1);

    EXPECT_TRUE(DdeFreeStringHandle(inst, upper));
    EXPECT_EQ(DdeQueryString(inst, lower, nullptr, 0, CP_WINANSI), 7u);  // one reference left
    EXPECT_TRUE(DdeFreeStringHandle(inst, lower));
    EXPECT_EQ(DdeQueryString(inst, lower, nullptr, 0, CP_WINANSI), 0u);
    EXPECT_EQ(DdeGetLastError(inst), DMLERR_INVALIDPARAMETER);
    EXPECT_FALSE(DdeFreeStringHandle(inst, lower));

    EXPECT_EQ(DdeCreateStringHandle(inst, std::string(256, 'a').c_str(), CP_WINANSI), nullptr);
    EXPECT_EQ(DdeCreateStringHandle(inst, "", CP_WINANSI), nullptr);
    EXPECT_NE(DdeCreateStringHandle(inst, std::string(255, 'a').c_str(), CP_WINANSI), nullptr);

    // Data handles hold their bytes until freed.
    BYTE text[] = "12.5";
    HDDEDATA data = DdeCreateDataHandle(inst, text, sizeof text, 2, nullptr, CF_TEXT, 0);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(DdeGetData(data, nullptr, 0, 0), sizeof text + 2);
    BYTE out[16] = {};
    EXPECT_EQ(DdeGetData(data, out, sizeof out, 2), sizeof text);
    EXPECT_STREQ(reinterpret_cast<char*>(out), "12.5");
    EXPECT_EQ(DdeGetData(data, out, 3, 2), 3u);

    BYTE more[] = "XY";
    EXPECT_EQ(DdeAddData(data, more, 2, 0), data);
    DWORD size = 0;
    LPBYTE bytes = DdeAccessData(data, &size);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(size, sizeof text + 2);
    EXPECT_EQ(std::memcmp(bytes, "XY12.5", 7), 0);
    EXPECT_TRUE(DdeUnaccessData(data));

    EXPECT_TRUE(DdeFreeDataHandle(data));
    EXPECT_FALSE(DdeFreeDataHandle(data));
    EXPECT_EQ(DdeAccessData(data, &size), nullptr);
    EXPECT_EQ(DdeGetData(data, out, sizeof out, 0), 0u);
}

TEST_F(DdeFixture, UnknownInstancesMissingServicesClientOnlyRegistrationsAndOtherThreadsAreRefused)
{
    Client client(APPCMD_CLIENTONLY);
    EXPECT_EQ(client.Connect("NOBODY", "P1L1"), nullptr);
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_NO_CONV_ESTABLISHED);
    EXPECT_EQ(DdeNameService(client.Inst(), client.Str("X"), nullptr, DNS_REGISTER), nullptr);
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_DLL_USAGE);

    EXPECT_EQ(DdeCreateStringHandle(9999999, "x", CP_WINANSI), nullptr);
    EXPECT_FALSE(DdeUninitialize(9999999));
    EXPECT_EQ(DdeProcessPending(9999999, 0), -1);
    EXPECT_EQ(DdeGetEventFd(9999999), -1);
    DWORD inst = 0;
    EXPECT_EQ(DdeInitialize(&inst, nullptr, 0, 0), DMLERR_INVALIDPARAMETER);
    EXPECT_EQ(DdeInitialize(nullptr, CALLBACK_Dispatch, 0, 0), DMLERR_INVALIDPARAMETER);

    // Calls that run call-backs refuse threads other than the instance's.
    int result = 0;
    std::thread([&] { result = DdeProcessPending(client.Inst(), 0); }).join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_DLL_USAGE);
    HCONV conv = reinterpret_cast<HCONV>(1);
    std::thread([&] { conv = DdeConnect(client.Inst(), client.Str("MAVO"), client.Str("T"), nullptr); }).join();
    EXPECT_EQ(conv, nullptr);
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_DLL_USAGE);
}

// --------------------------------------------------------- conversations

TEST_F(DdeFixture, ServiceSocketIsPrivateAndGoesWithTheServer)
{
    std::string path;
    {
        ServerThread server("MAVO");
        ASSERT_TRUE(server.Ok());
        auto files = Platform::Dde::ListServiceFiles(runtime.SocketDir(), "mavo");
        ASSERT_EQ(files.size(), 1u);
        path = files[0].path;
        EXPECT_EQ(Mode(path), 0600u);
        EXPECT_EQ(Mode(runtime.SocketDir()), 0700u);
    }
    EXPECT_EQ(Mode(path), ~0u);
}

TEST_F(DdeFixture, SocketOfAServerThatDiedIsRemovedOnConnect)
{
    std::string dir;
    ASSERT_TRUE(Platform::Dde::PrepareRuntimeDirectory(dir));
    const std::string path = dir + "/" + Platform::Dde::SocketFileName("GHOST", "1.1");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);  // bound, never listening: what a crashed server leaves
    Client client;
    EXPECT_EQ(client.Connect("GHOST", "T"), nullptr);
    EXPECT_EQ(Mode(path), ~0u);
}

TEST_F(DdeServed, ConnectRunsConnectThenConfirmAndRefusedTopicsFail)
{
    server.Refuse("NOPE");
    EXPECT_EQ(client.Connect("mavo", "NOPE"), nullptr);
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_NO_CONV_ESTABLISHED);
    ASSERT_NE(client.Connect("mavo", "P12L3"), nullptr);
    // The confirmation follows the answer the client waits for.
    ASSERT_TRUE(Eventually([&] { return server.Count(XTYP_CONNECT_CONFIRM) == 1; }));
    auto heard = server.Heard_();
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0].type, XTYP_CONNECT);
    EXPECT_EQ(heard[0].hsz1, "NOPE");
    EXPECT_EQ(heard[1].type, XTYP_CONNECT);
    EXPECT_EQ(heard[1].hsz1, "P12L3");
    EXPECT_EQ(heard[1].hsz2, "MAVO");  // the service as the server registered it
    EXPECT_EQ(heard[1].data2, 0u);     // not the same instance
    EXPECT_EQ(heard[2].type, XTYP_CONNECT_CONFIRM);
    EXPECT_NE(heard[2].conv, nullptr);
}

TEST_F(DdeServed, RequestGivesTheValueAndUnknownItemsAreNotProcessed)
{
    server.Set("P1L1!BIDRATE", "99.25");
    ASSERT_NO_FATAL_FAILURE(Join("P1L1"));
    std::string value;
    ASSERT_TRUE(client.Request(conv, "BIDRATE", value));
    EXPECT_EQ(value, "99.25");
    EXPECT_FALSE(client.Request(conv, "NOSUCH", value));
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_NOTPROCESSED);
    // The data handle of a request is the caller's and carries its item.
    HDDEDATA data = DdeClientTransaction(nullptr, 0, conv, client.Str("BIDRATE"), CF_TEXT, XTYP_REQUEST, 20000, nullptr);
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(DdeFreeDataHandle(data));
}

TEST_F(DdeServed, PokeAndExecuteReportTheServersAnswer)
{
    ASSERT_NO_FATAL_FAILURE(Join("APP"));
    BYTE text[] = "42";
    DWORD status = 0;
    const auto poke = [&] {
        return DdeClientTransaction(text, sizeof text, conv, client.Str("X"), CF_TEXT, XTYP_POKE, 20000, &status);
    };
    EXPECT_NE(poke(), nullptr);
    EXPECT_EQ(status, DDE_FACK);
    server.SetPokeAnswer(DDE_FNOTPROCESSED);
    EXPECT_EQ(poke(), nullptr);
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_NOTPROCESSED);
    server.SetPokeAnswer(DDE_FBUSY);
    BYTE command[] = "[Open]";
    EXPECT_EQ(DdeClientTransaction(command, sizeof command, conv, nullptr, 0, XTYP_EXECUTE, 20000, &status), nullptr);
    EXPECT_EQ(status, DDE_FBUSY);
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_BUSY);

    const auto pokes = Only(server.Heard_(), {XTYP_POKE, XTYP_EXECUTE});
    ASSERT_EQ(pokes.size(), 3u);
    EXPECT_EQ(pokes[0].hsz1, "APP");
    EXPECT_EQ(pokes[0].hsz2, "X");
    EXPECT_EQ(pokes[0].data, std::string("42", 3));
    EXPECT_EQ(pokes[2].type, XTYP_EXECUTE);
    EXPECT_EQ(pokes[2].data, std::string("[Open]", 7));
}

TEST_F(DdeServed, AdviseLoopDeliversEachPostUntilStopped)
{
    server.Set("P1L1!BIDRATE", "1");
    ASSERT_NO_FATAL_FAILURE(Join("P1L1", "bidrate"));
    EXPECT_FALSE(DdeClientTransaction(nullptr, 0, conv, client.Str("BIDRATE"), 7, XTYP_ADVSTART, 20000, nullptr));
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_NOTPROCESSED);

    for (const char* value : {"2", "3"}) {
        server.Set("P1L1!BIDRATE", value);
        EXPECT_TRUE(server.Post("P1L1", "BIDRATE"));
    }
    // Posts on other topics or items reach nobody.
    EXPECT_TRUE(server.Post("P1L2", "BIDRATE"));
    EXPECT_TRUE(server.Post("P1L1", "OFFERRATE"));
    ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_ADVDATA) >= 2; }));
    std::vector<std::string> values;
    for (const auto& h : Only(client.m_heard, {XTYP_ADVDATA})) {
        EXPECT_EQ(h.hsz1, "P1L1");
        EXPECT_EQ(h.conv, conv);
        values.push_back(h.data);
    }
    EXPECT_EQ(values, (std::vector<std::string>{std::string("2", 2), std::string("3", 2)}));

    ASSERT_TRUE(client.Advise(conv, "BIDRATE", XTYP_ADVSTOP));
    EXPECT_FALSE(client.Advise(conv, "BIDRATE", XTYP_ADVSTOP));  // no loop left
    server.Set("P1L1!BIDRATE", "4");
    EXPECT_TRUE(server.Post("", ""));
    // A request after the post is answered after it: no advise came between.
    std::string value;
    ASSERT_TRUE(client.Request(conv, "BIDRATE", value));
    DdeProcessPending(client.Inst(), 0);
    EXPECT_EQ(client.Count(XTYP_ADVDATA), 2u);
    EXPECT_EQ(server.Count(XTYP_ADVSTOP), 1u);
}

TEST_F(DdeServed, NoDataLoopsAreToldWithoutData)
{
    server.Set("T!I", "v");
    ASSERT_NO_FATAL_FAILURE(Join("T"));
    ASSERT_TRUE(client.Advise(conv, "I", XTYP_ADVSTART | XTYPF_NODATA));
    EXPECT_TRUE(server.Post("T", "I"));
    ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_ADVDATA) == 1; }));
    EXPECT_FALSE(client.m_heard.back().hasData);
    EXPECT_EQ(server.Count(XTYP_ADVREQ), 0u);
}

TEST_F(DdeServed, AsyncTransactionCompletesThroughTheCallBack)
{
    server.Set("T!I", "async");
    ASSERT_NO_FATAL_FAILURE(Join("T"));
    DWORD id = 0;
    const auto request = [&] {
        return DdeClientTransaction(nullptr, 0, conv, client.Str("I"), CF_TEXT, XTYP_REQUEST, TIMEOUT_ASYNC, &id);
    };
    ASSERT_NE(request(), nullptr);
    EXPECT_NE(id, 0u);
    ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_XACT_COMPLETE) == 1; }));
    const Heard& done = client.m_heard.back();
    EXPECT_EQ(done.data1, id);
    EXPECT_EQ(done.hsz2, "I");
    EXPECT_EQ(done.data, std::string("async", 6));

    // An abandoned transaction never completes.
    server.Hold(true);
    ASSERT_NE(request(), nullptr);
    EXPECT_TRUE(DdeAbandonTransaction(client.Inst(), conv, id));
    EXPECT_FALSE(DdeAbandonTransaction(client.Inst(), conv, id));
    server.Hold(false);
    std::string value;
    ASSERT_TRUE(client.Request(conv, "I", value));  // the server answered both by now
    DdeProcessPending(client.Inst(), 0);
    EXPECT_EQ(client.Count(XTYP_XACT_COMPLETE), 1u);
}

TEST_F(DdeServed, SynchronousTransactionTimesOutWhenTheServerDoesNotAnswer)
{
    server.Set("T!I", "late");
    ASSERT_NO_FATAL_FAILURE(Join("T"));
    server.Hold(true);
    std::string value;
    EXPECT_FALSE(client.Request(conv, "I", value, 300));
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_DATAACKTIMEOUT);
    EXPECT_FALSE(DdeClientTransaction(nullptr, 0, conv, client.Str("I"), CF_TEXT, XTYP_ADVSTART, 300, nullptr));
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_ADVACKTIMEOUT);
    server.Hold(false);
    ASSERT_TRUE(client.Request(conv, "I", value));  // the late answers are dropped, this one is read
    EXPECT_EQ(value, "late");
}

TEST_F(DdeFixture, EitherSideEndingTellsOnlyThePartner)
{
    auto server = std::make_unique<ServerThread>("MAVO");
    ASSERT_TRUE(server->Ok());
    Client client;
    HCONV first = client.Connect("MAVO", "A");
    HCONV second = client.Connect("MAVO", "B");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(DdeDisconnect(first));
    EXPECT_FALSE(DdeDisconnect(first));
    ASSERT_TRUE(Eventually([&] { return server->Count(XTYP_DISCONNECT) == 1; }));
    EXPECT_EQ(client.Count(XTYP_DISCONNECT), 0u);

    server.reset();  // the server ends: the client hears it
    ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_DISCONNECT) == 1; }));
    EXPECT_EQ(client.m_heard.back().conv, second);
    std::string value;
    EXPECT_FALSE(client.Request(second, "I", value));
    EXPECT_EQ(DdeGetLastError(client.Inst()), DMLERR_NO_CONV_ESTABLISHED);
}

TEST_F(DdeFixture, SelfConnectionsFollowTheInitialisationFlag)
{
    for (const DWORD flags : {DWORD(CBF_FAIL_SELFCONNECTIONS), DWORD(0)}) {
        Client self(flags);
        const std::vector<Heard>& heard = self.m_heard;
        ASSERT_NE(DdeNameService(self.Inst(), self.Str("SELF"), nullptr, DNS_REGISTER), nullptr);
        // One thread is client and server: the wait runs the server's side.
        HCONV conv = self.Connect("SELF", "T");
        if (flags & CBF_FAIL_SELFCONNECTIONS) {
            EXPECT_EQ(conv, nullptr);
            EXPECT_TRUE(heard.empty());
        } else {
            ASSERT_NE(conv, nullptr);
            ASSERT_GE(heard.size(), 1u);
            EXPECT_EQ(heard[0].type, XTYP_CONNECT);
            EXPECT_EQ(heard[0].data2, 1u);  // the same instance
        }
    }
}

TEST_F(DdeServed, WildConnectTakesTheServersFirstPair)
{
    EXPECT_EQ(client.Connect("MAVO", ""), nullptr);  // no pairs given
    server.SetWildPair("APP");
    ASSERT_NO_FATAL_FAILURE(Join(""));
    server.Set("APP!PACKETS", "7");
    std::string value;
    ASSERT_TRUE(client.Request(conv, "PACKETS", value));
    EXPECT_EQ(value, "7");
    EXPECT_EQ(server.Count(XTYP_WILDCONNECT), 2u);
    EXPECT_EQ(server.Count(XTYP_CONNECT), 0u);
}

TEST_F(DdeFixture, OtherInstancesHearRegistrationsOfServices)
{
    Client watcher(APPCMD_CLIENTONLY);
    {
        ServerThread server("Quotes");
        ASSERT_TRUE(server.Ok());
        ASSERT_TRUE(watcher.PumpUntil([&] { return watcher.Count(XTYP_REGISTER) == 1; }));
    }
    ASSERT_TRUE(watcher.PumpUntil([&] { return watcher.Count(XTYP_UNREGISTER) == 1; }));
    const Heard& reg = watcher.m_heard.front();
    EXPECT_EQ(reg.type, XTYP_REGISTER);
    EXPECT_EQ(reg.hsz1, "Quotes");
    EXPECT_EQ(reg.hsz2.rfind("Quotes(", 0), 0u);
    EXPECT_EQ(watcher.m_heard.back().hsz2, reg.hsz2);
}

TEST_F(DdeFixture, MonitorSeesConversationsAndLinksOfOthers)
{
    Client monitor(APPCLASS_MONITOR | MF_CONV | MF_LINKS);
    ServerThread server("MAVO");
    ASSERT_TRUE(server.Ok());
    Client client;
    HCONV conv = client.Connect("MAVO", "P1L1");
    ASSERT_NE(conv, nullptr);
    ASSERT_TRUE(client.Advise(conv, "BIDRATE"));
    auto kinds = [&](DWORD flag) {
        const auto reports = Only(monitor.m_heard, {XTYP_MONITOR});
        return std::count_if(reports.begin(), reports.end(), [&](const Heard& h) { return h.data2 == flag; });
    };
    // Both sides report the conversation and the loop.
    ASSERT_TRUE(monitor.PumpUntil([&] { return kinds(MF_CONV) >= 2 && kinds(MF_LINKS) >= 2; }));
    for (const auto& h : monitor.m_heard) {
        if (h.data2 == MF_LINKS) {
            MONLINKSTRUCT link;
            ASSERT_EQ(h.data.size(), sizeof link);
            std::memcpy(&link, h.data.data(), sizeof link);
            EXPECT_TRUE(link.fEstablished);
            EXPECT_EQ(link.wFmt, CF_TEXT);
        }
    }
    EXPECT_EQ(kinds(MF_CALLBACKS), 0);  // not asked for
}

TEST_F(DdeServed, EventDescriptorIsReadableWhileCallBacksWait)
{
    server.Set("T!I", "x");
    ASSERT_NO_FATAL_FAILURE(Join("T", "I"));
    const int fd = DdeGetEventFd(client.Inst());
    ASSERT_GE(fd, 0);
    server.Post("T", "I");
    pollfd wait{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&wait, 1, 30000), 1);
    EXPECT_EQ(DdeProcessPending(client.Inst(), 0), 1);
    wait.revents = 0;
    EXPECT_EQ(::poll(&wait, 1, 0), 0);
}

// ------------------------------------------- many clients, slow clients

TEST_F(DdeServed, ManyClientsAllReceiveEveryAdvise)
{
    server.Set("P1L1!BIDRATE", "0");
    constexpr int CLIENTS = 40;
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < CLIENTS; ++i) {
        clients.push_back(std::make_unique<Client>());
        HCONV one = clients.back()->Connect("MAVO", "P1L1");
        ASSERT_NE(one, nullptr);
        ASSERT_TRUE(clients.back()->Advise(one, "BIDRATE"));
    }
    constexpr int POSTS = 20;
    server.PostNumbered("P1L1", "BIDRATE", POSTS);
    for (auto& each : clients) {
        ASSERT_TRUE(each->PumpUntil([&] { return each->Count(XTYP_ADVDATA) == POSTS; }));
        EXPECT_EQ(each->m_heard.back().data, std::to_string(POSTS) + std::string(1, '\0'));
    }
    EXPECT_EQ(server.Count(XTYP_ADVREQ), std::size_t(CLIENTS * POSTS));
}

// Has the server post 1..posts on the loop P1L1!BIDRATE in one task, and
// checks the advise data the client's handler gathers in `values`: each
// number with its NUL, once, in order.
static void PostAndExpectNumbered(DdeServed& test, const std::vector<std::string>& values, int posts)
{
    test.server.PostNumbered("P1L1", "BIDRATE", posts);
    ASSERT_TRUE(test.client.PumpUntil([&] { return values.size() >= std::size_t(posts); }));
    DdeProcessPending(test.client.Inst(), 0);
    ASSERT_EQ(values.size(), std::size_t(posts));
    for (int n = 1; n <= posts; ++n)
        ASSERT_EQ(values[n - 1], std::to_string(n) + std::string(1, '\0')) << "post " << n;
}

// Every post of one loop reaches the owner thread once, in the order posted,
// although the socket is read in blocks and paused while frames wait.
TEST_F(DdeServed, AdvisesComeInPostOrderOnTheOwnerThreadOnly)
{
    server.Set("P1L1!BIDRATE", "0");
    ASSERT_NO_FATAL_FAILURE(Join("P1L1", "BIDRATE"));
    const auto owner = std::this_thread::get_id();
    std::vector<std::string> values;
    bool elsewhere = false;
    SetHandler(client.Inst(), [&](const Heard& heard, DWORD) {
        elsewhere = elsewhere || std::this_thread::get_id() != owner;
        if (heard.type == XTYP_ADVDATA)
            values.push_back(heard.data);
        return kAck;
    });
    PostAndExpectNumbered(*this, values, 3000);
    EXPECT_FALSE(elsewhere);
}

// A synchronous call made inside a call-back reads the conversation for its
// answer; the advises read meanwhile wait, and come after, in order, with no
// call-back entered inside another.
TEST_F(DdeServed, AdvisesReadDuringACallBacksOwnRequestWaitAndKeepTheirOrder)
{
    server.Set("P1L1!BIDRATE", "0");
    ASSERT_NO_FATAL_FAILURE(Join("P1L1", "BIDRATE"));
    std::vector<std::string> values;
    std::string asked;
    bool answered = false;
    int depth = 0;
    int deepest = 0;
    SetHandler(client.Inst(), [&](const Heard& heard, DWORD) {
        deepest = std::max(deepest, ++depth);
        if (heard.type == XTYP_ADVDATA) {
            values.push_back(heard.data);
            if (values.size() == 1)
                answered = client.Request(conv, "BIDRATE", asked);
        }
        --depth;
        return kAck;
    });
    // Fewer than the frames a socket may have waiting before it is no longer
    // read (the answer would then wait behind them).
    constexpr int POSTS = 40;
    // One task: the server answers the request only after its last post.
    PostAndExpectNumbered(*this, values, POSTS);
    EXPECT_TRUE(answered);
    EXPECT_EQ(asked, std::to_string(POSTS));
    EXPECT_EQ(deepest, 1);
}

// An instance ended without running its queue again still ends its
// conversations: nobody else reads its sockets.
TEST_F(DdeServed, EndingAnInstanceThatNeverPumpsAgainTellsTheServer)
{
    server.Set("T!I", "v");
    auto other = std::make_unique<Client>();
    HCONV theirs = other->Connect("MAVO", "T");
    ASSERT_NE(theirs, nullptr);
    ASSERT_TRUE(other->Advise(theirs, "I"));
    EXPECT_TRUE(server.Post("T", "I"));  // left unread
    std::thread([&] { other.reset(); }).join();
    ASSERT_TRUE(Eventually([&] { return server.Count(XTYP_DISCONNECT) == 1; }));
}

TEST_F(DdeServed, StalledClientIsDroppedWithoutHoldingUpTheServerOrOthers)
{
    server.Run([&] { DdeSetQueueLimit(server.Inst(), 64 * 1024); });
    server.Set("P1L1!TEXT", std::string(1000, 'x'));

    // The stalled peer asks for the loop and then never reads again.
    Platform::Dde::Frame reply;
    const int stalled = RawJoin(runtime.SocketDir(), "stalled", "P1L1", reply);
    ASSERT_GE(stalled, 0);
    ASSERT_EQ(reply.error, 0u);
    RawSend(stalled, Transact(1, XTYP_ADVSTART, "TEXT"));
    ASSERT_TRUE(RawReceive(stalled, reply));
    ASSERT_EQ(reply.status, DDE_FACK);
    ASSERT_NO_FATAL_FAILURE(Join("P1L1", "TEXT"));

    // Far more than the socket buffers and the queue limit hold; every post
    // returns although one peer reads nothing, and the healthy client gets
    // each one.
    constexpr int POSTS = 2000;
    for (int i = 0; i < POSTS; ++i) {
        ASSERT_TRUE(server.Post("P1L1", "TEXT"));
        ASSERT_TRUE(client.PumpUntil([&] { return client.Count(XTYP_ADVDATA) == std::size_t(i + 1); }));
    }
    ASSERT_TRUE(Eventually([&] { return server.Count(XTYP_DISCONNECT) == 1; }));
    const auto errors = Only(server.Heard_(), {XTYP_ERROR});
    EXPECT_FALSE(errors.empty());
    for (const auto& h : errors)
        EXPECT_EQ(h.data1 & 0xFFFF, DMLERR_LOW_MEMORY);
    EXPECT_EQ(client.Count(XTYP_DISCONNECT), 0u);
    ::close(stalled);
}

TEST_F(DdeServed, BrokenFramesDropOnlyTheirSender)
{
    server.Set("T!I", "fine");
    ASSERT_NO_FATAL_FAILURE(Join("T"));
    Platform::Dde::Frame reply;
    const int hostile = RawJoin(runtime.SocketDir(), "hostile", "T", reply);
    ASSERT_GE(hostile, 0);
    const char junk[] = "\x05\x00\x00\x00\x63zzzz";
    ASSERT_EQ(::send(hostile, junk, sizeof junk - 1, MSG_NOSIGNAL), ssize_t(sizeof junk - 1));
    ASSERT_TRUE(Eventually([&] { return server.Count(XTYP_DISCONNECT) == 1; }));
    EXPECT_FALSE(RawReceive(hostile, reply));  // closed by the server
    const auto errors = Only(server.Heard_(), {XTYP_ERROR});
    EXPECT_TRUE(std::any_of(errors.begin(), errors.end(),
                            [](const Heard& h) { return (h.data1 & 0xFFFF) == DMLERR_POSTMSG_FAILED; }));
    std::string value;
    ASSERT_TRUE(client.Request(conv, "I", value));
    EXPECT_EQ(value, "fine");
    ::close(hostile);
}

TEST_F(DdeServed, FloodingClientIsReadNoFasterThanTheServerAnswers)
{
    server.Set("T!I", "v");
    Platform::Dde::Frame reply;
    const int flood = RawJoin(runtime.SocketDir(), "flood", "T", reply);
    ASSERT_GE(flood, 0);
    server.Hold(true);
    // While the server runs nothing, its side stops reading: the socket
    // fills and our sends stop going through.
    std::string bytes;
    constexpr std::uint32_t REQUESTS = 40000;
    for (std::uint32_t id = 1; id <= REQUESTS; ++id)
        ASSERT_TRUE(Platform::Dde::EncodeFrame(Transact(id, XTYP_REQUEST, "I"), bytes));
    std::size_t sent = 0;
    while (sent < bytes.size() && SendSome(flood, bytes, sent)) {
    }
    EXPECT_LT(sent, bytes.size());
    server.Hold(false);
    // Once the server runs again every request is answered.
    std::size_t answers = 0;
    Platform::Dde::FrameReader reader;
    char buffer[8192];
    while (answers < REQUESTS) {
        if (sent < bytes.size())
            SendSome(flood, bytes, sent);
        pollfd wait{flood, POLLIN, 0};
        if (::poll(&wait, 1, 30000) != 1)
            break;
        const ssize_t n = ::recv(flood, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        reader.Append(buffer, static_cast<std::size_t>(n));
        Platform::Dde::Frame answer;
        while (reader.Next(answer) == Platform::Dde::FrameReader::FRAME)
            ++answers;
    }
    EXPECT_EQ(answers, REQUESTS);
    ::close(flood);
}
