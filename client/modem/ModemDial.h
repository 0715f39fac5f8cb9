// The display-free side of dialling a modem on a serial line.
//
// - Phone numbers: only dial characters (digits, "*#,!@", the dial
//   modifiers W, P and T, and the blanks, dashes and brackets people write
//   numbers with), at most kMaxPhoneNumber characters, the most the stored
//   "PhoneNumber" holds. Anything else (a carriage return above all, which
//   would end the dial command and start another) is refused.
// - CModemReplyLines gathers the modem's replies into whole lines, so a
//   reply split across reads is still seen, and compares counted bytes only.
// - CModemDialer is the dial worker: once the port is open (the feed source
//   opens it as it connects) it takes the port's lock, writes
//   "ATS0=1&D2DT<number>\r" and polls the port for CONNECT or BUSY, telling
//   its sink the state (0 dialing, 1 connected, 2 busy, 3 unable to
//   connect) from the worker thread. The polls (120, 250 ms apart) count
//   the wait for the port too.
//
// Thread-safety: the free functions and CModemReplyLines are plain values
// (one thread per object). CModemDialer's Start, Stop and IsRunning are
// for one controlling thread; the sink is called on the worker thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace Brindle {
class CRegSection;
class CSerialPort;
}

namespace mavo {

inline constexpr const char* kDialupSection = "Dialup";
inline constexpr const char* kPhoneNumberValue = "PhoneNumber";
inline constexpr std::size_t kMaxPhoneNumber = 64;
inline constexpr const char* kDialCommandPrefix = "ATS0=1&D2DT";
// What Disconnect writes to hang a connected modem up, in this order.
inline constexpr std::string_view kModemEscape = "+++\r";
inline constexpr std::string_view kModemHangup = "ATH0\r";

enum ModemDialState : int {
    DIAL_DIALING = 0,
    DIAL_CONNECTED = 1,
    DIAL_BUSY = 2,
    DIAL_UNABLE = 3,
};

bool IsDialCharacter(char c);
// True for 1 to kMaxPhoneNumber dial characters.
bool IsValidPhoneNumber(std::string_view number);
// The dial characters `text` begins with, at most kMaxPhoneNumber of them:
// a stored value edited by hand loses whatever follows a character that
// cannot be dialled.
std::string DialablePart(std::string_view text);
// "ATS0=1&D2DT", the number and a carriage return; none for a number that
// is not valid.
std::optional<std::string> DialCommand(std::string_view number);

// "PhoneNumber" of "Dialup" (its dialable part), empty when absent.
std::string LoadPhoneNumber(const Brindle::CRegSection& dialup);
// Stores a valid number; false (nothing written) otherwise or when the
// store refused.
bool SavePhoneNumber(const Brindle::CRegSection& dialup, std::string_view number);

enum class ModemReply { Other, Connect, Busy };
// A reply line without its leading white space: CONNECT (with or without a
// speed) or BUSY.
ModemReply ClassifyReply(std::string_view line);

class CModemReplyLines {
public:
    // A line longer than this is noise: it is cut here, the rest of it up
    // to its end dropped.
    static constexpr std::size_t kMaxLine = 512;

    // Takes `count` bytes and appends every line they complete (without its
    // end and leading white space; empty lines skipped) to `lines`.
    void Feed(const char* data, std::size_t count, std::vector<std::string>& lines);
    void Clear() { m_partial.clear(); }

private:
    std::string m_partial;
};

struct ModemDialTiming {
    int pollMs = 250;   // pause between reads
    int polls = 120;    // reads before giving up
};

class CModemDialer {
public:
    using StateSink = std::function<void(int state)>;
    using Timing = ModemDialTiming;
    static constexpr int kReadSize = 512;

    explicit CModemDialer(StateSink sink, Timing timing = {});
    ~CModemDialer();
    CModemDialer(const CModemDialer&) = delete;
    CModemDialer& operator=(const CModemDialer&) = delete;

    // Starts the worker on the port with the number. False when a worker
    // runs already, the number is not valid, or no thread can be started.
    bool Start(Brindle::CSerialPort& port, const std::string& number);
    // Clears the dialing flag and waits for the worker (it ends within one
    // read of the port); then releases the thread. Harmless when none runs.
    void Stop();
    // A worker thread exists (it may have ended; Stop releases it).
    bool HasWorker() const { return m_worker.joinable(); }
    bool IsDialing() const { return m_dialing.load(); }

private:
    void Run(Brindle::CSerialPort* port, std::string command);
    // Waits the poll pause; true when Stop asked the worker to end.
    bool Pause();

    StateSink m_sink;
    Timing m_timing;
    std::atomic<bool> m_dialing{false};
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_worker;
};

} // namespace mavo
