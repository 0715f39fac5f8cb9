// Page windows on the offscreen platform over a feed of the test's own: an
// MDI area, a store of the test's own, and the page windows' questions
// recorded and answered from queued answers, else "yes" to all but
// questions.
#pragma once

#include "AppFixture.h"

#include "pages/ui/ChildFrame.h"
#include "pages/ui/MAVOView.h"
#include "pages/ui/PageList.h"
#include "pages/ui/PageWindows.h"

#include <QMdiArea>
#include <QPdfWriter>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

using namespace ZPH;

namespace testsupport {

struct PageAsked {
    QString caption;
    QString text;
    mavo::PageMessageKind kind;
};

template <typename Feed>
class PageWindowsFixture : public testing::Test {
protected:
    void SetUp() override
    {
        m_area.resize(1600, 1000);
        m_area.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_area));
        m_windows = MakeWindows();
    }
    void TearDown() override { m_windows.reset(); }

    std::unique_ptr<mavo::CPageWindows> MakeWindows()
    {
        return std::make_unique<mavo::CPageWindows>(
            m_feed, m_env, &m_area,
            [this](QWidget*, const QString& caption, const QString& text, mavo::PageMessageKind kind) {
                m_asked.push_back({caption, text, kind});
                if (m_answers.empty())
                    return kind != mavo::PageMessageKind::Question;
                const bool answer = m_answers.front();
                m_answers.pop_front();
                return answer;
            },
            kTestRoot);
    }

    static Brindle::CRegSection Section(const std::string& path)
    {
        return Brindle::CRegSection(HKEY_CURRENT_USER, (std::string(kTestRoot) + "/" + path).c_str());
    }

    // Every open page printed into a PDF at the path.
    bool PrintAllTo(const QString& path)
    {
        QPdfWriter pdf(path);
        std::vector<const mavo::CMAVODoc*> docs;
        for (mavo::CMAVODoc* doc : m_windows->Documents())
            docs.push_back(doc);
        return m_windows->Print(pdf, docs);
    }

    // The output of a poppler tool (pdftotext, pdfinfo) on the file.
    static QString PdfTool(const QString& tool, QStringList arguments)
    {
        QProcess process;
        process.start(tool, arguments);
        EXPECT_TRUE(process.waitForFinished(60000)) << tool.toStdString();
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    ScopedRegistryDir m_registry;
    Feed m_feed;
    mavo::CPageEnvironment m_env;
    QMdiArea m_area;
    std::vector<PageAsked> m_asked;
    std::deque<bool> m_answers;
    std::unique_ptr<mavo::CPageWindows> m_windows;
};

} // namespace testsupport
