// Building and parsing a typical message (a header and two records, ten
// values, about 200 bytes of text) against RapidJSON writing and parsing the
// same content as JSON: {"id":..,"values":{..},"records":[{"id":..,
// "values":{..}},..]}, every value a string as in our model.
//
// Pairs to compare (items per second):
//   Build_Msg      vs Build_Json      fill a fresh message / DOM, then write its text
//   Serialize_Msg  vs Serialize_Json  write the text of a finished message / DOM
//   Parse_Msg      vs Parse_Json      read the text into a fresh message / DOM
#include "Brindle/comm/Msg.h"

#include <benchmark/benchmark.h>

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using Brindle::CMsg;
using Brindle::CRec;
using Brindle::CVar;

namespace {

struct Record {
    const char* id;
    std::vector<std::pair<const char*, const char*>> values;
};

// The content: a price update as a feed would send it.
const Record kHeader{"PRICEUPDATE", {{"Page", "12"}, {"Line", "3"}}};
const Record kRecords[] = {
    {"Bid", {{"Rate", "101.25"}, {"Quantity", "5000000"}, {"Customer", "HALV-LDN"}, {"Time", "2024-06-03T12:34:56"}}},
    {"Offer", {{"Rate", "101.375"}, {"Quantity", "2500000"}, {"Customer", "BRND-NYC"}, {"Time", "2024-06-03T12:34:57"}}},
};

void Fill(CRec& rec, const Record& from)
{
    for (const auto& [id, value] : from.values)
        rec.set(id) = value;
}

CMsg BuildMsg()
{
    CMsg msg{CVar(kHeader.id)};
    Fill(msg.get_header(), kHeader);
    for (const Record& r : kRecords)
        Fill(msg.add(CRec(CVar(r.id))), r);
    return msg;
}

void AddRecord(rapidjson::Value& into, const Record& from, rapidjson::Document::AllocatorType& a)
{
    into.SetObject();
    into.AddMember("id", rapidjson::StringRef(from.id), a);
    rapidjson::Value values(rapidjson::kObjectType);
    for (const auto& [id, value] : from.values)
        values.AddMember(rapidjson::StringRef(id), rapidjson::StringRef(value), a);
    into.AddMember("values", values, a);
}

void BuildJson(rapidjson::Document& doc)
{
    auto& a = doc.GetAllocator();
    AddRecord(doc, kHeader, a);
    rapidjson::Value records(rapidjson::kArrayType);
    for (const Record& r : kRecords) {
        rapidjson::Value rec;
        AddRecord(rec, r, a);
        records.PushBack(rec, a);
    }
    doc.AddMember("records", records, a);
}

std::string WriteJson(const rapidjson::Document& doc)
{
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    doc.Accept(writer);
    return std::string(buffer.GetString(), buffer.GetSize());
}

const std::string& MsgText()
{
    static const std::string text = BuildMsg().build_string();
    return text;
}

const std::string& JsonText()
{
    static const std::string text = [] {
        rapidjson::Document doc;
        BuildJson(doc);
        return WriteJson(doc);
    }();
    return text;
}

void Report(benchmark::State& state, std::size_t bytes)
{
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["text_bytes"] = static_cast<double>(bytes);
}

void Build_Msg(benchmark::State& state)
{
    for (auto _ : state) {
        CMsg msg = BuildMsg();
        std::string text = msg.build_string();
        benchmark::DoNotOptimize(text.data());
    }
    Report(state, MsgText().size());
}

void Build_Json(benchmark::State& state)
{
    for (auto _ : state) {
        rapidjson::Document doc;
        BuildJson(doc);
        std::string text = WriteJson(doc);
        benchmark::DoNotOptimize(text.data());
    }
    Report(state, JsonText().size());
}

void Serialize_Msg(benchmark::State& state)
{
    const CMsg msg = BuildMsg();
    for (auto _ : state) {
        std::string text = msg.build_string();
        benchmark::DoNotOptimize(text.data());
    }
    Report(state, MsgText().size());
}

void Serialize_Json(benchmark::State& state)
{
    rapidjson::Document doc;
    BuildJson(doc);
    for (auto _ : state) {
        std::string text = WriteJson(doc);
        benchmark::DoNotOptimize(text.data());
    }
    Report(state, JsonText().size());
}

void Parse_Msg(benchmark::State& state)
{
    const std::string& text = MsgText();
    for (auto _ : state) {
        CMsg msg;
        if (!msg.parse(text))
            std::abort();
        benchmark::DoNotOptimize(&msg);
    }
    Report(state, text.size());
}

void Parse_Json(benchmark::State& state)
{
    const std::string& text = JsonText();
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse(text.data(), text.size());
        if (doc.HasParseError())
            std::abort();
        benchmark::DoNotOptimize(&doc);
    }
    Report(state, text.size());
}

// A parse followed by the lookups a receiver makes.
void ParseRead_Msg(benchmark::State& state)
{
    const std::string& text = MsgText();
    for (auto _ : state) {
        CMsg msg;
        if (!msg.parse(text))
            std::abort();
        const CMsg& m = msg;
        benchmark::DoNotOptimize(m.get_header().get("Line").get_int() + m["Offer"].get("Quantity").get_long());
    }
    Report(state, text.size());
}

void ParseRead_Json(benchmark::State& state)
{
    const std::string& text = JsonText();
    for (auto _ : state) {
        rapidjson::Document doc;
        doc.Parse(text.data(), text.size());
        if (doc.HasParseError())
            std::abort();
        const auto& records = doc["records"];
        const rapidjson::Value* offer = nullptr;
        for (const auto& r : records.GetArray()) {
            if (std::string_view(r["id"].GetString()) == "Offer")
                offer = &r;
        }
        benchmark::DoNotOptimize(std::atoi(doc["values"]["Line"].GetString()) +
                                 std::atol((*offer)["values"]["Quantity"].GetString()));
    }
    Report(state, text.size());
}

} // namespace

BENCHMARK(Build_Msg);
BENCHMARK(Build_Json);
BENCHMARK(Serialize_Msg);
BENCHMARK(Serialize_Json);
BENCHMARK(Parse_Msg);
BENCHMARK(Parse_Json);
BENCHMARK(ParseRead_Msg);
BENCHMARK(ParseRead_Json);

BENCHMARK_MAIN();
