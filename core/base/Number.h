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

// Numbers outside [-2^63, 2^63): no 64-bit integer holds them, no measure of a rig comes near, and
// written out in full they take up to 309 digits. Every number text here writes them in one
// bounded form (farNumberText), whatever the digits asked for.
bool isFarNumber(double value);
// The shortest digits that read back, in exponent form, as JSON and JavaScript write such a
// number: "1.7e+308", "-9.223372036854776e+18". At most 24 characters.
std::string farNumberText(double value);

// C "%.<digits>f": fixed notation, rounded from the exact binary value ("0.125" -> "0.12"),
// for every number short of isFarNumber; those take farNumberText.
// Not-a-number gives "nan" ("-nan" when its sign is set), infinities "inf" / "-inf".
std::string formatFixed(double value, int digits);

// Shortest text that reads back to the same double (for JSON-free text output).
std::string formatShortest(double value);

// Plain decimal digits with a leading "-" when negative.
std::string integerText(std::int64_t value);
void appendInteger(std::string& out, std::int64_t value);

} // namespace rig
