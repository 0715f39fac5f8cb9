#include "Brindle/comm/CommTrace.h"

#include <ostream>
#include <string>

namespace Brindle {

void CCommTrace::SetStream(std::ostream& stream, char terminator)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_stream = &stream;
    m_terminator = terminator;
}

template <typename Write>
void CCommTrace::Line(Write write)
{
    if (!GetTrace())
        return;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_stream == nullptr)
        return;
    write(*m_stream);
    *m_stream << m_terminator;
    m_stream->flush();
}

namespace {
void Bytes(std::ostream& out, const std::string& data)
{
    out << "(" << std::to_string(data.size()) << ") ";
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}
} // namespace

void CCommTrace::OnOpen(void* source)
{
    Line([&](std::ostream& out) { out << "OnOpen (" << source << ")"; });
    CallUpOpen(source);
}

void CCommTrace::OnClose(void* source)
{
    Line([&](std::ostream& out) { out << "OnClose (" << source << ")"; });
    CallUpClose(source);
}

void CCommTrace::OnData(void* source, const std::string& data)
{
    Line([&](std::ostream& out) {
        out << "OnData (" << source << "): ";
        Bytes(out, data);
    });
    CallUpData(source, data);
}

void CCommTrace::OnError(void* source, unsigned long error, const std::string& text)
{
    Line([&](std::ostream& out) { out << "OnError (" << source << ") dwError = " << std::to_string(error) << " : " << text; });
    CallUpError(source, error, text);
}

bool CCommTrace::SendData(void* source, const std::string& data)
{
    Line([&](std::ostream& out) {
        out << "SendData (" << source << "): ";
        Bytes(out, data);
    });
    return CallDownData(source, data);
}

} // namespace Brindle
