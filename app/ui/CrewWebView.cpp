#include "CrewWebView.h"

#include "CrewPage.h"
#include "PageScheme.h"

#include <QDesktopServices>
#include <QEvent>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace rig::app {

namespace {

LinkOpener browserOpener() {
    return [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

// Stands in for a window the page asks for: hands the first address to the browser and
// goes away.
class LinkCatcher : public QWebEnginePage {
public:
    LinkCatcher(QWebEngineProfile* profile, LinkOpener opener, QObject* parent)
        : QWebEnginePage(profile, parent), opener_(std::move(opener)) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        if (!done_) {
            done_ = true;
            if (opensInBrowser(url) && opener_) opener_(url);
            deleteLater();
        }
        return false;
    }

private:
    LinkOpener opener_;
    bool done_ = false;
};

} // namespace

bool opensInBrowser(const QUrl& url) {
    // Exactly these two: "httpfoo:" or "javascript:" must never reach the browser.
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

CrewWebPage::CrewWebPage(QWebEngineProfile* profile, LinkOpener opener, QObject* parent)
    : QWebEnginePage(profile, parent), opener_(std::move(opener)) {}

bool CrewWebPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) {
    if (type != NavigationTypeLinkClicked || !opensInBrowser(url)) {
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }
    if (opener_) opener_(url);
    return false;
}

QWebEnginePage* CrewWebPage::createWindow(WebWindowType) {
    return new LinkCatcher(profile(), opener_, this);
}

CrewWebView::CrewWebView(const CrewDoc& doc, bool split, QWidget* parent, std::optional<QString> templateText)
    : QWidget(parent), current_(doc, split) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new QWebEngineView(this);
    // The window handles dropped files itself; the view would navigate to them.
    view_->setAcceptDrops(false);
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    page_ = new CrewWebPage(profile, browserOpener(), view_);
    // Until the page draws, the window's own background shows instead of a white flash.
    page_->setBackgroundColor(Qt::transparent);
    view_->setPage(page_);
    layout->addWidget(view_);

    connect(page_, &QWebEnginePage::loadFinished, this, &CrewWebView::onLoadFinished);
    // A crashed or killed renderer leaves a blank view: load the page again.
    connect(page_, &QWebEnginePage::renderProcessTerminated, this, [this] {
        QMetaObject::invokeMethod(
            page_, [this] { page_->load(url_); }, Qt::QueuedConnection);
    });
    const QString page = templateText ? crewPage(doc, PageMode::crew, split, *templateText)
                                      : crewPage(doc, PageMode::crew, split);
    url_ = servePage(profile, page.toUtf8());
    page_->load(url_);
}

CrewWebView::~CrewWebView() {
    releasePage(url_);
}

void CrewWebView::setLinkOpener(LinkOpener opener) {
    page_->setLinkOpener(std::move(opener));
}

void CrewWebView::setDocument(const CrewDoc& doc, bool split) {
    current_ = {doc, split};
    if (loaded_) {
        pushUpdate(page_, doc, split);
    } else {
        pending_ = current_;
    }
}

QString CrewWebView::colorScheme() const {
    return palette().color(QPalette::Window).lightness() < 128 ? QStringLiteral("dark")
                                                               : QStringLiteral("light");
}

void CrewWebView::applyColorScheme() {
    if (loaded_) page_->runJavaScript("window.rigScheme && window.rigScheme('" + colorScheme() + "')");
}

void CrewWebView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) applyColorScheme();
}

void CrewWebView::onLoadFinished(bool ok) {
    if (!ok) return;
    if (!loaded_) {
        loaded_ = true;
        applyColorScheme();
        if (pending_) {
            const auto held = std::move(*pending_);
            pending_.reset();
            pushUpdate(page_, held.first, held.second);
        }
        emit loaded();
        return;
    }
    // The page was loaded again (reload, renderer restarted): it shows the document it was
    // built with, so bring it up to date.
    if (page_->url() != url_) return;
    applyColorScheme();
    pushUpdate(page_, current_.first, current_.second);
}

} // namespace rig::app
