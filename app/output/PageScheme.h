// Generated pages served to WebEngine from memory. setHtml() gives up at about 2 MB and the
// crew page of a large show is bigger, so pages are loaded from an address of our own scheme.
#pragma once

#include <QByteArray>
#include <QUrl>
#include <QWebEnginePage>

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

// Whether a navigation to `url` stays on the page at `home`: a reload or a jump to one of its
// anchors.
bool staysOnPage(const QUrl& home, const QUrl& url);

// A page that never leaves the address it was loaded from: every navigation elsewhere (a
// script, a form, a link) is refused.
class PinnedPage : public QWebEnginePage {
    Q_OBJECT
public:
    using QWebEnginePage::QWebEnginePage;
    // Loads `url`, the page's one address from now on.
    void loadPinned(const QUrl& url);

signals:
    void navigationRefused(const QUrl& url);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    // The program's pages ask nothing of the user. A script's alert, confirm or prompt would
    // hold the window in a modal dialog, or a page nobody sees for ever: none is shown, and
    // the script hears "no".
    void javaScriptAlert(const QUrl& origin, const QString& message) override;
    bool javaScriptConfirm(const QUrl& origin, const QString& message) override;
    bool javaScriptPrompt(const QUrl& origin, const QString& message, const QString& defaultValue,
                          QString* result) override;
    // A navigation that was refused, before navigationRefused.
    virtual void refused(const QUrl& url, NavigationType type);

private:
    QUrl home_;
};

} // namespace rig::app
