#include "PageScheme.h"

#include <QBuffer>
#include <QHash>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

namespace rig::app {

namespace {

QHash<QString, QByteArray>& pages() {
    static QHash<QString, QByteArray> served;
    return served;
}

QString pageKey(const QUrl& url) {
    return url.host() + url.path();
}

class PageSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const auto it = pages().constFind(pageKey(job->requestUrl()));
        if (job->requestMethod() != "GET" || it == pages().constEnd()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        // The job owns the buffer; the page text stays in the table for reloads.
        auto* buffer = new QBuffer(job);
        buffer->setData(*it);
        buffer->open(QIODevice::ReadOnly);
        job->reply("text/html;charset=utf-8", buffer);
    }
};

} // namespace

void registerPageScheme() {
    QWebEngineUrlScheme scheme(pageSchemeName);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Secure: the page is a secure context. Local: web content can never load our pages.
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl servePage(QWebEngineProfile* profile, QByteArray html) {
    if (profile->urlSchemeHandler(pageSchemeName) == nullptr) {
        profile->installUrlSchemeHandler(pageSchemeName, new PageSchemeHandler(profile));
    }
    static quint64 next = 0;
    QUrl url;
    url.setScheme(pageSchemeName);
    url.setHost("page");
    url.setPath("/" + QString::number(++next) + ".html");
    pages().insert(pageKey(url), std::move(html));
    return url;
}

void releasePage(const QUrl& url) {
    pages().remove(pageKey(url));
}

int servedPageCount() {
    return int(pages().size());
}

bool staysOnPage(const QUrl& home, const QUrl& url) {
    return !home.isEmpty() && url.adjusted(QUrl::RemoveFragment) == home.adjusted(QUrl::RemoveFragment);
}

void PinnedPage::loadPinned(const QUrl& url) {
    home_ = url;
    load(url);
}

bool PinnedPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool) {
    if (staysOnPage(home_, url)) return true;
    refused(url, type);
    emit navigationRefused(url);
    return false;
}

void PinnedPage::refused(const QUrl&, NavigationType) {}

} // namespace rig::app
