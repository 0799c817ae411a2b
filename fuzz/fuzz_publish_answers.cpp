// The decoders of the publish server's answers on arbitrary bytes: each either decodes or
// fails with its own error, and what decodes survives being written and read again. A crew
// link that passes the link check holds no control or format characters.
#include "PublishAddresses.h"
#include "PublishProtocol.h"

#include "base/Json.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool hasHiddenCharacter(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        const auto category = QChar::category(c);
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            return true;
    }
    return false;
}

// The link check on any text: an accepted link is a web address without hidden characters.
void checkLink(const std::string& url) {
    const QString text = QString::fromUtf8(url.data(), qsizetype(url.size()));
    const std::optional<QUrl> link = rig::app::crewLinkUrl(text);
    if (!link) return;
    if (hasHiddenCharacter(text) || link->host().isEmpty()) __builtin_trap();
    if (link->scheme() != u"https" && link->scheme() != u"http") __builtin_trap();
}

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
        checkLink(r.url);
        const std::string again = rig::Json{{"token", r.token}, {"url", r.url}}.dump();
        if (!(decodePublishResponse(again) == r)) __builtin_trap();
    } catch (const PublishDecodeError&) {
    }

    try {
        const std::vector<ServerLink> links = decodeServerLinks(body);
        if (decodeServerLinks(encodeLinks(links)) != links) __builtin_trap();
    } catch (const PublishDecodeError&) {
    }

    checkLink(std::string(body));
    rig::app::serverTransport(QString::fromUtf8(body.data(), qsizetype(body.size())));

    if (const auto message = serverErrorMessage(body)) {
        // Only a JSON object of texts has a message, so the body itself is valid JSON.
        if (!rig::Json::accept(body)) __builtin_trap();
    }
    return 0;
}
