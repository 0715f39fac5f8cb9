// Rates and quantities of the order windows.
//
// OrderNumberText: the text a rate or quantity is shown with: "%.1f" for a
// whole number, otherwise six decimals with the trailing zeros removed
// (2 -> "2.0", 2.125 -> "2.125", 0.0625 -> "0.0625"). Always in the C
// locale, whatever the process locale is.
//
// COrderNumber: a non-negative value held in whole millionths, the
// precision the text shows. The dialogs step rates and quantities in it,
// so that adding 0.1 ten times gives exactly 1 and a value that shows as
// 0.0 is zero; nothing accumulates binary rounding errors. Texts that are
// no plain decimal, negative values and values too large to hold are
// refused (nullopt).
//
// Free functions and a plain value; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mavo {

std::string OrderNumberText(double value);

// True when a rate or quantity field may hold this text while the user
// types: digits with at most one point, at most kMaxOrderNumberTyping
// characters (empty included). Anything else is refused as it is typed.
constexpr std::size_t kMaxOrderNumberTyping = 16;
bool AcceptsOrderNumberTyping(std::string_view text);

class COrderNumber {
public:
    static constexpr std::int64_t kScale = 1000000;
    // A billion: far beyond any rate or quantity, far below int64's limits.
    static constexpr std::int64_t kMaxMicros = kScale * 1000000 * 1000;

    COrderNumber() = default;

    // A plain decimal such as "99.5", "2", ".25" or "3." (blanks around it
    // allowed); rounded to millionths. Nothing for a sign, an exponent,
    // other characters or an empty text.
    static std::optional<COrderNumber> FromText(std::string_view text);
    // A value from a number: rounded to millionths; nothing for a negative,
    // non-finite or too large value.
    static std::optional<COrderNumber> FromDouble(double value);
    static COrderNumber FromMicros(std::int64_t micros);

    std::int64_t Micros() const { return m_micros; }
    double ToDouble() const;
    bool IsZero() const { return m_micros == 0; }
    // OrderNumberText of the value, exactly.
    std::string Text() const;

    // value + step, or value - step but never below floor.
    COrderNumber Plus(COrderNumber step) const;
    COrderNumber Minus(COrderNumber step, COrderNumber floor) const;

    friend auto operator<=>(const COrderNumber&, const COrderNumber&) = default;

private:
    explicit COrderNumber(std::int64_t micros) : m_micros(micros) {}
    std::int64_t m_micros = 0;
};

} // namespace mavo
