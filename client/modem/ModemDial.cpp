#include "modem/ModemDial.h"

#include "Brindle/base/CritSec.h"
#include "Brindle/base/RegSection.h"
#include "Brindle/base/SerialPort.h"

#include <chrono>
#include <cstring>
#include <system_error>

namespace mavo {

bool IsDialCharacter(char c)
{
    if (c >= '0' && c <= '9')
        return true;
    // Tone digits and pauses, wait-for-dial-tone and flash, pulse and tone
    // dialling, and what people write between digits (modems skip it).
    return std::strchr("*#,!@WwPpTt -()", c) != nullptr && c != '\0';
}

bool IsValidPhoneNumber(std::string_view number)
{
    if (number.empty() || number.size() > kMaxPhoneNumber)
        return false;
    for (char c : number)
        if (!IsDialCharacter(c))
            return false;
    return true;
}

std::string DialablePart(std::string_view text)
{
    std::string number;
    for (char c : text) {
        // What follows a character that cannot be dialled (a line end and
        // a command after it) is no part of the number.
        if (number.size() == kMaxPhoneNumber || !IsDialCharacter(c))
            break;
        number += c;
    }
    return number;
}

std::optional<std::string> DialCommand(std::string_view number)
{
    if (!IsValidPhoneNumber(number))
        return std::nullopt;
    std::string command(kDialCommandPrefix);
    command.append(number);
    command += '\r';
    return command;
}

std::string LoadPhoneNumber(const Brindle::CRegSection& dialup)
{
    std::string stored;
    dialup.GetStr(kPhoneNumberValue, stored, 256, std::string());
    return DialablePart(stored);
}

bool SavePhoneNumber(const Brindle::CRegSection& dialup, std::string_view number)
{
    if (!IsValidPhoneNumber(number))
        return false;
    return dialup.SetStr(kPhoneNumberValue, std::string(number)) == 1;
}

ModemReply ClassifyReply(std::string_view line)
{
    std::size_t start = 0;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t' || line[start] == '\r' ||
                                   line[start] == '\n' || line[start] == '\v' || line[start] == '\f'))
        ++start;
    line.remove_prefix(start);
    if (line.substr(0, 7) == "CONNECT")
        return ModemReply::Connect;
    if (line.substr(0, 4) == "BUSY")
        return ModemReply::Busy;
    return ModemReply::Other;
}

void CModemReplyLines::Feed(const char* data, std::size_t count, std::vector<std::string>& lines)
{
    for (std::size_t i = 0; i < count; ++i) {
        const char c = data[i];
        if (c == '\r' || c == '\n') {
            std::size_t start = 0;
            while (start < m_partial.size() && (m_partial[start] == ' ' || m_partial[start] == '\t'))
                ++start;
            if (start < m_partial.size())
                lines.push_back(m_partial.substr(start));
            m_partial.clear();
            continue;
        }
        if (m_partial.size() >= kMaxLine) {
            // A line this long is no reply; what follows up to the next
            // line end is dropped with it.
            continue;
        }
        m_partial += c;
    }
}

// --------------------------------------------------------------- dialer

CModemDialer::CModemDialer(StateSink sink, Timing timing) : m_sink(std::move(sink)), m_timing(timing) {}

CModemDialer::~CModemDialer() { Stop(); }

bool CModemDialer::Start(Brindle::CSerialPort& port, const std::string& number)
{
    if (m_worker.joinable() && m_dialing.load())
        return false;
    std::optional<std::string> command = DialCommand(number);
    if (!command)
        return false;
    if (m_worker.joinable())
        m_worker.join();  // a worker that ended by itself
    m_dialing = true;
    try {
        m_worker = std::thread(&CModemDialer::Run, this, &port, std::move(*command));
    } catch (const std::system_error&) {
        m_dialing = false;
        return false;
    }
    return true;
}

void CModemDialer::Stop()
{
    {
        std::lock_guard hold(m_lock);
        m_dialing = false;
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

bool CModemDialer::Pause()
{
    std::unique_lock hold(m_lock);
    return m_wake.wait_for(hold, std::chrono::milliseconds(m_timing.pollMs), [this] { return !m_dialing.load(); });
}

void CModemDialer::Run(Brindle::CSerialPort* port, std::string command)
{
    auto finish = [this](int state) {
        m_dialing = false;
        m_sink(state);
    };
    m_sink(DIAL_DIALING);

    // The feed source opens its port on its own thread as it connects: a
    // dial begun at once waits for it (without the lock, which Open needs),
    // within the same number of polls.
    int poll = 0;
    for (; !port->IsConnected() && poll < m_timing.polls; ++poll)
        if (!m_dialing.load() || Pause())
            return;

    // The modem is ours alone until the worker ends: the feed's reader
    // waits for the lock meanwhile.
    Brindle::CSyncLock<Brindle::CCritSec> hold(port->GetMutex());
    if (!m_dialing.load())
        return;
    if (port->Write(command.data(), static_cast<unsigned>(command.size())) != static_cast<int>(command.size())) {
        finish(DIAL_UNABLE);
        return;
    }

    CModemReplyLines replies;
    std::vector<std::string> lines;
    char buffer[kReadSize];
    for (; poll < m_timing.polls; ++poll) {
        if (!m_dialing.load())
            return;  // stopped: quietly
        const int n = port->Read(buffer, kReadSize);
        if (n < 0) {
            // A dead line is not a quiet modem: no point waiting it out.
            finish(DIAL_UNABLE);
            return;
        }
        lines.clear();
        replies.Feed(buffer, static_cast<std::size_t>(n), lines);
        for (const std::string& line : lines) {
            const ModemReply reply = ClassifyReply(line);
            if (reply == ModemReply::Connect) {
                finish(DIAL_CONNECTED);
                return;
            }
            if (reply == ModemReply::Busy) {
                finish(DIAL_BUSY);
                return;
            }
        }
        if (Pause())
            return;
    }
    finish(DIAL_UNABLE);
}

} // namespace mavo
