// The crew page shown live in the window: loaded once, then redrawn through rigUpdate.
#pragma once

#include "PageScheme.h"
#include "WebLinks.h"
#include "analysis/CrewDoc.h"

#include <QPointer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QWebEngineView;

namespace rig::app {

// The page of a CrewWebView: it never leaves its own address; web links (isWebLink) go to the
// browser.
class CrewWebPage : public PinnedPage {
    Q_OBJECT
public:
    CrewWebPage(QWebEngineProfile* profile, LinkOpener opener, QObject* parent = nullptr);
    void setLinkOpener(LinkOpener opener) { opener_ = std::move(opener); }

protected:
    void refused(const QUrl& url, NavigationType type) override;
    // target=_blank and window.open: the address goes to the browser, no window opens here.
    QWebEnginePage* createWindow(WebWindowType type) override;

private:
    LinkOpener opener_;
};

class CrewWebView : public QWidget {
    Q_OBJECT
public:
    // Loads the crew page (mode "crew") of `doc`. `templateText` replaces the template
    // resource (tests).
    CrewWebView(const CrewDoc& doc, bool split, QWidget* parent = nullptr,
                std::optional<QString> templateText = std::nullopt);
    ~CrewWebView() override;

    // A new document or layout: redrawn at once when the page has loaded, else held and
    // pushed when it has (only the latest one). The page is never reloaded for it, except
    // after the view gave up on an earlier document.
    void setDocument(const CrewDoc& doc, bool split);

    bool isLoaded() const { return loaded_; }
    // The page's renderer ended twice with the same document: the view shows a message
    // instead until another document arrives.
    bool hasFailed() const { return failedJson_.has_value(); }
    QWebEngineView* view() const { return view_; }
    CrewWebPage* page() const { return page_; }

    // Where web links go; openWebLink by default.
    void setLinkOpener(LinkOpener opener);

    // "dark" or "light": what the page is told to follow, from the widget's palette (WebEngine
    // here does not see the desktop's colour scheme itself).
    QString colorScheme() const;

signals:
    // The page finished its first load.
    void loaded();

protected:
    void changeEvent(QEvent* event) override;

private:
    // Serves the page of the current document and loads it.
    void load();
    void onLoadFinished(bool ok);
    void onRendererEnded();
    void applyColorScheme();

    QWebEngineView* view_ = nullptr;
    CrewWebPage* page_ = nullptr;
    QLabel* failure_ = nullptr;
    QUrl url_;
    bool loaded_ = false;
    // The document (without its time stamp) the page was last loaded again for after its
    // renderer ended.
    std::optional<QString> reloadedFor_;
    // Set while failed: the document that could not be drawn, without its time stamp.
    std::optional<QString> failedJson_;
    std::optional<std::pair<CrewDoc, bool>> pending_;
    // What the page shows, pushed again when it loads anew (reload, renderer restart).
    std::pair<CrewDoc, bool> current_;
    std::optional<QString> templateText_; // tests: instead of the crew page template
};

} // namespace rig::app
