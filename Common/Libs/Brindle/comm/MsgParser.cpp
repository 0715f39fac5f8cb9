#include "Brindle/comm/MsgParser.h"

#include "Brindle/comm/CommLog.h"
#include "Brindle/base/Exception.h"
#include "Platform/WinError.h"

#include <cstring>
#include <vector>

namespace Brindle {

namespace {

const char* Find(const char* from, const char* end, char c)
{
    const void* p = std::memchr(from, c, static_cast<std::size_t>(end - from));
    return p != nullptr ? static_cast<const char*>(p) : end;
}

// The last SOH in [from, to), or `to`.
const char* FindLastSoh(const char* from, const char* to)
{
    for (const char* p = to; p != from;)
        if (*--p == MsgText::SOH)
            return p;
    return to;
}

} // namespace

void CMsgParser::OnOpen(void* source)
{
    CallUpOpen(source);
}

void CMsgParser::OnClose(void* source)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending.erase(source);
    }
    CallUpClose(source);
}

std::size_t CMsgParser::GetPendingSize(void* source) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    const auto it = m_pending.find(source);
    return it != m_pending.end() ? it->second.size() : 0;
}

void CMsgParser::OnData(void* source, const std::string& data)
{
    std::vector<std::string> texts;
    std::size_t dropped = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        std::string work;
        std::size_t resume = 0; // where the ETX search starts
        bool inMessage = false; // work starts with the SOH of a message
        if (const auto it = m_pending.find(source); it != m_pending.end()) {
            work = std::move(it->second);
            m_pending.erase(it);
            resume = work.size();
            inMessage = true;
        }
        work.append(data);
        const char* const begin = work.data();
        const char* const end = begin + work.size();
        const char* pos = begin + resume;
        const char* start = inMessage ? begin : end;
        for (;;) {
            if (start == end) {
                start = Find(pos, end, MsgText::SOH);
                if (start == end)
                    break;
                pos = start + 1;
            }
            const char* etx = Find(pos, end, MsgText::ETX);
            if (etx == end)
                break;
            // A message cut short before this one: start at the last SOH.
            const char* last = FindLastSoh(start + 1, etx);
            if (last != etx)
                start = last;
            texts.emplace_back(start, etx + 1);
            pos = etx + 1;
            start = end;
        }
        if (start != end) {
            const std::size_t pendingSize = static_cast<std::size_t>(end - start);
            if (pendingSize > m_limit) {
                dropped = pendingSize;
            } else {
                std::string& pending = m_pending[source];
                if (start == begin)
                    pending = std::move(work);
                else
                    pending.assign(start, end);
            }
        }
    }
    if (dropped > 0) {
        const std::string text = "Message too long: " + std::to_string(dropped) + " bytes dropped";
        CommLog::Write(CommLog::SEVERITY_COMM, "CMsgParser", text);
        CallUpError(source, ERROR_INVALID_DATA, text);
    }
    for (const std::string& text : texts) {
        CMsg msg;
        if (!msg.parse(text)) {
            CommLog::Write(CommLog::SEVERITY_COMM, "Parse Error", text);
            continue;
        }
        msg.set_source(source);
        CallUpMsg(source, msg);
    }
}

bool CMsgParser::SendMsg(void* source, const CMsg& msg)
{
    std::string text;
    try {
        text = msg.to_string();
    } catch (const CException& e) {
        CommLog::Write(CommLog::SEVERITY_COMM, "CMsgParser", std::string("Cannot send message: ") + e.what());
        return false;
    }
    return SendData(source, text);
}

} // namespace Brindle
