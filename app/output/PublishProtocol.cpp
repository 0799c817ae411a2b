#include "PublishProtocol.h"

#include "analysis/CrewDoc.h"
#include "base/Json.h"
#include "base/Number.h"

#include <cmath>
#include <utility>

namespace rig::app {

namespace {

// Parses an answer body; syntax errors, invalid UTF-8, numbers beyond a double and nesting
// deeper than any answer has fail.
Json parseAnswer(std::string_view body) {
    try {
        return parseJsonText(body);
    } catch (const JsonTooDeep&) {
        throw PublishDecodeError("The server’s answer could not be read: it is nested more than " +
                                 integerText(std::int64_t(maxJsonDepth)) + " levels deep.");
    } catch (const JsonDecodeError&) {
        throw PublishDecodeError("The server’s answer is not valid JSON.");
    }
}

// A finite JSON number; the project file's "NaN" texts are not part of this protocol.
double readTime(const JsonObjectReader& o, std::string_view key) {
    const double value = o.req<double>(key);
    if (!std::isfinite(value)) throwJsonTypeError(o.path().key(key), "a number");
    return value;
}

// One entry of the link list, read through the library's record reader.
struct LinkRecord {
    ServerLink link;

    Json toJson() const { return Json::object(); } // never written
    static LinkRecord fromJson(const Json& j, const JsonPath& path) {
        JsonObjectReader o(j, path);
        LinkRecord r;
        r.link.token = o.req<std::string>("token");
        r.link.url = o.req<std::string>("url");
        r.link.name = o.req<std::string>("name");
        r.link.report = o.req<std::string>("report");
        r.link.sources = o.req<std::int64_t>("sources");
        r.link.createdAt = readTime(o, "createdAt");
        r.link.updatedAt = readTime(o, "updatedAt");
        return r;
    }
};

template <class F>
auto decoding(F&& read) {
    try {
        return read();
    } catch (const JsonDecodeError& e) {
        throw PublishDecodeError(std::string("The server’s answer could not be read: ") + e.what());
    }
}

} // namespace

PublishResponse decodePublishResponse(std::string_view body) {
    const Json j = parseAnswer(body);
    return decoding([&] {
        JsonObjectReader o(j, JsonPath());
        PublishResponse r;
        r.token = o.req<std::string>("token");
        r.url = o.req<std::string>("url");
        return r;
    });
}

std::vector<ServerLink> decodeServerLinks(std::string_view body) {
    const Json j = parseAnswer(body);
    return decoding([&] {
        JsonObjectReader o(j, JsonPath());
        std::vector<ServerLink> out;
        for (LinkRecord& r : o.req<std::vector<LinkRecord>>("links")) out.push_back(std::move(r.link));
        return out;
    });
}

std::optional<std::string> serverErrorMessage(std::string_view body) {
    Json j;
    try {
        j = parseJsonText(body);
    } catch (const JsonDecodeError&) {
        return std::nullopt;
    }
    if (!j.is_object()) return std::nullopt;
    for (const auto& [key, value] : j.items()) {
        if (!value.is_string()) return std::nullopt;
    }
    auto it = j.find("error");
    if (it == j.end()) return std::nullopt;
    return it->get<std::string>();
}

std::string encodePublishBody(const CrewDoc& doc, const std::optional<std::string>& token) {
    std::string body = "{";
    if (token) body += "\"token\":" + dumpJsonCompactStrict(OrderedJson(*token)) + ",";
    body += "\"doc\":" + doc.encode() + "}";
    return body;
}

} // namespace rig::app

std::size_t std::hash<rig::app::ServerLink>::operator()(const rig::app::ServerLink& link) const noexcept {
    std::size_t h = 0;
    auto mix = [&h](std::size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    mix(std::hash<std::string>{}(link.token));
    mix(std::hash<std::string>{}(link.url));
    mix(std::hash<std::string>{}(link.name));
    mix(std::hash<std::string>{}(link.report));
    mix(std::hash<std::int64_t>{}(link.sources));
    mix(std::hash<double>{}(link.createdAt));
    mix(std::hash<double>{}(link.updatedAt));
    return h;
}
