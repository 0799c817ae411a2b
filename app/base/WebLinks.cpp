#include "WebLinks.h"

#include <QDesktopServices>

#include <utility>

namespace rig::app {

namespace {

LinkOpener& currentOpener() {
    static LinkOpener opener;
    return opener;
}

bool& outsideAllowed() {
    static bool allowed = true;
    return allowed;
}

void open(const QUrl& url) {
    if (!outsideAllowed()) return;
    if (const LinkOpener& opener = currentOpener()) {
        opener(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

} // namespace

bool isWebLink(const QUrl& url) {
    if (!url.isValid() || url.isRelative() || url.host().isEmpty()) return false;
    // QUrl keeps schemes in lower case; "httpx:" or "https-evil:" are other schemes.
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

std::optional<QUrl> webLinkUrl(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!isWebLink(url)) return std::nullopt;
    return url;
}

bool openWebLink(const QString& text) {
    const std::optional<QUrl> url = webLinkUrl(text);
    return url && openWebLink(*url);
}

bool openWebLink(const QUrl& url) {
    if (!isWebLink(url)) return false;
    open(url);
    return true;
}

LinkOpener setLinkOpener(LinkOpener opener) {
    return std::exchange(currentOpener(), std::move(opener));
}

void setOpeningOutside(bool allowed) {
    outsideAllowed() = allowed;
}

bool openingOutside() {
    return outsideAllowed();
}

void openMailDraft(const QString& subject, const QString& body) {
    // Every reserved character encoded, so "&", "=" and "#" in a project name stay text.
    const QByteArray query =
        "subject=" + QUrl::toPercentEncoding(subject) + "&body=" + QUrl::toPercentEncoding(body);
    QUrl url(QStringLiteral("mailto:"));
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    open(url);
}

} // namespace rig::app
