#include "zph/ZPHMessage.h"

#include "protocol/FieldIds.h"
#include "protocol/Protocol.h"
#include "zph/NumberText.h"

#include <algorithm>
#include <cstring>

namespace ZPH {

void ZPHMessage::AddField(int id, int value) { m_fields.emplace_back(id, ZPHText::FormatInt(value)); }
void ZPHMessage::AddField(int id, unsigned value) { m_fields.emplace_back(id, ZPHText::FormatUnsigned(value)); }
void ZPHMessage::AddField(int id, long long value) { m_fields.emplace_back(id, ZPHText::FormatInt(value)); }
void ZPHMessage::AddField(int id, double value) { m_fields.emplace_back(id, ZPHText::FormatDouble(value)); }
void ZPHMessage::AddField(int id, char value) { m_fields.emplace_back(id, std::string(1, value)); }

void ZPHMessage::AddField(int id, const char* text, unsigned length)
{
    if (text == nullptr) {
        m_fields.emplace_back(id, std::string());
        return;
    }
    m_fields.emplace_back(id, length == 0 ? std::string(text) : std::string(text, length));
}

void ZPHMessage::AddField(int id, std::string_view text) { m_fields.emplace_back(id, std::string(text)); }

void ZPHMessage::SetField(int id, std::string_view text)
{
    for (auto& field : m_fields) {
        if (field.first == id) {
            field.second.assign(text);
            return;
        }
    }
    AddField(id, text);
}

void ZPHMessage::RemoveField(int id)
{
    std::erase_if(m_fields, [id](const Field& field) { return field.first == id; });
}

const std::string* ZPHMessage::Find(int id) const
{
    for (const auto& field : m_fields) {
        if (field.first == id)
            return &field.second;
    }
    return nullptr;
}

const char* ZPHMessage::GetValue(int id) const
{
    const std::string* text = Find(id);
    return text != nullptr ? text->c_str() : nullptr;
}

bool ZPHMessage::GetInt(int id, int& value) const
{
    const std::string* text = Find(id);
    return text != nullptr && ZPHText::ParseInt(*text, value);
}

bool ZPHMessage::GetInt64(int id, std::int64_t& value) const
{
    const std::string* text = Find(id);
    return text != nullptr && ZPHText::ParseInt64(*text, value);
}

bool ZPHMessage::GetDouble(int id, double& value) const
{
    const std::string* text = Find(id);
    return text != nullptr && ZPHText::ParseDouble(*text, value);
}

bool ZPHMessage::GetTimeStamp(Timestamp& timestamp) const
{
    using namespace ZPHWire;
    if (m_type != MSG_TIME)
        return false;
    Timestamp result;
    if (const char* text = GetValue(F_FEED_TIME))
        result.SetFeedTime(text);
    if (const char* text = GetValue(F_CONNECT_TIME))
        result.SetConnectTime(text);
    std::int64_t number = 0;
    if (GetInt64(F_PACKETS, number))
        result.SetPackets(static_cast<long>(number));
    if (GetInt64(F_BAD_PACKETS, number))
        result.SetBadPackets(static_cast<long>(number));
    if (GetInt64(F_MAX_DELAY, number))
        result.SetMaxDelay(static_cast<long>(number));
    if (GetInt64(F_DELAY, number))
        result.SetDelay(static_cast<long>(number));
    timestamp = result;
    return true;
}

} // namespace ZPH
