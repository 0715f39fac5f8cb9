// The log server reads every message a client sends: any bytes that parse
// as a message reach its reader, which must accept only the numbers it
// promises and give back a record that reads the same once written again.
#include "LogMessage.h"

#include "Brindle/comm/Msg.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Brindle::CMsg msg;
    if (!msg.parse(std::string(reinterpret_cast<const char*>(data), size)))
        return 0;
    logd::Record record;
    std::string why;
    const logd::MessageKind kind = logd::ReadMessage(msg, record, why);
    if (kind == logd::MessageKind::Refused && why.empty())
        std::abort();
    if (kind != logd::MessageKind::Log)
        return 0;
    if (record.counter < 1 || record.counter > 999999 || record.time < 0)
        std::abort();
    Brindle::CMsg again{Brindle::CVar("Log")};
    Brindle::CRec& header = again.get_header();
    header.add(Brindle::CVal(Brindle::CVar("C"), Brindle::CVar(record.counter)));
    header.add(Brindle::CVal(Brindle::CVar("T"), Brindle::CVar(std::to_string(record.time))));
    header.add(Brindle::CVal(Brindle::CVar("S"), Brindle::CVar(record.severity)));
    header.add(Brindle::CVal(Brindle::CVar("X"), Brindle::CVar(record.source)));
    header.add(Brindle::CVal(Brindle::CVar("H"), Brindle::CVar(record.host)));
    header.add(Brindle::CVal(Brindle::CVar("A"), Brindle::CVar(record.application)));
    header.add(Brindle::CVal(Brindle::CVar("B"), Brindle::CVar(record.batch)));
    header.add(Brindle::CVal(Brindle::CVar("E"), Brindle::CVar(record.lastError)));
    header.add(Brindle::CVal(Brindle::CVar("0"), Brindle::CVar(record.text)));
    logd::Record back;
    if (logd::ReadMessage(again, back, why) != logd::MessageKind::Log || back.counter != record.counter ||
        back.time != record.time || back.severity != record.severity || back.batch != record.batch ||
        back.lastError != record.lastError || back.source != record.source || back.host != record.host ||
        back.application != record.application || back.text != record.text)
        std::abort();
    return 0;
}
