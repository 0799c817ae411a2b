#include "base/Json.h"

#include "base/Number.h"
#include "base/Text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

namespace rig {

JsonPath JsonPath::key(std::string_view k) const {
    // Keys come from the file: a message names a long one by its start (a key of no more bytes
    // than that has no more characters either).
    const std::string cut = k.size() > messagePieceLength ? messagePiece(k) : std::string();
    const std::string_view shown = cut.empty() ? k : std::string_view(cut);
    JsonPath p;
    p.text_.reserve(text_.size() + shown.size() + 1);
    p.text_ = text_;
    if (!p.text_.empty()) p.text_ += '.';
    p.text_ += shown;
    return p;
}

JsonPath JsonPath::index(std::size_t i) const {
    JsonPath p;
    p.text_ = text_ + "[" + integerText(static_cast<std::int64_t>(i)) + "]";
    return p;
}

namespace {
std::string where(const JsonPath& path) {
    std::string p = path.str();
    return p.empty() ? "the document" : "\"" + p + "\"";
}
} // namespace

void throwJsonTypeError(const JsonPath& path, std::string_view expected) {
    throw JsonDecodeError("Expected " + std::string(expected) + " at " + where(path) + ".");
}

std::string JsonCodec<std::string>::read(const Json& j, const JsonPath& p) {
    if (!j.is_string()) throwJsonTypeError(p, "a text");
    return j.get_ref<const std::string&>();
}

bool JsonCodec<bool>::read(const Json& j, const JsonPath& p) {
    if (!j.is_boolean()) throwJsonTypeError(p, "true or false");
    return j.get<bool>();
}

std::int64_t JsonCodec<std::int64_t>::read(const Json& j, const JsonPath& p) {
    if (j.is_number_integer() && !j.is_number_unsigned()) return j.get<std::int64_t>();
    if (j.is_number_unsigned()) {
        auto u = j.get<std::uint64_t>();
        if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return static_cast<std::int64_t>(u);
        }
    } else if (j.is_number_float()) {
        double d = j.get<double>();
        // +-2^63 are out of range: every whole double strictly between converts exactly. An
        // integer text below the range (-9223372036854775809) arrives here rounded to -2^63,
        // so that value in decimal form cannot be told from an overflow and is refused too.
        if (std::isfinite(d) && d == std::trunc(d) && d > -9223372036854775808.0 &&
            d < 9223372036854775808.0) {
            return static_cast<std::int64_t>(d);
        }
    }
    throwJsonTypeError(p, "a whole number within 64 bits");
}

double JsonCodec<double>::read(const Json& j, const JsonPath& p) {
    if (j.is_number()) return j.get<double>();
    if (j.is_string()) {
        const auto& s = j.get_ref<const std::string&>();
        if (s == "NaN") return std::numeric_limits<double>::quiet_NaN();
        if (s == "Infinity") return std::numeric_limits<double>::infinity();
        if (s == "-Infinity") return -std::numeric_limits<double>::infinity();
    }
    throwJsonTypeError(p, "a number");
}

StrictDecimal JsonCodec<StrictDecimal>::read(const Json& j, const JsonPath& p) {
    if (!j.is_number()) throwJsonTypeError(p, "a number");
    return {j.get<double>()};
}

Json JsonCodec<double>::write(double v) {
    if (std::isnan(v)) return Json("NaN");
    if (std::isinf(v)) return Json(v < 0 ? "-Infinity" : "Infinity");
    return Json(v);
}

Date JsonCodec<Date>::read(const Json& j, const JsonPath& p) {
    if (j.is_string()) {
        if (auto d = parseISODate(j.get_ref<const std::string&>())) return *d;
    }
    throwJsonTypeError(p, "an ISO-8601 date such as \"2025-03-14T09:26:53Z\"");
}

Uuid JsonCodec<Uuid>::read(const Json& j, const JsonPath& p) {
    if (j.is_string()) {
        if (auto u = Uuid::parse(j.get_ref<const std::string&>())) return *u;
    }
    throwJsonTypeError(p, "a UUID");
}

TextSet JsonCodec<TextSet>::read(const Json& j, const JsonPath& p) {
    if (!j.is_array()) throwJsonTypeError(p, "an array");
    TextSet out;
    for (std::size_t i = 0; i < j.size(); ++i) out.insert(JsonCodec<std::string>::read(j[i], p.index(i)));
    return out;
}

Json JsonCodec<TextSet>::write(const TextSet& v) {
    Json out = Json::array();
    for (const auto& s : v) out.push_back(s);
    return out;
}

JsonObjectReader::JsonObjectReader(const Json& j, const JsonPath& path) : j_(j), path_(path) {
    if (!j.is_object()) throwJsonTypeError(path, "an object");
}

const Json* JsonObjectReader::member(std::string_view key) const {
    auto it = j_.find(key);
    if (it == j_.end()) return nullptr;
    const Json* found = &*it;
    if (!wasFound(found)) {
        if (foundCount_ < found_.size()) {
            found_[foundCount_] = found;
        } else {
            moreFound_.push_back(found);
        }
        ++foundCount_;
    }
    return found;
}

bool JsonObjectReader::wasFound(const Json* value) const {
    const auto first = found_.begin(), last = first + std::min(foundCount_, found_.size());
    return std::find(first, last, value) != last ||
           std::find(moreFound_.begin(), moreFound_.end(), value) != moreFound_.end();
}

JsonUnknown JsonObjectReader::unknown() const {
    JsonUnknown out;
    if (foundCount_ == j_.size()) return out;
    Json members = Json::object();
    for (auto it = j_.begin(); it != j_.end(); ++it) {
        if (!wasFound(&*it)) members[it.key()] = *it;
    }
    out.members_ = std::make_shared<const Json>(std::move(members));
    return out;
}

JsonObjectWriter& JsonObjectWriter::keep(const JsonUnknown& unknown) {
    if (const Json* members = unknown.members()) {
        for (auto it = members->begin(); it != members->end(); ++it) obj_.emplace(it.key(), *it);
    }
    return *this;
}

void JsonObjectReader::missing(std::string_view key) const {
    throw JsonDecodeError("Missing value for " + where(path_.key(key)) + ".");
}

namespace {
// The bytes the nesting check looks at; it skips the rest in a tight loop.
constexpr std::array<bool, 256> nestingBytes = [] {
    std::array<bool, 256> t{};
    for (const unsigned char c : {'[', '{', ']', '}', '"'}) t[c] = true;
    return t;
}();
} // namespace

bool jsonNestsDeeperThan(std::string_view text, std::size_t levels) {
    std::size_t depth = 0;
    const char* p = text.data();
    const char* const end = p + text.size();
    for (;;) {
        while (p != end && !nestingBytes[static_cast<unsigned char>(*p)]) ++p;
        if (p == end) return false;
        switch (*p++) {
        case '[':
        case '{':
            if (++depth > levels) return true;
            break;
        case ']':
        case '}':
            // Past the end of the first value the parser reads no further.
            if (depth <= 1) return false;
            --depth;
            break;
        default: // '"': on past the closing quote; a backslash escapes the byte after it
            while (p != end && *p != '"') p += (*p == '\\' && end - p > 1) ? 2 : 1;
            if (p == end) return false;
            ++p;
            break;
        }
    }
}

namespace {
// The parser quotes the token it stopped at ("...; last read: '<token>'; expected ...", "number
// overflow parsing '<token>'"): a whole string or number of the file, megabytes long in a
// damaged one. The message keeps its start.
std::string withTokenCut(std::string msg) {
    for (const std::string_view lead : {std::string_view("last read: '"), std::string_view("parsing '")}) {
        const std::size_t pos = msg.find(lead);
        if (pos == std::string::npos) continue;
        const std::size_t start = pos + lead.size();
        // What follows the token is short; the token itself may hold the same characters.
        std::size_t end =
            msg.find("'; expected ", std::max(start, msg.size() - std::min<std::size_t>(msg.size(), 64)));
        if (end == std::string::npos) {
            if (msg.size() <= start || msg.back() != '\'') return msg;
            end = msg.size() - 1;
        }
        return msg.substr(0, start) + messagePiece(std::string_view(msg).substr(start, end - start)) +
               msg.substr(end);
    }
    return msg;
}
} // namespace

Json parseJsonText(std::string_view text) {
    // The parser would quote the bytes it stopped at.
    if (auto why = whyNotText(text)) throw JsonDecodeError("The file " + *why + ".");
    if (jsonNestsDeeperThan(text, maxJsonDepth)) {
        throw JsonTooDeep("The file is nested more than " + integerText(std::int64_t(maxJsonDepth)) +
                          " levels deep.");
    }
    try {
        return Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) { // syntax errors, and numbers beyond a double (406)
        std::string msg = e.what();
        // Drop the library's "[json.exception.parse_error.101] " tag.
        if (auto pos = msg.find("] "); pos != std::string::npos && msg.rfind("[json.", 0) == 0)
            msg = msg.substr(pos + 2);
        throw JsonDecodeError("The file is not valid JSON: " + withTokenCut(std::move(msg)));
    }
}

std::string dumpJsonPretty(const Json& j) {
    return j.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string dumpJsonCompact(const Json& j) {
    return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {

// One step down into an object (key) or an array (index).
struct JsonStep {
    const std::string* key = nullptr;
    std::size_t index = 0;
};

// Finds the first number that is not finite. The steps down to it are collected on the way
// back up (deepest first), so nothing is allocated while the document is fine.
bool findNonFinite(const OrderedJson& j, std::vector<JsonStep>& steps) {
    if (j.is_number_float()) return !std::isfinite(j.get<double>());
    if (j.is_object()) {
        for (auto it = j.begin(); it != j.end(); ++it) {
            if (findNonFinite(it.value(), steps)) {
                steps.push_back({&it.key(), 0});
                return true;
            }
        }
    } else if (j.is_array()) {
        for (std::size_t i = 0; i < j.size(); ++i) {
            if (findNonFinite(j[i], steps)) {
                steps.push_back({nullptr, i});
                return true;
            }
        }
    }
    return false;
}

} // namespace

std::string dumpJsonCompactStrict(const OrderedJson& j) {
    std::vector<JsonStep> steps;
    if (findNonFinite(j, steps)) {
        JsonPath path;
        for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
            path = it->key != nullptr ? path.key(*it->key) : path.index(it->index);
        }
        throw JsonEncodeError("A number that is not finite cannot be written in JSON at " + where(path) +
                              ".");
    }
    return dumpJsonCompactNullingNonFinite(j);
}

std::string dumpJsonCompactNullingNonFinite(const OrderedJson& j) {
    // nlohmann writes NaN and the infinities as null.
    return j.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

} // namespace rig
