#include "WebLinks.h"

#include <QDesktopServices>

#include <utility>

namespace rig::app {

namespace {

LinkOpener& currentOpener() {
    static LinkOpener opener;
    return opener;
}

void open(const QUrl& url) {
    if (const LinkOpener& opener = currentOpener()) {
        opener(url);
    } else {
        QDesktopServices::openUrl(url);
    }
}

} // namespace

std::optional<QUrl> webLinkUrl(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https")) return std::nullopt;
    if (url.host().isEmpty()) return std::nullopt;
    return url;
}

bool openWebLink(const QString& text) {
    const std::optional<QUrl> url = webLinkUrl(text);
    if (!url) return false;
    open(*url);
    return true;
}

LinkOpener setLinkOpener(LinkOpener opener) {
    return std::exchange(currentOpener(), std::move(opener));
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
