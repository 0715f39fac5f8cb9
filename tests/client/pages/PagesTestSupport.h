// Helpers of the page-drawing tests: a font with fixed metrics, a small
// customer list, lookups in a drawn row and a fixture that draws one.
#pragma once

#include "pages/CenterColor.h"
#include "pages/RowCells.h"
#include "pages/RowLayout.h"
#include "zph/LineObject.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

using namespace ZPH;

namespace pagestest {

// Every character 8 pixels wide; 16 pixels high with 2 of internal leading.
class FixedFont : public mavo::CFontMeasure {
public:
    explicit FixedFont(int charWidth = 8, int height = 16, int leading = 2)
        : m_cw(charWidth), m_height(height), m_leading(leading)
    {
    }
    int AverageCharWidth() const override { return m_cw; }
    int TextWidth(std::string_view text) const override { return m_cw * static_cast<int>(text.size()); }
    int Height() const override { return m_height; }
    int InternalLeading() const override { return m_leading; }

private:
    int m_cw, m_height, m_leading;
};

class ListedCustomers : public mavo::CCustomerRules {
public:
    std::set<std::pair<int, int>> list;  // (number, centre index)
    bool disableCustomer = false;
    bool disableCenter = false;

    bool IsMyCustomer(int number, int centreCode) const override
    {
        return list.count({number, 0}) != 0 || list.count({number, centreCode / 100}) != 0;
    }
    bool DisableCustomer() const override { return disableCustomer; }
    bool DisableCenter() const override { return disableCenter; }
};

// The first text operation showing `text`, or null.
inline const mavo::PaintOp* FindText(const std::vector<mavo::PaintOp>& ops, std::string_view text)
{
    for (const mavo::PaintOp& op : ops)
        if (op.type == mavo::PaintOp::Text && op.text == text)
            return &op;
    return nullptr;
}

// The colour the row shows at (x, y): the last operation covering it.
inline mavo::ColorRef BackgroundAt(const std::vector<mavo::PaintOp>& ops, int x, int y)
{
    mavo::ColorRef color = 0xFFFFFFFF;
    for (const mavo::PaintOp& op : ops) {
        const mavo::Rect& r = op.rect;
        const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
        if (!inside)
            continue;
        if (op.type == mavo::PaintOp::Fill || op.type == mavo::PaintOp::Text)
            color = op.bg;
        else if (op.type == mavo::PaintOp::HLine)
            color = op.fg;
    }
    return color;
}

// The first text operation showing `text`; a failure, and an empty
// operation to read on, when there is none.
inline const mavo::PaintOp& TextOp(const std::vector<mavo::PaintOp>& ops, std::string_view text)
{
    static const mavo::PaintOp none;
    const mavo::PaintOp* op = FindText(ops, text);
    if (op == nullptr)
        ADD_FAILURE() << "no text \"" << text << "\"";
    return op != nullptr ? *op : none;
}

// Whether the row shows every one of `texts`, or (shown false) none of them.
inline testing::AssertionResult Texts(const std::vector<mavo::PaintOp>& ops, bool shown,
                                      std::initializer_list<std::string_view> texts)
{
    for (std::string_view text : texts)
        if ((FindText(ops, text) != nullptr) != shown)
            return testing::AssertionFailure() << "\"" << text << "\" is " << (shown ? "missing" : "shown");
    return testing::AssertionSuccess();
}

// A row of the default format drawn with 8-pixel characters, as the page
// window draws it.
class RowTest : public ::testing::Test {
protected:
    mavo::CPageFormat m_format;
    FixedFont m_font{8};
    mavo::CColorSchemes m_schemes;
    mavo::RowContext m_ctx;
    ListedCustomers m_customers;
    mavo::CColumnWidths m_widths;

    RowTest() { m_ctx.customers = &m_customers; }

    std::vector<mavo::PaintOp> Row(const LineObject& line, int width = 0)
    {
        m_widths = mavo::CColumnWidths(m_format, m_font);
        const int nominal = PageNominalWidth(m_format, m_widths, m_ctx.fullView, line.m_kind == 'T');
        mavo::RowGeometry g{&m_format, &m_widths, nominal};
        const mavo::Rect row{0, 0, width > 0 ? width : nominal, m_widths.RowHeight()};
        return BuildRow(line, g, SchemeForLine(line, m_schemes, m_format.colorStyle), m_ctx, row);
    }

    const mavo::CColorScheme& Scheme() const { return m_schemes.ForStyle(0); }
};

} // namespace pagestest
