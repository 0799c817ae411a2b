// The document store's crew-link actions and the re-send of the crew view after its
// hidden sources changed.
#include "ProjectStore.h"

#include "DXFSettings.h"
#include "DownloadFiles.h"
#include "PdfPrinter.h"
#include "PublishChanges.h"
#include "PublishClient.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "analysis/CrewDoc.h"
#include "base/Date.h"

#include <QPointer>
#include <QScopeGuard>
#include <QTimer>

#include <QCoreApplication>

#include <coroutine>
#include <memory>
#include <type_traits>
#include <utility>

namespace rig::app {

struct ShareContext {
    PublishSettings* settings = nullptr; // PublishSettings::shared() when not set
    PublishClient* client = nullptr;     // PublishClient::shared() when not set
    ProjectStore::DownloadUploader uploader;
    QTimer visibilityTimer;
    bool sendingVisibility = false;
    std::optional<QString> visibilityError;

    PublishSettings& publishSettings() { return settings ? *settings : PublishSettings::shared(); }
    PublishClient& publishClient() { return client ? *client : PublishClient::shared(); }
};

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

QCoro::Task<ShareInfo> sendWithLoadedKey(ShareContext& context, ProjectSend send, Project project) {
    return withLoadedKey(
        &context.publishSettings(), &context.publishClient(),
        [send, project = std::move(project)](PublishClient& client, QString server, QString key) mutable {
            return send(client, std::move(project), std::move(server), std::move(key));
        });
}

// The program's download files: the shared printer and DXF options, the settings' server
// and key as they are when the upload starts.
QCoro::Task<void> uploadWithSettings(Project project, QString token, QPointer<PublishSettings> settings,
                                     QPointer<PublishClient> client) {
    return withLoadedKey(
        settings, client,
        [project = std::move(project), token = std::move(token)](PublishClient& loaded, QString server,
                                                                 QString key) mutable {
            PdfMaker print = [](QString html, QString target, bool landscape) {
                return PdfPrinter::shared().makeAsync(std::move(html), std::move(target), landscape);
            };
            return uploadDownloads(std::move(project), std::move(token), std::move(server), std::move(key),
                                   std::move(print), loaded, DXFSettings::shared().options());
        });
}

} // namespace

ShareContext& ProjectStore::shareContext() {
    if (!share_) {
        share_ = std::make_shared<ShareContext>();
        share_->visibilityTimer.setSingleShot(true);
        connect(&share_->visibilityTimer, &QTimer::timeout, this, [this] { sendVisibilityUpdate(); });
    }
    return *share_;
}

void ProjectStore::setPublishing(PublishSettings* settings, PublishClient* client) {
    shareContext().settings = settings;
    shareContext().client = client;
}

void ProjectStore::setDownloadUploader(DownloadUploader uploader) {
    shareContext().uploader = std::move(uploader);
}

// --- Crew-link actions --------------------------------------------------------------------------
// After a wait these touch nothing of the store: they may outlive it.

QCoro::Task<ShareInfo> ProjectStore::publish(Project project) {
    return sendWithLoadedKey(shareContext(), publishWith, std::move(project));
}

QCoro::Task<ShareInfo> ProjectStore::publishProject(Project project, QString server, QString key) {
    return publishWith(shareContext().publishClient(), std::move(project), std::move(server), std::move(key));
}

QCoro::Task<ShareInfo> ProjectStore::resendProject(Project project) {
    return sendWithLoadedKey(shareContext(), resendWith, std::move(project));
}

QCoro::Task<ShareInfo> ProjectStore::resendProject(Project project, QString server, QString key) {
    return resendWith(shareContext().publishClient(), std::move(project), std::move(server), std::move(key));
}

QCoro::Task<std::vector<ServerLink>> ProjectStore::listServerLinks() {
    ShareContext& context = shareContext();
    return withLoadedKey(&context.publishSettings(), &context.publishClient(),
                         [](PublishClient& client, QString server, QString key) {
                             return client.listServerLinks(std::move(server), std::move(key));
                         });
}

QCoro::Task<void> ProjectStore::deleteServerLink(QString token) {
    ShareContext& context = shareContext();
    return withLoadedKey(
        &context.publishSettings(), &context.publishClient(),
        [token = std::move(token)](PublishClient& client, QString server, QString key) mutable {
            return client.deleteServerLink(std::move(token), std::move(server), std::move(key));
        });
}

// --- The publish button's press ----------------------------------------------------------------

QCoro::Task<std::optional<QString>> ProjectStore::publishOpenProject() {
    QPointer<ProjectStore> self(this);
    const std::uint64_t generation = generation_;

    ShareInfo share;
    try {
        share = co_await publish(project_);
    } catch (const std::exception& e) {
        if (self && !isPublishCancellation(e)) setErrorMessage(publishErrorText(e));
        co_return std::nullopt;
    }
    if (!self) co_return std::nullopt;
    // Another document was opened meanwhile: the link belongs to the one that was sent.
    if (generation_ != generation) {
        setErrorMessage(wrongProject + "\n" + toQ(share.url));
        co_return std::nullopt;
    }
    Project current = project_;
    current.share = share;
    setProject(std::move(current));

    DownloadUploader uploader = shareContext().uploader;
    if (!uploader) {
        uploader = [settings = QPointer(&shareContext().publishSettings()),
                    client = QPointer(&shareContext().publishClient())](Project project, QString token) {
            return uploadWithSettings(std::move(project), std::move(token), settings, client);
        };
    }
    try {
        co_await uploader(project_, toQ(share.token));
    } catch (const std::exception& e) {
        if (self && !isPublishCancellation(e)) setErrorMessage(downloadsFailed + publishErrorText(e));
    }
    if (!self) co_return toQ(share.url);
    // Never write another document into its file with this one's state.
    if (generation_ == generation && filePath_) writeProject(*filePath_);
    co_return toQ(share.url);
}

// --- Visibility re-send ---------------------------------------------------------------------------

std::optional<QString> ProjectStore::visibilityError() const {
    return share_ ? share_->visibilityError : std::nullopt;
}

void ProjectStore::setVisibilityError(std::optional<QString> error) {
    ShareContext& context = shareContext();
    if (context.visibilityError == error) return;
    context.visibilityError = std::move(error);
    emit visibilityErrorChanged();
}

bool ProjectStore::isVisibilityUpdateScheduled() const {
    return share_ && share_->visibilityTimer.isActive();
}

bool ProjectStore::isSendingVisibility() const {
    return share_ && share_->sendingVisibility;
}

void ProjectStore::scheduleVisibilityUpdate() {
    ShareContext& context = shareContext();
    context.visibilityTimer.stop();
    if (!project_.share || !isShareStale(project_)) return;
    context.visibilityTimer.start(delays_.visibility);
}

QCoro::Task<void> ProjectStore::sendVisibilityUpdate() {
    QPointer<ProjectStore> self(this);
    // A request in flight is never abandoned (the server would hold a set the project does not
    // know of): a second send waits for it, then looks again at what needs sending.
    while (shareContext().sendingVisibility) {
        co_await SignalOrEnd(this, &ProjectStore::sendingVisibilityChanged);
        if (!self) co_return;
    }
    if (!project_.share || !isShareStale(project_)) {
        setVisibilityError(std::nullopt);
        co_return;
    }
    const std::uint64_t generation = generation_;
    const std::optional<TextSet> sent = project_.hiddenSources;

    shareContext().sendingVisibility = true;
    emit sendingVisibilityChanged();
    std::optional<QString> failure;
    ShareInfo result;
    try {
        result = co_await resendProject(project_);
    } catch (const std::exception& e) {
        if (!isPublishCancellation(e)) failure = publishErrorText(e);
    }
    if (!self) co_return;
    // Whoever sees the send end sees its result in place already.
    const auto ended = qScopeGuard([this] {
        shareContext().sendingVisibility = false;
        emit sendingVisibilityChanged();
    });

    if (generation_ != generation) co_return; // another document: nothing here is about it
    if (failure) {
        setVisibilityError(failure);
        co_return;
    }
    if (project_.share && project_.share->token == result.token) {
        Project current = project_;
        current.share->hidden = sent;
        setProject(std::move(current));
    }
    setVisibilityError(std::nullopt);
    if (filePath_) writeProject(*filePath_);
    if (isShareStale(project_)) scheduleVisibilityUpdate();
}

} // namespace rig::app
