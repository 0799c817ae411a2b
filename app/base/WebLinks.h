// Links the program hands to the web browser: from the publish server, the project and the
// crew page. Only http and https are handed on: a "file:" or custom-scheme link would start a
// local program. Main thread only.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace rig::app {

// A valid absolute URL whose scheme is exactly http or https, with a host.
bool isWebLink(const QUrl& url);

// The text as a web link (strict parsing); nothing else.
std::optional<QUrl> webLinkUrl(const QString& text);

// Hands the link to the web browser when it is a web link; false (nothing opened) otherwise.
bool openWebLink(const QString& text);
bool openWebLink(const QUrl& url);

// Where links go: QDesktopServices unless replaced. Tests put their own in; the previous
// opener is returned (empty for the default).
using LinkOpener = std::function<void(const QUrl&)>;
LinkOpener setLinkOpener(LinkOpener opener);

// Whether links, mail drafts and written files may be handed to other programs (browser, mail
// program, file manager); on unless turned off. While off, nothing is opened and nothing says so.
void setOpeningOutside(bool allowed);
bool openingOutside();

// A message to the mail program with this subject and body ("mailto:" made here, never
// taken from the server); goes through the same opener.
void openMailDraft(const QString& subject, const QString& body);

} // namespace rig::app
