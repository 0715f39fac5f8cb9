#include "Brindle/base/DebugTrace.h"

#include "Brindle/base/Identity.h"
#include "Brindle/base/TextUtil.h"
#include "Platform/Syslog.h"

#include <cerrno>
#include <cstdarg>
#include <string>

#include <unistd.h>

namespace Brindle {

void DebugTrace(const char* format, ...)
{
    if (format == nullptr)
        return;
    std::string text;
    va_list args;
    va_start(args, format);
    try {
        text = FormatStringV(format, args);
    } catch (...) {
        va_end(args);
        return;
    }
    va_end(args);
    if (::isatty(STDERR_FILENO) == 1) {
        const char* data = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            ssize_t written = ::write(STDERR_FILENO, data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return;
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        return;
    }
    // One socket for the process, made on first use.
    static Platform::CSyslogSocket socket;
    socket.Send(Platform::SYSLOG_FACILITY_USER, Platform::SYSLOG_SEVERITY_DEBUG, GetLocalApplicationName(), text);
}

} // namespace Brindle
