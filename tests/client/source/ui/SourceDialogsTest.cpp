// The source settings dialogs and sheet on the offscreen platform against a
// temporary store: defaults, storage after OK and after Cancel, refusals,
// the kind buttons, the stored password.
#include "ModalDriver.h"
#include "RecordingMessages.h"
#include "TempDir.h"
#include "WidgetStates.h"

#include "Brindle/base/RegSection.h"
#include "source/ui/KindDialogs.h"
#include "source/ui/SourceSettingsSheet.h"
#include "zphsource/SourceSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <gtest/gtest.h>

using namespace mavo;
using testsupport::CheckedOf;
using testsupport::EnabledOf;
using testsupport::Flags;
using testsupport::OnModal;
using testsupport::Texts;
using testsupport::TextsOf;

namespace {

const std::string kController = "Software/Test/Controller";
const std::string kMachine = "0123456789abcdef";

class SourceDialogsTest : public testing::Test {
protected:
    static Brindle::CRegSection Section(const std::string& below)
    {
        return Brindle::CRegSection(HKEY_CURRENT_USER, (kController + below).c_str());
    }
    static int StoredInt(const std::string& below, const char* name, int def = -99999)
    {
        int value = def;
        Section(below).GetInt(name, value, def);
        return value;
    }
    static std::string StoredText(const std::string& below, const char* name, const char* def = "<none>")
    {
        std::string value;
        Section(below).GetStr(name, value, 256, def);
        return value;
    }
    // Port, baud, parity, stop bits and byte size as the dialog shows them.
    static Texts Shown(const CSerialSettingsDialog& dialog)
    {
        return TextsOf({dialog.PortBox(), dialog.BaudBox(), dialog.ParityBox(), dialog.StopBitsBox(),
                        dialog.ByteSizeBox()});
    }
    // The same values as they are stored.
    static Texts StoredSerial()
    {
        Texts texts;
        for (const char* name : {"Port", "Baud", "Parity", "StopBits", "ByteSize"})
            texts.push_back(StoredText("/Serial", name));
        return texts;
    }
    static std::string StoredPassword()
    {
        unsigned char stored[32] = {};
        Section("/ZPHDB").GetBin("Password", stored, sizeof stored, nullptr);
        return std::string(reinterpret_cast<char*>(stored), sizeof stored);
    }
    // Each settings button of the page and its "Timeouts", enabled or not.
    static Flags ButtonsEnabled(const CSourceSettingsPage* page)
    {
        return EnabledOf({page->SettingsButton(0), page->SettingsButton(1), page->SettingsButton(2),
                          page->TimeoutsButton()});
    }
    SourceSheetContext Context()
    {
        return SourceSheetContext{&messages, kMachine, DatabaseDefaults{"dbhost", 6094, "alice"}};
    }

    testsupport::ScopedRegistryDir registry;
    testsupport::RecordingMessages messages;
};

TEST_F(SourceDialogsTest, SocketDialogShowsTheDefaultsAndStoresOnOkOnly)
{
    {
        CSocketSettingsDialog dialog(kController, messages);
        EXPECT_EQ(TextsOf({&dialog, dialog.HostEdit(), dialog.PortEdit(), dialog.SecureBox()}),
                  (Texts{"Socket Settings", "localhost", "6093", "Secure connection"}));
        EXPECT_FALSE(dialog.SecureBox()->isChecked());
        dialog.HostEdit()->setText(QStringLiteral("elsewhere"));
        dialog.reject();
    }
    EXPECT_EQ(StoredText("/Socket", "Host"), "<none>") << "Cancel writes nothing";

    CSocketSettingsDialog dialog(kController, messages);
    dialog.HostEdit()->setText(QStringLiteral("feed.example"));
    dialog.PortEdit()->setText(QStringLiteral("7010"));
    dialog.SecureBox()->setChecked(true);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(StoredText("/Socket", "Host"), "feed.example");
    EXPECT_EQ(StoredInt("/Socket", "Port"), 7010);
    EXPECT_EQ(StoredInt("/Socket", "Secure"), 1);
}

TEST_F(SourceDialogsTest, APortThatIsNotAPortNumberIsRefusedAndNothingIsStored)
{
    CSocketSettingsDialog dialog(kController, messages);
    dialog.show();
    for (const char* bad : {"70000", "0", "60x", ""}) {
        dialog.PortEdit()->setText(QString::fromLatin1(bad));
        dialog.accept();
        EXPECT_TRUE(dialog.isVisible()) << bad;
    }
    ASSERT_EQ(messages.shown.size(), 4u);
    EXPECT_EQ(messages.shown[0].text, "Please enter an integer between 1 and 65535.");
    EXPECT_EQ(messages.shown[2].text, "Please enter an integer.");
    EXPECT_EQ(StoredInt("/Socket", "Port"), -99999);
}

TEST_F(SourceDialogsTest, TimeoutDialogAcceptsZeroToSixHundred)
{
    CTimeoutDialog dialog(kController, messages);
    EXPECT_EQ(dialog.TimeoutEdit()->text().toStdString(), "20");
    dialog.show();
    dialog.TimeoutEdit()->setText(QStringLiteral("601"));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Please enter an integer between 0 and 600.");
    EXPECT_EQ(StoredInt("/Timeouts", "Timeout"), -99999);

    dialog.TimeoutEdit()->setText(QStringLiteral("600"));
    dialog.accept();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(StoredInt("/Timeouts", "Timeout"), 600);

    CTimeoutDialog zero(kController, messages);
    EXPECT_EQ(zero.TimeoutEdit()->text().toStdString(), "600");
    zero.TimeoutEdit()->setText(QStringLiteral("0"));
    zero.accept();
    EXPECT_EQ(StoredInt("/Timeouts", "Timeout"), 0);
}

TEST_F(SourceDialogsTest, SerialDialogOffersItsChoicesPreselectsTheStoredTextsAndStoresThem)
{
    {
        CSerialSettingsDialog dialog(kController, messages);
        // An empty store: what the port uses without settings.
        EXPECT_EQ(dialog.DeviceLabel()->text().toStdString(), "Device: /dev/ttyS0");
        EXPECT_EQ(Shown(dialog), (Texts{"COM1", "9600", "EVEN", "1", "8"}));
        EXPECT_FALSE(dialog.ModemBox()->isChecked());

        // Each change is taken at once.
        dialog.BaudBox()->setCurrentText(QStringLiteral("19200"));
        EXPECT_EQ(dialog.Values().baud, "19200");
        dialog.PortBox()->setCurrentText(QStringLiteral("/dev/pts/9"));
        EXPECT_EQ(dialog.Values().port, "/dev/pts/9");
        EXPECT_EQ(dialog.DeviceLabel()->text().toStdString(), "Device: /dev/pts/9");
        for (const auto& [box, text] : {std::pair{dialog.ParityBox(), "NONE"}, {dialog.StopBitsBox(), "2"},
                                        {dialog.ByteSizeBox(), "7"}})
            box->setCurrentText(QString::fromLatin1(text));
        dialog.ModemBox()->setChecked(true);
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    const Texts chosen{"/dev/pts/9", "19200", "NONE", "2", "7"};
    EXPECT_EQ(StoredSerial(), chosen);
    EXPECT_EQ(StoredInt("/Serial", "DtrEnabled"), 1);

    CSerialSettingsDialog again(kController, messages);
    EXPECT_EQ(Shown(again), chosen);
    EXPECT_TRUE(again.ModemBox()->isChecked());
}

TEST_F(SourceDialogsTest, AStoredDtrHandshakeStaysUnlessTheModemBoxIsChanged)
{
    Section("/Serial").SetInt("DtrEnabled", 2);
    {
        CSerialSettingsDialog dialog(kController, messages);
        EXPECT_FALSE(dialog.ModemBox()->isChecked()) << "handshake is not a modem";
        dialog.accept();
    }
    EXPECT_EQ(StoredInt("/Serial", "DtrEnabled"), 2);
    CSerialSettingsDialog dialog(kController, messages);
    dialog.ModemBox()->setChecked(true);
    dialog.ModemBox()->setChecked(false);
    dialog.accept();
    EXPECT_EQ(StoredInt("/Serial", "DtrEnabled"), 0);
}

TEST_F(SourceDialogsTest, SerialDialogRefusesAPortThatNamesNoDeviceOrIsTooLong)
{
    CSerialSettingsDialog dialog(kController, messages);
    dialog.show();
    dialog.PortBox()->setCurrentText(QStringLiteral("LPT1"));
    EXPECT_EQ(dialog.DeviceLabel()->text().toStdString(), "(no such device)");
    dialog.accept();
    // The port keeps 19 characters of a name: a longer path would open
    // another device.
    dialog.PortBox()->setCurrentText(QStringLiteral("/tmp/twenty-chars-xx"));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "Please enter no more than 19 characters.");
    EXPECT_EQ(StoredText("/Serial", "Port"), "<none>");
}

TEST_F(SourceDialogsTest, DatabaseDialogShowsTheControllersDefaultsAndKeepsThePassword)
{
    {
        CDatabaseSettingsDialog dialog(kController, kMachine, DatabaseDefaults{"dbhost", 7001, "alice"}, messages);
        EXPECT_EQ(TextsOf({dialog.HostEdit(), dialog.PortEdit(), dialog.UserEdit(), dialog.PasswordEdit()}),
                  (Texts{"dbhost", "7001", "alice", ""}));
        EXPECT_FALSE(dialog.SecureBox()->isChecked());
        EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
        dialog.UserEdit()->setText(QStringLiteral("bob"));
        dialog.PasswordEdit()->setText(QStringLiteral("s3cret"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(StoredText("/ZPHDB", "UserId"), "bob");

    CDatabaseSettingsDialog again(kController, kMachine, DatabaseDefaults{}, messages);
    EXPECT_EQ(TextsOf({again.PasswordEdit(), again.UserEdit()}), (Texts{"s3cret", "bob"}));
}

TEST_F(SourceDialogsTest, APasswordWhoseEncodingBeginsWithAZeroByteComesBackInTheDialog)
{
    std::string password;
    for (int i = 0; i < 100000 && password.empty(); ++i) {
        unsigned char block[32];
        const std::string candidate = "key" + std::to_string(i);
        if (EncodePassword(candidate, kMachine.c_str(), block) && block[0] == 0)
            password = candidate;
    }
    ASSERT_FALSE(password.empty());
    {
        CDatabaseSettingsDialog dialog(kController, kMachine, DatabaseDefaults{}, messages);
        dialog.PasswordEdit()->setText(QString::fromStdString(password));
        dialog.accept();
    }
    ASSERT_EQ(StoredPassword()[0], '\0');
    CDatabaseSettingsDialog again(kController, kMachine, DatabaseDefaults{}, messages);
    EXPECT_EQ(again.PasswordEdit()->text().toStdString(), password);
}

TEST_F(SourceDialogsTest, APasswordLongerThanItsStoredBlockIsRefusedAtInput)
{
    CDatabaseSettingsDialog dialog(kController, kMachine, DatabaseDefaults{}, messages);
    dialog.show();
    dialog.PasswordEdit()->setText(QString(40, QLatin1Char('p')));
    EXPECT_EQ(dialog.PasswordEdit()->text().size(), 31) << "the field takes no more than fits";
    // Sixteen two-byte characters are 32 stored bytes: no room for the end.
    dialog.PasswordEdit()->setText(QString(16, QChar(0x00E9)));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Please enter no more than 31 characters.");
    EXPECT_EQ(StoredPassword(), std::string(32, '\0')) << "nothing stored";
}

TEST_F(SourceDialogsTest, AnEmptyStoreMarksZphdbOnBothPagesAndEachKindEnablesItsButton)
{
    CSourceSettingsSheet sheet(kController, Context());
    ASSERT_EQ(sheet.Tabs()->count(), 2);
    for (CSourceSettingsPage* page : {sheet.PrimaryPage(), sheet.BackupPage()}) {
        EXPECT_EQ(page->Kind(), 3);
        EXPECT_TRUE(page->Choice(2)->isChecked());
        EXPECT_EQ(ButtonsEnabled(page), (Flags{false, false, true, true}));
    }
    CSourceSettingsPage* primary = sheet.PrimaryPage();
    primary->Choice(0)->click();
    EXPECT_EQ(primary->Kind(), 1);
    EXPECT_EQ(ButtonsEnabled(primary), (Flags{true, false, false, true}));
    primary->Choice(1)->click();
    EXPECT_EQ(primary->Kind(), 2);
    EXPECT_EQ(ButtonsEnabled(primary), (Flags{false, true, false, true}));
    EXPECT_EQ(sheet.BackupPage()->Kind(), 3) << "the pages are independent";
}

TEST_F(SourceDialogsTest, AStoredKindOutsideTheThreeMarksNothingAndDisablesEveryButton)
{
    Section("").SetInt("FeedSource", 7);
    Section("/Backup").SetInt("FeedSource", 1);
    CSourceSettingsSheet sheet(kController, Context());
    CSourceSettingsPage* primary = sheet.PrimaryPage();
    EXPECT_EQ(primary->Kind(), 7);
    EXPECT_EQ(CheckedOf({primary->Choice(0), primary->Choice(1), primary->Choice(2)}), Flags(3, false));
    EXPECT_EQ(ButtonsEnabled(primary), Flags(4, false));
    EXPECT_TRUE(sheet.BackupPage()->Choice(0)->isChecked());
}

TEST_F(SourceDialogsTest, TheBackupPagesButtonsOpenDialogsOnTheBackupSections)
{
    CSourceSettingsSheet sheet(kController, Context());
    CSourceSettingsPage* backup = sheet.BackupPage();
    backup->Choice(0)->click();
    OnModal<CSocketSettingsDialog>([](CSocketSettingsDialog* dialog) {
        dialog->HostEdit()->setText(QStringLiteral("backup.example"));
        dialog->accept();
    });
    backup->SettingsButton(0)->click();
    EXPECT_EQ(StoredText("/Backup/Socket", "Host"), "backup.example");
    EXPECT_EQ(StoredText("/Socket", "Host"), "<none>");

    OnModal<CTimeoutDialog>([](CTimeoutDialog* dialog) {
        dialog->TimeoutEdit()->setText(QStringLiteral("42"));
        dialog->reject();
    });
    backup->TimeoutsButton()->click();
    EXPECT_EQ(StoredInt("/Backup/Timeouts", "Timeout"), -99999) << "Cancel writes nothing";
}

TEST_F(SourceDialogsTest, DialogsFitTheirTexts)
{
    // No label is cut: each gets its size hint.
    CSourceSettingsSheet sheet(kController, Context());
    CSerialSettingsDialog serial(kController, messages);
    CDatabaseSettingsDialog db(kController, kMachine, DatabaseDefaults{}, messages);
    CTimeoutDialog timeout(kController, messages);
    for (QWidget* dialog : std::initializer_list<QWidget*>{&sheet, &serial, &db, &timeout}) {
        dialog->show();
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (label->isVisible()) {
                EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
            }
        }
    }
}

} // namespace
