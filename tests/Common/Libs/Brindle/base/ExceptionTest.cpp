#include "Brindle/base/Exception.h"

#include "ThreadTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Brindle::CException;

namespace {

TEST(CException, TextFromCodeHasControlCharactersTurnedIntoSpacesAndIsCompletedAtFirstWhat)
{
    CException code(ERROR_FILE_NOT_FOUND);
    EXPECT_STREQ(code.what(), "No such file or directory  ");
    EXPECT_EQ(code.GetLastError(), ERROR_FILE_NOT_FOUND);
    CException e(0);
    e.SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_STREQ(e.what(), "Permission denied  ");
    e.SetLastError(ERROR_FILE_NOT_FOUND); // text stays once completed
    EXPECT_STREQ(e.what(), "Permission denied  ");
}

TEST(CException, WhatIsSafeFromManyThreadsAtOnce)
{
    for (int round = 0; round < 50; ++round) {
        CException e(ERROR_ACCESS_DENIED);
        std::vector<std::string> seen(4);
        threadtest::OnThreads(4, [&](int i) { seen[i] = e.what(); });
        for (auto& s : seen)
            EXPECT_EQ(s, "Permission denied  ");
    }
}

TEST(ErrorMessages, GetErrorMsgKeepsLineEndAndAppendsTheCode)
{
    EXPECT_EQ(Brindle::GetErrorMsg(ERROR_FILE_NOT_FOUND), "No such file or directory\r\n (2)");
    EXPECT_EQ(Brindle::GetErrorMsg(99999), "(99999)");
    EXPECT_EQ(CException::FormatLastError(99999), "");
}

TEST(ErrorMessages, GetLastErrorMsgFitsTheBuffer)
{
    ::SetLastError(ERROR_FILE_NOT_FOUND);
    char buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), 'x');
    EXPECT_EQ(Brindle::GetLastErrorMsg(buffer, sizeof buffer), 2);
    EXPECT_STREQ(buffer, "No such");
    char big[64];
    Brindle::GetLastErrorMsg(big, sizeof big);
    EXPECT_STREQ(big, "No such file or directory\r\n (2)");
    EXPECT_EQ(Brindle::GetLastErrorMsg(nullptr, 0), 2);
}

} // namespace
