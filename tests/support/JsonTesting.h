// Test helpers for records with a JSON form (header only: it uses GoogleTest).
#pragma once

#include "base/Json.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace rig::test {

template <class T>
T read(const Json& j) {
    return readJson<T>(j, JsonPath());
}

// Written to compact text and read back.
template <class T>
T roundTrip(const T& value) {
    return decodeJsonText<T>(dumpJsonCompact(writeJson(value)));
}

template <class T>
bool reads(std::string_view text) {
    try {
        decodeJsonText<T>(text);
        return true;
    } catch (const JsonDecodeError&) {
        return false;
    }
}

// `sample` must have every optional key set. Each required key fails the read when
// missing or null; each optional key reads the same missing as null, and not as `sample`.
template <class T>
void expectKeyRules(const T& sample, std::initializer_list<const char*> required,
                    std::initializer_list<const char*> optional = {}) {
    const Json full = writeJson(sample);
    ASSERT_EQ(read<T>(full), sample);
    for (const char* key : required) {
        Json missing = full, null = full;
        EXPECT_EQ(missing.erase(key), 1u) << key << " is not written";
        null[key] = nullptr;
        EXPECT_THROW(read<T>(missing), JsonDecodeError) << "without " << key;
        EXPECT_THROW(read<T>(null), JsonDecodeError) << key << " null";
    }
    for (const char* key : optional) {
        Json missing = full, null = full;
        EXPECT_EQ(missing.erase(key), 1u) << key << " is not written";
        null[key] = nullptr;
        EXPECT_EQ(read<T>(missing), read<T>(null)) << key;
        EXPECT_NE(read<T>(missing), sample) << key;
    }
    EXPECT_EQ(full.size(), required.size() + optional.size()) << "keys written: " << full.dump();
}

// `levels` arrays, each holding the next: "[[[]]]" for 3.
inline std::string nestedArrays(std::size_t levels) {
    return std::string(levels, '[') + std::string(levels, ']');
}

// Marks where withNestedArrays puts its arrays.
inline const char* const nestedPlace = "@nested arrays@";
// The compact text of `doc` with its one string value nestedPlace replaced by `levels` nested
// arrays: so deep a value is never built, since copying and writing values recurse.
inline std::string withNestedArrays(const Json& doc, std::size_t levels) {
    std::string text = dumpJsonCompact(doc);
    const std::string place = dumpJsonCompact(Json(nestedPlace));
    const std::size_t at = text.find(place);
    EXPECT_NE(at, std::string::npos) << "no place for the arrays";
    if (at != std::string::npos) text.replace(at, place.size(), nestedArrays(levels));
    return text;
}

} // namespace rig::test
