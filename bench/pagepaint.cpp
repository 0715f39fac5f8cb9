// Painting a page window: a full page of 26 field lines into an offscreen
// image, and one line's update (the line changes in the cache, its row is
// repainted), beside two peers doing the same work:
// - the floor: a plain QPainter loop filling and writing the same number of
//   text cells with fixed colours and no computing at all;
// - the usual way to build such a screen: a QTableWidget with the same 26
//   rows of cells, texts and colours set per item.
// A third pair measures a flood: a feed thread changing lines of 20 open
// pages at 10,000 updates per second for a few seconds while the window
// thread runs its event loop; it reports the event-loop latency (median
// and 99th percentile), the largest number of update wake-ups waiting at
// once, the CPU time per update, and checks that the final screen shows
// the final state of the feed.
#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"
#include "pages/ui/PageList.h"
#include "pages/ui/PageWindows.h"

#include "FakePageFeed.h"
#include "TempDir.h"
#include "ui/SampleLines.h"

#include <QApplication>
#include <QElapsedTimer>
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
#include <thread>

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

        // Event-loop latency: a zero timer's delay, again and again.
        std::vector<double> latencies;
        std::size_t maxWaiting = 0;
        const double cpuStart = CpuSeconds();
        const double guiStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < seconds * 1000) {
            QElapsedTimer probe;
            probe.start();
            bool fired = false;
            QTimer::singleShot(0, [&] { fired = true; });
            while (!fired)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            latencies.push_back(static_cast<double>(probe.nsecsElapsed()) / 1e6);
            for (CChildFrame* frame : windows.Frames())
                maxWaiting = std::max(maxWaiting, frame->View()->KeysWaiting());
        }
        stop = true;
        writer.join();
        QCoreApplication::processEvents();
        const double cpu = CpuSeconds() - cpuStart;
        const double gui = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - guiStart;

        // The final screen equals the final feed state: each row drawn now
        // is what a fresh page of the same lines draws.
        bool equal = true;
        for (CChildFrame* frame : windows.Frames()) {
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
        std::sort(latencies.begin(), latencies.end());
        state.counters["updates"] = static_cast<double>(updates.load());
        state.counters["latency_median_ms"] = latencies.empty() ? 0 : latencies[latencies.size() / 2];
        state.counters["latency_p99_ms"] = latencies.empty() ? 0 : latencies[latencies.size() * 99 / 100];
        // The process (feed thread included) and the window thread alone.
        state.counters["cpu_us_per_update"] = updates ? cpu * 1e6 / static_cast<double>(updates.load()) : 0;
        state.counters["gui_cpu_us_per_update"] = updates ? gui * 1e6 / static_cast<double>(updates.load()) : 0;
        state.counters["final_screen_equal"] = equal ? 1 : 0;
        long wakeUps = 0;
        for (CChildFrame* frame : windows.Frames())
            wakeUps += frame->View()->WakeUps();
        state.counters["max_keys_waiting_per_page"] = static_cast<double>(maxWaiting);
        state.counters["wakeups"] = static_cast<double>(wakeUps);
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
