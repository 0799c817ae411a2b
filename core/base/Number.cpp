#include "base/Number.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace rig {

namespace {

locale_t cLocale() {
    static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return loc;
}

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

std::optional<double> parseDecimal(std::string_view text) {
    // Plain decimals ("-12.5", ".5", "3e-2") through std::from_chars: correctly rounded like
    // strtod, without the copy and the locale. Whatever it does not take whole (a leading
    // "+", hex, "inf" and "nan", out of range, anything left over) goes to strtod.
    const std::size_t digit = !text.empty() && text.front() == '-' ? 1 : 0;
    if (digit < text.size() && ((text[digit] >= '0' && text[digit] <= '9') || text[digit] == '.')) {
        double value = 0;
        const char* end = text.data() + text.size();
        const auto r = std::from_chars(text.data(), end, value, std::chars_format::general);
        if (r.ec == std::errc() && r.ptr == end) return value;
    }
    if (text.empty() || isCSpace(text.front()) || text.front() == '\0') return std::nullopt;
    std::string copy(text); // strtod needs a terminated string
    if (copy.find('\0') != std::string::npos) return std::nullopt;
    char* end = nullptr;
    double value = strtod_l(copy.c_str(), &end, cLocale());
    if (end != copy.c_str() + copy.size()) return std::nullopt;
    return value;
}

std::optional<std::int64_t> parseInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) return std::nullopt;
    // Accumulate negatively so that the minimum value fits.
    std::int64_t value = 0;
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        int digit = c - '0';
        if (value < min / 10 || (value == min / 10 && digit > -(min % 10))) return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == min) return std::nullopt;
        value = -value;
    }
    return value;
}

std::string formatFixed(double value, int digits) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // The largest double in fixed notation has 309 integer digits.
    char buf[400 + 64];
    if (digits < 0) digits = 0;
    if (digits > 64) digits = 64;
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, digits);
    return std::string(buf, res.ptr);
}

std::string integerText(std::int64_t value) {
    std::string out;
    appendInteger(out, value);
    return out;
}

void appendInteger(std::string& out, std::int64_t value) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

std::string formatShortest(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

} // namespace rig
