// CSerialSettings: defaults, validating setters, texts, DCB and text form.
#include "Brindle/base/RegSection.h"
#include "Brindle/base/SerialSettings.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace Brindle;

namespace {

// The text form, then the fields it leaves out.
std::string Text(const CSerialSettings& s)
{
    std::ostringstream out;
    out << s << " | In: " << s.GetInputBufferSize() << " Out: " << s.GetOutputBufferSize()
        << " Timeout: " << s.GetTimeout() << " Dtr: " << s.GetDtrEnable();
    return out.str();
}

const char* const kDefaults =
    "Port: COM1 Baud: 9600 Parity: EVEN Size: 7 StopB: 1 | In: 4096 Out: 4096 Timeout: 250 Dtr: 0";

} // namespace

TEST(CSerialSettings, SettersStoreOnlyValidValues)
{
    CSerialSettings s;
    s.SetBaud(14400);
    s.SetParity('O');
    s.SetByteSize(8);
    s.SetStopBits(2);
    s.SetInputBufferSize(1024);
    s.SetOutputBufferSize(65536);
    s.SetTimeout(0);
    s.SetDtrEnable(2);
    s.SetPort("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const std::string valid =
        "Port: ABCDEFGHIJKLMNOPQRS Baud: 14400 Parity: ODD Size: 8 StopB: 2 | In: 1024 Out: 65536 Timeout: 0 Dtr: 2";
    EXPECT_EQ(Text(s), valid);
    EXPECT_EQ(s.GetBaud(), 4);

    // None of these is valid: nothing changes.
    s.SetBaud(28800);
    s.SetBaud(0);
    s.SetBaud(static_cast<CSerialSettings::BAUDRATE>(12));
    s.SetBaud(static_cast<CSerialSettings::BAUDRATE>(-1));
    s.SetParity('o');
    s.SetParity('X');
    s.SetParity(static_cast<CSerialSettings::PARITY>(3));
    s.SetByteSize(9);
    s.SetByteSize(static_cast<CSerialSettings::BYTESIZE>(2));
    s.SetStopBits(3);
    s.SetStopBits(static_cast<CSerialSettings::STOPBITS>(5));
    s.SetInputBufferSize(1023);
    s.SetOutputBufferSize(65537);
    s.SetTimeout(-1);
    s.SetDtrEnable(3);
    s.SetDtrEnable(-1);
    s.SetPort(nullptr);
    EXPECT_EQ(Text(s), valid);

    s.SetBaud(110);
    s.SetParity('N');
    EXPECT_EQ(s.GetBaud(), CSerialSettings::BAUD_110);
    EXPECT_EQ(s.GetParity(), CSerialSettings::PARITY_NONE);
}

TEST(CSerialSettings, PutCommStateSetsTheLineFieldsOnly)
{
    CSerialSettings s("COM2", CSerialSettings::PARITY_ODD, CSerialSettings::BAUD_19200, CSerialSettings::BYTESIZE_8,
                      CSerialSettings::STOPBITS_2);
    s.SetDtrEnable(1);
    DCB dcb;
    dcb.fOutX = 1;
    dcb.XonLim = 77;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.EofChar = 0x1A;
    s.PutCommState(dcb);
    EXPECT_EQ(dcb.BaudRate, 19200u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, ODDPARITY);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
    EXPECT_EQ(dcb.fOutX, 1u);
    EXPECT_EQ(dcb.XonLim, 77);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_HANDSHAKE);
    EXPECT_EQ(dcb.EofChar, 0x1A);

    const CSerialSettings defaults;
    defaults.PutCommState(dcb);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.Parity, EVENPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_DISABLE);
}

namespace {

// A section in a registry store of the test's own.
struct Section {
    testsupport::ScopedRegistryDir dir;
    CRegSection section{HKEY_CURRENT_USER, "Software/Halvern/MAVO/Controller/Serial"};
};

} // namespace

TEST(CSerialSettingsRegistry, AnEmptySectionGivesTheDefaultsAndAWrittenOneReadsBackTheSame)
{
    Section s;
    ASSERT_TRUE(s.section.IsOpen());
    EXPECT_EQ(Text(CSerialSettings(s.section)), kDefaults);

    CSerialSettings custom("/dev/ttyUSB1", CSerialSettings::PARITY_ODD, CSerialSettings::BAUD_14400,
                           CSerialSettings::BYTESIZE_8, CSerialSettings::STOPBITS_2);
    custom.SetInputBufferSize(2048);
    custom.SetOutputBufferSize(65536);
    custom.SetTimeout(0);
    custom.SetDtrEnable(2);
    custom.WriteToRegistry(s.section);

    EXPECT_EQ(Text(CSerialSettings(s.section)),
              "Port: /dev/ttyUSB1 Baud: 14400 Parity: ODD Size: 8 StopB: 2 | In: 2048 Out: 65536 Timeout: 0 Dtr: 2");

    // The defaults written and read back are the defaults.
    Section other;
    CSerialSettings().WriteToRegistry(other.section);
    EXPECT_EQ(Text(CSerialSettings(other.section)), kDefaults);
}

TEST(CSerialSettingsRegistry, ValuesAreWrittenInOrderWithTheirTypes)
{
    Section s;
    CSerialSettings().WriteToRegistry(s.section);
    const std::vector<std::pair<std::string, DWORD>> expected = {
        {"Baud", REG_SZ},         {"ByteSize", REG_SZ},     {"Parity", REG_SZ},
        {"Port", REG_SZ},         {"StopBits", REG_SZ},     {"InputBuffer", REG_DWORD},
        {"OutputBuffer", REG_DWORD}, {"Timeout", REG_DWORD}, {"DtrEnabled", REG_DWORD},
    };
    std::vector<std::pair<std::string, DWORD>> found;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD nameChars = sizeof name;
        DWORD type = 0;
        if (RegEnumValueA(s.section, i, name, &nameChars, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        found.emplace_back(name, type);
    }
    EXPECT_EQ(found, expected);

    char text[80];
    s.section.GetStr("Parity", text, sizeof text, "");
    EXPECT_STREQ(text, "EVEN");
    s.section.GetStr("Baud", text, sizeof text, "");
    EXPECT_STREQ(text, "9600");
    int number = 0;
    s.section.GetInt("InputBuffer", number, 0);
    EXPECT_EQ(number, 4096);
}

TEST(CSerialSettingsRegistry, StoredValuesThatAreNotValidLeaveTheFieldAsItWas)
{
    Section s;
    s.section.SetStr("Baud", "9601");
    s.section.SetStr("ByteSize", "9");
    s.section.SetStr("Parity", "even"); // texts compare case-sensitively
    s.section.SetStr("StopBits", "1.5");
    s.section.SetStr("Port", "/dev/a-very-long-device-name");
    s.section.SetInt("InputBuffer", 512);
    s.section.SetInt("OutputBuffer", 65537);
    s.section.SetInt("Timeout", -5);
    s.section.SetInt("DtrEnabled", 7);

    CSerialSettings settings("COM3", CSerialSettings::PARITY_NONE, CSerialSettings::BAUD_300,
                             CSerialSettings::BYTESIZE_8, CSerialSettings::STOPBITS_2);
    settings.SetInputBufferSize(8192);
    settings.SetOutputBufferSize(1024);
    settings.SetTimeout(1000);
    settings.SetDtrEnable(1);
    settings.ReadFromRegistry(s.section);
    EXPECT_EQ(Text(settings), "Port: /dev/a-very-long-de Baud: 300 Parity: NONE Size: 8 StopB: 2"
                              " | In: 8192 Out: 1024 Timeout: 1000 Dtr: 1");

    // A value stored with another type is as good as a missing one: the
    // default applies.
    s.section.SetInt("Baud", 9600);
    s.section.SetStr("Timeout", "100");
    settings.ReadFromRegistry(s.section);
    EXPECT_EQ(settings.GetBaud(), CSerialSettings::BAUD_9600);
    EXPECT_EQ(settings.GetTimeout(), 250);
}
