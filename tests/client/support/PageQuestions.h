// The page windows' questions as one text each, "caption|text|kind", so a
// test compares all it was asked at once.
#pragma once

#include "PageWindowsFixture.h"

#include <string>
#include <vector>

namespace testsupport {

inline std::string Question(const char* caption, const char* text, mavo::PageMessageKind kind)
{
    return std::string(caption) + "|" + text + "|" + std::to_string(static_cast<int>(kind));
}

inline std::vector<std::string> Questions(const std::vector<PageAsked>& asked)
{
    std::vector<std::string> texts;
    for (const PageAsked& a : asked)
        texts.push_back(Question(a.caption.toUtf8().constData(), a.text.toUtf8().constData(), a.kind));
    return texts;
}

} // namespace testsupport
