// The command side of the modem emulator: Hayes AT command lines and the
// "+++" escape from data mode.
//
// - CommandLineBuffer gathers command-mode bytes into lines: a line starts
//   with "AT" (any case; bytes before it are dropped, as a modem does), a
//   carriage return ends it (a return alone gives an empty line), line
//   feeds are ignored, backspace and delete erase the last character, any
//   other control byte drops what was gathered (binary data is no command);
//   a line longer than kMaxLine is marked as overflowed (kept to kMaxLine).
// - ParseCommandLine reads one line: "AT" (any case), then commands: a
//   letter with an optional number (E1, H0, O, Z, ...), "&" and a letter
//   with a number (&D2), S registers (S0=1, S7?), and D with an optional T
//   or P and the dial string up to ';' or the end. Blanks between commands
//   are skipped. Anything else makes the line an error.
// - EscapeDetector finds "+++" in the data-mode byte stream, also when the
//   three are split across reads.
//
// Pure values; one thread per object.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace modememu {

class CommandLineBuffer {
public:
    static constexpr std::size_t kMaxLine = 255;
    struct Line {
        std::string text;
        bool overflow = false;
    };

    void Feed(const char* data, std::size_t count, std::vector<Line>& lines);
    void Clear();

private:
    enum class State { Idle, GotA, InLine };
    std::string m_text;
    bool m_overflow = false;
    State m_state = State::Idle;
};

struct ParsedLine {
    bool isAt = false;     // the line starts with AT
    bool ok = false;       // every command was understood
    std::optional<std::string> dial;   // D: the number (without T/P)
    bool hangup = false;   // H or H0
    bool online = false;   // O: back to data mode
    bool reset = false;    // Z
    std::optional<bool> echo;          // E0 / E1
    std::map<int, int> registers;      // S registers written
    std::vector<int> queries;          // S registers asked for (Sn?)
};

ParsedLine ParseCommandLine(std::string_view line);

class EscapeDetector {
public:
    // Position just after the escape's last '+' in this chunk, or npos when
    // the chunk does not complete one.
    std::size_t Feed(const char* data, std::size_t count);
    void Reset() { m_run = 0; }

private:
    int m_run = 0;
};

} // namespace modememu
