// Locale-free number conversions. The process locale may use a decimal comma (the
// application's toolkit sets it), so nothing here goes through it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rig {

// The whole text as C strtod reads it in the C locale: optional sign, digits with an
// optional point and fraction, optional exponent, also "inf", "nan" and hex forms.
// None when the text is empty, starts with white space or NUL, or has anything left over.
std::optional<double> parseDecimal(std::string_view text);

// Optional "+" or "-" followed by ASCII digits only, within the 64-bit signed range.
std::optional<std::int64_t> parseInteger(std::string_view text);

// C "%.<digits>f": fixed notation, rounded from the exact binary value ("0.125" -> "0.12").
// Not-a-number gives "nan" ("-nan" when its sign is set), infinities "inf" / "-inf".
std::string formatFixed(double value, int digits);

// Shortest text that reads back to the same double (for JSON-free text output).
std::string formatShortest(double value);

// Plain decimal digits with a leading "-" when negative.
std::string integerText(std::int64_t value);
void appendInteger(std::string& out, std::int64_t value);

} // namespace rig
