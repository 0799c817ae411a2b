// Strict JSON reading and writing of model records on nlohmann-json.
//
// Records provide `Json toJson() const` and `static T fromJson(const Json&, const JsonPath&)`.
// Reading rules: a required key fails on absence and on null; an optional key reads
// missing or null as absent; types are exact; integers must be whole and fit 64 bits;
// unknown keys are ignored, or kept by records that hold a JsonUnknown. A failed read throws
// JsonDecodeError naming the key path.
// Decimals that are not finite are written as the strings "NaN", "Infinity", "-Infinity"
// and read back from them.
#pragma once

#include "base/Date.h"
#include "base/JsonFwd.h"
#include "base/List.h"
#include "base/TextMap.h"
#include "base/Uuid.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rig {

// Where a value sits in the document, for error messages ("report.sources[2].name").
class JsonPath {
public:
    JsonPath() = default;
    JsonPath key(std::string_view k) const;
    JsonPath index(std::size_t i) const;
    const std::string& str() const { return text_; }

private:
    std::string text_;
};

[[noreturn]] void throwJsonTypeError(const JsonPath& path, std::string_view expected);

template <class T>
struct JsonCodec; // read(const Json&, const JsonPath&) -> T; write(const T&) -> Json

template <class T>
concept JsonRecord = requires(const T& t, const Json& j, const JsonPath& p) {
    { t.toJson() } -> std::convertible_to<Json>;
    { T::fromJson(j, p) } -> std::convertible_to<T>;
};

template <class T>
T readJson(const Json& j, const JsonPath& path) {
    if constexpr (JsonRecord<T>) {
        if (!j.is_object()) throwJsonTypeError(path, "an object");
        return T::fromJson(j, path);
    } else {
        return JsonCodec<T>::read(j, path);
    }
}

template <class T>
Json writeJson(const T& value) {
    if constexpr (JsonRecord<T>) {
        return value.toJson();
    } else {
        return JsonCodec<T>::write(value);
    }
}

template <>
struct JsonCodec<std::string> {
    static std::string read(const Json& j, const JsonPath& p);
    static Json write(const std::string& v) { return Json(v); }
};
template <>
struct JsonCodec<bool> {
    static bool read(const Json& j, const JsonPath& p);
    static Json write(bool v) { return Json(v); }
};
template <>
struct JsonCodec<std::int64_t> {
    static std::int64_t read(const Json& j, const JsonPath& p);
    static Json write(std::int64_t v) { return Json(v); }
};
template <>
struct JsonCodec<double> {
    static double read(const Json& j, const JsonPath& p);
    static Json write(double v);
};
// A decimal read strictly: a JSON number only, for formats without the project file's
// "NaN" and "Infinity" strings.
struct StrictDecimal {
    double value = 0;
};
template <>
struct JsonCodec<StrictDecimal> {
    static StrictDecimal read(const Json& j, const JsonPath& p);
    static Json write(StrictDecimal d) { return Json(d.value); }
};
template <>
struct JsonCodec<Date> {
    static Date read(const Json& j, const JsonPath& p);
    static Json write(Date v) { return Json(formatISODate(v)); }
};
template <>
struct JsonCodec<Uuid> {
    static Uuid read(const Json& j, const JsonPath& p);
    static Json write(const Uuid& v) { return Json(v.str()); }
};
template <class T>
struct JsonCodec<std::vector<T>> {
    static std::vector<T> read(const Json& j, const JsonPath& p) {
        if (!j.is_array()) throwJsonTypeError(p, "an array");
        std::vector<T> out;
        out.reserve(j.size());
        for (std::size_t i = 0; i < j.size(); ++i) out.push_back(readJson<T>(j[i], p.index(i)));
        return out;
    }
    static Json write(const std::vector<T>& v) {
        Json out = Json::array();
        for (const T& e : v) out.push_back(writeJson(e));
        return out;
    }
};
template <class T>
struct JsonCodec<List<T>> {
    static List<T> read(const Json& j, const JsonPath& p) {
        return List<T>(JsonCodec<std::vector<T>>::read(j, p));
    }
    static Json write(const List<T>& v) { return JsonCodec<std::vector<T>>::write(v.vec()); }
};
template <class V>
struct JsonCodec<TextMap<V>> {
    static TextMap<V> read(const Json& j, const JsonPath& p) {
        if (!j.is_object()) throwJsonTypeError(p, "an object");
        TextMap<V> out;
        for (auto it = j.begin(); it != j.end(); ++it)
            out.set(it.key(), readJson<V>(it.value(), p.key(it.key())));
        return out;
    }
    static Json write(const TextMap<V>& v) {
        Json out = Json::object();
        for (const auto& [k, e] : v) out[k] = writeJson(e);
        return out;
    }
};
template <>
struct JsonCodec<TextSet> {
    static TextSet read(const Json& j, const JsonPath& p);
    static Json write(const TextSet& v);
};

// Reads the members of one JSON object.
class JsonObjectReader {
public:
    // Throws when `j` is not an object.
    JsonObjectReader(const Json& j, const JsonPath& path);
    JsonObjectReader(const JsonObjectReader&) = delete;
    JsonObjectReader& operator=(const JsonObjectReader&) = delete;

    template <class T>
    T req(std::string_view key) const {
        const Json* v = member(key);
        if (v == nullptr || v->is_null()) missing(key);
        return readJson<T>(*v, path_.key(key));
    }
    template <class T>
    std::optional<T> opt(std::string_view key) const {
        const Json* v = member(key);
        if (v == nullptr || v->is_null()) return std::nullopt;
        return readJson<T>(*v, path_.key(key));
    }
    const JsonPath& path() const { return path_; }
    // The members not asked for so far: call it after reading every known key.
    JsonUnknown unknown() const;

private:
    const Json* member(std::string_view key) const;
    bool wasFound(const Json* value) const;
    [[noreturn]] void missing(std::string_view key) const;
    const Json& j_;
    JsonPath path_;
    // The members found so far; records have fewer than 32 keys, more go to the vector.
    mutable std::array<const Json*, 32> found_{};
    mutable std::size_t foundCount_ = 0;
    mutable std::vector<const Json*> moreFound_;
};

// Builds one JSON object; optional fields are left out when absent.
class JsonObjectWriter {
public:
    template <class T>
    JsonObjectWriter& put(const char* key, const T& value) {
        obj_[key] = writeJson(value);
        return *this;
    }
    template <class T>
    JsonObjectWriter& opt(const char* key, const std::optional<T>& value) {
        if (value) obj_[key] = writeJson(*value);
        return *this;
    }
    // Writes back the members read but not known, after the known ones (which they never
    // replace).
    JsonObjectWriter& keep(const JsonUnknown& unknown);
    Json take() { return std::move(obj_); }

private:
    Json obj_ = Json::object();
};

// Builds one object whose keys keep the order they are put in; optional fields are left
// out when absent. Values go in as nlohmann converts them (texts, numbers, flags, vectors
// of these, nested OrderedJson). Each key is put once: the writer does not look for it.
class OrderedJsonWriter {
public:
    // `fields`: how many keys the object will hold at most, to allocate once.
    explicit OrderedJsonWriter(std::size_t fields = 0) { members().reserve(fields); }

    template <class T>
    OrderedJsonWriter& put(const char* key, T&& value) {
        members().emplace_back(key, OrderedJson(std::forward<T>(value)));
        return *this;
    }
    template <class T>
    OrderedJsonWriter& opt(const char* key, const std::optional<T>& value) {
        if (value) put(key, *value);
        return *this;
    }
    template <class T>
    OrderedJsonWriter& opt(const char* key, std::optional<T>&& value) {
        if (value) put(key, std::move(*value));
        return *this;
    }
    // The finished object; the writer is spent.
    OrderedJson take() { return std::move(obj_); }

private:
    OrderedJson::object_t& members() { return obj_.get_ref<OrderedJson::object_t&>(); }
    OrderedJson obj_ = OrderedJson::object();
};

// The deepest nesting of arrays and objects a reader takes; real files stay within a dozen
// levels. Values are copied, compared and written recursively, so a text nested deeper is
// refused before anything is built from it.
inline constexpr std::size_t maxJsonDepth = 512;
// Whether the arrays and objects of `text` nest deeper than `levels`: brackets are counted
// outside strings, up to the end of the first whole array or object. A text that is no JSON
// may be counted deep too; a parser refuses it either way.
bool jsonNestsDeeperThan(std::string_view text, std::size_t levels);

// Parses JSON text; a syntax error throws JsonDecodeError with the line and column, a text
// nested deeper than maxJsonDepth throws JsonTooDeep ("The file is nested more than 512
// levels deep.").
Json parseJsonText(std::string_view text);
// Indented text with sorted keys (nlohmann objects are sorted); invalid UTF-8 replaced.
std::string dumpJsonPretty(const Json& j);
// Compact text without blanks, sorted keys.
std::string dumpJsonCompact(const Json& j);
// Compact text without blanks, keys in their stored order, invalid UTF-8 replaced. JSON
// has no form for a number that is not finite: one throws JsonEncodeError naming its
// place (never null, never the "NaN" strings of the decimal codec).
std::string dumpJsonCompactStrict(const OrderedJson& j);
// The same text, except that a number that is not finite is written as null.
std::string dumpJsonCompactNullingNonFinite(const OrderedJson& j);

// Reads a whole record from JSON text; throws JsonDecodeError.
template <class T>
T decodeJsonText(std::string_view text) {
    Json j = parseJsonText(text);
    return readJson<T>(j, JsonPath());
}

} // namespace rig
