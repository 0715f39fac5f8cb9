// Port names come from the settings store and the source dialog: the device
// path mapping and the settings' text setters must take any text.
#include "Brindle/base/SerialSettings.h"
#include "Platform/Serial.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), size);
    const std::string path = CommDevicePath(name.c_str());
    // Either refused, the path itself, or a serial device of a COM number.
    if (!path.empty() && path[0] != '/')
        std::abort();
    if (!path.empty() && name.c_str()[0] != '/' && path.rfind("/dev/ttyS", 0) != 0)
        std::abort();

    Brindle::CSerialSettings settings;
    settings.SetPort(name.c_str());
    if (std::strlen(settings.GetPort()) > 19)
        std::abort();
    if (size > 0) {
        settings.SetParity(static_cast<char>(data[0]));
        settings.SetBaud(static_cast<int>(size * 37));
        settings.SetDtrEnable(static_cast<int>(data[0]) - 100);
    }
    std::ostringstream text;
    text << settings;
    if (text.str().rfind("Port: ", 0) != 0)
        std::abort();
    return 0;
}
