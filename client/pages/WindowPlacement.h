// The placement of a page window as it is stored: the Windows placement
// record (44 bytes, little endian: length, flags, show command, minimised
// position, maximised position, normal rectangle), positions in the MDI
// area's coordinates; and how a page window's section reads it.
//
// Reading a section: "Top", "Left", "Bottom", "Right" and "Minimized" (0
// each when missing) fill a record, shown normally or minimised; a "Window
// Placement" value replaces it when it is exactly one whole record (binary,
// 44 bytes, its length field 44, a known show command, a normal rectangle
// that is not inverted). Anything else is ignored.
//
// Thread-safety: plain values; any thread.
#pragma once

#include "pages/RowLayout.h"

#include <array>
#include <cstdint>

namespace Brindle {
class CRegSection;
}

namespace mavo {

struct WindowPlacement {
    static constexpr int kRecordSize = 44;
    static constexpr std::uint32_t SW_SHOWNORMAL = 1;
    static constexpr std::uint32_t SW_SHOWMINIMIZED = 2;
    static constexpr std::uint32_t SW_SHOWMAXIMIZED = 3;

    std::uint32_t flags = 0;
    std::uint32_t showCmd = SW_SHOWNORMAL;
    int minX = -1, minY = -1;
    int maxX = -1, maxY = -1;
    Rect normal;

    bool IsMinimized() const { return showCmd == SW_SHOWMINIMIZED || showCmd == 6 || showCmd == 7; }
    bool IsMaximized() const { return showCmd == SW_SHOWMAXIMIZED; }

    std::array<std::uint8_t, kRecordSize> ToBytes() const;
    // False (unchanged) unless the bytes are one whole sensible record.
    bool FromBytes(const std::uint8_t* data, std::size_t size);

    // As described above.
    static WindowPlacement Read(const Brindle::CRegSection& section);
    bool Write(const Brindle::CRegSection& section) const;

    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

} // namespace mavo
