// The JSON types by name only, and the errors of reading and writing, for headers that
// declare JSON forms (toJson, fromJson) without paying for the JSON library. Code that builds
// or reads JSON values includes base/Json.h.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <memory>
#include <stdexcept>

namespace rig {

using Json = nlohmann::json;
// Keys kept in the order they are put in, for formats whose key order is part of the contract.
using OrderedJson = nlohmann::ordered_json;
// Where a value sits in the document, for error messages.
class JsonPath;

// The members of a record's JSON object that this program does not know: a file written by a
// newer version keeps them when it is saved here. Read once and never changed, so copies of
// a record share them. Records leave them out of their equality: nothing here can change or
// show them, so two records that differ only there are the same to this program (its change
// rule and the crew view's "changed since publish" compare what it knows).
class JsonUnknown {
public:
    bool empty() const { return members_ == nullptr; }
    // An object of the members, or null when there are none.
    const Json* members() const { return members_.get(); }

private:
    friend class JsonObjectReader;
    std::shared_ptr<const Json> members_;
};

// A document that does not read: what is wrong and where ("Missing value for \"name\".").
class JsonDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// A text whose arrays and objects nest deeper than any reader takes (maxJsonDepth in
// base/Json.h); refused before a value is built.
class JsonTooDeep : public JsonDecodeError {
public:
    using JsonDecodeError::JsonDecodeError;
};
// A value that cannot be written, such as a number that is not finite.
class JsonEncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace rig
