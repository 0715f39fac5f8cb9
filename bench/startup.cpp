// Time from process start to the main window's first paint: MAVO with a
// saved layout of 10 open pages and its feed settings pointing at a running
// zphd, beside a bare Qt program that opens an empty QMainWindow (the
// floor). Each iteration starts a fresh process (this program, in a child
// role) and waits for the byte it writes when its window first paints.
//
// The fixed 1500 ms pause of MAVO's start-up is switched off here (an option
// only this benchmark sets); the splash still shows. The 10 saved pages are
// opened before the main window first paints.
//
// Without a display the children use the offscreen platform.
#include "Brindle/base/RegSection.h"
#include "Modules.h"
#include "TempDir.h"
#include "core/AppIdentity.h"
#include "core/ui/MAVOApp.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMainWindow>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr const char* kPipeVariable = "MAVO_BENCH_PAINT_FD";

// ---------------------------------------------------------------- children

// Writes one byte to the parent at the first paint of the watched window,
// then ends the process at once (what comes after is not measured).
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            const char* fd = std::getenv(kPipeVariable);
            if (fd != nullptr) {
                const char byte = 'p';
                (void)::write(std::atoi(fd), &byte, 1);
            }
            std::_Exit(0);
        }
        return false;
    }
};

int RunChild(const std::string& role, int argc, char** argv)
{
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("QT_LOGGING_RULES", "qt.qpa.*=false", 1);
    QApplication application(argc, argv);
    FirstPaint watcher;
    if (role == "bare") {
        QMainWindow window;
        window.installEventFilter(&watcher);
        window.setGeometry(50, 50, 650, 500);
        window.show();
        return application.exec();
    }
    mavo::StartupOptions options;
    options.pauseMs = 0;
    mavo::CMAVOApp app(mavo::InstallFrameModules, options);
    // The main window is made inside Start; catch its first paint there.
    struct Hook : QObject {
        FirstPaint* watcher;
        bool eventFilter(QObject* object, QEvent* event) override
        {
            if (event->type() == QEvent::Show && object->objectName() == QStringLiteral("MainFrame"))
                object->installEventFilter(watcher);
            return false;
        }
    } hook;
    hook.watcher = &watcher;
    application.installEventFilter(&hook);
    if (app.Start() != mavo::CMAVOApp::StartResult::Started)
        return 1;
    return application.exec();
}

// ------------------------------------------------------------------ parent

std::string g_self;

struct Zphd {
    pid_t pid = -1;
    int port = 0;
};

// A zphd for MAVO to connect to; none when it is not built.
Zphd StartZphd(const testsupport::TempDir& dir)
{
    Zphd server;
    const char* fromEnvironment = std::getenv("ZPHD_BINARY");
    const std::string program = fromEnvironment != nullptr ? fromEnvironment : ZPHD_PATH;
    if (program.empty() || ::access(program.c_str(), X_OK) != 0)
        return server;
    const std::string ports = (dir.path() / "ports").string();
    std::vector<std::string> args{program, "--port", "0", "--database-port", "-1", "--control-port", "-1",
                                  "--ports-file", ports, "-q"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&server.pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return Zphd{};
    for (int i = 0; i < 300 && server.port == 0; ++i) {
        std::ifstream in(ports);
        std::string key;
        int value = 0;
        while (in >> key >> value)
            if (key == "socket")
                server.port = value;
        if (server.port == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return server;
}

// The settings MAVO starts with: the feed at zphd, 10 saved pages.
void StoreLayout(int port)
{
    const std::string root = mavo::kSettingsRoot;
    Brindle::CRegSection controller(HKEY_CURRENT_USER, (root + "/Controller").c_str());
    controller.SetInt("FeedSource", 1);
    Brindle::CRegSection socket(controller, "Socket");
    socket.SetStr("Host", "127.0.0.1");
    socket.SetInt("Port", port);
    for (int n = 0; n < 10; ++n) {
        const int page = n + 1;
        Brindle::CRegSection doc(HKEY_CURRENT_USER, (root + "/MAVO Document/" + std::to_string(n)).c_str());
        doc.SetStr("Title", "Page " + std::to_string(page));
        doc.SetInt("LineCount", 26);
        Brindle::CRegSection lines(doc, "Lines");
        for (int line = 1; line <= 26; ++line)
            lines.SetInt(std::to_string(line - 1).c_str(), page * 100 + line);
        // One view with its stored defaults.
        Brindle::CRegSection view(doc, "Views/0");
        doc.SetInt("Page", page);
    }
}

// Starts this program in a child role; seconds until its first paint.
double TimeToFirstPaint(const char* role)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    // The child keeps the write end across exec.
    const int childFd = ::dup(fds[1]);
    const std::string fdText = std::to_string(childFd);
    ::setenv(kPipeVariable, fdText.c_str(), 1);
    std::string self = g_self;
    std::string roleArg = std::string("--child=") + role;
    char* argv[] = {self.data(), roleArg.data(), nullptr};
    pid_t pid = -1;
    const auto start = std::chrono::steady_clock::now();
    const int spawned = ::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ);
    ::close(childFd);
    ::close(fds[1]);
    double seconds = -1;
    if (spawned == 0) {
        pollfd wait{fds[0], POLLIN, 0};
        char byte = 0;
        if (::poll(&wait, 1, 60000) == 1 && ::read(fds[0], &byte, 1) == 1)
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        int status = 0;
        if (seconds < 0)
            ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ::close(fds[0]);
    return seconds;
}

void BM_FirstPaint(benchmark::State& state, const char* role)
{
    for (auto _ : state) {
        const double seconds = TimeToFirstPaint(role);
        if (seconds < 0) {
            state.SkipWithError("the child did not paint its window");
            break;
        }
        state.SetIterationTime(seconds);
    }
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--child=", 8) == 0)
            return RunChild(argv[i] + 8, argc, argv);

    g_self = argv[0];
    if (g_self.find('/') == std::string::npos)
        g_self = "/proc/self/exe";
    char resolved[4096];
    const ssize_t n = ::readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (n > 0)
        g_self.assign(resolved, static_cast<std::size_t>(n));

    testsupport::ScopedRegistryDir registry;
    testsupport::TempDir runtime;
    ::chmod(runtime.str().c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.str().c_str(), 1);
    testsupport::TempDir zphdDir;
    const Zphd zphd = StartZphd(zphdDir);
    StoreLayout(zphd.port != 0 ? zphd.port : 9);  // port 9: nobody answers
    if (zphd.port == 0)
        std::fprintf(stderr, "zphd is not built: MAVO starts without a feed\n");

    benchmark::RegisterBenchmark("FirstPaint/MAVO_10_pages", BM_FirstPaint, "mavo")
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
    benchmark::RegisterBenchmark("FirstPaint/BareQMainWindow", BM_FirstPaint, "bare")
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (zphd.pid > 0) {
        ::kill(zphd.pid, SIGTERM);
        int status = 0;
        ::waitpid(zphd.pid, &status, 0);
    }
    return 0;
}
