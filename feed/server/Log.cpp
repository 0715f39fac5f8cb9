#include "Log.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

namespace zphd {

namespace {

std::atomic<bool> g_verbose {false};
std::atomic<bool> g_quiet {false};
std::mutex g_lock;

void Write(std::string_view level, std::string_view text)
{
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm parts {};
    localtime_r(&seconds, &parts);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
    std::string line = stamp;
    line += '.';
    line += static_cast<char>('0' + ms / 100);
    line += static_cast<char>('0' + ms / 10 % 10);
    line += static_cast<char>('0' + ms % 10);
    line += " zphd: ";
    line += level;
    // Control bytes from clients never reach the terminal.
    for (char c : text)
        line += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    line += '\n';
    std::lock_guard<std::mutex> hold(g_lock);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace

void Log(std::string_view text)
{
    if (!g_quiet)
        Write("", text);
}

void LogDebug(std::string_view text)
{
    if (g_verbose)
        Write("", text);
}

void LogError(std::string_view text) { Write("error: ", text); }

void SetVerbose(bool on) { g_verbose = on; }
bool Verbose() { return g_verbose; }
void SetQuiet(bool on) { g_quiet = on; }

std::string Cut(std::string_view text, std::size_t max)
{
    return std::string(text.substr(0, max));
}

} // namespace zphd
