// Links that come from the publish server, opened in the web browser. Only http and https
// are handed on: a "file:" or custom-scheme link from a hostile server would start a local
// program. Main thread only.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace rig::app {

// The text as an absolute http or https URL with a host (strict parsing); nothing else.
std::optional<QUrl> webLinkUrl(const QString& text);

// Hands the text to the web browser when it is a web link; false (nothing opened) otherwise.
bool openWebLink(const QString& text);

// Where links go: QDesktopServices unless replaced. Tests put their own in; the previous
// opener is returned (empty for the default).
using LinkOpener = std::function<void(const QUrl&)>;
LinkOpener setLinkOpener(LinkOpener opener);

// A message to the mail program with this subject and body ("mailto:" made here, never
// taken from the server); goes through the same opener.
void openMailDraft(const QString& subject, const QString& body);

} // namespace rig::app
