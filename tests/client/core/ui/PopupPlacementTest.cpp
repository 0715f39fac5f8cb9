// Where the Waiting dialog and the message boxes open: centred on the main
// window, and boxes that open while others are up cascaded, never all at
// one spot.
#include "core/WindowPlace.h"
#include "core/ui/MessageService.h"
#include "core/ui/WaitingDialog.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

using namespace mavo;

namespace {

QMessageBox* OpenBox()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box != nullptr && box->isVisible() && box == QApplication::activeModalWidget())
            return box;
    return nullptr;
}

} // namespace

TEST(PopupPlacement, TheWaitingDialogOpensCentredOnTheMainWindow)
{
    QMainWindow main;
    main.setGeometry(400, 300, 900, 700);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    CWaitingDialog waiting(&main);
    waiting.Begin(QStringLiteral("127.0.0.1 6093"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&waiting));
    const QPoint centre = main.frameGeometry().center();
    EXPECT_LE((waiting.frameGeometry().center() - centre).manhattanLength(), 4)
        << waiting.frameGeometry().x() << "," << waiting.frameGeometry().y();
    waiting.End();
}

TEST(PopupPlacement, BoxesOpenedOnTopOfEachOtherCascade)
{
    QMainWindow main;
    main.setGeometry(100, 100, 1000, 800);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    CMessageService service;
    std::vector<QPoint> corners;
    // Three notifications, each arriving while the one before is still up.
    std::function<void(int)> next = [&](int left) {
        QTimer::singleShot(50, [&, left] {
            QMessageBox* box = OpenBox();
            if (box == nullptr) {
                next(left);
                return;
            }
            corners.push_back(box->pos());
            if (left > 0) {
                next(left - 1);
                service.Show(&main, QStringLiteral("Notification"), QStringLiteral("BOUGHT 5"),
                             CMessageService::Icon::Information, CMessageService::Buttons::Ok);
            }
            box->accept();
        });
    };
    next(2);
    service.Show(&main, QStringLiteral("Notification"), QStringLiteral("BOUGHT 5"), CMessageService::Icon::Information,
                 CMessageService::Buttons::Ok);
    ASSERT_EQ(corners.size(), 3u);
    EXPECT_EQ(corners[1] - corners[0], QPoint(kCascadeStep, kCascadeStep));
    EXPECT_EQ(corners[2] - corners[1], QPoint(kCascadeStep, kCascadeStep));
}
