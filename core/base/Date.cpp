#include "base/Date.h"

#include "base/Number.h"

namespace rig {

namespace {

void put(std::string& out, long long value, std::size_t width) {
    const std::string digits = integerText(value);
    if (digits.size() < width) out.append(width - digits.size(), '0');
    out += digits;
}

// Exactly `width` ASCII digits at `pos`.
bool digits(std::string_view s, std::size_t pos, std::size_t width, int& value) {
    if (pos + width > s.size()) return false;
    value = 0;
    for (std::size_t i = pos; i < pos + width; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        value = value * 10 + (s[i] - '0');
    }
    return true;
}

} // namespace

std::string formatISODate(Date date) {
    using namespace std::chrono;
    sys_days day = floor<days>(date);
    year_month_day ymd(day);
    hh_mm_ss<seconds> time(date - day);
    std::string out;
    out.reserve(20);
    int y = static_cast<int>(ymd.year());
    if (y < 0) {
        out.push_back('-');
        y = -y;
    }
    put(out, y, 4);
    out.push_back('-');
    put(out, static_cast<unsigned>(ymd.month()), 2);
    out.push_back('-');
    put(out, static_cast<unsigned>(ymd.day()), 2);
    out.push_back('T');
    put(out, time.hours().count(), 2);
    out.push_back(':');
    put(out, time.minutes().count(), 2);
    out.push_back(':');
    put(out, time.seconds().count(), 2);
    out.push_back('Z');
    return out;
}

std::optional<Date> parseISODate(std::string_view s) {
    using namespace std::chrono;
    int y, mo, d, h, mi, se;
    if (!digits(s, 0, 4, y) || s.size() < 20 || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' ||
        !digits(s, 8, 2, d) || s[10] != 'T' || !digits(s, 11, 2, h) || s[13] != ':' ||
        !digits(s, 14, 2, mi) || s[16] != ':' || !digits(s, 17, 2, se)) {
        return std::nullopt;
    }
    year_month_day ymd{year(y), month(static_cast<unsigned>(mo)), day(static_cast<unsigned>(d))};
    if (!ymd.ok() || h > 23 || mi > 59 || se > 59) return std::nullopt;
    int offset = 0; // seconds east of UTC
    std::string_view zone = s.substr(19);
    if (zone == "Z") {
        offset = 0;
    } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
        int oh, om;
        if (!digits(zone, 1, 2, oh) || !digits(zone, 4, 2, om) || oh > 23 || om > 59) return std::nullopt;
        offset = (oh * 3600 + om * 60) * (zone[0] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    sys_seconds t = sys_days(ymd) + hours(h) + minutes(mi) + seconds(se) - seconds(offset);
    return t;
}

Date nowSeconds() {
    return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
}

} // namespace rig
