#include "CrewLink.h"

#include "DXFSettings.h"
#include "DownloadFiles.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "PublishAddresses.h"
#include "PublishChanges.h"
#include "PublishClient.h"
#include "PublishProtocol.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "analysis/CrewDoc.h"
#include "base/Date.h"
#include "base/Json.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScopeGuard>

#include <chrono>
#include <cmath>
#include <coroutine>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace rig::app {

namespace {

// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59.999Z in milliseconds: the dates a project
// file writes and reads back.
constexpr double earliestMs = -62135596800000.0;
constexpr double latestMs = 253402300799999.0;

} // namespace

std::optional<Date> linkUpdateTime(double updatedAt) {
    if (!std::isfinite(updatedAt) || updatedAt < earliestMs || updatedAt > latestMs) return std::nullopt;
    return Date(std::chrono::seconds(static_cast<std::int64_t>(std::floor(updatedAt / 1000))));
}

std::variant<ShareInfo, QString> attachedShare(const ServerLink& link, std::size_t index) {
    const std::optional<Date> when = linkUpdateTime(link.updatedAt);
    if (!when) {
        // Worded as the list's own decoding failures are.
        try {
            throwJsonTypeError(JsonPath().key("links").index(index).key("updatedAt"),
                               "a time between the years 1 and 9999");
        } catch (const JsonDecodeError& e) {
            return QStringLiteral("The server\u2019s answer could not be read: ") + toQ(e.what());
        }
    }
    if (!crewLinkUrl(toQ(link.url))) return publishText::badCrewLink;
    // Every later request names the link by its token: one that cannot stand in a request
    // path is no link to attach to.
    if (!tokenSegment(toQ(link.token))) return publishText::invalidToken;
    ShareInfo share;
    share.token = link.token;
    share.url = link.url;
    share.publishedAt = *when;
    return share;
}

bool isOwnLink(const Project& project, const ServerLink& link) {
    return project.share && project.share->token == link.token;
}

namespace {

const QString wrongProject =
    QStringLiteral("The crew link was published, but another project is now open: the link was not stored.");
const QString downloadsFailed = QStringLiteral("The crew link is updated, but the download files were not: ");

// Waits for a signal of `sender`, or for its end: a waiting coroutine is resumed either way
// (from the event loop), so none is left behind when the object goes away.
template <class Sender, class Signal>
class SignalOrEnd {
public:
    SignalOrEnd(Sender* sender, Signal signal) : sender_(sender), signal_(signal) {}

    bool await_ready() const noexcept { return sender_.isNull(); }
    void await_suspend(std::coroutine_handle<> waiting) {
        struct State {
            std::coroutine_handle<> waiting;
            QMetaObject::Connection fired;
            QMetaObject::Connection ended;
        };
        auto state = std::make_shared<State>();
        state->waiting = waiting;
        auto wake = [state] {
            if (!state->waiting) return;
            QObject::disconnect(state->fired);
            QObject::disconnect(state->ended);
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [h = std::exchange(state->waiting, {})] { h.resume(); },
                Qt::QueuedConnection);
        };
        state->fired = QObject::connect(sender_.data(), signal_, QCoreApplication::instance(), wake);
        state->ended =
            QObject::connect(sender_.data(), &QObject::destroyed, QCoreApplication::instance(), wake);
    }
    void await_resume() const noexcept {}

private:
    QPointer<Sender> sender_;
    Signal signal_;
};

// The settings as they are once the stored key has been read (at the first use of the
// settings it may still be on its way from the keyring).
QCoro::Task<void> keyLoaded(QPointer<PublishSettings> settings) {
    while (settings && !settings->isKeyLoaded())
        co_await SignalOrEnd(settings.data(), &PublishSettings::keyLoaded);
}

// The client is used before the first wait only.
QCoro::Task<ShareInfo> publishWith(PublishClient& client, Project project, QString server, QString key) {
    ChangeMap changes = publishChangeSummary(project);
    const CrewDoc doc = CrewDoc::build(project, changes, nowSeconds(), false);
    std::optional<QString> token;
    if (project.share) token = toQ(project.share->token);
    const PublishResponse answer =
        co_await client.publishCrewDoc(doc, token, std::move(server), std::move(key));
    // The link goes into the project, onto the clipboard, the QR code and the rigger PDF.
    if (!crewLinkUrl(toQ(answer.url)))
        throw PublishError(PublishError::Kind::Decoding, publishText::badCrewLink);
    co_return ShareInfo{answer.token,       answer.url,           nowSeconds(), publishFingerprints(project),
                        std::move(changes), project.hiddenSources};
}

QCoro::Task<ShareInfo> resendWith(PublishClient& client, Project project, QString server, QString key) {
    // An attached link has nothing published to send: sending would empty its crew view.
    if (!project.share || project.share->fingerprints.empty())
        throw PublishError::server(publishText::notPublished);
    const CrewDoc doc = CrewDoc::build(publishedState(project), project.share->changes, nowSeconds(), false);
    co_await client.publishCrewDoc(doc, toQ(project.share->token), std::move(server), std::move(key));
    ShareInfo share = *project.share;
    share.hidden = project.hiddenSources;
    co_return share;
}

// Runs `send` with the settings' server and key as they are once the stored key is read;
// a request whose settings or client went away meanwhile ends as cancelled.
template <class Send>
std::invoke_result_t<Send&, PublishClient&, QString, QString>
withLoadedKey(QPointer<PublishSettings> settings, QPointer<PublishClient> client, Send send) {
    co_await keyLoaded(settings);
    if (!settings || !client) throw PublishError(PublishError::Kind::Cancelled, publishText::cancelled);
    // Not "add the key": the key may well be there, behind a locked keyring.
    if (const std::optional<QString> unread = settings->keyReadError())
        throw PublishError(PublishError::Kind::NoKey, *unread);
    const QString key = settings->key();
    const QString server = settings->server();
    co_return co_await send(*client, server, key);
}

using ProjectSend = QCoro::Task<ShareInfo> (*)(PublishClient&, Project, QString, QString);

QCoro::Task<ShareInfo> sendWithLoadedKey(QPointer<PublishSettings> settings, QPointer<PublishClient> client,
                                         ProjectSend send, Project project) {
    return withLoadedKey(
        settings, client,
        [send, project = std::move(project)](PublishClient& client, QString server, QString key) mutable {
            return send(client, std::move(project), std::move(server), std::move(key));
        });
}

// `send` with the server and key given, on a client that is still there.
QCoro::Task<ShareInfo> sendWithKey(QPointer<PublishClient> client, ProjectSend send, Project project,
                                   QString server, QString key) {
    if (!client) throw PublishError(PublishError::Kind::Cancelled, publishText::cancelled);
    co_return co_await send(*client, std::move(project), std::move(server), std::move(key));
}

QCoro::Task<void> nothingToDo() {
    co_return;
}

// A PDF on a printer that may have ended meanwhile (then nothing is written).
QCoro::Task<bool> printWith(QPointer<PdfPrinter> printer, QStringList pages, QString target, bool landscape) {
    if (!printer) co_return false;
    co_return co_await printer->makeAsync(std::move(pages), std::move(target), landscape);
}

// The program's download files: the given printer and DXF options, the settings' server and
// key as they are when the upload starts. Nothing is uploaded without a printer.
QCoro::Task<void> uploadWithSettings(Project project, QString token, QPointer<PublishSettings> settings,
                                     QPointer<PublishClient> client, QPointer<PdfPrinter> printer,
                                     QPointer<DXFSettings> dxf) {
    if (!printer || !dxf) return nothingToDo();
    return withLoadedKey(settings, client,
                         [project = std::move(project), token = std::move(token), printer,
                          dxf](PublishClient& loaded, QString server, QString key) mutable {
                             PdfMaker print = [printer](QStringList pages, QString target, bool landscape) {
                                 return printWith(printer, std::move(pages), std::move(target), landscape);
                             };
                             const RigDXF::Options options = dxf ? dxf->options() : RigDXF::Options();
                             return uploadDownloads(std::move(project), std::move(token), std::move(server),
                                                    std::move(key), std::move(print), loaded, options);
                         });
}

} // namespace

CrewLink::CrewLink(ProjectStore& store) : store_(store), lastHidden_(store.project().hiddenSources) {
    visibilityTimer_.setSingleShot(true);
    connect(&visibilityTimer_, &QTimer::timeout, this, [this] { sendVisibilityUpdate(); });
    connect(&store_, &ProjectStore::projectChanged, this, &CrewLink::projectChanged);
}

void CrewLink::setPublishing(PublishSettings* settings, PublishClient* client) {
    settings_ = settings;
    client_ = client;
}

void CrewLink::setDownloadParts(PdfPrinter* printer, DXFSettings* dxf) {
    printer_ = printer;
    dxf_ = dxf;
}

void CrewLink::setDownloadUploader(DownloadUploader uploader) {
    uploader_ = std::move(uploader);
}

void CrewLink::projectChanged() {
    const Project& project = store_.project();
    if (project.hiddenSources == lastHidden_) return;
    lastHidden_ = project.hiddenSources;
    scheduleVisibilityUpdate();
    emit hiddenSourcesChanged();
}

// --- Crew-link actions --------------------------------------------------------------------------
// After a wait these touch nothing of the store or this object: they may outlive both.

QCoro::Task<ShareInfo> CrewLink::publish(Project project) {
    return sendWithLoadedKey(settings_, client_, publishWith, std::move(project));
}

QCoro::Task<ShareInfo> CrewLink::publishProject(Project project, QString server, QString key) {
    return sendWithKey(client_, publishWith, std::move(project), std::move(server), std::move(key));
}

QCoro::Task<ShareInfo> CrewLink::resendProject(Project project) {
    return sendWithLoadedKey(settings_, client_, resendWith, std::move(project));
}

QCoro::Task<ShareInfo> CrewLink::resendProject(Project project, QString server, QString key) {
    return sendWithKey(client_, resendWith, std::move(project), std::move(server), std::move(key));
}

QCoro::Task<std::vector<ServerLink>> CrewLink::listServerLinks() {
    return withLoadedKey(settings_, client_, [](PublishClient& client, QString server, QString key) {
        return client.listServerLinks(std::move(server), std::move(key));
    });
}

QCoro::Task<void> CrewLink::deleteServerLink(QString token) {
    return withLoadedKey(
        settings_, client_,
        [token = std::move(token)](PublishClient& client, QString server, QString key) mutable {
            return client.deleteServerLink(std::move(token), std::move(server), std::move(key));
        });
}

// --- The publish button's press ----------------------------------------------------------------

QCoro::Task<std::optional<QString>> CrewLink::publishOpenProject(bool newLink) {
    QPointer<CrewLink> self(this);
    ProjectStore& store = store_;
    const std::uint64_t generation = store.generation();
    newLinkOffer_.reset();

    Project sent = store.project();
    std::optional<std::string> token;
    if (sent.share) token = sent.share->token;
    if (newLink) sent.share.reset();
    ShareInfo share;
    try {
        share = co_await publish(std::move(sent));
    } catch (const std::exception& e) {
        if (self && !isPublishCancellation(e)) {
            const QString failure = publishErrorText(e);
            // The link is gone from the server: offered, never done unasked (a mistyped
            // server or a passing fault must not fork the crew's link).
            if (token && !newLink && isNotFound(e)) newLinkOffer_ = NewLinkOffer{failure, *token, generation};
            store.setErrorMessage(failure);
        }
        co_return std::nullopt;
    }
    if (!self) co_return std::nullopt;
    // Another document was opened meanwhile: the link belongs to the one that was sent.
    if (store.generation() != generation) {
        store.setErrorMessage(wrongProject + "\n" + shownName(share.url));
        co_return std::nullopt;
    }
    Project current = store.project();
    current.share = share;
    store.setProject(std::move(current));
    // The new record holds the hidden sources as sent: a failed re-send before it is moot.
    setVisibilityError(std::nullopt);

    DownloadUploader uploader = uploader_;
    if (!uploader) {
        uploader = [settings = settings_, client = client_, printer = printer_, dxf = dxf_](Project project,
                                                                                            QString token) {
            return uploadWithSettings(std::move(project), std::move(token), settings, client, printer, dxf);
        };
    }
    try {
        co_await uploader(store.project(), toQ(share.token));
    } catch (const std::exception& e) {
        if (self && !isPublishCancellation(e)) store.setErrorMessage(downloadsFailed + publishErrorText(e));
    }
    if (!self) co_return toQ(share.url);
    // Never write another document into its file with this one's state.
    if (store.generation() == generation && store.filePath()) store.writeProject(*store.filePath());
    co_return toQ(share.url);
}

void CrewLink::press() {
    if (pressing_) return;
    runPress(); // runs by itself; its state is kept here
}

QCoro::Task<void> CrewLink::runPress(bool newLink) {
    if (pressing_) co_return;
    QPointer<CrewLink> self(this);
    pressing_ = true;
    emit pressingChanged();
    // The store re-reads its project after every wait and leaves a replaced document alone.
    const std::optional<QString> link = co_await publishOpenProject(newLink);
    if (!self) co_return;
    if (link) QGuiApplication::clipboard()->setText(*link);
    pressing_ = false;
    emit pressingChanged();
    emit pressFinished();
}

std::optional<QString> CrewLink::newLinkOffer() const {
    if (!newLinkOffer_ || store_.generation() != newLinkOffer_->generation) return std::nullopt;
    const std::optional<ShareInfo>& share = store_.project().share;
    if (!share || share->token != newLinkOffer_->token) return std::nullopt;
    return newLinkOffer_->failure;
}

void CrewLink::answerNewLinkOffer(bool chosen) {
    const bool stands = newLinkOffer().has_value();
    newLinkOffer_.reset();
    if (chosen && stands) pressUnderNewLink();
}

void CrewLink::pressUnderNewLink() {
    if (!pressing_) runPress(true);
}

// --- Visibility re-send ---------------------------------------------------------------------------

void CrewLink::setVisibilityError(std::optional<QString> error) {
    if (visibilityError_ == error) return;
    visibilityError_ = std::move(error);
    emit visibilityErrorChanged();
}

bool CrewLink::visibilityLinkGone() const {
    if (!visibilityError_ || !visibilityLinkGone_ || store_.generation() != visibilityLinkGone_->generation)
        return false;
    const std::optional<ShareInfo>& share = store_.project().share;
    return share && share->token == visibilityLinkGone_->token;
}

void CrewLink::scheduleVisibilityUpdate() {
    visibilityTimer_.stop();
    const Project& project = store_.project();
    if (!project.share || !isShareStale(project)) return;
    visibilityTimer_.start(store_.delays().visibility);
}

QCoro::Task<void> CrewLink::sendVisibilityUpdate() {
    QPointer<CrewLink> self(this);
    // A request in flight is never abandoned (the server would hold a set the project does not
    // know of): a second send waits for it, then looks again at what needs sending.
    while (sendingVisibility_) {
        co_await SignalOrEnd(this, &CrewLink::sendingVisibilityChanged);
        if (!self) co_return;
    }
    if (!store_.project().share || !isShareStale(store_.project())) {
        setVisibilityError(std::nullopt);
        co_return;
    }
    const std::uint64_t generation = store_.generation();
    const std::optional<TextSet> sent = store_.project().hiddenSources;
    const std::string token = store_.project().share->token;

    sendingVisibility_ = true;
    emit sendingVisibilityChanged();
    std::optional<QString> failure;
    bool linkGone = false;
    ShareInfo result;
    try {
        result = co_await resendProject(store_.project());
    } catch (const std::exception& e) {
        if (!isPublishCancellation(e)) {
            failure = publishErrorText(e);
            linkGone = isNotFound(e);
        }
    }
    if (!self) co_return;
    // Whoever sees the send end sees its result in place already.
    const auto ended = qScopeGuard([this] {
        sendingVisibility_ = false;
        emit sendingVisibilityChanged();
    });

    if (store_.generation() != generation) co_return; // another document: nothing here is about it
    // Published under a new link meanwhile: a failure of the old one is no longer the project's.
    if (failure && !(store_.project().share && store_.project().share->token == token)) co_return;
    if (failure) {
        const bool wasGone = visibilityLinkGone();
        visibilityLinkGone_.reset();
        if (linkGone) visibilityLinkGone_ = GoneLink{token, generation};
        if (visibilityError_ == failure && wasGone != linkGone) emit visibilityErrorChanged();
        setVisibilityError(failure);
        co_return;
    }
    if (store_.project().share && store_.project().share->token == result.token) {
        Project current = store_.project();
        current.share->hidden = sent;
        store_.setProject(std::move(current));
    }
    setVisibilityError(std::nullopt);
    if (store_.filePath()) store_.writeProject(*store_.filePath());
    if (isShareStale(store_.project())) scheduleVisibilityUpdate();
}

} // namespace rig::app
