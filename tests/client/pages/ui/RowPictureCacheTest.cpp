// Row pictures: a page painted through its kept row and cell pictures shows
// exactly the pixels of drawing every row afresh, step after step of feed
// changes, blinking and device formats; unchanged rows are copied, a price
// seen before is not laid out again, and the cell pictures keep to their
// budget.
#include "pages/ui/PageList.h"
#include "pages/ui/RowPictureCache.h"

#include "../FakePageFeed.h"
#include "SampleLines.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <string>

using namespace mavo;

namespace {

constexpr int kPage = 7;

class RowPictureCacheTest : public ::testing::Test {
protected:
    RowPictureCacheTest()
    {
        pagestest::FillSamplePage(m_feed.cache, kPage);
        LineObject fast = pagestest::SampleFieldLine(kPage, 5);
        fast.m_bid.m_fastFlash = 1;
        m_feed.cache.Put(CreateZPHKey(kPage, 5), fast);
        m_env.options.tradeTimer = true;
        std::vector<unsigned> keys;
        for (int line = 1; line <= 26; ++line)
            keys.push_back(CreateZPHKey(kPage, line));
        m_list.SetKeys(keys);
        m_list.resize(m_list.NominalSize());
    }

    // The list painted by its paint event, through the pictures.
    QImage Shown(QImage::Format format)
    {
        QImage image(m_list.size(), format);
        image.fill(Qt::magenta);
        m_list.render(&image);
        return image;
    }

    // Every row drawn afresh.
    QImage Drawn(QImage::Format format)
    {
        QImage image(m_list.size(), format);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        m_list.RenderRows(painter, m_list.rect());
        return image;
    }

    void Change(int line, const std::function<void(LineObject&)>& edit)
    {
        const unsigned key = CreateZPHKey(kPage, line);
        LineObject l = *m_feed.cache.GetForRead(key);
        edit(l);
        m_feed.cache.Put(key, l);
    }

    void Erase(int line)
    {
        ZPHMessage erase(kPage, line);
        erase.m_type = 'E';
        std::vector<unsigned> changed;
        m_feed.cache.Apply(erase, changed);
    }

    pagestest::FakePageFeed m_feed;
    CPageEnvironment m_env;
    CPageList m_list{m_feed, m_env};
};

TEST_F(RowPictureCacheTest, EveryStepShowsThePixelsOfDrawingAfresh)
{
    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"first paint", [] {}},
        {"unchanged", [] {}},
        {"a quantity", [&] { Change(3, [](LineObject& l) { l.m_bid.m_quantity = "75"; }); }},
        {"a rate and its state colours", [&] { Change(4, [](LineObject& l) { l.m_offer = l.m_bid; l.m_offer.m_attribute = 4; }); }},
        {"the quantity back", [&] { Change(3, [](LineObject& l) { l.m_bid.m_quantity = pagestest::SampleFieldLine(kPage, 3).m_bid.m_quantity; }); }},
        {"a number too wide for its cell", [&] { Change(6, [](LineObject& l) { l.m_bid.m_rate = "123456789.123456"; }); }},
        {"a blink in its off phase", [&] { m_env.flashCount = 1; }},
        {"and on again", [&] { m_env.flashCount = 2; }},
        {"a line gone from the cache", [&] { Erase(8); }},
        {"a line of another kind", [&] { m_feed.cache.Put(CreateZPHKey(kPage, 8), pagestest::SampleTradeLine(kPage, 8)); }},
        {"an issue name", [&] { Change(10, [](LineObject& l) { l.m_issueName = "NEW NAME"; }); }},
    };
    for (const Step& step : steps) {
        step.change();
        EXPECT_EQ(Shown(QImage::Format_RGB32), Drawn(QImage::Format_RGB32)) << step.what;
    }
    // Another pixel format starts afresh and is exact too.
    EXPECT_EQ(Shown(QImage::Format_ARGB32_Premultiplied), Drawn(QImage::Format_ARGB32_Premultiplied));
    EXPECT_EQ(Shown(QImage::Format_RGB32), Drawn(QImage::Format_RGB32));
}

TEST_F(RowPictureCacheTest, UnchangedRowsAreCopiedAndASeenPriceIsReused)
{
    Shown(QImage::Format_RGB32);
    const CRowPictureCache::Counts first = m_list.PictureCounts();
    EXPECT_EQ(first.rowsDrawn, 26);
    Shown(QImage::Format_RGB32);
    EXPECT_EQ(m_list.PictureCounts().rowsCopied - first.rowsCopied, 26);
    EXPECT_EQ(m_list.PictureCounts().rowsDrawn, first.rowsDrawn);

    const std::string before = m_feed.cache.GetForRead(CreateZPHKey(kPage, 3))->m_bid.m_quantity;
    Change(3, [](LineObject& l) { l.m_bid.m_quantity = "75"; });
    Shown(QImage::Format_RGB32);
    const CRowPictureCache::Counts changed = m_list.PictureCounts();
    EXPECT_EQ(changed.rowsDrawn - first.rowsDrawn, 1);
    EXPECT_EQ(changed.cellsMade - first.cellsMade, 1);  // only the new quantity is laid out
    Change(3, [&](LineObject& l) { l.m_bid.m_quantity = before; });
    Shown(QImage::Format_RGB32);
    EXPECT_EQ(m_list.PictureCounts().cellsMade, changed.cellsMade);
    EXPECT_EQ(m_list.PictureCounts().cellsReused - changed.cellsReused, 1);
}

TEST(RowPictureCache, CellPicturesKeepToTheirBudget)
{
    const RowFonts fonts = RowFonts::For(CPageFormat().font);
    COwnLevelStrips strips;
    const QSize cell(60, 20);
    const std::size_t onePicture = static_cast<std::size_t>(cell.width() * cell.height() * 4);
    CRowPictureCache cache(3 * onePicture);
    QImage device(cell, QImage::Format_RGB32);
    const auto paint = [&](const std::string& text) {
        PaintOp op;
        op.type = PaintOp::Text;
        op.rect = op.textRect = Rect{0, 0, cell.width(), cell.height()};
        op.fg = 0x00FF00;
        op.text = text;
        QPainter painter(&device);
        cache.Paint(painter, 0, QRect(QPoint(0, 0), cell), QRect(QPoint(0, 0), cell), {op}, fonts, strips);
    };
    for (int i = 0; i < 10; ++i) {
        paint(std::to_string(100 + i));
        EXPECT_LE(cache.CellBytes(), 3 * onePicture);
    }
    EXPECT_EQ(cache.GetCounts().cellsMade, 10);
    paint("108");  // among the last three: kept
    EXPECT_EQ(cache.GetCounts().cellsReused, 1);
    paint("100");  // long gone: laid out again
    EXPECT_EQ(cache.GetCounts().cellsMade, 11);
}

} // namespace
