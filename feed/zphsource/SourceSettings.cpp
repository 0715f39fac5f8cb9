#include "zphsource/SourceSettings.h"

#include "Brindle/base/Crypt.h"
#include "Brindle/base/RegSection.h"

#include <cstring>

namespace ZPH {

namespace {

std::string ReadText(const Brindle::CRegSection& section, const char* name, int size, const std::string& def)
{
    std::string value;
    section.GetStr(name, value, size, def);
    return value;
}

int ReadInt(const Brindle::CRegSection& section, const char* name, int def, int low, int high)
{
    int value = def;
    section.GetInt(name, value, def);
    return value < low || value > high ? def : value;
}

const char* Key(const char* machine) { return machine != nullptr ? machine : ""; }

template <std::size_t N>
void KeepKnown(std::string& text, const std::array<const char*, N>& known, const char* def)
{
    for (const char* candidate : known)
        if (text == candidate)
            return;
    text = def;
}

} // namespace

bool EncodePassword(const std::string& password, const char* machine, unsigned char block[32])
{
    std::memset(block, 0, 32);
    if (password.size() > 32)
        return false;
    std::memcpy(block, password.data(), password.size());
    return Brindle::CryptEncode(reinterpret_cast<char*>(block), 32, Key(machine), Brindle::CRYPT_DES);
}

std::string DecodePassword(const unsigned char* stored, int length, const char* machine)
{
    if (length < 32)
        return std::string();
    // Nothing stored reads as 32 zero bytes; an encoded password may begin
    // with a zero byte and still hold text.
    bool stored_anything = false;
    for (int i = 0; i < 32; ++i)
        stored_anything = stored_anything || stored[i] != 0;
    if (!stored_anything)
        return std::string();
    char block[32];
    std::memcpy(block, stored, sizeof block);
    if (!Brindle::CryptDecode(block, sizeof block, Key(machine), Brindle::CRYPT_DES))
        return std::string();
    return std::string(block, ::strnlen(block, sizeof block));
}

void NormalizeSerialLine(SourceSettings& s)
{
    const SourceSettings defaults;
    KeepKnown(s.serialBaud, kSerialBaudTexts, defaults.serialBaud.c_str());
    KeepKnown(s.serialByteSize, kSerialByteSizeTexts, defaults.serialByteSize.c_str());
    KeepKnown(s.serialParity, kSerialParityTexts, defaults.serialParity.c_str());
    KeepKnown(s.serialStopBits, kSerialStopBitsTexts, defaults.serialStopBits.c_str());
}

SourceSettings LoadSourceSettings(const Brindle::CRegSection& section, const char* machine,
                                  const DatabaseDefaults& defaults)
{
    SourceSettings s;
    s.kind = ReadInt(section, "FeedSource", ZPHWire::SOURCE_DATABASE, 1, 3);
    {
        Brindle::CRegSection socket(section, "Socket");
        s.socketHost = ReadText(socket, "Host", 80, "localhost");
        s.socketPort = ReadInt(socket, "Port", ZPHWire::DEFAULT_SOCKET_PORT, 1, 65535);
        s.socketSecure = ReadInt(socket, "Secure", 0, 0, 1) == 1;
        s.socketCaFile = ReadText(socket, "CAFile", 4096, "");
    }
    {
        Brindle::CRegSection serial(section, "Serial");
        s.serialPort = ReadText(serial, "Port", 80, "COM1");
        s.serialBaud = ReadText(serial, "Baud", 80, "9600");
        s.serialByteSize = ReadText(serial, "ByteSize", 80, "8");
        s.serialParity = ReadText(serial, "Parity", 80, "EVEN");
        s.serialStopBits = ReadText(serial, "StopBits", 80, "1");
        s.serialDtrEnabled = ReadInt(serial, "DtrEnabled", 0, 0, 2);
        NormalizeSerialLine(s);
    }
    {
        Brindle::CRegSection db(section, "ZPHDB");
        s.dbHost = ReadText(db, "Host", 64, defaults.host);
        s.dbPort = ReadInt(db, "Port", defaults.port, 1, 65535);
        s.dbUser = ReadText(db, "UserId", 64, defaults.user);
        unsigned char stored[64] = {};
        const unsigned char none[64] = {};
        db.GetBin("Password", stored, sizeof stored, none);
        s.dbPassword = DecodePassword(stored, sizeof stored, machine);
        s.dbSecure = ReadInt(db, "Secure", 0, 0, 1) == 1;
        s.dbCaFile = ReadText(db, "CAFile", 4096, "");
    }
    {
        Brindle::CRegSection timeouts(section, "Timeouts");
        s.timeoutSeconds = ReadInt(timeouts, "Timeout", 20, 0, 600);
        s.reconnectSeconds = ReadInt(timeouts, "Reconnect", 5, 1, 600);
    }
    return s;
}

bool SaveSourceSettings(const Brindle::CRegSection& section, const char* machine, const SourceSettings& s)
{
    int ok = section.SetInt("FeedSource", s.kind);
    {
        Brindle::CRegSection socket(section, "Socket");
        ok &= socket.SetStr("Host", s.socketHost);
        ok &= socket.SetInt("Port", s.socketPort);
        ok &= socket.SetInt("Secure", s.socketSecure ? 1 : 0);
        if (!s.socketCaFile.empty())
            ok &= socket.SetStr("CAFile", s.socketCaFile);
    }
    {
        Brindle::CRegSection serial(section, "Serial");
        ok &= serial.SetStr("Port", s.serialPort);
        ok &= serial.SetStr("Baud", s.serialBaud);
        ok &= serial.SetStr("ByteSize", s.serialByteSize);
        ok &= serial.SetStr("Parity", s.serialParity);
        ok &= serial.SetStr("StopBits", s.serialStopBits);
        ok &= serial.SetInt("DtrEnabled", s.serialDtrEnabled);
    }
    {
        Brindle::CRegSection db(section, "ZPHDB");
        ok &= db.SetStr("Host", s.dbHost);
        ok &= db.SetInt("Port", s.dbPort);
        ok &= db.SetStr("UserId", s.dbUser);
        unsigned char block[32];
        if (EncodePassword(s.dbPassword, machine, block))
            ok &= db.SetBin("Password", block, sizeof block);
        else
            ok = 0;
        ok &= db.SetInt("Secure", s.dbSecure ? 1 : 0);
        if (!s.dbCaFile.empty())
            ok &= db.SetStr("CAFile", s.dbCaFile);
    }
    {
        Brindle::CRegSection timeouts(section, "Timeouts");
        ok &= timeouts.SetInt("Timeout", s.timeoutSeconds);
        ok &= timeouts.SetInt("Reconnect", s.reconnectSeconds);
    }
    return ok != 0;
}

} // namespace ZPH
