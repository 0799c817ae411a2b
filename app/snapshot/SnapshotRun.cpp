#include "SnapshotRun.h"

#include "AppPaths.h"
#include "Appearance.h"
#include "CrewLink.h"
#include "CrewWebView.h"
#include "DXFOptionsForm.h"
#include "DXFSettings.h"
#include "DownloadFiles.h"
#include "ExportCommands.h"
#include "GeneralSettings.h"
#include "ImportController.h"
#include "MotorLibrary.h"
#include "MotorsSettings.h"
#include "PdfPrinter.h"
#include "Preferences.h"
#include "ProjectStore.h"
#include "PublishClient.h"
#include "PublishSettings.h"
#include "PublishSettingsView.h"
#include "QtText.h"
#include "RiggingPointsCSV.h"
#include "WebLinks.h"
#include "analysis/RigDXF.h"
#include "base/Date.h"
#include "base/Text.h"
#include "base/Uuid.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QCoroNetworkReply>
#include <QFile>
#include <QImageWriter>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <memory>
#include <utility>

namespace rig::app {

std::optional<QString> processEnvironment(const QString& name) {
    const QByteArray key = name.toLocal8Bit();
    if (!qEnvironmentVariableIsSet(key.constData())) return std::nullopt;
    return qEnvironmentVariable(key.constData());
}

QList<QWidget*> allSubviews(const QList<QWidget*>& views) {
    QList<QWidget*> all;
    for (QWidget* view : views) {
        all.push_back(view);
        all += allSubviews(view->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    }
    return all;
}

QWidget* chooseCaptureWindow(const QList<QWidget*>& windows, QWidget* active) {
    for (QWidget* window : windows) {
        if (window->isVisible() && !window->windowTitle().isEmpty()) return window;
    }
    if (active && windows.contains(active)) return active;
    return windows.isEmpty() ? nullptr : windows.front();
}

namespace {

// Empty when the picture cannot be encoded.
QByteArray pngBytes(const QImage& picture) {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!QImageWriter(&buffer, "png").write(picture)) return {};
    return png;
}

} // namespace

QByteArray widgetPng(QWidget* widget) {
    // Layouts asked for by the last changes are applied first, as a shown window would.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QPixmap picture = widget->grab();
    if (picture.isNull()) return {};
    return pngBytes(picture.toImage());
}

namespace {

constexpr int overviewWidth = 900;
constexpr int overviewHeight = 3400;
constexpr int settingsWidth = 560;
constexpr int settingsHeight = 480;
constexpr int tallWidth = 1300;
constexpr int tallHeight = 2400;
constexpr auto fetchTimeout = std::chrono::seconds(60);
constexpr std::chrono::milliseconds keyWaitLimit{1500};

const QString sampleMotorName = QStringLiteral("Test 1t");
const QString probeMotorName = QStringLiteral("NOT PUBLISHED");

// Result files go through writeExportFile: one that cannot be written is left out and the run
// goes on. Pictures take a plain write: what was written stays even when the write fails half-way.
bool writePlain(const QString& path, const QByteArray& bytes, QString* error = nullptr) {
    QFile file(path);
    const bool ok =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    if (!ok && error) *error = file.errorString();
    return ok;
}

// A widget drawn off screen: laid out and polished as if shown, never on a screen, and
// never taken for the main window by a capture.
void prepareOffscreen(QWidget* widget, QSize size) {
    widget->setAttribute(Qt::WA_DontShowOnScreen);
    widget->resize(size);
    widget->show();
}

} // namespace

SnapshotRun::SnapshotRun(QString folder, Parts parts, QObject* parent)
    : QObject(parent), folder_(std::move(folder)), parts_(std::move(parts)),
      network_(new QNetworkAccessManager(this)) {
    if (!parts_.environment) parts_.environment = processEnvironment;
    if (!parts_.select) {
        parts_.select = [](const SnapshotStep&) {};
    }
    if (!parts_.quit) {
        parts_.quit = [](int code) {
            settings().sync();
            // Queued: before the event loop runs, exit() alone would be forgotten.
            QMetaObject::invokeMethod(
                QCoreApplication::instance(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
        };
    }
}

SnapshotRun::~SnapshotRun() {
    for (const QPointer<QWidget>& widget : offscreen_) delete widget.data();
    if (openedOutside_) setOpeningOutside(*openedOutside_);
}

QString SnapshotRun::env(const char* name) const {
    return parts_.environment(QString::fromLatin1(name)).value_or(QString());
}

bool SnapshotRun::isSet(const char* name) const {
    return parts_.environment(QString::fromLatin1(name)).has_value();
}

QString SnapshotRun::inFolder(const QString& name) const {
    return folder_ + "/" + name;
}

void SnapshotRun::start() {
    // Every PDF written would open a file manager (or xdg-open) and a link a browser: the run
    // drives itself unattended and leaves only its files.
    if (!openedOutside_) openedOutside_ = openingOutside();
    setOpeningOutside(false);
    // The mode never follows the system: every picture in the appearance asked for.
    applyAppearance(isSet("RIG_DARK") ? Appearance::dark : Appearance::light);

    if (isSet("RIG_TEST_ACCESSORY")) {
        writeAccessoryCheck();
        parts_.quit(0);
        return;
    }
    if (isSet("RIG_FILES")) parts_.store->importer().handleURLs(parseSnapshotFiles(env("RIG_FILES")));
    // Empty names no folder: the exports would land in "/".
    if (const QString folder = env("RIG_EXPORT"); !folder.isEmpty()) {
        exportsDue_ = true;
        QTimer::singleShot(parts_.timing.exports, this, [this, folder] {
            afterImport([this, folder] {
                exportsDue_ = false;
                runExportSelfTest(folder);
            });
        });
    }
    SnapshotSteps steps = parseSnapshotSteps(parts_.environment(QStringLiteral("RIG_STEPS")));
    if (isSet("RIG_SETTINGS_SHOTS")) writeSettingsShots();
    if (isSet("RIG_SNAPSHOT_TALL"))
        QTimer::singleShot(parts_.timing.enlarge, this, [this] { enlargeWindowForSnapshot(); });
    QTimer::singleShot(parts_.timing.steps, this, [this, steps = std::move(steps)] {
        afterImport([this, steps] { runSnapshotSteps(0, steps); });
    });
}

void SnapshotRun::afterImport(std::function<void()> next) {
    const auto deadline = std::chrono::steady_clock::now() + parts_.timing.finishLimit;
    waitForImport(std::move(next), deadline);
}

void SnapshotRun::waitForImport(std::function<void()> next, std::chrono::steady_clock::time_point deadline) {
    if (parts_.store->importer().importing() && std::chrono::steady_clock::now() < deadline) {
        QTimer::singleShot(100, this,
                           [this, next = std::move(next), deadline] { waitForImport(next, deadline); });
        return;
    }
    next();
}

// --- Accessory and settings pictures ------------------------------------------------------------

void SnapshotRun::writeAccessoryCheck() {
    auto accessory = std::make_unique<DXFAccessory>(*parts_.dxf);
    const QList<QWidget*> views = allSubviews({accessory.get()});
    for (QWidget* view : views) {
        auto* button = qobject_cast<QAbstractButton*>(view);
        if (button && button->text().startsWith(QLatin1String("Drops"))) {
            button->click();
            break;
        }
    }
    for (QWidget* view : views) {
        if (auto* popUp = qobject_cast<QComboBox*>(view)) {
            // The fifth choice is the footprints at a given height.
            if (popUp->count() > 4) {
                popUp->setCurrentIndex(4);
                emit popUp->activated(4);
            }
            break;
        }
    }
    prepareOffscreen(accessory.get(), accessory->size());
    if (const QByteArray png = widgetPng(accessory.get()); !png.isEmpty())
        writePlain(inFolder("accessory.png"), png);
    const QString line = accessoryText(parts_.dxf->options(), QSizeF(accessory->size()));
    writeExportFile(inFolder("accessory.txt"), toStd(line));
}

void SnapshotRun::writeSettingsShots() {
    const auto shoot = [this](const char* name, QWidget* made) {
        std::unique_ptr<QWidget> pane(made);
        prepareOffscreen(pane.get(), QSize(settingsWidth, settingsHeight));
        if (const QByteArray png = widgetPng(pane.get()); !png.isEmpty())
            writePlain(inFolder(QStringLiteral("settings-%1.png").arg(QLatin1String(name))), png);
    };
    shoot("general", new GeneralSettings(*parts_.dxf));
    shoot("motors", new MotorsSettings(*parts_.motors));
    // The keyring answers a moment after the start; until then the pane could show neither
    // state. It is drawn once the key is known, or before the first delayed item at the latest.
    PublishSettings* publishing = parts_.publishing;
    if (publishing->isKeyLoaded()) {
        shoot("publishing", new PublishSettingsView(*publishing));
        return;
    }
    auto done = std::make_shared<bool>(false);
    const auto later = [this, shoot, done, publishing = QPointer(publishing)] {
        if (std::exchange(*done, true) || !publishing) return;
        shoot("publishing", new PublishSettingsView(*publishing));
    };
    connect(publishing, &PublishSettings::keyLoaded, this, later, Qt::SingleShotConnection);
    QTimer::singleShot(keyWaitLimit, this, later);
}

// --- Exports and the publish check --------------------------------------------------------------

void applySnapshotEdits(ProjectStore& store, const Environment& environment) {
    const auto env = [&](const char* name) { return environment(QString::fromLatin1(name)); };
    if (const auto link = env("RIG_FAKE_LINK")) {
        Project project = store.project();
        project.share = ShareInfo{"qzvx", toStd(*link), nowSeconds(), {}, {}, std::nullopt};
        store.setProject(std::move(project));
    }
    if (const auto text = env("RIG_TEST_HEIGHT")) {
        if (const auto height = parseTestHeight(*text)) {
            Project project = store.project();
            project.riggingHeight = *height;
            store.setProject(std::move(project));
            project = store.project();
            project.groupRiggingHeights = TextMap<double>{{"B-LAVA \u203A KARA", 12.0}};
            store.setProject(std::move(project));
        }
    }
    if (env("RIG_TEST_DELTA")) {
        Project project = store.project();
        const Motor motor{Uuid::random(), toStd(sampleMotorName), 55.0};
        const List<Source> sources = project.report.sources;
        for (const Source& source : sources) {
            if ((source.name == "L2 L" || source.name == "KARA 1") && !source.pickups.empty())
                project.setExtra(source.id(), source.pickups.back().role, PointExtra{motor, true});
        }
        store.setProject(std::move(project));
    }
}

void SnapshotRun::runExportSelfTest(const QString& exportFolder) {
    ProjectStore& store = *parts_.store;
    applySnapshotEdits(store, parts_.environment);

    const Project project = store.project();
    const Date now = nowSeconds();
    parts_.exports->printPDF(project, false, exportFolder + "/rigger.pdf", now);
    parts_.exports->printPDF(project, true, exportFolder + "/crew.pdf", now);
    writeExportFile(exportFolder + "/points.csv", riggingPointsCSV(project));
    using Footprints = RigDXF::Options::Footprints;
    const RigDXF::Options atHook{true, true, false, Footprints::hook, 0};
    const RigDXF::Options dropsToFloor{true, true, true, Footprints::floor, 0};
    for (const auto& [name, options] :
         {std::pair{"/points.dxf", atHook}, std::pair{"/points-drops-floor.dxf", dropsToFloor}}) {
        const std::string text = RigDXF::make(project, options);
        if (isAscii(text)) writeExportFile(exportFolder + QLatin1String(name), text);
    }

    if (isSet("RIG_PUBLISH_SERVER") && isSet("RIG_PUBLISH_KEY"))
        runPublishSelfTest(env("RIG_PUBLISH_SERVER"), env("RIG_PUBLISH_KEY"), exportFolder);
}

QCoro::Task<void> SnapshotRun::runPublishSelfTest(QString server, QString key, QString exportFolder) {
    QPointer<SnapshotRun> self(this);
    ++publishChecks_;
    const std::optional<QString> log = co_await publishCheckLog(std::move(server), std::move(key));
    if (!self) co_return;
    if (log) writeExportFile(exportFolder + "/publish.txt", toStd(*log));
    --publishChecks_;
    emit publishCheckFinished();
}

QCoro::Task<std::optional<QString>> SnapshotRun::publishCheckLog(QString server, QString key) {
    QPointer<SnapshotRun> self(this);
    QPointer<ProjectStore> store = parts_.store;
    QPointer<PdfPrinter> printer = parts_.printer;
    QPointer<PublishClient> client = parts_.client;
    const RigDXF::Options dxfOptions = parts_.dxf->options();
    const auto gone = [&] { return !self || !store || !printer || !client; };

    QString log;
    try {
        Project copy = store->project();
        const ShareInfo first = co_await store->crewLink().publishProject(copy, server, key);
        if (gone()) co_return std::nullopt;

        // From here on every send goes to the link of the first publish.
        copy.share = first;
        std::string leadID;
        std::optional<std::string> leadRole;
        if (!copy.report.sources.empty()) {
            const Source& lead = copy.report.sources[0];
            leadID = lead.id();
            if (!lead.pickups.empty()) leadRole = lead.pickups[0].role;
        }
        if (leadRole) {
            copy.setExtra(leadID, *leadRole,
                          PointExtra{Motor{Uuid::random(), toStd(sampleMotorName), 55.0}, true});
        }
        const ShareInfo second = co_await store->crewLink().publishProject(copy, server, key);
        if (gone()) co_return std::nullopt;
        log = "first " + toQ(first.url) + "\nsecond " + toQ(second.url) + "\nchanges " +
              changeMapDebugText(second.changes) + "\n";

        copy.share = second;
        std::vector<std::string> subs;
        for (const Source& source : copy.report.sources) {
            if (std::find(source.groups.begin(), source.groups.end(), "GR SUB") != source.groups.end())
                subs.push_back(source.id());
        }
        copy.setHidden(subs, true);
        // An edit made after the last publish: the re-send must not carry it.
        if (leadRole) {
            copy.setExtra(leadID, *leadRole,
                          PointExtra{Motor{Uuid::random(), toStd(probeMotorName), 99.0}, false});
        }
        co_await store->crewLink().resendProject(copy, server, key);
        if (gone()) co_return std::nullopt;

        PdfMaker makePdf = [printer](QStringList pages, QString target, bool landscape) -> QCoro::Task<bool> {
            if (!printer) co_return false;
            co_return co_await printer->makeAsync(std::move(pages), std::move(target), landscape);
        };
        co_await uploadDownloads(copy, toQ(second.token), server, key, std::move(makePdf), *client,
                                 dxfOptions);
        if (gone()) co_return std::nullopt;
        log += "files uploaded for " + toQ(second.token) + "\n";

        const QString answer = co_await fetchLink(server, toQ(second.token));
        if (gone()) co_return std::nullopt;
        log += visibilityResultLine(answer) + "\n";
    } catch (const std::exception& e) {
        if (gone()) co_return std::nullopt;
        log = "publish error: " + publishErrorText(e) + "\n";
    }
    co_return log;
}

QCoro::Task<QString> SnapshotRun::fetchLink(QString server, QString token) {
    if (!tokenSegment(token)) throw PublishError::server(publishText::invalidToken);
    const std::optional<QUrl> url = linkDocumentUrl(server, token);
    if (!url) throw PublishError::server(publishText::invalidAddress);

    QPointer<QNetworkReply> reply = network_->get(QNetworkRequest(*url));
    auto tooLarge = std::make_shared<bool>(false);
    auto timedOut = std::make_shared<bool>(false);
    QTimer::singleShot(fetchTimeout, reply.data(), [reply, timedOut] {
        *timedOut = true;
        reply->abort();
    });
    connect(reply.data(), &QIODevice::readyRead, reply.data(), [reply, tooLarge] {
        if (reply->bytesAvailable() > PublishClient::maxAnswerBytes) {
            *tooLarge = true;
            reply->abort();
        }
    });
    co_await reply.data();
    if (!reply) throw PublishError(PublishError::Kind::Cancelled, publishText::cancelled);
    const std::unique_ptr<QNetworkReply, void (*)(QNetworkReply*)> owned(
        reply.data(), [](QNetworkReply* r) { r->deleteLater(); });
    if (*tooLarge) throw PublishError(PublishError::Kind::Transport, publishText::tooLarge);
    if (*timedOut) throw PublishError(PublishError::Kind::TimedOut, publishText::timedOut);
    // Whatever the status: the body is what the server keeps, or its complaint.
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (reply->error() != QNetworkReply::NoError && !status.isValid())
        throw PublishError(PublishError::Kind::Transport, reply->errorString());
    co_return QString::fromUtf8(reply->readAll());
}

// --- Capture steps ------------------------------------------------------------------------------

void SnapshotRun::runSnapshotSteps(std::size_t index, SnapshotSteps steps) {
    if (index >= steps.size()) {
        finishSteps(std::chrono::steady_clock::now() + parts_.timing.finishLimit);
        return;
    }
    const SnapshotStep step = steps[index];
    if (step && *step == QLatin1String("full")) {
        QWidget* page = parts_.overviewPage ? parts_.overviewPage() : nullptr;
        if (page) {
            offscreen_.push_back(page);
            prepareOffscreen(page, QSize(overviewWidth, overviewHeight));
        }
        QTimer::singleShot(parts_.timing.settle, this, [this, page = QPointer<QWidget>(page), index, steps] {
            if (page) {
                if (const QByteArray png = widgetPng(page); !png.isEmpty())
                    writePlain(inFolder(QStringLiteral("shot%1.png").arg(index)), png);
                delete page.data();
            }
            emit stepCaptured(int(index));
            runSnapshotSteps(index + 1, steps);
        });
        return;
    }
    parts_.select(step);
    QTimer::singleShot(parts_.timing.settle, this, [this, index, steps] { captureStep(index, steps); });
}

void SnapshotRun::captureStep(std::size_t index, SnapshotSteps steps) {
    afterCrewDrawn([this, index, steps = std::move(steps)] {
        captureMainWindow(inFolder(QStringLiteral("shot%1.png").arg(index)));
        emit stepCaptured(int(index));
        runSnapshotSteps(index + 1, steps);
    });
}

namespace {

// Asked after the page's latest document went in (scripts run in the order they were sent):
// 0 while the page has drawn nothing, else a number that `framedCheck` reports once two frames
// have begun since, so the one with the drawing has been painted.
const QString frameProbe =
    QStringLiteral("(function () {"
                   "  var app = document.getElementById('app');"
                   "  if (!app || !app.firstElementChild) return 0;"
                   "  var n = (window.rigSnapshotProbe || 0) + 1;"
                   "  window.rigSnapshotProbe = n;"
                   "  requestAnimationFrame(function () {"
                   "    requestAnimationFrame(function () { window.rigSnapshotFramed = n; });"
                   "  });"
                   "  return n;"
                   "})()");
// True once painted; 0 when the page was loaded anew meanwhile (its renderer restarted), so
// the probe is asked again.
QString framedCheck(int probe) {
    return QStringLiteral("window.rigSnapshotProbe === undefined ? 0 : (window.rigSnapshotFramed || 0) >= %1")
        .arg(probe);
}
constexpr std::chrono::milliseconds drawPoll{100};

// Calls `next` once, when `view` has drawn and painted its latest document, or has failed,
// gone or not done so within `limit`; then goes.
class CrewDrawnWait : public QObject {
public:
    CrewDrawnWait(CrewWebView* view, std::chrono::milliseconds limit, std::function<void()> next,
                  QObject* parent)
        : QObject(parent), view_(view), next_(std::move(next)) {
        QTimer::singleShot(limit, this, [this] { finish(); });
        poll();
    }

private:
    void poll() {
        if (!view_ || view_->hasFailed()) return finish();
        if (!view_->isLoaded()) return later();
        QPointer<CrewDrawnWait> self(this);
        view_->page()->runJavaScript(probe_ == 0 ? frameProbe : framedCheck(probe_),
                                     [self](const QVariant& answer) {
                                         if (self) self->answered(answer);
                                     });
    }
    void answered(const QVariant& answer) {
        if (done_) return;
        if (probe_ == 0) {
            probe_ = answer.toInt();
        } else if (answer.typeId() != QMetaType::Bool) {
            probe_ = 0;
        } else if (answer.toBool()) {
            return finish();
        }
        later();
    }
    void later() {
        QTimer::singleShot(drawPoll, this, [this] { poll(); });
    }
    void finish() {
        if (std::exchange(done_, true)) return;
        const std::function<void()> next = std::move(next_);
        deleteLater();
        next();
    }

    QPointer<CrewWebView> view_;
    std::function<void()> next_;
    int probe_ = 0;
    bool done_ = false;
};

} // namespace

void SnapshotRun::afterCrewDrawn(std::function<void()> next) {
    CrewWebView* view = nullptr;
    if (QWidget* window = captureWindow()) {
        for (CrewWebView* candidate : window->findChildren<CrewWebView*>()) {
            if (candidate->isVisible()) {
                view = candidate;
                break;
            }
        }
    }
    if (!view) {
        next();
        return;
    }
    new CrewDrawnWait(view, parts_.timing.finishLimit, std::move(next), this);
}

void SnapshotRun::finishSteps(std::chrono::steady_clock::time_point deadline) {
    // Exports not yet begun (an import that ended between the two waits' looks), PDFs still
    // printing and a publish check under way would be cut off by the end.
    const bool busy = exportsDue_ || parts_.printer->jobCount() > 0 || publishChecks_ > 0;
    if (busy && std::chrono::steady_clock::now() < deadline) {
        QTimer::singleShot(100, this, [this, deadline] { finishSteps(deadline); });
        return;
    }
    const ProjectStore& store = *parts_.store;
    writeExportFile(
        inFolder("state.txt"),
        toStd(snapshotStateText(qsizetype(store.project().report.sources.size()), store.errorMessage())));
    parts_.quit(0);
}

QWidget* SnapshotRun::captureWindow() const {
    if (parts_.mainWindow) {
        if (QWidget* window = parts_.mainWindow()) return window;
    }
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        // Pages drawn off screen are no windows of the program.
        if (!widget->testAttribute(Qt::WA_DontShowOnScreen) && widget->windowType() != Qt::Desktop)
            windows.push_back(widget);
    }
    return chooseCaptureWindow(windows, QApplication::activeWindow());
}

void SnapshotRun::captureMainWindow(const QString& path) {
    QWidget* window = captureWindow();
    if (!window) return;
    if (const QByteArray png = widgetPng(window); !png.isEmpty()) {
        writePlain(path, png);
        return;
    }
    // The window would not draw itself: the screen's copy of it.
    const auto fail = [&path](const QString& reason) {
        writePlain(path + ".txt", ("capture failed: " + reason).toUtf8());
    };
    QScreen* screen = window->screen();
    if (!screen || !window->windowHandle()) {
        fail(QStringLiteral("The window is not on a screen."));
        return;
    }
    const QPixmap shot = screen->grabWindow(window->winId());
    if (shot.isNull()) {
        fail(QStringLiteral("The screen gave no picture of the window."));
        return;
    }
    const QByteArray png = pngBytes(shot.toImage());
    if (png.isEmpty()) return;
    QString error;
    if (!writePlain(path, png, &error)) fail(error);
}

void SnapshotRun::enlargeWindowForSnapshot() {
    QWidget* window = nullptr;
    if (parts_.mainWindow) window = parts_.mainWindow();
    if (!window || !window->isVisible()) {
        window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isVisible() && !widget->testAttribute(Qt::WA_DontShowOnScreen)) {
                window = widget;
                break;
            }
        }
    }
    if (!window) return;
    window->setGeometry(0, 0, tallWidth, tallHeight);
    window->update();
}

void runDevSnapshot(const QString& folder, SnapshotRun::Parts parts) {
    QPointer<SnapshotRun> run = new SnapshotRun(folder, std::move(parts), QCoreApplication::instance());
    // Widgets drawn off screen must go before the application object.
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit,
                     QCoreApplication::instance(), [run] { delete run.data(); });
    run->start();
}

} // namespace rig::app
