#include "base/Number.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
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

// Eight ASCII digits at `p`, as one number (little-endian load).
bool eightDigits(const char* p, std::uint64_t& value) {
    std::uint64_t w;
    std::memcpy(&w, p, 8);
    if ((w & 0xF0F0F0F0F0F0F0F0u) != 0x3030303030303030u ||
        ((w + 0x0606060606060606u) & 0xF0F0F0F0F0F0F0F0u) != 0x3030303030303030u)
        return false;
    w -= 0x3030303030303030u;
    w = (w * 10) + (w >> 8);
    value = (((w & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
             (((w >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
            32;
    return true;
}

// "-123.456" with at most 2^53 as the digits without the point and at most 22 digits after
// it: both numbers are exact doubles, so one division gives the correctly rounded value,
// the one strtod gives.
std::optional<double> exactDecimal(std::string_view text) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    std::uint64_t mantissa = 0;
    int digits = 0;
    auto run = [&] {
        std::uint64_t eight = 0;
        while (end - p >= 8 && digits <= 10 && eightDigits(p, eight)) {
            mantissa = mantissa * 100000000u + eight;
            p += 8;
            digits += 8;
        }
        for (; p < end && static_cast<unsigned>(*p - '0') <= 9; ++p) {
            if (++digits > 18) return false;
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        }
        return true;
    };
    if (!run()) return std::nullopt;
    int fraction = 0;
    if (p < end && *p == '.') {
        ++p;
        const int before = digits;
        if (!run()) return std::nullopt;
        fraction = digits - before;
    }
    if (p != end || digits == 0 || mantissa > (std::uint64_t(1) << 53) || fraction > 22) return std::nullopt;
    static constexpr double powers[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const double value = static_cast<double>(mantissa) / powers[fraction];
    return negative ? -value : value;
}

} // namespace

std::optional<double> parseDecimal(std::string_view text) {
    if (auto exact = exactDecimal(text)) return exact;
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

bool isFarNumber(double value) {
    constexpr double limit = 9223372036854775808.0; // 2^63
    return std::isfinite(value) && (value >= limit || value < -limit);
}

std::string farNumberText(double value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    return std::string(buf, res.ptr);
}

std::string formatFixed(double value, int digits) {
    if (std::isnan(value)) return std::signbit(value) ? "-nan" : "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    if (isFarNumber(value)) return farNumberText(value);
    // Below 2^63: at most 19 integer digits.
    char buf[32 + 64];
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
