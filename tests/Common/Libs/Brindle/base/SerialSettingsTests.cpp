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

void ExpectDefaults(const CSerialSettings& s)
{
    EXPECT_STREQ(s.GetPort(), "COM1");
    EXPECT_EQ(s.GetBaud(), CSerialSettings::BAUD_9600);
    EXPECT_EQ(s.GetParity(), CSerialSettings::PARITY_EVEN);
    EXPECT_EQ(s.GetByteSize(), CSerialSettings::BYTESIZE_7);
    EXPECT_EQ(s.GetStopBits(), CSerialSettings::STOPBITS_1);
    EXPECT_EQ(s.GetInputBufferSize(), 4096);
    EXPECT_EQ(s.GetOutputBufferSize(), 4096);
    EXPECT_EQ(s.GetTimeout(), 250);
    EXPECT_EQ(s.GetDtrEnable(), 0);
}

std::string Text(const CSerialSettings& s)
{
    std::ostringstream out;
    out << s;
    return out.str();
}

} // namespace

TEST(CSerialSettings, SettersStoreOnlyValidValues)
{
    CSerialSettings s;
    s.SetBaud(14400);
    EXPECT_EQ(s.GetBaud(), CSerialSettings::BAUD_14400);
    EXPECT_EQ(s.GetBaud(), 4);
    s.SetBaud(28800);
    s.SetBaud(0);
    s.SetBaud(static_cast<CSerialSettings::BAUDRATE>(12));
    s.SetBaud(static_cast<CSerialSettings::BAUDRATE>(-1));
    EXPECT_EQ(s.GetBaud(), CSerialSettings::BAUD_14400);
    s.SetBaud(110);
    EXPECT_EQ(s.GetBaud(), CSerialSettings::BAUD_110);

    s.SetParity('O');
    EXPECT_EQ(s.GetParity(), CSerialSettings::PARITY_ODD);
    s.SetParity('o');
    s.SetParity('X');
    s.SetParity(static_cast<CSerialSettings::PARITY>(3));
    EXPECT_EQ(s.GetParity(), CSerialSettings::PARITY_ODD);
    s.SetParity('N');
    EXPECT_EQ(s.GetParity(), CSerialSettings::PARITY_NONE);

    s.SetByteSize(8);
    EXPECT_EQ(s.GetByteSize(), CSerialSettings::BYTESIZE_8);
    s.SetByteSize(9);
    s.SetByteSize(static_cast<CSerialSettings::BYTESIZE>(2));
    EXPECT_EQ(s.GetByteSize(), CSerialSettings::BYTESIZE_8);

    s.SetStopBits(2);
    EXPECT_EQ(s.GetStopBits(), CSerialSettings::STOPBITS_2);
    s.SetStopBits(3);
    s.SetStopBits(static_cast<CSerialSettings::STOPBITS>(5));
    EXPECT_EQ(s.GetStopBits(), CSerialSettings::STOPBITS_2);

    s.SetInputBufferSize(1024);
    s.SetOutputBufferSize(65536);
    s.SetInputBufferSize(1023);
    s.SetOutputBufferSize(65537);
    EXPECT_EQ(s.GetInputBufferSize(), 1024);
    EXPECT_EQ(s.GetOutputBufferSize(), 65536);

    s.SetTimeout(0);
    s.SetTimeout(-1);
    EXPECT_EQ(s.GetTimeout(), 0);

    s.SetDtrEnable(2);
    s.SetDtrEnable(3);
    s.SetDtrEnable(-1);
    EXPECT_EQ(s.GetDtrEnable(), 2);

    s.SetPort("ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    EXPECT_STREQ(s.GetPort(), "ABCDEFGHIJKLMNOPQRS");
    s.SetPort(nullptr);
    EXPECT_STREQ(s.GetPort(), "ABCDEFGHIJKLMNOPQRS");
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
    ExpectDefaults(CSerialSettings(s.section));

    CSerialSettings custom("/dev/ttyUSB1", CSerialSettings::PARITY_ODD, CSerialSettings::BAUD_14400,
                           CSerialSettings::BYTESIZE_8, CSerialSettings::STOPBITS_2);
    custom.SetInputBufferSize(2048);
    custom.SetOutputBufferSize(65536);
    custom.SetTimeout(0);
    custom.SetDtrEnable(2);
    custom.WriteToRegistry(s.section);

    const CSerialSettings back(s.section);
    EXPECT_EQ(Text(back), "Port: /dev/ttyUSB1 Baud: 14400 Parity: ODD Size: 8 StopB: 2");
    EXPECT_EQ(back.GetInputBufferSize(), 2048);
    EXPECT_EQ(back.GetOutputBufferSize(), 65536);
    EXPECT_EQ(back.GetTimeout(), 0);
    EXPECT_EQ(back.GetDtrEnable(), 2);

    // The defaults written and read back are the defaults.
    Section other;
    CSerialSettings().WriteToRegistry(other.section);
    ExpectDefaults(CSerialSettings(other.section));
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
    EXPECT_EQ(settings.GetBaud(), CSerialSettings::BAUD_300);
    EXPECT_EQ(settings.GetByteSize(), CSerialSettings::BYTESIZE_8);
    EXPECT_EQ(settings.GetParity(), CSerialSettings::PARITY_NONE);
    EXPECT_EQ(settings.GetStopBits(), CSerialSettings::STOPBITS_2);
    EXPECT_STREQ(settings.GetPort(), "/dev/a-very-long-de");
    EXPECT_EQ(settings.GetInputBufferSize(), 8192);
    EXPECT_EQ(settings.GetOutputBufferSize(), 1024);
    EXPECT_EQ(settings.GetTimeout(), 1000);
    EXPECT_EQ(settings.GetDtrEnable(), 1);

    // A value stored with another type is as good as a missing one: the
    // default applies.
    s.section.SetInt("Baud", 9600);
    s.section.SetStr("Timeout", "100");
    settings.ReadFromRegistry(s.section);
    EXPECT_EQ(settings.GetBaud(), CSerialSettings::BAUD_9600);
    EXPECT_EQ(settings.GetTimeout(), 250);
}
