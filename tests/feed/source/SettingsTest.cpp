#include "Brindle/base/Crypt.h"
#include "Brindle/base/RegSection.h"
#include "TempDir.h"
#include "zphsource/Controller.h"
#include "zphsource/SerialSource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

using namespace ZPH;

using namespace ZPHWire;

namespace {
const char* const MACHINE = "abcdefgh";

class Settings : public ::testing::Test {
protected:
    testsupport::ScopedRegistryDir registry;
    Brindle::CRegSection root{HKEY_CURRENT_USER, "Software/Halvern/MAVO/Controller"};
};
} // namespace

TEST_F(Settings, AnEmptyRegistryGivesTheDefaults)
{
    CController controller;
    controller.m_defaultHost = "feedhost";
    controller.m_defaultPort = 7001;
    controller.m_defaultUser = "alice";
    ASSERT_TRUE(controller.LoadFeedSettings(root, MACHINE));
    EXPECT_EQ(controller.GetFailover(), 0);
    const SourceSettings s = controller.GetSourceSettings(ROLE_PRIMARY);
    EXPECT_EQ(std::tie(s.kind, s.socketHost, s.socketPort, s.socketSecure),
              std::tuple(SOURCE_DATABASE, "localhost", 6093, false));
    EXPECT_EQ(std::tie(s.serialPort, s.serialBaud, s.serialByteSize, s.serialParity, s.serialStopBits),
              std::tuple("COM1", "9600", "8", "EVEN", "1"));
    EXPECT_EQ(std::tie(s.dbHost, s.dbPort, s.dbUser, s.dbPassword, s.timeoutSeconds),
              std::tuple("feedhost", 7001, "alice", "", 20));
    ZPHSource* source = controller.GetSource();
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(std::tuple(source->GetKind(), std::string(source->GetKindName()), source->GetName()),
              std::tuple(SOURCE_DATABASE, "ZPHDB", "Primary"));
    EXPECT_EQ(source->GetStatusText(), "alice@feedhost:7001");
    EXPECT_FALSE(source->IsConnected());
    EXPECT_EQ(source->GetFeedState(), FEED_DEAD);
}

TEST_F(Settings, ThePasswordIsStoredDesEncodedWithTheMachineStringInABlockOf32)
{
    Brindle::CRegSection db(root, "ZPHDB");
    char block[32] = {};
    std::strcpy(block, "s3cret");
    ASSERT_TRUE(Brindle::CryptEncode(block, 32, MACHINE, Brindle::CRYPT_DES));
    db.SetBin("Password", block, 32);
    db.SetStr("UserId", "bob");

    CController controller;
    controller.LoadFeedSettings(root, MACHINE);
    EXPECT_EQ(controller.GetSourceSettings(ROLE_PRIMARY).dbPassword, "s3cret");

    // Saved back, the stored block is the same 32 bytes.
    ASSERT_TRUE(controller.SaveFeedSettings(root, MACHINE));
    unsigned char stored[64] = {};
    const unsigned char none[64] = {};
    db.GetBin("Password", stored, 64, none);
    EXPECT_EQ(std::memcmp(stored, block, 32), 0);

    // A zero block reads as empty; a full one keeps all its characters.
    EXPECT_EQ(DecodePassword(std::vector<unsigned char>(32, 0).data(), 32, MACHINE), "");
    unsigned char encoded[32];
    const std::string longest(32, 'p');
    ASSERT_TRUE(EncodePassword(longest, MACHINE, encoded));
    EXPECT_EQ(DecodePassword(encoded, 32, MACHINE), longest);
    EXPECT_FALSE(EncodePassword(std::string(33, 'p'), MACHINE, encoded)) << "a password that does not fit is refused";
    ASSERT_TRUE(EncodePassword("pw", MACHINE, encoded));
    EXPECT_NE(DecodePassword(encoded, 32, "zzzzzzzz"), "pw");
}

TEST_F(Settings, FailoverSelectsTheBackupConnectionAndItsOwnKindSections)
{
    root.SetInt("FeedSource", SOURCE_SOCKET);
    root.SetInt("Failover", 1);
    Brindle::CRegSection backup(root, "Backup");
    backup.SetInt("FeedSource", SOURCE_SERIAL);
    Brindle::CRegSection backupSerial(backup, "Serial");
    backupSerial.SetStr("Port", "/dev/null-port");
    backupSerial.SetStr("Baud", "19200");
    backupSerial.SetInt("DtrEnabled", 1);
    Brindle::CRegSection timeouts(backup, "Timeouts");
    timeouts.SetInt("Timeout", 601);

    CController controller;
    controller.LoadFeedSettings(root, MACHINE);
    EXPECT_EQ(controller.GetFailover(), 1);
    ZPHSource* source = controller.GetSource();
    EXPECT_EQ(std::tuple(source->GetKind(), source->GetName(), source->UsesModem()),
              std::tuple(SOURCE_SERIAL, "Backup", true));
    EXPECT_EQ(source->GetStatusText(), "/dev/null-port 19200 8E1");
    EXPECT_EQ(source->GetSettings().timeoutSeconds, 20) << "601 is out of range";
    auto* serial = dynamic_cast<CSerialSource*>(source);
    ASSERT_NE(serial, nullptr);
    EXPECT_NE(serial->GetPort(), nullptr);

    root.SetInt("Failover", 0);
    controller.LoadFeedSettings(root, MACHINE);
    EXPECT_EQ(std::tuple(controller.GetSource()->GetKind(), controller.GetSource()->GetName(),
                         controller.GetSource()->UsesModem()),
              std::tuple(SOURCE_SOCKET, "Primary", false));
    EXPECT_EQ(controller.GetSource(ROLE_BACKUP, SOURCE_SERIAL), source) << "sources live as long as the controller";
}

TEST_F(Settings, SavedSettingsLoadBackUnchanged)
{
    SourceSettings primary;
    primary.kind = SOURCE_SOCKET;
    primary.socketHost = "10.0.0.1";
    primary.socketPort = 7000;
    primary.socketSecure = true;
    primary.socketCaFile = "/etc/zph/ca.pem";
    primary.dbUser = "carol";
    primary.dbPassword = "pass word";
    primary.timeoutSeconds = 0;
    primary.reconnectSeconds = 2;
    SourceSettings backup;
    backup.kind = SOURCE_DATABASE;
    backup.dbHost = "backuphost";
    {
        CController controller;
        controller.SetSourceSettings(ROLE_PRIMARY, primary);
        controller.SetSourceSettings(ROLE_BACKUP, backup);
        controller.SetFailover(1);
        ASSERT_TRUE(controller.SaveFeedSettings(root, MACHINE));
    }
    CController controller;
    controller.LoadFeedSettings(root, MACHINE);
    EXPECT_EQ(controller.GetSourceSettings(ROLE_PRIMARY), primary);
    EXPECT_EQ(controller.GetSourceSettings(ROLE_BACKUP).dbHost, "backuphost");
    EXPECT_EQ(controller.GetFailover(), 1);
}

TEST_F(Settings, ControllerSettingsKeepTheLastPermissions)
{
    {
        CController controller;
        ASSERT_TRUE(controller.SetPermissions("0011"));
        ASSERT_TRUE(controller.SaveSettings(root, MACHINE));
    }
    CController controller;
    EXPECT_FALSE(controller.GetPermission(3));
    ASSERT_TRUE(controller.LoadSettings(root, MACHINE));
    for (int page = 2; page <= 5; ++page)
        EXPECT_EQ(controller.GetPermission(page), page == 3 || page == 4) << page;
}
