// The records exchanged with the publish server and their JSON forms. Plain C++ on the
// library's JSON (no Qt), so the decoders can be fed arbitrary bytes by a fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace rig {
struct CrewDoc;
}

namespace rig::app {

// Answer to a publish: the link's token and the crew link.
struct PublishResponse {
    std::string token;
    std::string url;

    friend bool operator==(const PublishResponse&, const PublishResponse&) = default;
};

// One crew link as the server lists it. Times are milliseconds since 1970-01-01 UTC.
struct ServerLink {
    std::string token;
    std::string url;
    std::string name;
    std::string report;
    std::int64_t sources = 0;
    double createdAt = 0;
    double updatedAt = 0;

    friend bool operator==(const ServerLink&, const ServerLink&) = default;
};

// An answer that does not have the expected form; what() says what is wrong.
class PublishDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// {"token": …, "url": …}: both required texts; other keys ignored. Throws PublishDecodeError.
PublishResponse decodePublishResponse(std::string_view body);
// {"links": [ServerLink…]}: every link needs all seven keys. Throws PublishDecodeError.
std::vector<ServerLink> decodeServerLinks(std::string_view body);
// The server's own message: the "error" value of a body that is a JSON object whose values
// are all texts. Nothing for any other body. Never throws.
std::optional<std::string> serverErrorMessage(std::string_view body);

// {"token": …, "doc": <the crew document's own JSON>}; "token" left out when absent.
// Throws JsonEncodeError when the document holds a number JSON cannot write.
std::string encodePublishBody(const CrewDoc& doc, const std::optional<std::string>& token);

} // namespace rig::app

template <>
struct std::hash<rig::app::ServerLink> {
    std::size_t operator()(const rig::app::ServerLink& link) const noexcept;
};
