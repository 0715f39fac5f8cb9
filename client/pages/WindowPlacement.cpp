#include "pages/WindowPlacement.h"

#include "Brindle/base/RegSection.h"
#include "Platform/Registry.h"

#include <algorithm>

namespace mavo {

namespace {

constexpr const char* kPlacementValue = "Window Placement";

void Put(std::uint8_t* out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t Get(const std::uint8_t* in)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(in[i]) << (8 * i);
    return v;
}

int GetSigned(const std::uint8_t* in) { return static_cast<std::int32_t>(Get(in)); }

} // namespace

std::array<std::uint8_t, WindowPlacement::kRecordSize> WindowPlacement::ToBytes() const
{
    std::array<std::uint8_t, kRecordSize> out{};
    Put(&out[0], kRecordSize);
    Put(&out[4], flags);
    Put(&out[8], showCmd);
    const int fields[] = {minX, minY, maxX, maxY, normal.left, normal.top, normal.right, normal.bottom};
    for (int i = 0; i < 8; ++i)
        Put(&out[static_cast<std::size_t>(12 + 4 * i)], static_cast<std::uint32_t>(fields[i]));
    return out;
}

bool WindowPlacement::FromBytes(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size != kRecordSize || Get(&data[0]) != kRecordSize)
        return false;
    WindowPlacement p;
    p.flags = Get(&data[4]);
    p.showCmd = Get(&data[8]);
    p.minX = GetSigned(&data[12]);
    p.minY = GetSigned(&data[16]);
    p.maxX = GetSigned(&data[20]);
    p.maxY = GetSigned(&data[24]);
    p.normal = Rect{GetSigned(&data[28]), GetSigned(&data[32]), GetSigned(&data[36]), GetSigned(&data[40])};
    if (p.showCmd > 11 || p.normal.right < p.normal.left || p.normal.bottom < p.normal.top)
        return false;
    *this = p;
    return true;
}

WindowPlacement WindowPlacement::Read(const Brindle::CRegSection& section)
{
    WindowPlacement p;
    int top = 0, left = 0, bottom = 0, right = 0, minimized = 0;
    section.GetInt("Top", top, 0);
    section.GetInt("Left", left, 0);
    section.GetInt("Bottom", bottom, 0);
    section.GetInt("Right", right, 0);
    section.GetInt("Minimized", minimized, 0);
    p.normal = Rect{left, top, std::max(left, right), std::max(top, bottom)};
    p.showCmd = minimized != 0 ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;

    std::uint8_t buffer[kRecordSize + 1] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer;
    if (section.IsOpen() && RegQueryValueExA(section, kPlacementValue, nullptr, &type, buffer, &size) == ERROR_SUCCESS &&
        type == REG_BINARY)
        p.FromBytes(buffer, size);
    return p;
}

bool WindowPlacement::Write(const Brindle::CRegSection& section) const
{
    const auto bytes = ToBytes();
    return section.SetBin(kPlacementValue, bytes.data(), kRecordSize) != 0;
}

} // namespace mavo
