// The JSON types by name only, and the errors of reading and writing, for headers that
// declare JSON forms (toJson, fromJson) without paying for the JSON library. Code that builds
// or reads JSON values includes base/Json.h.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <stdexcept>

namespace rig {

using Json = nlohmann::json;
// Keys kept in the order they are put in, for formats whose key order is part of the contract.
using OrderedJson = nlohmann::ordered_json;
// Where a value sits in the document, for error messages.
class JsonPath;

// A document that does not read: what is wrong and where ("Missing value for \"name\".").
class JsonDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// A value that cannot be written, such as a number that is not finite.
class JsonEncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace rig
