// Generated pages served to WebEngine from memory. setHtml() gives up at about 2 MB and the
// crew page of a large show is bigger, so pages are loaded from an address of our own scheme.
#pragma once

#include <QByteArray>
#include <QUrl>

class QWebEngineProfile;

namespace rig::app {

inline constexpr char pageSchemeName[] = "rig-page";

// Declares the scheme to WebEngine. Must run before QApplication exists (prepareApplication).
void registerPageScheme();

// Keeps `html` (UTF-8) in memory and returns a fresh address in `profile` that serves it,
// until releasePage() forgets it. Main thread only.
QUrl servePage(QWebEngineProfile* profile, QByteArray html);
void releasePage(const QUrl& url);

// How many pages are being served (tests check that jobs clean up after themselves).
int servedPageCount();

} // namespace rig::app
