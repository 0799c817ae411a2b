// Which server addresses a request may go to and which crew links a server may hand out:
// the publish key and the link both leave the program, so both are checked before use.
#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace rig {
struct Project;
}

namespace rig::app {

// The request URL: the address without surrounding blanks and tabs and without trailing
// "/", followed by `path`. Only an absolute http or https URL with a host and without
// query or fragment is accepted.
std::optional<QUrl> publishUrl(const QString& server, const QString& path);
// A token as one path segment (percent-encoded); nothing for "", "." and "..".
std::optional<QString> tokenSegment(const QString& token);

// Loopback and private-network hosts (127/8, ::1, 10/8, 172.16/12, 192.168/16, fc00::/7,
// "localhost" and names ending in ".local"): the only ones reached over plain http.
bool isLocalNetworkHost(const QString& host);

// How requests to a server address travel. Plain http to any other host is refused: the
// key would cross the internet readable by anyone on the way.
enum class ServerTransport { encrypted, localNetwork, unencrypted, invalid };
ServerTransport serverTransport(const QString& server);
// The same for an http or https URL already parsed: never invalid.
ServerTransport transportOf(const QUrl& url);

// The longest crew link taken. A server's link is its address and a token, well under a
// hundred characters; 2,048 is the length browsers and servers have long taken as safe, and
// still fits a QR code (level M holds 2,331 bytes) and a line or two of the printed page.
inline constexpr qsizetype maxCrewLinkLength = 2048;

// A crew link from the server as it may be stored, shown, copied and put into a QR code: an
// absolute https URL (http only to a local-network host) of at most maxCrewLinkLength
// characters, without a user or password part (it would read as one host and open another),
// without control or format characters, line or paragraph separators, also once
// percent-decoded. Nothing otherwise.
std::optional<QUrl> crewLinkUrl(const QString& text);

// The project's crew link by the same rule: a project file is no more trusted than a server.
// Nothing when the project has no link or its link fails the rule.
std::optional<QUrl> storedCrewLink(const Project& project);

} // namespace rig::app
