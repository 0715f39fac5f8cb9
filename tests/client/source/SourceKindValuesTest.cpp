// The values the source settings dialogs edit, against a temporary store:
// storage, refusals, the stored password, and serial texts shown as the
// port will use them (the defaults and the kind buttons are met by the
// dialog tests).
#include "TempDir.h"

#include "Brindle/base/Crypt.h"
#include "Brindle/base/RegSection.h"
#include "Brindle/base/SerialPort.h"
#include "Brindle/base/SerialSettings.h"
#include "source/SourceKindValues.h"
#include "zphsource/Controller.h"
#include "zphsource/SerialSource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

using namespace mavo;

namespace {

const std::string kMachine = "0123456789abcdef";

// Every field of a dialog's values, to compare them whole.
auto Fields(const SocketValues& v)
{
    return std::tie(v.host, v.port, v.secure);
}
auto Fields(const SerialValues& v)
{
    return std::tie(v.port, v.baud, v.parity, v.stopBits, v.byteSize, v.dtrEnabled);
}

class SourceKindValuesTest : public testing::Test {
protected:
    Brindle::CRegSection Connection(const std::string& below = "")
    {
        return Brindle::CRegSection(HKEY_CURRENT_USER, ("Software/Test/Controller" + below).c_str());
    }

    testsupport::ScopedRegistryDir registry;
};

TEST_F(SourceKindValuesTest, StoredValuesReadBackAndOtherValuesOfTheSectionStay)
{
    Brindle::CRegSection connection = Connection();
    Connection("/Socket").SetStr("CAFile", "/etc/ca.pem");
    const SocketValues socket{"feed.example", 7000, true};
    ASSERT_TRUE(SaveSocketValues(connection, socket));
    EXPECT_EQ(Fields(LoadSocketValues(connection)), Fields(socket));
    std::string ca;
    Connection("/Socket").GetStr("CAFile", ca, 256, "");
    EXPECT_EQ(ca, "/etc/ca.pem");

    ASSERT_TRUE(SaveTimeout(connection, 0));
    EXPECT_EQ(LoadTimeout(connection), 0);
}

TEST_F(SourceKindValuesTest, ChoosingTheSourcesStoresBothKindsAndSelectsThePrimary)
{
    Brindle::CRegSection controller = Connection();
    controller.SetInt("Failover", 1);
    ASSERT_TRUE(SaveSourceChoice(controller, kSourceSocket, kSourceSerial));
    int failover = -1, primary = -1, backup = -1;
    controller.GetInt("Failover", failover, -1);
    controller.GetInt("FeedSource", primary, -1);
    Connection("/Backup").GetInt("FeedSource", backup, -1);
    EXPECT_EQ(failover, 0);
    EXPECT_EQ(primary, kSourceSocket);
    EXPECT_EQ(backup, kSourceSerial);
}

TEST_F(SourceKindValuesTest, TheTimeoutAcceptsZeroToSixHundredOnly)
{
    EXPECT_FALSE(CheckTimeout(0));
    EXPECT_FALSE(CheckTimeout(600));
    ASSERT_TRUE(CheckTimeout(601));
    EXPECT_EQ(*CheckTimeout(601), "Please enter an integer between 0 and 600.");
    EXPECT_TRUE(CheckTimeout(-1));
    Brindle::CRegSection connection = Connection();
    ASSERT_TRUE(SaveTimeout(connection, 45));
    EXPECT_FALSE(SaveTimeout(connection, 601));
    EXPECT_EQ(LoadTimeout(connection), 45) << "a refused time-out writes nothing";
}

TEST_F(SourceKindValuesTest, NamesLongerThanTheirStoredBuffersAndBadPortsAreRefused)
{
    EXPECT_FALSE(CheckSocketValues(SocketValues{std::string(79, 'h'), 1, false}));
    EXPECT_TRUE(CheckSocketValues(SocketValues{std::string(80, 'h'), 6093, false}));
    EXPECT_TRUE(CheckSocketValues(SocketValues{"host", 0, false}));
    EXPECT_TRUE(CheckSocketValues(SocketValues{"host", 65536, false}));
    EXPECT_EQ(CheckSocketValues(SocketValues{"", 6093, false}).value_or(""), "Please enter a host name or address.");
    EXPECT_TRUE(CheckDatabaseValues(DatabaseValues{"", "u", 6094, "", false}));
    DatabaseValues db{"host", std::string(63, 'u'), 6094, "pw", false};
    EXPECT_FALSE(CheckDatabaseValues(db));
    db.user += "u";
    EXPECT_TRUE(CheckDatabaseValues(db));
}

TEST_F(SourceKindValuesTest, ASerialPortIsAComNameOrADevicePathThePortCanHold)
{
    EXPECT_EQ(SerialDeviceOf("COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialDeviceOf("COM4"), "/dev/ttyS3");
    EXPECT_EQ(SerialDeviceOf("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDeviceOf("LPT1"), "");
    SerialValues serial{"COM2", "9600", "EVEN", "1", "8", 0};
    EXPECT_FALSE(CheckSerialValues(serial));
    serial.port = "/dev/pts/12";
    EXPECT_FALSE(CheckSerialValues(serial));
    serial.port = "COM1";
    serial.baud = "9601";
    EXPECT_TRUE(CheckSerialValues(serial));
}

TEST_F(SourceKindValuesTest, SerialTextsThePortDoesNotKnowShowAsWhatThePortUses)
{
    Brindle::CRegSection serialSection = Connection("/Serial");
    serialSection.SetStr("Port", "/dev/null-port");
    serialSection.SetStr("Baud", "9601");
    serialSection.SetStr("Parity", "even");
    serialSection.SetStr("StopBits", "3");
    serialSection.SetStr("ByteSize", "6");
    const SerialValues shown{"/dev/null-port", "9600", "EVEN", "1", "8", 0};
    EXPECT_EQ(Fields(LoadSerialValues(Connection())), Fields(shown));

    // The serial source's port, made for a connect, uses the same values.
    Brindle::CRegSection controllerSection = Connection();
    controllerSection.SetInt("FeedSource", kSourceSerial);
    CController controller;
    ASSERT_TRUE(controller.LoadFeedSettings(controllerSection, kMachine.c_str()));
    auto* serial = dynamic_cast<CSerialSource*>(controller.GetSource());
    ASSERT_NE(serial, nullptr);
    serial->Connect();
    const Brindle::CSerialSettings& line = serial->GetPort()->GetSettings();
    EXPECT_EQ(line.GetBaud(), Brindle::CSerialSettings::BAUD_9600);
    EXPECT_EQ(line.GetParity(), Brindle::CSerialSettings::PARITY_EVEN);
    EXPECT_EQ(line.GetStopBits(), Brindle::CSerialSettings::STOPBITS_1);
    EXPECT_EQ(line.GetByteSize(), Brindle::CSerialSettings::BYTESIZE_8);
    serial->Disconnect();
    controller.Shutdown();
}

TEST_F(SourceKindValuesTest, ThePasswordIsStoredEncodedAndReadsBack)
{
    Brindle::CRegSection connection = Connection();
    ASSERT_TRUE(SaveDatabaseValues(connection, kMachine, DatabaseValues{"h", "bob", 6094, "s3cret", false}));
    unsigned char stored[64] = {};
    const unsigned char none[64] = {};
    Connection("/ZPHDB").GetBin("Password", stored, sizeof stored, none);
    char expected[32] = {};
    std::strcpy(expected, "s3cret");
    ASSERT_TRUE(Brindle::CryptEncode(expected, 32, kMachine.c_str(), Brindle::CRYPT_DES));
    EXPECT_EQ(std::memcmp(stored, expected, 32), 0) << "32 bytes, DES with the machine string";
    EXPECT_EQ(LoadDatabaseValues(connection, kMachine, {}).password, "s3cret");
    EXPECT_NE(LoadDatabaseValues(connection, "another machine!", {}).password, "s3cret");
}

TEST_F(SourceKindValuesTest, ThirtyTwoZeroBytesAreAnEmptyPasswordAndALongPasswordIsRefused)
{
    Brindle::CRegSection connection = Connection();
    const unsigned char zeros[32] = {};
    Connection("/ZPHDB").SetBin("Password", zeros, 32);
    EXPECT_EQ(LoadDatabaseValues(connection, kMachine, {}).password, "");

    // 31 characters leave the stored block its terminating zero; 32 do not fit.
    ASSERT_TRUE(SaveDatabaseValues(connection, kMachine, DatabaseValues{"h", "bob", 6094, std::string(31, 'p'), false}));
    EXPECT_EQ(LoadDatabaseValues(connection, kMachine, {}).password, std::string(31, 'p'));
    const DatabaseValues tooLong{"h", "bob", 6094, std::string(32, 'q'), false};
    ASSERT_TRUE(CheckDatabaseValues(tooLong));
    EXPECT_EQ(*CheckDatabaseValues(tooLong), "Please enter no more than 31 characters.");
    EXPECT_FALSE(SaveDatabaseValues(connection, kMachine, tooLong));
    EXPECT_EQ(LoadDatabaseValues(connection, kMachine, {}).password, std::string(31, 'p'))
        << "a refused password writes nothing";
}

} // namespace
