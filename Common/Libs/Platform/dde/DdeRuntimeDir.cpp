#include "Platform/dde/DdeRuntimeDir.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform::Dde {

namespace {

bool IsPlain(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && text.size() <= 10 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Makes `dir` (one level) and checks it is ours alone.
bool EnsurePrivateDirectory(const std::string& dir)
{
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(dir.c_str(), &info) != 0)
        return false;
    if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    if (info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        errno = EACCES;
        return false;
    }
    return true;
}

} // namespace

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string FoldCase(std::string_view text)
{
    std::string folded(text);
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

bool PrepareRuntimeDirectory(std::string& dir)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        dir = std::string(runtime) + "/brindle-dde";
    } else {
        dir = "/tmp/brindle-dde-" + std::to_string(::geteuid());
    }
    return EnsurePrivateDirectory(dir);
}

std::string EscapeServiceName(std::string_view service)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string escaped;
    for (char c : service) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsPlain(byte)) {
            escaped.push_back(c);
        } else {
            escaped.push_back('%');
            escaped.push_back(digits[byte >> 4]);
            escaped.push_back(digits[byte & 0xF]);
        }
    }
    return escaped;
}

bool UnescapeServiceName(std::string_view escaped, std::string& service)
{
    std::string result;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const char c = escaped[i];
        if (c == '%') {
            if (i + 2 >= escaped.size())
                return false;
            const int high = HexValue(escaped[i + 1]);
            const int low = HexValue(escaped[i + 2]);
            if (high < 0 || low < 0)
                return false;
            const char byte = static_cast<char>(high * 16 + low);
            if (byte == '\0' || IsPlain(static_cast<unsigned char>(byte)))
                return false;  // only one spelling per name
            result.push_back(byte);
            i += 2;
        } else if (IsPlain(static_cast<unsigned char>(c))) {
            result.push_back(c);
        } else {
            return false;
        }
    }
    if (result.empty())
        return false;
    service = std::move(result);
    return true;
}

std::string SocketFileName(std::string_view service, std::string_view instanceName)
{
    return EscapeServiceName(service) + "." + std::string(instanceName) + ".dde";
}

bool ParseSocketFileName(std::string_view fileName, std::string& service, std::string& instanceName)
{
    constexpr std::string_view suffix = ".dde";
    if (fileName.size() <= suffix.size() || fileName.substr(fileName.size() - suffix.size()) != suffix)
        return false;
    std::string_view stem = fileName.substr(0, fileName.size() - suffix.size());
    const auto lastDot = stem.rfind('.');
    if (lastDot == std::string_view::npos)
        return false;
    const auto pidDot = stem.rfind('.', lastDot - 1);
    if (pidDot == std::string_view::npos || pidDot == 0 || lastDot == 0)
        return false;
    const std::string_view pid = stem.substr(pidDot + 1, lastDot - pidDot - 1);
    const std::string_view serial = stem.substr(lastDot + 1);
    if (!AllDigits(pid) || !AllDigits(serial))
        return false;
    std::string name;
    if (!UnescapeServiceName(stem.substr(0, pidDot), name))
        return false;
    service = std::move(name);
    instanceName = std::string(pid) + "." + std::string(serial);
    return true;
}

std::vector<ServiceFile> ListServiceFiles(const std::string& dir, std::string_view service)
{
    struct Found {
        ServiceFile file;
        struct timespec made;
    };
    std::vector<Found> found;
    DIR* handle = ::opendir(dir.c_str());
    if (handle == nullptr)
        return {};
    while (const dirent* entry = ::readdir(handle)) {
        ServiceFile file;
        if (!ParseSocketFileName(entry->d_name, file.service, file.instanceName))
            continue;
        if (!service.empty() && !EqualNoCase(service, file.service))
            continue;
        file.path = dir + "/" + entry->d_name;
        struct stat info {};
        if (::lstat(file.path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
            continue;
        found.push_back({std::move(file), info.st_mtim});
    }
    ::closedir(handle);
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        if (a.made.tv_sec != b.made.tv_sec)
            return a.made.tv_sec < b.made.tv_sec;
        if (a.made.tv_nsec != b.made.tv_nsec)
            return a.made.tv_nsec < b.made.tv_nsec;
        return a.file.path < b.file.path;
    });
    std::vector<ServiceFile> files;
    files.reserve(found.size());
    for (auto& entry : found)
        files.push_back(std::move(entry.file));
    return files;
}

} // namespace Platform::Dde
