#include "CrewWebView.h"

#include "CrewPage.h"
#include "PageScheme.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>
#include <QWebEngineProfile>
#include <QWebEngineView>

namespace rig::app {

namespace {

LinkOpener browserOpener() {
    return [](const QUrl& url) { openWebLink(url); };
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
            if (isWebLink(url) && opener_) opener_(url);
            deleteLater();
        }
        return false;
    }

private:
    LinkOpener opener_;
    bool done_ = false;
};

} // namespace

CrewWebPage::CrewWebPage(QWebEngineProfile* profile, LinkOpener opener, QObject* parent)
    : PinnedPage(profile, parent), opener_(std::move(opener)) {}

void CrewWebPage::refused(const QUrl& url, NavigationType type) {
    if (type == NavigationTypeLinkClicked && isWebLink(url) && opener_) opener_(url);
}

QWebEnginePage* CrewWebPage::createWindow(WebWindowType) {
    return new LinkCatcher(profile(), opener_, this);
}

namespace {

// The document as the page gets it, without the time it was built: a document rebuilt with
// nothing else changed is the same one.
QString contentOf(const CrewDoc& doc) {
    CrewDoc copy = doc;
    copy.updated.clear();
    return crewJson(copy);
}

} // namespace

CrewWebView::CrewWebView(const CrewDoc& doc, bool split, QWidget* parent, std::optional<QString> templateText)
    : QWidget(parent), current_(doc, split), templateText_(std::move(templateText)) {
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
    failure_ = new QLabel(QStringLiteral("The crew view could not be drawn: its page stopped twice while "
                                         "showing this project. A very large show can exhaust the "
                                         "page's memory."));
    failure_->setTextFormat(Qt::PlainText);
    failure_->setWordWrap(true);
    failure_->setAlignment(Qt::AlignCenter);
    failure_->setMargin(24);
    failure_->hide();
    layout->addWidget(failure_);

    connect(page_, &QWebEnginePage::loadFinished, this, &CrewWebView::onLoadFinished);
    connect(page_, &QWebEnginePage::renderProcessTerminated, this, &CrewWebView::onRendererEnded);
    load();
}

void CrewWebView::load() {
    const auto& [doc, split] = current_;
    const QString html = templateText_ ? crewPage(doc, PageMode::crew, split, *templateText_)
                                       : crewPage(doc, PageMode::crew, split);
    if (!url_.isEmpty()) releasePage(url_);
    url_ = servePage(page_->profile(), html.toUtf8());
    page_->loadPinned(url_);
}

void CrewWebView::onRendererEnded() {
    if (hasFailed()) return;
    QString content = contentOf(current_.first);
    if (reloadedFor_ != content) {
        // A crashed or killed renderer leaves a blank view: load the page once more.
        reloadedFor_ = std::move(content);
        QMetaObject::invokeMethod(
            page_, [this] { page_->loadPinned(url_); }, Qt::QueuedConnection);
        return;
    }
    // Again with the same document: loading it once more would only repeat that, forever.
    failedJson_ = std::move(content);
    loaded_ = false;
    pending_.reset();
    view_->hide();
    failure_->show();
}

CrewWebView::~CrewWebView() {
    releasePage(url_);
}

void CrewWebView::setLinkOpener(LinkOpener opener) {
    page_->setLinkOpener(std::move(opener));
}

void CrewWebView::setDocument(const CrewDoc& doc, bool split) {
    current_ = {doc, split};
    if (hasFailed()) {
        if (contentOf(doc) == *failedJson_) return;
        // Another document gets its own chance, in a page of its own.
        failedJson_.reset();
        reloadedFor_.reset();
        failure_->hide();
        view_->show();
        load();
        return;
    }
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
