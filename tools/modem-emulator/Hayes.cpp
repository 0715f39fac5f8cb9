#include "Hayes.h"

#include <cctype>
#include <cstring>

namespace modememu {

void CommandLineBuffer::Feed(const char* data, std::size_t count, std::vector<Line>& lines)
{
    for (std::size_t i = 0; i < count; ++i) {
        const char c = data[i];
        if (c == '\r') {
            lines.push_back(Line{m_text, m_overflow});
            Clear();
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\b' && c != '\t') {
            // Binary bytes (a client's data sent before it dialled) are no
            // command: what was gathered goes with them.
            Clear();
            continue;
        }
        if (m_state == State::Idle) {
            // Like a modem, wait for "AT": what comes before is not a command.
            if (c == 'A' || c == 'a') {
                m_text.assign(1, c);
                m_state = State::GotA;
            }
            continue;
        }
        if (m_state == State::GotA) {
            if (c == 'T' || c == 't') {
                m_text += c;
                m_state = State::InLine;
            } else if (c == 'A' || c == 'a') {
                m_text.assign(1, c);
            } else {
                m_text.clear();
                m_state = State::Idle;
            }
            continue;
        }
        if (c == '\n') {
            continue;
        } else if (c == '\b' || c == 0x7F) {
            if (m_text.size() > 2)
                m_text.pop_back();
        } else if (m_text.size() < kMaxLine) {
            m_text += c;
        } else {
            m_overflow = true;
        }
    }
}

void CommandLineBuffer::Clear()
{
    m_text.clear();
    m_overflow = false;
    m_state = State::Idle;
}

namespace {

bool IsDialChar(char c)
{
    return (c >= '0' && c <= '9') || std::strchr("*#,!@WwPpTtAaBbCcDd -()", c) != nullptr;
}

// Up to five digits (larger numbers are errors, never overflow).
bool ReadNumber(std::string_view line, std::size_t& i, int& value, bool& present)
{
    value = 0;
    present = false;
    int digits = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') {
        if (++digits > 5)
            return false;
        value = value * 10 + (line[i] - '0');
        present = true;
        ++i;
    }
    return true;
}

} // namespace

ParsedLine ParseCommandLine(std::string_view line)
{
    ParsedLine parsed;
    if (line.size() < 2 || std::toupper(static_cast<unsigned char>(line[0])) != 'A' ||
        std::toupper(static_cast<unsigned char>(line[1])) != 'T')
        return parsed;
    parsed.isAt = true;
    std::size_t i = 2;
    while (i < line.size()) {
        const char raw = line[i];
        if (raw == ' ') {
            ++i;
            continue;
        }
        const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(raw)));
        ++i;
        int value = 0;
        bool present = false;
        if (c == 'D') {
            if (i < line.size() && (std::toupper(static_cast<unsigned char>(line[i])) == 'T' ||
                                    std::toupper(static_cast<unsigned char>(line[i])) == 'P'))
                ++i;
            std::string number;
            while (i < line.size() && line[i] != ';') {
                if (!IsDialChar(line[i]))
                    return parsed;
                number += line[i++];
            }
            if (i < line.size())
                ++i;  // ';': stay in command mode after dialling
            parsed.dial = number;
            continue;
        }
        if (c == 'S') {
            int reg = 0;
            if (!ReadNumber(line, i, reg, present) || !present || reg > 255)
                return parsed;
            if (i < line.size() && line[i] == '?') {
                ++i;
                parsed.queries.push_back(reg);
                continue;
            }
            if (i >= line.size() || line[i] != '=')
                return parsed;
            ++i;
            if (!ReadNumber(line, i, value, present) || value > 255)
                return parsed;
            parsed.registers[reg] = value;
            continue;
        }
        if (c == '&') {
            if (i >= line.size() || !std::isalpha(static_cast<unsigned char>(line[i])))
                return parsed;
            ++i;
            if (!ReadNumber(line, i, value, present))
                return parsed;
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(c)))
            return parsed;
        if (!ReadNumber(line, i, value, present))
            return parsed;
        switch (c) {
        case 'E': parsed.echo = value != 0; break;
        case 'H':
            if (value != 0)
                return parsed;  // only "on hook" is known
            parsed.hangup = true;
            break;
        case 'O': parsed.online = true; break;
        case 'Z': parsed.reset = true; break;
        case 'V': case 'Q': case 'L': case 'M': case 'X': case 'I': break;
        default: return parsed;
        }
    }
    parsed.ok = true;
    return parsed;
}

std::size_t EscapeDetector::Feed(const char* data, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (data[i] == '+') {
            if (++m_run == 3) {
                m_run = 0;
                return i + 1;
            }
        } else {
            m_run = 0;
        }
    }
    return std::string_view::npos;
}

} // namespace modememu
