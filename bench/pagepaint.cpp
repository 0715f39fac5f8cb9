// Painting a page window: a full page of 26 field lines into an offscreen
// image, and one line's update (the line changes in the cache, its row is
// repainted), beside two peers doing the same work:
// - the floor: a plain QPainter loop filling and writing the same number of
//   text cells with fixed colours and no computing at all;
// - the usual way to build such a screen: a QTableWidget with the same 26
//   rows of cells, texts and colours set per item.
// Two flood runs: 20 open pages whose lines change about 10,000 times a
// second for 10 seconds while the window thread runs its event loop (idle
// between events, as at a desk), first from a feed thread of this program
// (the page windows alone), then from a real zphd through the whole feed
// library and MAVO's main window. Each reports the event-loop latency
// (median and 99th percentile), the most keys waiting in one page's queue,
// the CPU time per update, the page paints, and checks that the final
// screen shows the final state of the feed.
#include "Brindle/base/RegSection.h"
#include "Modules.h"
#include "core/AppIdentity.h"
#include "core/ui/MAVOApp.h"
#include "pages/ControllerPageFeed.h"
#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"
#include "pages/ui/PageList.h"
#include "pages/ui/PageWindows.h"

#include "FakePageFeed.h"
#include "TempDir.h"
#include "ui/SampleLines.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHeaderView>
#include <QImage>
#include <QMdiArea>
#include <QPainter>
#include <QTableWidget>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <fstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ZPH;

extern char** environ;

using namespace mavo;

namespace {

constexpr int kRows = 26;
constexpr int kPage = 7;

struct PageFixture {
    pagestest::FakePageFeed feed;
    CPageEnvironment env;
    CMAVODoc doc{feed};
    CPageList list{feed, env};
    QImage image;
    int textCells = 0;  // text cells per page (for the peers)

    PageFixture()
    {
        pagestest::FillSamplePage(feed.cache, kPage);
        // Only field lines: the benchmark's page is 26 of them.
        LineObject line13 = pagestest::SampleFieldLine(kPage, 13);
        feed.cache.Put(CreateZPHKey(kPage, 13), line13);
        doc.NewPage(kPage, "Bench");
        CPageFormat format;
        format.showTradeHistory = 1;
        list.SetFormat(format);
        list.SetKeys(doc.Lines());
        list.resize(list.NominalSize());
        image = QImage(list.size(), QImage::Format_RGB32);
        // Count the text cells the page draws.
        const CColumnWidths widths(format, CQtFontMeasure(RowFonts::For(format.font).page));
        const RowGeometry g{&list.Format(), &widths, list.PageNominalWidth()};
        for (unsigned key : doc.Lines()) {
            const LineRef l = feed.cache.GetForRead(key);
            for (const PaintOp& op : BuildRow(*l, g, env.schemes.ForStyle(0), env.ContextFor(feed, kPage, true),
                                              Rect{0, 0, list.width(), list.RowHeight()}))
                textCells += op.type == PaintOp::Text;
        }
    }
};

PageFixture& Fixture()
{
    static PageFixture fixture;
    return fixture;
}

void BM_Page_FullPaint(benchmark::State& state)
{
    PageFixture& f = Fixture();
    for (auto _ : state) {
        f.list.render(&f.image);
        benchmark::DoNotOptimize(f.image.constBits());
    }
    state.counters["cells"] = f.textCells;
}

void BM_Page_OneLineUpdate(benchmark::State& state)
{
    PageFixture& f = Fixture();
    const unsigned key = CreateZPHKey(kPage, 11);
    LineObject line = pagestest::SampleFieldLine(kPage, 11);
    const QRegion row(f.list.RowRect(10));
    int tick = 0;
    for (auto _ : state) {
        line.m_bid.m_quantity = std::to_string(10 + (++tick % 50));
        f.feed.cache.Put(key, line);
        f.list.render(&f.image, QPoint(), row);
        benchmark::DoNotOptimize(f.image.constBits());
    }
}

// The floor: the same number of cells, each filled and written, nothing
// computed.
void PaintFloorRow(QPainter& p, int y, int height, int cells, int width, const QFont& font)
{
    p.setFont(font);
    const int cellWidth = std::max(1, width / std::max(1, cells));
    for (int c = 0; c < cells; ++c) {
        const QRect r(c * cellWidth, y, cellWidth, height);
        p.fillRect(r, c % 2 ? Qt::black : Qt::darkBlue);
        p.setPen(Qt::green);
        p.drawText(r, Qt::AlignVCenter | Qt::AlignRight, QStringLiteral("101.25"));
    }
}

void BM_Floor_FullPaint(benchmark::State& state)
{
    PageFixture& f = Fixture();
    const int perRow = f.textCells / kRows;
    const QFont font = RowFonts::For(f.list.Format().font).page;
    for (auto _ : state) {
        QPainter p(&f.image);
        for (int row = 0; row < kRows; ++row)
            PaintFloorRow(p, row * f.list.RowHeight(), f.list.RowHeight(), perRow, f.image.width(), font);
        p.end();
        benchmark::DoNotOptimize(f.image.constBits());
    }
}

void BM_Floor_OneLineUpdate(benchmark::State& state)
{
    PageFixture& f = Fixture();
    const int perRow = f.textCells / kRows;
    const QFont font = RowFonts::For(f.list.Format().font).page;
    for (auto _ : state) {
        QPainter p(&f.image);
        PaintFloorRow(p, 10 * f.list.RowHeight(), f.list.RowHeight(), perRow, f.image.width(), font);
        p.end();
        benchmark::DoNotOptimize(f.image.constBits());
    }
}

// The usual way: a table widget with one item per cell.
struct TableFixture {
    QTableWidget table;
    QImage image;
    int columns;

    TableFixture()
    {
        PageFixture& f = Fixture();
        columns = f.textCells / kRows;
        table.setRowCount(kRows);
        table.setColumnCount(columns);
        table.horizontalHeader()->hide();
        table.verticalHeader()->hide();
        table.setShowGrid(false);
        table.setFont(RowFonts::For(f.list.Format().font).page);
        for (int r = 0; r < kRows; ++r) {
            table.setRowHeight(r, f.list.RowHeight());
            for (int c = 0; c < columns; ++c) {
                auto* item = new QTableWidgetItem(QStringLiteral("101.25"));
                item->setBackground(c % 2 ? Qt::black : Qt::darkBlue);
                item->setForeground(Qt::green);
                item->setTextAlignment(Qt::AlignVCenter | Qt::AlignRight);
                table.setItem(r, c, item);
            }
        }
        for (int c = 0; c < columns; ++c)
            table.setColumnWidth(c, std::max(1, f.image.width() / columns));
        table.resize(f.image.size());
        image = QImage(table.size(), QImage::Format_RGB32);
    }
};

TableFixture& Table()
{
    static TableFixture fixture;
    return fixture;
}

void BM_QTableWidget_FullPaint(benchmark::State& state)
{
    TableFixture& t = Table();
    for (auto _ : state) {
        t.table.render(&t.image);
        benchmark::DoNotOptimize(t.image.constBits());
    }
}

void BM_QTableWidget_OneLineUpdate(benchmark::State& state)
{
    TableFixture& t = Table();
    int tick = 0;
    for (auto _ : state) {
        ++tick;
        for (int c = 0; c < t.columns; ++c)
            t.table.item(10, c)->setText(QString::number(100 + (tick + c) % 50));
        const QRect row = t.table.visualItemRect(t.table.item(10, 0)).united(
            t.table.visualItemRect(t.table.item(10, t.columns - 1)));
        t.table.viewport()->render(&t.image, QPoint(), QRegion(row));
        benchmark::DoNotOptimize(t.image.constBits());
    }
}

double CpuSeconds(clockid_t clock = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// What the window thread did while a flood ran.
struct LoopFigures {
    std::vector<double> latencies;  // milliseconds, sorted
    double processCpu = 0;          // seconds, the feed thread included
    double guiCpu = 0;              // seconds, the window thread alone
};

// Runs the window thread's event loop for `seconds`, idle between events as
// a desk's is. Every 2 ms a zero timer is posted and its delay noted (the
// event-loop latency), then onProbe runs; the probes cost the window thread
// about a microsecond each.
LoopFigures RunProbedLoop(int seconds, const std::function<void()>& onProbe)
{
    LoopFigures figures;
    const double cpuStart = CpuSeconds();
    const double guiStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
    QEventLoop loop;
    QTimer probes;
    probes.setTimerType(Qt::PreciseTimer);
    QElapsedTimer probe;
    bool waiting = false;
    QObject::connect(&probes, &QTimer::timeout, &loop, [&] {
        if (waiting)
            return;
        waiting = true;
        probe.start();
        QTimer::singleShot(0, &loop, [&] {
            figures.latencies.push_back(static_cast<double>(probe.nsecsElapsed()) / 1e6);
            waiting = false;
            onProbe();
        });
    });
    probes.start(2);
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    figures.processCpu = CpuSeconds() - cpuStart;
    figures.guiCpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - guiStart;
    std::sort(figures.latencies.begin(), figures.latencies.end());
    return figures;
}

// Latency percentiles, CPU per update and per frame painted.
void ReportLoop(benchmark::State& state, const LoopFigures& figures, long updates, long paints)
{
    const auto& l = figures.latencies;
    state.counters["updates"] = static_cast<double>(updates);
    state.counters["latency_median_ms"] = l.empty() ? 0 : l[l.size() / 2];
    state.counters["latency_p99_ms"] = l.empty() ? 0 : l[l.size() * 99 / 100];
    state.counters["cpu_us_per_update"] = updates ? figures.processCpu * 1e6 / static_cast<double>(updates) : 0;
    state.counters["gui_cpu_us_per_update"] = updates ? figures.guiCpu * 1e6 / static_cast<double>(updates) : 0;
    state.counters["page_paints"] = static_cast<double>(paints);
}

long PaintsOf(const std::vector<CChildFrame*>& frames)
{
    long paints = 0;
    for (CChildFrame* frame : frames)
        paints += frame->View()->List()->PaintCount();
    return paints;
}

// Each page window shows what a fresh list of the same lines, format and
// size draws from the feed.
bool ScreensShowTheFeed(const std::vector<CChildFrame*>& frames, CPageFeed& feed, CPageEnvironment& env)
{
    bool equal = !frames.empty();
    for (CChildFrame* frame : frames) {
        CPageList* list = frame->View()->List();
        QImage shown(list->size(), QImage::Format_RGB32);
        list->render(&shown);
        CPageList fresh(feed, env);
        fresh.SetFormat(list->Format());
        fresh.SetKeys(list->Keys());
        fresh.resize(list->size());
        QImage expected(list->size(), QImage::Format_RGB32);
        fresh.render(&expected);
        equal = equal && shown == expected;
    }
    return equal;
}

// 20 open pages, a feed thread at about 10,000 updates a second.
void BM_Flood_20Pages_10kPerSecond(benchmark::State& state)
{
    constexpr int kPages = 20;
    constexpr int kRate = 10000;
    const int seconds = static_cast<int>(state.range(0));
    for (auto _ : state) {
        testsupport::ScopedRegistryDir registry;
        pagestest::FakePageFeed feed;
        CPageEnvironment env;
        QMdiArea area;
        area.resize(1600, 1000);
        area.show();
        CPageWindows windows(feed, env, &area, [](QWidget*, const QString&, const QString&, PageMessageKind) { return true; },
                             "Software/Halvern/MAVO");
        for (int p = 1; p <= kPages; ++p) {
            pagestest::FillSamplePage(feed.cache, p);
            windows.OpenPage(p);
        }
        QCoreApplication::processEvents();

        std::atomic<bool> stop{false};
        std::atomic<long> updates{0};
        std::thread writer([&] {
            const auto start = std::chrono::steady_clock::now();
            long n = 0;
            while (!stop) {
                const int page = 1 + static_cast<int>(n % kPages);
                const int line = 1 + static_cast<int>((n / kPages) % 26);
                LineObject l = pagestest::SampleFieldLine(page, line);
                l.m_bid.m_quantity = std::to_string(n % 1000);
                const unsigned key = CreateZPHKey(page, line);
                feed.cache.Put(key, l);
                feed.Dispatch(key);
                ++n;
                updates = n;
                // Keep to the rate.
                const auto due = start + std::chrono::microseconds(n * 1000000 / kRate);
                std::this_thread::sleep_until(due);
            }
        });

        std::size_t maxWaiting = 0;
        const std::vector<CChildFrame*> frames = windows.Frames();
        const long paintsStart = PaintsOf(frames);
        const LoopFigures figures = RunProbedLoop(seconds, [&] {
            for (CChildFrame* frame : frames)
                maxWaiting = std::max(maxWaiting, frame->View()->KeysWaiting());
        });
        stop = true;
        writer.join();
        QCoreApplication::processEvents();
        const long paints = PaintsOf(frames) - paintsStart;
        // The last frame flushed: the final screen equals the final feed state.
        QElapsedTimer drain;
        drain.start();
        while (drain.elapsed() < 100)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const bool equal = ScreensShowTheFeed(frames, feed, env);
        ReportLoop(state, figures, updates.load(), paints);
        state.counters["final_screen_equal"] = equal ? 1 : 0;
        long wakeUps = 0;
        for (CChildFrame* frame : frames)
            wakeUps += frame->View()->WakeUps();
        state.counters["max_keys_waiting_per_page"] = static_cast<double>(maxWaiting);
        state.counters["wakeups"] = static_cast<double>(wakeUps);
    }
}

// ---- the flood through a real zphd

struct ZphdProcess {
    pid_t pid = -1;
    int socketPort = 0;
    int controlPort = 0;
    ~ZphdProcess()
    {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            int status = 0;
            ::waitpid(pid, &status, 0);
        }
    }
};

// zphd with 20 pages of 26 issues at the given rate; none when it is not built.
bool StartZphd(const testsupport::TempDir& dir, int rate, ZphdProcess& server)
{
    const char* fromEnvironment = std::getenv("ZPHD_BINARY");
    const std::string program = fromEnvironment != nullptr ? fromEnvironment : ZPHD_PATH;
    if (program.empty() || ::access(program.c_str(), X_OK) != 0)
        return false;
    const std::string config = (dir.path() / "flood.conf").string();
    {
        std::ofstream out(config);
        out << "seed 7\nrate " << rate << "\ntrade-every 1\ntrade-window 1\n";
        out << "user guest level=150 pages=all orders=yes centre=310\ndefault-user guest\n";
        for (int page = 1; page <= 20; ++page) {
            out << "page " << page << " FLOOD " << page << "\n";
            for (int line = 1; line <= 26; ++line)
                out << "issue \"ISSUE " << page << "-" << line << "\" " << 90 + line << ".000 0.125\n";
        }
    }
    const std::string ports = (dir.path() / "ports").string();
    std::vector<std::string> args{program, "-c", config, "--port", "0", "--database-port", "-1",
                                  "--control-port", "0", "--ports-file", ports, "-q"};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&server.pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    for (int i = 0; i < 500 && (server.socketPort == 0 || server.controlPort == 0); ++i) {
        std::ifstream in(ports);
        std::string key, value;
        while (in >> key >> value) {
            if (key == "socket")
                server.socketPort = std::atoi(value.c_str());
            if (key == "control")
                server.controlPort = std::atoi(value.c_str());
        }
        if (server.socketPort == 0 || server.controlPort == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return server.socketPort != 0 && server.controlPort != 0;
}

// One control command; its first reply line.
std::string Control(int port, const std::string& command)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return {};
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const std::string line = command + "\n";
        if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
            char c = 0;
            while (::recv(fd, &c, 1, 0) == 1 && c != '\n')
                reply += c;
        }
    }
    ::close(fd);
    return reply;
}

class SilentMessages : public CMessageService {
public:
    int Show(QWidget*, const QString&, const QString&, Icon, Buttons buttons) override
    {
        return buttons == Buttons::Ok ? Ok : No;
    }
};

class KeyCounter : public KeyClient {
public:
    void OnKeyUpdate(unsigned) override { ++count; }
    std::atomic<long> count{0};
};

// Twenty saved pages of 26 lines each, fed by zphd on the given port.
void WriteTwentyPageSettings(int port)
{
    const std::string root = kSettingsRoot;
    Brindle::CRegSection controller(HKEY_CURRENT_USER, (root + "/Controller").c_str());
    controller.SetInt("FeedSource", 1);
    Brindle::CRegSection socket(controller, "Socket");
    socket.SetStr("Host", "127.0.0.1");
    socket.SetInt("Port", port);
    for (int page = 1; page <= 20; ++page) {
        Brindle::CRegSection doc(HKEY_CURRENT_USER,
                                 (root + "/MAVO Document/" + std::to_string(page - 1)).c_str());
        doc.SetInt("Page", page);
        doc.SetInt("LineCount", 26);
        Brindle::CRegSection lines(doc, "Lines");
        for (int line = 1; line <= 26; ++line)
            lines.SetInt(std::to_string(line - 1).c_str(), page * 100 + line);
    }
}

void BM_Flood_Zphd_20Pages(benchmark::State& state)
{
    const int seconds = static_cast<int>(state.range(0));
    for (auto _ : state) {
        testsupport::TempDir dir;
        testsupport::ScopedRegistryDir registry;
        const std::string runtime = (dir.path() / "runtime").string();
        std::filesystem::create_directories(runtime);
        ::chmod(runtime.c_str(), 0700);
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
        ZphdProcess zphd;
        if (!StartZphd(dir, 10000, zphd)) {
            state.SkipWithError("zphd is not built (or ZPHD_BINARY does not name it)");
            return;
        }
        WriteTwentyPageSettings(zphd.socketPort);
        SilentMessages messages;
        StartupOptions options;
        options.pauseMs = 0;
        options.splash = false;
        options.messages = &messages;
        auto app = std::make_unique<CMAVOApp>(InstallFrameModules, options);
        if (app->Start() != CMAVOApp::StartResult::Started) {
            state.SkipWithError("MAVO did not start");
            return;
        }
        KeyCounter counter;
        app->Controller().Register(&counter);
        std::vector<CChildFrame*> frames;
        for (QMdiSubWindow* w : app->Frame()->MdiArea()->subWindowList())
            if (auto* f = qobject_cast<CChildFrame*>(w))
                frames.push_back(f);
        // Wait until the pages are full.
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 30000 && app->Controller().GetLineCache().GetLineCount() < 20 * 26)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

        std::size_t maxWaiting = 0;
        const long updatesStart = counter.count;
        const long paintsStart = PaintsOf(frames);
        const LoopFigures figures = RunProbedLoop(seconds, [&] {
            for (CChildFrame* frame : frames)
                maxWaiting = std::max(maxWaiting, frame->View()->KeysWaiting());
        });
        const long updates = counter.count - updatesStart;
        const long paints = PaintsOf(frames) - paintsStart;

        // A still market, the last updates drained: the screen shows the feed.
        Control(zphd.controlPort, "rate 0");
        Control(zphd.controlPort, "trade-every 0");
        QElapsedTimer drain;
        drain.start();
        while (drain.elapsed() < 3000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        CControllerPageFeed liveFeed(app->Controller());
        CPageEnvironment liveEnv;
        const bool equal = ScreensShowTheFeed(frames, liveFeed, liveEnv);
        app->Controller().Unregister(&counter);
        app->Frame()->CloseWithoutQuestion();
        app.reset();

        ReportLoop(state, figures, updates, paints);
        state.counters["max_keys_waiting_per_page"] = static_cast<double>(maxWaiting);
        state.counters["final_screen_equal"] = equal ? 1 : 0;
    }
}

} // namespace

BENCHMARK(BM_Page_FullPaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Floor_FullPaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QTableWidget_FullPaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Page_OneLineUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Floor_OneLineUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QTableWidget_OneLineUpdate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Flood_20Pages_10kPerSecond)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Flood_Zphd_20Pages)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    if (std::getenv("QT_QPA_PLATFORM") == nullptr)
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
