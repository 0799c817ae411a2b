// The crew link of one ProjectStore: publishing, the re-send of the crew view once its hidden
// sources change, and the links kept on the server. Built on the publish client and the PDF
// printer. Main thread only.
#pragma once

#include "model/Project.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <QCoroTask>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace rig::app {

class DXFSettings;
class PdfPrinter;
class ProjectStore;
class PublishClient;
class PublishSettings;
struct ServerLink;

// The link's update time (milliseconds since 1970-01-01 UTC) as a point in time, when it
// is one the project file can hold (years 1 to 9999); nothing for anything else.
std::optional<Date> linkUpdateTime(double updatedAt);
// The publish record of an attached link: its token, link and update time, no fingerprints,
// changes or hidden set. A text saying why when the update time cannot be a date (`index`
// is the link's place in the server's list, for that text).
std::variant<ShareInfo, QString> attachedShare(const ServerLink& link, std::size_t index);
// The link is the project's own: the project's record has the same token.
bool isOwnLink(const Project& project, const ServerLink& link);

class CrewLink : public QObject {
    Q_OBJECT
public:
    explicit CrewLink(ProjectStore& store);

    // Where the crew-link actions read the server address and key and send their requests;
    // until set, every action ends as cancelled.
    void setPublishing(PublishSettings* settings, PublishClient* client);
    // What the download files are made with: the printer of both PDFs and the DXF options.
    void setDownloadParts(PdfPrinter* printer, DXFSettings* dxf);
    // Makes and uploads the download files of a freshly published project. Unless set:
    // uploadDownloads with the download parts and the publish settings (nothing uploaded
    // without the parts).
    using DownloadUploader = std::function<QCoro::Task<void>(Project project, QString token)>;
    void setDownloadUploader(DownloadUploader uploader);

    // The crew-link actions work on the project value they are given and change nothing of
    // the store. They fail with PublishError, whose message() is the text for the user.
    // publish(): publishProject with the publish settings' server and key as they are now.
    QCoro::Task<ShareInfo> publish(Project project);
    // The crew view (hidden sources left out, changes since the last publish marked) to a
    // new link, or to the project's own link once it has one; the new publish record.
    QCoro::Task<ShareInfo> publishProject(Project project, QString server, QString key);
    // The published state of every source again, under the current hidden set, to the
    // project's link: its record with only `hidden` replaced. "Not published yet." for a
    // project without a record, or with an attached link that has nothing published.
    QCoro::Task<ShareInfo> resendProject(Project project);
    QCoro::Task<ShareInfo> resendProject(Project project, QString server, QString key);
    // The links kept on the server, and deleting one, with the publish settings.
    QCoro::Task<std::vector<ServerLink>> listServerLinks();
    QCoro::Task<void> deleteServerLink(QString token);

    // The publish button's press: publishes the open project, stores the new record in it,
    // uploads the download files, writes the project to its file when it has one. Failures go
    // to the store's error message. Gives the link to put on the clipboard, nothing when the
    // publish failed or another project was opened while it ran (then nothing is stored or
    // saved). With `newLink`, the project goes out as if never published: no token is sent,
    // no changes are marked, and the new link's record replaces the old one.
    QCoro::Task<std::optional<QString>> publishOpenProject(bool newLink = false);

    // The publish button's press: publishOpenProject, then the link onto the clipboard. One
    // press at a time for the store, run to its end also when the button that started it goes
    // away. press() returns at once; runPress() is the press as a task.
    void press();
    QCoro::Task<void> runPress(bool newLink = false);
    // True from the start of a press until its last step.
    bool isPressing() const { return pressing_; }

    // After a press whose link the server does not know (it answered "not found" to the
    // project's token, so every later press would fail alike): the text of that failure, for
    // as long as the same project still holds that link. The window shows it with the offer to
    // publish under a new link; nothing is published without the user's answer.
    std::optional<QString> newLinkOffer() const;
    // The user's answer, once: chosen, a press under a new link (publishOpenProject's
    // `newLink`) while the offer still stands; the offer is gone either way.
    void answerNewLinkOffer(bool chosen);
    // A press under a new link, as the offer's choice makes it; nothing while a press runs.
    void pressUnderNewLink();

    // --- The crew view's hidden sources -----------------------------------------------------
    // Text of the last failed re-send; absent after a success or when nothing needs sending.
    std::optional<QString> visibilityError() const { return visibilityError_; }
    // The last re-send failed because the server does not know the project's link (any more):
    // every later one would fail alike. True while the same project still holds that link.
    bool visibilityLinkGone() const;
    // Runs whenever the project's hidden sources change (the store's projectChanged): re-sends
    // the crew view once the visibility delay has passed without another change, when it is
    // stale.
    void scheduleVisibilityUpdate();
    bool isVisibilityUpdateScheduled() const { return visibilityTimer_.isActive(); }
    // Re-sends now ("Send Now" and the scheduled wait). One send runs at a time: a later one
    // waits for it and then sends the newest hidden set, if it still differs.
    QCoro::Task<void> sendVisibilityUpdate();
    bool isSendingVisibility() const { return sendingVisibility_; }

signals:
    // The open project's hidden sources differ from what they were.
    void hiddenSourcesChanged();
    void visibilityErrorChanged();
    void sendingVisibilityChanged();
    void pressingChanged();
    // A press has ended (after the copy, or after a failed publish).
    void pressFinished();

private:
    void setVisibilityError(std::optional<QString> error);
    void projectChanged();

    ProjectStore& store_;
    QPointer<PublishSettings> settings_;
    QPointer<PublishClient> client_;
    QPointer<PdfPrinter> printer_;
    QPointer<DXFSettings> dxf_;
    DownloadUploader uploader_;
    QTimer visibilityTimer_;
    bool sendingVisibility_ = false;
    bool pressing_ = false;
    std::optional<QString> visibilityError_;
    std::optional<TextSet> lastHidden_;
    struct NewLinkOffer {
        QString failure;
        std::string token;
        std::uint64_t generation = 0;
    };
    std::optional<NewLinkOffer> newLinkOffer_;
    // The link a re-send found gone, and the document it belonged to.
    struct GoneLink {
        std::string token;
        std::uint64_t generation = 0;
    };
    std::optional<GoneLink> visibilityLinkGone_;
};

} // namespace rig::app
