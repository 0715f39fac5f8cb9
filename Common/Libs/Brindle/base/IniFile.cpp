#include "Brindle/base/IniFile.h"

#include "Brindle/base/Exception.h"
#include "Brindle/base/Log.h"
#include "Brindle/base/LogData.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Brindle {

namespace {

std::string_view Trim(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool HoldsLineFeed(const std::string& text)
{
    return text.find('\n') != std::string::npos;
}

void LogFailure(const std::string& text)
{
    CLog::Log(CLogData(std::runtime_error(text), SEVERITY_LOGGER_FAILED));
}

} // namespace

bool CIniFile::load(std::istream& in)
{
    CRec current;
    bool sectionSeen = false;
    std::vector<CRec> loaded;
    std::string raw;
    while (std::getline(in, raw)) {
        const std::string_view line = Trim(raw);
        if (line.empty() || line.front() == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            if (sectionSeen) {
                loaded.push_back(current);
                current.clear();
            }
            sectionSeen = true;
            std::string_view name = line;
            while (!name.empty() && name.front() == '[')
                name.remove_prefix(1);
            while (!name.empty() && name.back() == ']')
                name.remove_suffix(1);
            current.set_id(CVar(name));
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos)
            continue;
        current.add(CVal(CVar(line.substr(0, equals)), CVar(line.substr(equals + 1))));
    }
    if (!sectionSeen)
        return false;
    loaded.push_back(std::move(current));
    insert(end(), std::make_move_iterator(loaded.begin()), std::make_move_iterator(loaded.end()));
    return true;
}

bool CIniFile::load(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        return false;
    return load(in);
}

bool CIniFile::save(std::ostream& out) const
{
    for (const CRec& record : *this) {
        if (HoldsLineFeed(record.get_id().get_value()))
            return false;
        for (const CVal& value : record)
            if (HoldsLineFeed(value.get_id().get_value()) || HoldsLineFeed(value.get_value().get_value()))
                return false;
    }
    std::string text;
    for (const CRec& record : *this) {
        text += '[';
        text += record.get_id().get_value();
        text += "]\n";
        for (const CVal& value : record) {
            text += value.get_id().get_value();
            text += '=';
            text += value.get_value().get_value();
            text += '\n';
        }
    }
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    return static_cast<bool>(out);
}

bool CIniFile::save(const std::string& path) const
{
    try {
        std::string text;
        {
            std::ostringstream out;
            if (!save(out)) {
                LogFailure("CIniFile: a text holds a line feed, " + path + " not written");
                return false;
            }
            text = out.str();
        }
        // The temporary file sits beside the target, so the rename stays on
        // one file system and is atomic.
        std::string temp = path + ".XXXXXX";
        const int fd = ::mkstemp(temp.data());
        if (fd < 0) {
            LogFailure("CIniFile: cannot create " + path + ": " + CException::FormatLastError(static_cast<DWORD>(errno)));
            return false;
        }
        struct stat existing {};
        if (::stat(path.c_str(), &existing) == 0) {
            ::fchmod(fd, existing.st_mode & 07777);
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd, 0666 & ~mask);
        }
        bool ok = true;
        const char* data = text.data();
        std::size_t left = text.size();
        while (ok && left > 0) {
            const ssize_t written = ::write(fd, data, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                ok = false;
            else {
                data += written;
                left -= static_cast<std::size_t>(written);
            }
        }
        if (ok && ::fsync(fd) != 0)
            ok = false;
        if (::close(fd) != 0)
            ok = false;
        if (ok && ::rename(temp.c_str(), path.c_str()) != 0)
            ok = false;
        if (!ok) {
            const int error = errno;
            ::unlink(temp.c_str());
            LogFailure("CIniFile: cannot write " + path + ": " + CException::FormatLastError(static_cast<DWORD>(error)));
        }
        return ok;
    } catch (const std::exception& e) {
        CLog::Log(CLogData(e, SEVERITY_LOGGER_FAILED));
        return false;
    }
}

} // namespace Brindle
