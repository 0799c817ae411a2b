#include "PublishAddresses.h"

#include "QtText.h"
#include "WebLinks.h"
#include "base/Text.h"
#include "model/Project.h"

#include <QHostAddress>

namespace rig::app {

std::optional<QUrl> publishUrl(const QString& server, const QString& path) {
    QString base = toQ(trimWhite(toStd(server)));
    while (base.endsWith(u'/')) base.chop(1);
    const QUrl url(base + path, QUrl::StrictMode);
    if (!isWebLink(url) || url.hasQuery() || url.hasFragment()) return std::nullopt;
    return url;
}

std::optional<QString> tokenSegment(const QString& token) {
    if (token.isEmpty() || token == u"." || token == u"..") return std::nullopt;
    return QString::fromLatin1(QUrl::toPercentEncoding(token));
}

bool isLocalNetworkHost(const QString& host) {
    // QUrl gives host names in lower case.
    if (host == u"localhost" || (host.size() > 6 && host.endsWith(u".local"))) return true;
    QHostAddress address;
    if (!address.setAddress(host)) return false;
    bool v4 = false;
    const quint32 ipv4 = address.toIPv4Address(&v4); // also an IPv4 address mapped into IPv6
    if (v4) {
        const QHostAddress a(ipv4);
        return a.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8) ||
               a.isInSubnet(QHostAddress(QStringLiteral("10.0.0.0")), 8) ||
               a.isInSubnet(QHostAddress(QStringLiteral("172.16.0.0")), 12) ||
               a.isInSubnet(QHostAddress(QStringLiteral("192.168.0.0")), 16);
    }
    return address == QHostAddress(QHostAddress::LocalHostIPv6) ||
           address.isInSubnet(QHostAddress(QStringLiteral("fc00::")), 7);
}

ServerTransport serverTransport(const QString& server) {
    const std::optional<QUrl> url = publishUrl(server, QStringLiteral("/api/rig"));
    return url ? transportOf(*url) : ServerTransport::invalid;
}

ServerTransport transportOf(const QUrl& url) {
    if (url.scheme() == u"https") return ServerTransport::encrypted;
    return isLocalNetworkHost(url.host()) ? ServerTransport::localNetwork : ServerTransport::unencrypted;
}

namespace {

// Characters that draw nothing, move the text around or break the line.
bool hasHiddenCharacters(const QString& text) {
    for (const char32_t c : text.toUcs4()) {
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return true;
        default:
            break;
        }
    }
    return false;
}

} // namespace

std::optional<QUrl> crewLinkUrl(const QString& text) {
    // Measured before anything reads the whole text.
    if (text.size() > maxCrewLinkLength) return std::nullopt;
    // A web link first, then narrower: plain http only within the local network.
    const std::optional<QUrl> url = webLinkUrl(text);
    if (!url) return std::nullopt;
    // "https://crew.example.com@evil.example/" goes to evil.example; an "@" within a user part
    // stays percent-encoded, so any "@" left in the authority starts one.
    if (!url->userInfo().isEmpty() || url->authority(QUrl::FullyEncoded).contains(u'@')) return std::nullopt;
    if (hasHiddenCharacters(text) || hasHiddenCharacters(QUrl::fromPercentEncoding(text.toUtf8())))
        return std::nullopt;
    if (transportOf(*url) == ServerTransport::unencrypted) return std::nullopt;
    return url;
}

std::optional<QUrl> storedCrewLink(const Project& project) {
    if (!project.share) return std::nullopt;
    return crewLinkUrl(toQ(project.share->url));
}

} // namespace rig::app
