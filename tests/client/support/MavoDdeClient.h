// A spreadsheet's side of MAVO's DDE server: a conversation with an advise
// loop on each of its items, as a link opens one, and what the loops heard.
#pragma once

#include "DdeTestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace testsupport {

inline HCONV AdviseOn(ddetest::Client& client, const char* topic, std::initializer_list<const char*> items = {})
{
    HCONV conv = client.Connect("MAVO", topic);
    EXPECT_NE(conv, nullptr) << topic;
    for (const char* item : items)
        EXPECT_TRUE(conv != nullptr && client.Advise(conv, item)) << topic << "!" << item;
    return conv;
}

// The advised values of the item on the topic, oldest first, each without
// its terminating zero.
inline std::vector<std::string> Heard(const ddetest::Client& client, const std::string& topic,
                                      const std::string& item)
{
    std::vector<std::string> values;
    for (const auto& heard : client.m_heard)
        if (heard.type == XTYP_ADVDATA && heard.hsz1 == topic && heard.hsz2 == item)
            values.push_back(heard.data.substr(0, heard.data.find('\0')));
    return values;
}

} // namespace testsupport
