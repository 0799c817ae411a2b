// The decoders of the publish server's answers on arbitrary bytes: each either decodes or
// fails with its own error, and what decodes survives being written and read again.
#include "PublishProtocol.h"

#include "base/Json.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

std::string encodeLinks(const std::vector<rig::app::ServerLink>& links) {
    rig::Json list = rig::Json::array();
    for (const auto& l : links) {
        list.push_back({{"token", l.token},
                        {"url", l.url},
                        {"name", l.name},
                        {"report", l.report},
                        {"sources", l.sources},
                        {"createdAt", l.createdAt},
                        {"updatedAt", l.updatedAt}});
    }
    return rig::Json{{"links", list}}.dump();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    using namespace rig::app;

    try {
        const PublishResponse r = decodePublishResponse(body);
        const std::string again = rig::Json{{"token", r.token}, {"url", r.url}}.dump();
        if (!(decodePublishResponse(again) == r)) __builtin_trap();
    } catch (const PublishDecodeError&) {
    }

    try {
        const std::vector<ServerLink> links = decodeServerLinks(body);
        if (decodeServerLinks(encodeLinks(links)) != links) __builtin_trap();
    } catch (const PublishDecodeError&) {
    }

    if (const auto message = serverErrorMessage(body)) {
        // Only a JSON object of texts has a message, so the body itself is valid JSON.
        if (!rig::Json::accept(body)) __builtin_trap();
    }
    return 0;
}
