// zphd: the feed server and market simulator. See README.md beside this file.
#include "Log.h"
#include "MarketText.h"
#include "Server.h"
#include "ServerConfig.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <getopt.h>
#include <optional>
#include <string>

namespace {

const char* const kHelp = R"(zphd - feed server and market simulator for MAVO and the feed libraries

Usage: zphd [options]

Market and users:
  -c, --config FILE       pages, issues, users and market settings
                          (default: the built-in market; see --print-config)
      --print-config      print the built-in configuration and exit
      --check-config      read the configuration, report errors and exit
      --seed N            the market's seed (overrides the configuration)
      --rate N            simulated updates per second; 0 is a still market
      --trade-every S     mean seconds between simulated trades; 0 for none

Ports (all on loopback unless --host says otherwise):
  -p, --port N            socket port (default 6093; 0 any free port; -1 none)
      --database-port N   database login port (default 6094; -1 none)
      --control-port N    control port, always on 127.0.0.1 (default 6095; -1 none)
      --host ADDR         address of the socket and database ports (default 127.0.0.1)
      --ports-file FILE   write the ports in use there once listening
      --tls               the socket and database ports speak TLS
      --cert FILE         certificate (PEM) for TLS, with --key
      --key FILE          private key (PEM) for TLS
      --tls-dir DIR       where a certificate made at first start is kept
                          (default $XDG_STATE_HOME/zphd or ~/.local/state/zphd)
      --serial PATH       serve a serial line: PATH is a terminal to use as it is
                          (one end of a socat pty pair), or where to link a new pty

Running:
      --max-queue BYTES   bytes queued for one client before it is dropped (default 8388608)
      --send-buffer BYTES socket send buffer of each client (default: the system's sizing)
      --name TEXT         server name sent in greetings (default zphd)
  -v, --verbose           log every message
  -q, --quiet             log errors only
  -h, --help              this text

Control commands (one per line on the control port; "help" lists them):
  get/set line fields, title, count, notify, notice, permissions, level,
  order-entry, insert/erase/clear lines, stall, drop, malformed, fail-login,
  rate, trade, order, orders, sessions, status, quit.
SIGINT and SIGTERM stop the server cleanly.
)";

bool ReadPort(const char* text, int& port)
{
    int value = 0;
    if (!zphd::ParseInt(text, value) || value < -1 || value > 65535)
        return false;
    port = value;
    return true;
}

// The long options without a short form.
enum {
    PrintConfig = 256, CheckConfig, Seed, Rate, TradeEvery, DatabasePort, ControlPort, Host, PortsFile, Tls,
    Cert, Key, TlsDir, Serial, MaxQueue, SendBuffer, Name
};
const option kOptions[] = {
    {"config", required_argument, nullptr, 'c'},    {"print-config", no_argument, nullptr, PrintConfig},
    {"check-config", no_argument, nullptr, CheckConfig}, {"seed", required_argument, nullptr, Seed},
    {"rate", required_argument, nullptr, Rate},     {"trade-every", required_argument, nullptr, TradeEvery},
    {"port", required_argument, nullptr, 'p'},      {"database-port", required_argument, nullptr, DatabasePort},
    {"control-port", required_argument, nullptr, ControlPort}, {"host", required_argument, nullptr, Host},
    {"ports-file", required_argument, nullptr, PortsFile}, {"tls", no_argument, nullptr, Tls},
    {"cert", required_argument, nullptr, Cert},     {"key", required_argument, nullptr, Key},
    {"tls-dir", required_argument, nullptr, TlsDir}, {"serial", required_argument, nullptr, Serial},
    {"max-queue", required_argument, nullptr, MaxQueue}, {"send-buffer", required_argument, nullptr, SendBuffer},
    {"name", required_argument, nullptr, Name},
    {"verbose", no_argument, nullptr, 'v'},         {"quiet", no_argument, nullptr, 'q'},
    {"help", no_argument, nullptr, 'h'},            {nullptr, 0, nullptr, 0},
};

// What the command line asks for; the configuration's values it overrides
// are applied once the configuration is read.
struct CommandLine {
    zphd::ServerOptions server;
    std::string configPath;
    bool check = false;
    std::optional<std::uint64_t> seed;
    std::optional<double> rate, tradeEvery;
};

// Reads the options into `line`; an exit status when the program ends here
// (help, the built-in configuration printed, a bad option).
std::optional<int> ParseCommandLine(int argc, char** argv, CommandLine& line)
{
    using namespace zphd;
    auto bad = [&](const char* what) {
        std::fprintf(stderr, "zphd: bad %s \"%s\" (see zphd --help)\n", what, optarg);
        return 2;
    };
    int c = 0;
    while ((c = ::getopt_long(argc, argv, "c:p:vqh", kOptions, nullptr)) != -1) {
        double number = 0;
        std::uint64_t whole = 0;
        switch (c) {
        case 'c': line.configPath = optarg; break;
        case PrintConfig: std::fputs(DefaultConfigText(), stdout); return 0;
        case CheckConfig: line.check = true; break;
        case Seed:
            if (!ParseUnsigned(optarg, whole))
                return bad("seed");
            line.seed = whole;
            break;
        case Rate:
            if (!ParseDecimal(optarg, number) || number < 0 || number > 1e6)
                return bad("rate");
            line.rate = number;
            break;
        case TradeEvery:
            if (!ParseDecimal(optarg, number) || number < 0 || number > 3600)
                return bad("trade-every");
            line.tradeEvery = number;
            break;
        case 'p':
            if (!ReadPort(optarg, line.server.socketPort))
                return bad("port");
            break;
        case DatabasePort:
            if (!ReadPort(optarg, line.server.databasePort))
                return bad("database port");
            break;
        case ControlPort:
            if (!ReadPort(optarg, line.server.controlPort))
                return bad("control port");
            break;
        case Host: line.server.host = optarg; break;
        case PortsFile: line.server.portsFile = optarg; break;
        case Tls: line.server.tls = true; break;
        case Cert: line.server.certFile = optarg; break;
        case Key: line.server.keyFile = optarg; break;
        case TlsDir: line.server.tlsDir = optarg; break;
        case Serial: line.server.serialPath = optarg; break;
        case MaxQueue:
            if (!ParseUnsigned(optarg, whole) || whole < 4096)
                return bad("queue size");
            line.server.maxQueue = whole;
            break;
        case SendBuffer:
            if (!ParseUnsigned(optarg, whole) || whole > (1u << 30))
                return bad("send buffer size");
            line.server.sendBuffer = static_cast<int>(whole);
            break;
        case Name: line.server.name = optarg; break;
        case 'v': SetVerbose(true); break;
        case 'q': SetQuiet(true); break;
        case 'h': std::fputs(kHelp, stdout); return 0;
        default: std::fputs("zphd: see zphd --help\n", stderr); return 2;
        }
    }
    if (optind < argc) {
        std::fprintf(stderr, "zphd: unexpected argument \"%s\" (see zphd --help)\n", argv[optind]);
        return 2;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace zphd;
    CommandLine line;
    if (const std::optional<int> status = ParseCommandLine(argc, argv, line))
        return *status;
    ServerConfig config;
    std::string error;
    const bool loaded = line.configPath.empty() ? ParseConfig(DefaultConfigText(), config, error)
                                                : LoadConfigFile(line.configPath, config, error);
    if (!loaded) {
        std::fprintf(stderr, "zphd: %s\n", error.c_str());
        return 1;
    }
    if (line.check) {
        std::printf("%s: %zu pages, %zu users\n", line.configPath.empty() ? "built-in" : line.configPath.c_str(),
                    config.pages.size(), config.users.size());
        return 0;
    }
    if (line.seed)
        config.market.seed = *line.seed;
    if (line.rate)
        config.market.rate = *line.rate;
    if (line.tradeEvery)
        config.market.tradeEvery = *line.tradeEvery;
    std::signal(SIGPIPE, SIG_IGN);
    line.server.handleSignals = true;
    Server zphd(line.server, config);
    if (!zphd.Start(error)) {
        LogError(error);
        return 1;
    }
    Log("serving " + std::to_string(config.pages.size()) + " pages to " + std::to_string(config.users.size())
        + " users, seed " + std::to_string(config.market.seed) + ", " + FormatQuantity(config.market.rate)
        + " updates a second");
    return zphd.Run();
}
