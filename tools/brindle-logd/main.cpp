// brindle-logd: the central log server that the library's log shipping
// sends to. Sub-commands: serve (the default), query, tail; -install,
// -uninstall and -run through the service frame. See Usage below.
#include "LogServer.h"
#include "LogStore.h"
#include "Query.h"
#include "Tail.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/Identity.h"
#include "Brindle/base/Log.h"
#include "Brindle/regexp/RegExp.h"
#include "Brindle/service/Service.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace {

const char* const ServiceName = "brindle-logd";

const char* const Usage =
    "Usage: brindle-logd [serve] [options]\n"
    "       brindle-logd query [options] [filters]\n"
    "       brindle-logd tail [options] [filters]\n"
    "       brindle-logd -install | -uninstall | -run\n"
    "\n"
    "The central log server: receives the \"Reset\" and \"Log\" messages that programs\n"
    "built on the Brindle library ship, notes lost records (gaps in each client's\n"
    "counter) and restarts, and stores every record in a database through ODBC.\n"
    "\n"
    "Database (every command):\n"
    "  --file PATH        SQLite database file (default: /var/lib/brindle/brindle-logd.db\n"
    "                     as root, else $XDG_STATE_HOME/brindle/brindle-logd.db); mode 0600\n"
    "  --db CONNECTION    any ODBC connection text or DSN=..., instead of --file\n"
    "\n"
    "serve:\n"
    "  --port N           TCP port to listen on (default 5140; 0 picks a free one)\n"
    "  --bind ADDRESS     listen on this address only (default: every address)\n"
    "  --port-file FILE   write the port listened on to FILE once listening\n"
    "  --max-message N    longest message in bytes (default 262144)\n"
    "  --max-clients N    connections served at once (default 2000)\n"
    "  --batch N          records per transaction at most (default 2000)\n"
    "  --workers N        network worker threads (default 2)\n"
    "  --print-events     also write the server's events to standard error\n"
    "\n"
    "query and tail filters:\n"
    "  --since TIME       records from TIME (seconds since 1970, or UTC YYYY-MM-DD[THH:MM[:SS]])\n"
    "  --until TIME       records up to TIME\n"
    "  --severity S       severity S only (a number, or I, W, E, D)\n"
    "  --min-severity S   severity S and above;  --max-severity S  and below\n"
    "  --source X  --application A  --host H   exact matches\n"
    "  --match PATTERN    the library's regular expression over the text\n"
    "query:\n"
    "  --format F         line (the record line), csv or json (JSON lines)\n"
    "  --limit N          at most N records\n"
    "  --gaps             list the resets and gaps instead of records\n"
    "tail:\n"
    "  --interval MS      how often to look for new records (default 500)\n"
    "  q quits\n"
    "\n"
    "Service: -install writes the systemd unit, -uninstall removes it, -run runs the\n"
    "service in this process; the service listens on port 5140 with the default file.\n"
    "  --help             this text\n";

bool ParseInt(const std::string& text, long long low, long long high, long long& value)
{
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && p == text.data() + text.size() && value >= low && value <= high;
}

int Fail(const std::string& text, int code = 2)
{
    std::fprintf(stderr, "brindle-logd: %s\n", text.c_str());
    return code;
}

std::string DefaultFile()
{
    if (::geteuid() == 0)
        return "/var/lib/brindle/brindle-logd.db";
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state != '\0')
        base = state;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        base = std::string(home) + "/.local/state";
    else
        base = "/tmp";
    return base + "/brindle/brindle-logd.db";
}

void MakeParents(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
}

struct Options {
    std::string command = "serve";
    std::optional<std::string> file, db;
    logd::ServerOptions server;
    std::string portFile;
    std::string usersFile;
    logd::Filter filter;
    std::string pattern;
    bool hasPattern = false;
    logd::Format format = logd::Format::Line;
    long long limit = 0;
    bool gaps = false;
    long long intervalMs = 500;
};

// The connection text, and for a file: the file made with mode 0600 first,
// so that the records are never readable by others, not even for a moment.
bool Connection(const Options& o, bool create, std::string& connection, std::string& error)
{
    if (o.db) {
        connection = *o.db;
        return true;
    }
    const std::string file = o.file ? *o.file : DefaultFile();
    if (file.find_first_of(";{}") != std::string::npos) {
        error = "the database file name may not hold ';', '{' or '}': " + file;
        return false;
    }
    if (create) {
        MakeParents(file);
        const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = "cannot open " + file + ": " + std::strerror(errno);
            return false;
        }
        ::fchmod(fd, 0600);
        ::close(fd);
    } else if (::access(file.c_str(), R_OK) != 0) {
        error = "no database at " + file + ": " + std::strerror(errno);
        return false;
    }
    connection = "DRIVER=SQLite3;Database=" + file;
    return true;
}

int ParseArgs(int argc, char** argv, Options& o)
{
    int i = 1;
    if (i < argc && argv[i][0] != '-') {
        o.command = argv[i];
        if (o.command != "serve" && o.command != "query" && o.command != "tail")
            return Fail("unknown command \"" + o.command + "\" (see --help)");
        ++i;
    }
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        long long n = 0;
        int s = 0;
        const bool flag = arg == "--print-events" || arg == "--gaps" || arg == "--secure";
        if (!flag && !value(v))
            return Fail(arg + " needs a value");
        if (arg == "--print-events")
            o.server.printEvents = true;
        else if (arg == "--secure")
            o.server.secure = true;
        else if (arg == "--gaps")
            o.gaps = true;
        else if (arg == "--file")
            o.file = v;
        else if (arg == "--db")
            o.db = v;
        else if (arg == "--port" && ParseInt(v, 0, 65535, n))
            o.server.port = static_cast<int>(n);
        else if (arg == "--users")
            o.usersFile = v;
        else if (arg == "--bind")
            o.server.bind = v;
        else if (arg == "--port-file")
            o.portFile = v;
        else if (arg == "--max-message" && ParseInt(v, 1024, 64LL << 20, n))
            o.server.messageLimit = static_cast<unsigned>(n);
        else if (arg == "--max-clients" && ParseInt(v, 1, 1000000, n))
            o.server.maxClients = static_cast<int>(n);
        else if (arg == "--batch" && ParseInt(v, 1, 100000, n))
            o.server.batchLimit = static_cast<std::size_t>(n);
        else if (arg == "--workers" && ParseInt(v, 1, 64, n))
            o.server.workers = static_cast<int>(n);
        else if (arg == "--since" && logd::ParseTime(v, n))
            o.filter.since = n;
        else if (arg == "--until" && logd::ParseTime(v, n))
            o.filter.until = n;
        else if (arg == "--severity" && logd::ParseSeverity(v, s))
            o.filter.minSeverity = o.filter.maxSeverity = s;
        else if (arg == "--min-severity" && logd::ParseSeverity(v, s))
            o.filter.minSeverity = s;
        else if (arg == "--max-severity" && logd::ParseSeverity(v, s))
            o.filter.maxSeverity = s;
        else if (arg == "--source")
            o.filter.source = v;
        else if (arg == "--application")
            o.filter.application = v;
        else if (arg == "--host")
            o.filter.host = v;
        else if (arg == "--match") {
            o.pattern = v;
            o.hasPattern = true;
        } else if (arg == "--format" && logd::ParseFormat(v, o.format))
            ;
        else if (arg == "--limit" && ParseInt(v, 1, 1LL << 62, n))
            o.limit = n;
        else if (arg == "--interval" && ParseInt(v, 50, 60000, n))
            o.intervalMs = n;
        else
            return Fail("bad option or value: " + arg + " " + v);
    }
    return 0;
}

// Tells whoever started the server where it listens: standard output and,
// when asked, a file that appears whole (written aside, then renamed).
void Listening(const Options& o, int port)
{
    if (!o.portFile.empty()) {
        const std::string temp = o.portFile + ".tmp";
        std::ofstream(temp) << port << "\n";
        std::rename(temp.c_str(), o.portFile.c_str());
    }
    std::printf("brindle-logd: listening on port %d\n", port);
    std::fflush(stdout);
}

// The user list: "username:password" lines; false (and why) when the file
// cannot be read, a line has no ':' or no user is named.
bool LoadUsers(const std::string& path, std::map<std::string, std::string>& users, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read the user list " + path;
        return false;
    }
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        const auto colon = line.find(':');
        if (colon == std::string::npos || colon == 0) {
            error = path + ":" + std::to_string(number) + ": not \"username:password\"";
            return false;
        }
        users[line.substr(0, colon)] = line.substr(colon + 1);
    }
    if (users.empty()) {
        error = "the user list " + path + " names no user";
        return false;
    }
    return true;
}

// The server's options with the database and the user list filled in.
bool ServerSetup(const Options& o, logd::ServerOptions& options, std::string& error)
{
    options = o.server;
    if (!Connection(o, true, options.connection, error))
        return false;
    if (!o.usersFile.empty()) {
        options.requireLogin = true;
        if (!LoadUsers(o.usersFile, options.users, error))
            return false;
    }
    return true;
}

int Serve(const Options& o)
{
    ::umask(077);
    logd::ServerOptions options;
    std::string error;
    if (!ServerSetup(o, options, error))
        return Fail(error, 1);
    // The stop signals are taken by this thread alone: every thread the
    // server starts inherits the blocked set.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    logd::CLogServer server(options);
    try {
        server.Start();
    } catch (const std::exception& e) {
        return Fail(std::string("cannot start: ") + e.what(), 1);
    }
    Listening(o, server.Port());
    int signal = 0;
    sigwait(&stops, &signal);
    server.Stop();
    const auto& c = server.Counters();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("brindle-logd: stopped; %lld records stored, %lld refused, %lld lost in %lld gaps; peak memory %ld KiB\n",
                c.stored.load(), c.refused.load(), c.lost.load(), c.gaps.load(), usage.ru_maxrss);
    return 0;
}

int Query(const Options& o)
{
    std::string connection, error;
    if (!Connection(o, false, connection, error))
        return Fail(error, 1);
    std::unique_ptr<Brindle::CRegExp> pattern;
    if (o.hasPattern) {
        pattern = std::make_unique<Brindle::CRegExp>(o.pattern);
        if (!pattern->is_valid())
            return Fail("bad pattern: " + o.pattern);
    }
    logd::CLogStore store;
    try {
        store.Open(connection);
        if (o.gaps) {
            for (const auto& e : store.Events(0))
                std::printf("%s %s %s@%s %s expected %d got %d lost %d\n", logd::FormatTime(e.received).c_str(),
                            e.kind.c_str(), e.application.c_str(), e.host.c_str(), e.peer.c_str(), e.expected, e.got,
                            e.lost);
            return 0;
        }
        if (o.format == logd::Format::Csv)
            std::fputs(logd::CsvHeader().c_str(), stdout);
        Brindle::CLog::Verbose(true);
        logd::Filter filter = o.filter;
        filter.afterId = 0;
        // One page at a time: memory stays small, and pages this size come back
        // from the allocator instead of from the system again each time.
        filter.limit = 2000;
        long long written = 0;
        // False once the asked-for number of records is written.
        auto write = [&](const std::vector<logd::Record>& records) {
            for (const auto& r : records) {
                std::fputs(logd::FormatRecord(r, o.format).c_str(), stdout);
                if (o.limit > 0 && ++written >= o.limit)
                    return false;
            }
            return true;
        };
        // Matching a page by its texts alone pays when few records match;
        // when most did in the last page, the next is read whole.
        bool readWhole = !pattern;
        for (;;) {
            std::size_t read = 0, matches = 0;
            if (readWhole) {
                auto page = store.Select(filter);
                read = page.size();
                if (read > 0)
                    filter.afterId = page.back().id;
                if (pattern)
                    std::erase_if(page, [&](const logd::Record& r) { return pattern->is_reg_exp_present(r.text) == 0; });
                matches = page.size();
                if (!write(page))
                    return 0;
            } else {
                const auto texts = store.SelectTexts(filter);
                std::vector<long long> matched;
                for (const auto& [id, text] : texts) {
                    if (pattern->is_reg_exp_present(text) != 0)
                        matched.push_back(id);
                }
                read = texts.size();
                if (read > 0)
                    filter.afterId = texts.back().first;
                matches = matched.size();
                if (!write(store.SelectIds(matched)))
                    return 0;
            }
            readWhole = !pattern || matches * 4 > read;
            if (read < static_cast<std::size_t>(filter.limit))
                break;
        }
    } catch (const std::exception& e) {
        return Fail(std::string("query failed: ") + e.what(), 1);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

class CLogdService : public Brindle::CService {
public:
    explicit CLogdService(Options options) : CService(ServiceName), m_options(std::move(options)) {}

    void RequestShutdown() override
    {
        CService::RequestShutdown();
        std::lock_guard<std::mutex> hold(m_lock);
        m_wake.notify_all();
    }

protected:
    int ServiceInit() override
    {
        ::umask(077);
        logd::ServerOptions options;
        std::string error;
        if (!ServerSetup(m_options, options, error))
            throw Brindle::CException(error, EACCES);
        m_server = std::make_unique<logd::CLogServer>(options);
        m_server->Start();
        Listening(m_options, m_server->Port());
        return 1;
    }

    int ServiceFcn() override
    {
        std::unique_lock<std::mutex> hold(m_lock);
        m_wake.wait(hold, [this] { return InShutdown(); });
        return 0;
    }

    void ServiceStop() override
    {
        if (m_server)
            m_server->Stop();
    }

private:
    Options m_options;
    std::unique_ptr<logd::CLogServer> m_server;
    std::mutex m_lock;
    std::condition_variable m_wake;
};

bool IsFrameArgument(const std::string& arg)
{
    std::string lower;
    for (char c : arg)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == "-install" || lower == "-uninstall" || lower == "-run" || lower == "-?";
}

} // namespace

int main(int argc, char** argv)
{
    Brindle::SetLocalApplicationName(ServiceName);
#ifdef BRINDLE_VERSION
    Brindle::SetLocalVersion(BRINDLE_VERSION);
#endif
    Brindle::SetLocalBuildDate(__DATE__);
    Brindle::SetAppDescription("The central log server: receives, checks and stores the records that programs "
                               "built on the Brindle library ship to it.");
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
    }
    const bool frame = argc > 1 && IsFrameArgument(argv[1]);
    // Started by systemd with the unit's bare command line: the service.
    const bool managed =
        argc == 1 && (std::getenv("NOTIFY_SOCKET") != nullptr || std::getenv("INVOCATION_ID") != nullptr);
    Options options;
    if (!frame) {
        if (const int bad = ParseArgs(argc, argv, options))
            return bad;
    } else if (argc > 2) {
        std::vector<char*> rest{argv[0]};
        for (int i = 2; i < argc; ++i)
            rest.push_back(argv[i]);
        if (const int bad = ParseArgs(static_cast<int>(rest.size()), rest.data(), options))
            return bad;
    }
    try {
        if (frame || managed) {
            CLogdService service(options);
            char* frameArgs[] = {argv[0], frame ? argv[1] : nullptr, nullptr};
            return service.Main(frame ? 2 : 1, frameArgs);
        }
        if (options.command == "query")
            return Query(options);
        if (options.command == "tail") {
            std::string connection, error;
            if (!Connection(options, false, connection, error))
                return Fail(error, 1);
            return logd::RunTail(connection, options.filter, options.hasPattern ? &options.pattern : nullptr,
                                 options.intervalMs);
        }
        return Serve(options);
    } catch (const std::exception& e) {
        return Fail(e.what(), 1);
    }
}
