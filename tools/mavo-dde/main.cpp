// mavo-dde: a DDE client for the command line.
//
//   mavo-dde request SERVICE TOPIC ITEM         prints the item's value
//   mavo-dde advise SERVICE TOPIC ITEM...       prints each item's value, then
//                                               every update with its time,
//                                               until interrupted
//   mavo-dde poke SERVICE TOPIC ITEM VALUE      sends a value to the server
//   mavo-dde execute SERVICE TOPIC COMMAND      sends a command to the server
//
// Options (before the command): --timeout MS for each transaction (default
// 10000), --count N to end an advise after N updates.
// Exit status: 0 done; 1 the server is missing, refused the topic, has no
// value for an item, did not process a poke or execute, did not answer in
// time, or ended the conversation; 2 bad command line; 3 DDE could not
// start.
#include "Platform/dde/DdeRuntimeDir.h"
#include "Platform/dde/Ddeml.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/signalfd.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDone = 0;
constexpr int kRefused = 1;
constexpr int kBadUsage = 2;
constexpr int kNoDde = 3;

const char* const kUsage =
    "usage: mavo-dde [--timeout MS] [--count N] COMMAND ...\n"
    "  request SERVICE TOPIC ITEM        print the item's value\n"
    "  advise SERVICE TOPIC ITEM...      print each item's value, then every update\n"
    "                                    as TIME TOPIC!ITEM VALUE until interrupted\n"
    "  poke SERVICE TOPIC ITEM VALUE     send a value to the server\n"
    "  execute SERVICE TOPIC COMMAND     send a command to the server\n"
    "options:\n"
    "  --timeout MS   wait this long for each answer (default 10000)\n"
    "  --count N      end an advise after N updates\n"
    "  --help         this text\n"
    "MAVO's service is MAVO; its topics are APP and P<page>L<line> (for example\n"
    "P1L1), its items BIDRATE, OFFERRATE, ISSUENAME, TEXT and the others it lists.\n"
    "exit status: 0 done, 1 refused (no such server, topic or item; not processed;\n"
    "no answer in time; the server ended), 2 bad command line, 3 DDE could not start\n";

DWORD g_inst = 0;
long g_updates = 0;
bool g_serverEnded = false;

int Fail(int status, const std::string& message)
{
    std::fprintf(stderr, "mavo-dde: %s\n", message.c_str());
    return status;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string Now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(ms));
    return text;
}

std::string Text(HSZ hsz)
{
    char buffer[256] = {};
    if (hsz != nullptr)
        DdeQueryString(g_inst, hsz, buffer, sizeof buffer, CP_WINANSI);
    return buffer;
}

// A data item as text: up to its terminating zero; other control bytes are
// shown as '?' so that a value never drives the terminal.
std::string DataText(HDDEDATA data)
{
    DWORD size = 0;
    LPBYTE bytes = DdeAccessData(data, &size);
    std::string text;
    for (DWORD i = 0; bytes != nullptr && i < size && bytes[i] != 0; ++i) {
        const unsigned char c = bytes[i];
        text.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    }
    DdeUnaccessData(data);
    return text;
}

HDDEDATA Callback(UINT type, UINT /*format*/, HCONV /*conv*/, HSZ topic, HSZ item, HDDEDATA data, ULONG_PTR,
                  ULONG_PTR)
{
    switch (type) {
    case XTYP_ADVDATA:
        std::printf("%s %s!%s %s\n", Now().c_str(), Text(topic).c_str(), Text(item).c_str(),
                    data != nullptr ? DataText(data).c_str() : "");
        std::fflush(stdout);
        ++g_updates;
        return reinterpret_cast<HDDEDATA>(static_cast<std::uintptr_t>(DDE_FACK));
    case XTYP_DISCONNECT:
        g_serverEnded = true;
        return nullptr;
    default:
        return nullptr;
    }
}

bool ReadNumber(const char* text, long& value)
{
    char* end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || number <= 0)
        return false;
    value = number;
    return true;
}

bool ServiceExists(const std::string& service)
{
    std::string dir;
    return Platform::Dde::PrepareRuntimeDirectory(dir) && !Platform::Dde::ListServiceFiles(dir, service).empty();
}

// Why a transaction failed, for the user.
std::string TransactionError(UINT error, const std::string& what, DWORD timeout)
{
    switch (error) {
    case DMLERR_DATAACKTIMEOUT:
    case DMLERR_ADVACKTIMEOUT:
    case DMLERR_POKEACKTIMEOUT:
    case DMLERR_EXECACKTIMEOUT:
    case DMLERR_UNADVACKTIMEOUT:
        return "the server did not answer " + what + " within " + std::to_string(timeout) + " ms";
    case DMLERR_BUSY:
        return "the server was busy and did not take " + what;
    case DMLERR_NO_CONV_ESTABLISHED:
        return "the server ended the conversation during " + what;
    default:
        return "the server did not process " + what;
    }
}

class Session {
public:
    ~Session()
    {
        if (g_inst != 0)
            DdeUninitialize(g_inst);
    }

    int Start()
    {
        if (DdeInitialize(&g_inst, Callback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR) {
            g_inst = 0;
            return Fail(kNoDde, "DDE could not start: the socket directory is missing or not private");
        }
        return kDone;
    }

    HSZ Str(const std::string& text) { return DdeCreateStringHandle(g_inst, text.c_str(), CP_WINANSI); }

    int Connect(const std::string& service, const std::string& topic, HCONV& conv)
    {
        HSZ hszService = Str(service);
        HSZ hszTopic = Str(topic);
        if (hszService == nullptr || hszTopic == nullptr)
            return Fail(kBadUsage, "names must be 1 to 255 characters");
        conv = DdeConnect(g_inst, hszService, hszTopic, nullptr);
        if (conv != nullptr)
            return kDone;
        if (!ServiceExists(service))
            return Fail(kRefused, "no DDE server " + Quoted(service) + " is running");
        return Fail(kRefused, "the server " + Quoted(service) + " refused the topic " + Quoted(topic));
    }

    // The item's value, or a failure already reported.
    int Request(HCONV conv, const std::string& topic, const std::string& item, DWORD timeout, std::string& value)
    {
        HSZ hszItem = Str(item);
        if (hszItem == nullptr)
            return Fail(kBadUsage, "names must be 1 to 255 characters");
        HDDEDATA data = DdeClientTransaction(nullptr, 0, conv, hszItem, CF_TEXT, XTYP_REQUEST, timeout, nullptr);
        if (data == nullptr) {
            const UINT error = DdeGetLastError(g_inst);
            if (error == DMLERR_NOTPROCESSED)
                return Fail(kRefused, "no value for item " + Quoted(item) + " of topic " + Quoted(topic) +
                                          " (the server does not know the topic or the item)");
            return Fail(kRefused, TransactionError(error, "the request for " + Quoted(topic + "!" + item), timeout));
        }
        value = DataText(data);
        DdeFreeDataHandle(data);
        return kDone;
    }
};

// Interrupts end an advise loop cleanly instead of killing the process:
// they are blocked in every thread (so this runs before DDE starts its
// thread) and read from a descriptor.
int CatchInterrupts()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

int Advise(Session& session, HCONV conv, const std::string& topic, const std::vector<std::string>& items,
           DWORD timeout, long count, int signalFd)
{
    for (const auto& item : items) {
        std::string value;
        if (int status = session.Request(conv, topic, item, timeout, value); status != kDone)
            return status;
        std::printf("%s %s!%s %s\n", Now().c_str(), topic.c_str(), item.c_str(), value.c_str());
        if (DdeClientTransaction(nullptr, 0, conv, session.Str(item), CF_TEXT, XTYP_ADVSTART, timeout, nullptr) ==
            nullptr) {
            const UINT error = DdeGetLastError(g_inst);
            return Fail(kRefused, error == DMLERR_NOTPROCESSED
                                      ? "the server refused an advise loop on " + Quoted(topic + "!" + item)
                                      : TransactionError(error, "the advise on " + Quoted(topic + "!" + item), timeout));
        }
    }
    std::fflush(stdout);

    const int eventFd = DdeGetEventFd(g_inst);
    bool interrupted = false;
    while (!interrupted && !g_serverEnded && (count <= 0 || g_updates < count)) {
        pollfd fds[2] = {{eventFd, POLLIN, 0}, {signalFd, POLLIN, 0}};
        if (::poll(fds, signalFd >= 0 ? 2 : 1, -1) < 0 && errno != EINTR)
            break;
        if (signalFd >= 0 && (fds[1].revents & POLLIN))
            interrupted = true;
        if (fds[0].revents & POLLIN)
            DdeProcessPending(g_inst, 0);
    }
    if (g_serverEnded)
        return Fail(kRefused, "the server ended the conversation");
    for (const auto& item : items)
        DdeClientTransaction(nullptr, 0, conv, session.Str(item), CF_TEXT, XTYP_ADVSTOP, timeout, nullptr);
    DdeDisconnect(conv);
    return kDone;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    DWORD timeout = 10000;
    long count = 0;
    std::size_t at = 0;
    while (at < args.size() && args[at].rfind("--", 0) == 0) {
        const std::string& option = args[at];
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return kDone;
        }
        long number = 0;
        if ((option == "--timeout" || option == "--count") && at + 1 < args.size() &&
            ReadNumber(args[at + 1].c_str(), number)) {
            if (option == "--timeout")
                timeout = static_cast<DWORD>(std::min<long>(number, 3600000));
            else
                count = number;
            at += 2;
            continue;
        }
        std::fputs(kUsage, stderr);
        return Fail(kBadUsage, "bad option " + Quoted(option));
    }
    if (at >= args.size()) {
        std::fputs(kUsage, stderr);
        return kBadUsage;
    }
    const std::string command = args[at];
    const std::vector<std::string> rest(args.begin() + static_cast<long>(at) + 1, args.end());
    const bool good = (command == "request" && rest.size() == 3) || (command == "advise" && rest.size() >= 3) ||
                      (command == "poke" && rest.size() == 4) || (command == "execute" && rest.size() == 3);
    if (!good) {
        std::fputs(kUsage, stderr);
        return kBadUsage;
    }

    const int signalFd = command == "advise" ? CatchInterrupts() : -1;
    Session session;
    if (int status = session.Start(); status != kDone)
        return status;
    const std::string& service = rest[0];
    const std::string& topic = rest[1];
    HCONV conv = nullptr;
    if (int status = session.Connect(service, topic, conv); status != kDone)
        return status;

    if (command == "request") {
        std::string value;
        if (int status = session.Request(conv, topic, rest[2], timeout, value); status != kDone)
            return status;
        std::printf("%s\n", value.c_str());
        return kDone;
    }
    if (command == "advise")
        return Advise(session, conv, topic, std::vector<std::string>(rest.begin() + 2, rest.end()), timeout, count,
                      signalFd);

    const bool poke = command == "poke";
    const std::string& payload = poke ? rest[3] : rest[2];
    HSZ item = poke ? session.Str(rest[2]) : nullptr;
    if (poke && item == nullptr)
        return Fail(kBadUsage, "names must be 1 to 255 characters");
    std::string bytes = payload;
    bytes.push_back('\0');
    DWORD status = 0;
    HDDEDATA done = DdeClientTransaction(reinterpret_cast<LPBYTE>(bytes.data()), static_cast<DWORD>(bytes.size()),
                                         conv, item, poke ? CF_TEXT : 0, poke ? XTYP_POKE : XTYP_EXECUTE, timeout,
                                         &status);
    if (done == nullptr) {
        const std::string what = poke ? "the poke of " + Quoted(topic + "!" + rest[2]) : "the command";
        return Fail(kRefused, TransactionError(DdeGetLastError(g_inst), what, timeout));
    }
    return kDone;
}
