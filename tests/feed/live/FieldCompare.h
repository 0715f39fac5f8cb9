// Comparing a cached line field with the server's text of it: numbers may
// be spelt differently ("99.5", "99.500") and the server shows an absent
// field as empty or 0.
#pragma once

#include "zph/LineObject.h"
#include "zph/NumberText.h"

#include <string>

using namespace ZPH;

namespace feedtest {

inline bool AbsentText(const std::string& text)
{
    double number = 0;
    return text.empty() || text == " " || (ZPHText::ParseDouble(text, number) && number == 0.0);
}

inline bool SameFieldText(int id, const std::string& ours, const std::string& theirs)
{
    if (ours == theirs)
        return true;
    const int offset = id % 100;
    if (id >= 100 && (offset == 97 || offset == 98)) {
        double a = 0, b = 0;
        return ZPHText::ParseDouble(ours, a) && ZPHText::ParseDouble(theirs, b) && a == b;
    }
    return AbsentText(ours) && AbsentText(theirs);
}

// True when the cached line holds the server's text for the field.
inline bool LineShows(const LineObject& line, int id, const std::string& theirs)
{
    std::string ours;
    return line.GetFieldText(id, ours) && SameFieldText(id, ours, theirs);
}

} // namespace feedtest
