// zphd: the feed server and market simulator. See README.md beside this file.
#include "Log.h"
#include "MarketText.h"
#include "Server.h"
#include "ServerConfig.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <getopt.h>
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

} // namespace

int main(int argc, char** argv)
{
    using namespace zphd;
    enum {
        PrintConfig = 256, CheckConfig, Seed, Rate, TradeEvery, DatabasePort, ControlPort, Host, PortsFile, Tls,
        Cert, Key, TlsDir, Serial, MaxQueue, SendBuffer, Name
    };
    static const option options[] = {
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
    ServerOptions server;
    std::string configPath;
    bool check = false;
    std::optional<std::uint64_t> seed;
    std::optional<double> rate, tradeEvery;
    auto bad = [&](const char* what) {
        std::fprintf(stderr, "zphd: bad %s \"%s\" (see zphd --help)\n", what, optarg);
        return 2;
    };
    int c = 0;
    while ((c = ::getopt_long(argc, argv, "c:p:vqh", options, nullptr)) != -1) {
        double number = 0;
        std::uint64_t whole = 0;
        switch (c) {
        case 'c': configPath = optarg; break;
        case PrintConfig: std::fputs(DefaultConfigText(), stdout); return 0;
        case CheckConfig: check = true; break;
        case Seed:
            if (!ParseUnsigned(optarg, whole))
                return bad("seed");
            seed = whole;
            break;
        case Rate:
            if (!ParseDecimal(optarg, number) || number < 0 || number > 1e6)
                return bad("rate");
            rate = number;
            break;
        case TradeEvery:
            if (!ParseDecimal(optarg, number) || number < 0 || number > 3600)
                return bad("trade-every");
            tradeEvery = number;
            break;
        case 'p':
            if (!ReadPort(optarg, server.socketPort))
                return bad("port");
            break;
        case DatabasePort:
            if (!ReadPort(optarg, server.databasePort))
                return bad("database port");
            break;
        case ControlPort:
            if (!ReadPort(optarg, server.controlPort))
                return bad("control port");
            break;
        case Host: server.host = optarg; break;
        case PortsFile: server.portsFile = optarg; break;
        case Tls: server.tls = true; break;
        case Cert: server.certFile = optarg; break;
        case Key: server.keyFile = optarg; break;
        case TlsDir: server.tlsDir = optarg; break;
        case Serial: server.serialPath = optarg; break;
        case MaxQueue:
            if (!ParseUnsigned(optarg, whole) || whole < 4096)
                return bad("queue size");
            server.maxQueue = whole;
            break;
        case SendBuffer:
            if (!ParseUnsigned(optarg, whole) || whole > (1u << 30))
                return bad("send buffer size");
            server.sendBuffer = static_cast<int>(whole);
            break;
        case Name: server.name = optarg; break;
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
    ServerConfig config;
    std::string error;
    const bool loaded = configPath.empty() ? ParseConfig(DefaultConfigText(), config, error)
                                           : LoadConfigFile(configPath, config, error);
    if (!loaded) {
        std::fprintf(stderr, "zphd: %s\n", error.c_str());
        return 1;
    }
    if (check) {
        std::printf("%s: %zu pages, %zu users\n", configPath.empty() ? "built-in" : configPath.c_str(),
                    config.pages.size(), config.users.size());
        return 0;
    }
    if (seed)
        config.market.seed = *seed;
    if (rate)
        config.market.rate = *rate;
    if (tradeEvery)
        config.market.tradeEvery = *tradeEvery;
    std::signal(SIGPIPE, SIG_IGN);
    server.handleSignals = true;
    Server zphd(server, config);
    if (!zphd.Start(error)) {
        LogError(error);
        return 1;
    }
    Log("serving " + std::to_string(config.pages.size()) + " pages to " + std::to_string(config.users.size())
        + " users, seed " + std::to_string(config.market.seed) + ", " + FormatQuantity(config.market.rate)
        + " updates a second");
    return zphd.Run();
}
