#include "modem/ui/ModemDialog.h"

#include "AppFixture.h"
#include "Brindle/base/RegSection.h"
#include "Brindle/base/SerialPort.h"
#include "Brindle/base/SerialSettings.h"
#include "ModemLine.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace mavo {
namespace {

using testsupport::ModemLine;
using testsupport::PtyPair;
using testsupport::WaitFor;

// The dialog against the emulator; a connected call goes to the far side
// of a second pty pair, which nothing reads.
class ModemDialogTest : public testing::Test {
protected:
    // The emulator answering as args say, the port open on its line, and
    // the phone number stored, if one is given.
    void Line(const std::vector<std::string>& args = {}, const char* number = nullptr)
    {
        if (number != nullptr)
            Dialup().SetStr("PhoneNumber", number);
        ASSERT_TRUE(remote.Running());
        modem = std::make_unique<ModemLine>(remote.First(), args);
        ASSERT_TRUE(modem->Running()) << "the modem emulator did not start: " << MODEM_EMULATOR_PATH;
        Brindle::CSerialSettings settings;
        settings.SetPort(modem->ClientEnd().c_str());
        settings.SetTimeout(100);
        port = std::make_unique<Brindle::CSerialPort>(settings);
        ASSERT_TRUE(port->Open());
    }

    static Brindle::CRegSection Dialup()
    {
        return Brindle::CRegSection(HKEY_CURRENT_USER, (std::string(testsupport::kTestRoot) + "/Dialup").c_str());
    }

    std::unique_ptr<CModemDialog> Dialog()
    {
        auto dialog = std::make_unique<CModemDialog>(*port, messages, testsupport::kTestRoot);
        dialog->show();
        return dialog;
    }

    static bool WaitForStatus(CModemDialog& dialog, const char* status, int timeoutMs = 60000)
    {
        return WaitFor([&] { return dialog.StatusText() == QString::fromUtf8(status); }, timeoutMs);
    }

    testsupport::ScopedRegistryDir registry;
    testsupport::RecordingMessages messages;
    PtyPair remote;
    std::unique_ptr<ModemLine> modem;
    std::unique_ptr<Brindle::CSerialPort> port;
};

TEST_F(ModemDialogTest, EmptyStoredNumberLeavesDialDisabledUntilDialCharactersAreTyped)
{
    ASSERT_NO_FATAL_FAILURE(Line());
    auto dialog = Dialog();
    EXPECT_FALSE(dialog->DialButton()->isEnabled());
    EXPECT_EQ(dialog->StatusText(), "Enter phone number");
    EXPECT_TRUE(dialog->DialButton()->isDefault());
    EXPECT_EQ(dialog->DialState(), CModemDialog::kNoState);

    QTest::keyClicks(dialog->NumberField(), "5");
    EXPECT_TRUE(dialog->DialButton()->isEnabled());
    EXPECT_EQ(dialog->StatusText(), "Ready to dial");
    QTest::keyClick(dialog->NumberField(), Qt::Key_Backspace);
    EXPECT_FALSE(dialog->DialButton()->isEnabled());
    EXPECT_EQ(dialog->StatusText(), "Enter phone number...");

    // The field takes dial characters only, and no more than the store holds.
    QLineEdit* field = dialog->NumberField();
    QTest::keyClicks(field, "555-0100");
    field->insert(QStringLiteral("\rATH1"));
    EXPECT_EQ(field->text(), "555-0100") << "a line end must not reach the dial command";
    QTest::keyClicks(field, "xyz;");
    EXPECT_EQ(field->text(), "555-0100");
    field->clear();
    QTest::keyClicks(field, QString(80, QLatin1Char('9')));
    EXPECT_EQ(field->text().size(), 64);

    // Closing before any dial ends with Cancel, and asks nothing.
    dialog->CloseButton()->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(ModemDialogTest, ConnectEndsTheDialogWithOkAndStoresTheNumber)
{
    // The emulator's replies come split across reads.
    ASSERT_NO_FATAL_FAILURE(Line({"--speed", "14400", "--split", "300"}, "5551234"));
    auto dialog = Dialog();
    EXPECT_EQ(dialog->NumberField()->text(), "5551234");
    EXPECT_EQ(dialog->StatusText(), "Ready to dial");
    EXPECT_TRUE(dialog->DialButton()->isEnabled());

    dialog->NumberField()->setText(QStringLiteral("555 7777"));
    dialog->DialButton()->click();
    EXPECT_FALSE(dialog->DialButton()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !dialog->isVisible(); }, 60000)) << dialog->StatusText().toStdString();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->StatusText(), "Connected");
    EXPECT_EQ(dialog->DialState(), DIAL_CONNECTED);
    EXPECT_TRUE(modem->Has("line ATS0=1&D2DT555 7777"));
    EXPECT_TRUE(modem->Has("connect"));
    std::string stored;
    Dialup().GetStr("PhoneNumber", stored, 256, "");
    EXPECT_EQ(stored, "555 7777");
}

TEST_F(ModemDialogTest, BusyOffersDialAgainAndCloseThenCancels)
{
    ASSERT_NO_FATAL_FAILURE(Line({"--answer", "busy"}, "5551234"));
    auto dialog = Dialog();
    dialog->DialButton()->click();
    ASSERT_TRUE(WaitForStatus(*dialog, "Busy"));
    EXPECT_TRUE(dialog->DialButton()->isEnabled());
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->DialState(), DIAL_BUSY);

    // Busy is no dial in progress: Close ends with Cancel.
    dialog->CloseButton()->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(ModemDialogTest, SilenceEndsUnableToConnectAfterTheLastPoll)
{
    ASSERT_NO_FATAL_FAILURE(Line({"--answer", "silent"}, "5551234"));
    auto dialog = Dialog();
    dialog->SetDialTiming(CModemDialer::Timing{5, 120});
    dialog->DialButton()->click();
    ASSERT_TRUE(WaitForStatus(*dialog, "Dialing"));
    EXPECT_FALSE(dialog->DialButton()->isEnabled());
    ASSERT_TRUE(WaitForStatus(*dialog, "Unable to connect", 120000));
    EXPECT_TRUE(dialog->DialButton()->isEnabled());
    EXPECT_TRUE(modem->Has("silent"));
}

TEST_F(ModemDialogTest, CloseWhileDiallingEndsWithOkAndStopsTheWorker)
{
    ASSERT_NO_FATAL_FAILURE(Line({"--answer", "silent"}, "5551234"));
    auto dialog = Dialog();
    dialog->DialButton()->click();
    ASSERT_TRUE(WaitForStatus(*dialog, "Dialing"));
    dialog->CloseButton()->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    // The worker gave the port back.
    EXPECT_TRUE(port->GetMutex()->try_acquire());
    port->GetMutex()->release();
}

TEST_F(ModemDialogTest, EscapeEndsWithCancelWithoutAQuestionUnlessConnected)
{
    ASSERT_NO_FATAL_FAILURE(Line({"--answer", "silent"}, "5551234"));
    auto dialog = Dialog();
    dialog->DialButton()->click();
    ASSERT_TRUE(WaitForStatus(*dialog, "Dialing"));
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(messages.WithCaption("Hangup").empty());
}

} // namespace
} // namespace mavo
