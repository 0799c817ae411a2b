// The store's file import: the entry for dropped, chosen and system-opened files, the reading
// on a worker thread and the result put back on the main thread.
#include "ProjectStore.h"

#include "AppPaths.h"
#include "ImportWorker.h"
#include "MotorLibrary.h"
#include "Preferences.h"
#include "Prompts.h"
#include "QtText.h"
#include "model/RigError.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QFuture>
#include <QFutureWatcher>
#include <QtConcurrent>

#include <exception>
#include <memory>
#include <stop_token>
#include <utility>

namespace rig::app {

struct ImportContext {
    MotorLibrary* library = nullptr; // MotorLibrary::shared() when not set
    std::shared_ptr<const ImportReaders> readers =
        std::make_shared<const ImportReaders>(ImportReaders::standard());
    // Stops a running import when the program quits or the store goes away.
    std::stop_source stop;

    ~ImportContext() { stop.request_stop(); }
};

namespace {

std::shared_ptr<ImportContext>& contextOf(std::shared_ptr<ImportContext>& slot, QObject* store) {
    if (!slot) {
        slot = std::make_shared<ImportContext>();
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, store,
                             [context = std::weak_ptr<ImportContext>(slot)] {
                                 if (auto live = context.lock()) live->stop.request_stop();
                             });
        }
    }
    return slot;
}

std::optional<ImportResult> runImport(const ImportInput& input, const ImportReaders& readers,
                                      std::stop_token stop) {
    try {
        return importFiles(input, readers, std::move(stop));
    } catch (const Cancelled&) {
        return std::nullopt; // the program is quitting
    } catch (const std::exception& error) {
        // Not a file's failure (those are caught per file): report it, change nothing.
        return ImportResult{input.snapshot, std::nullopt, {error.what()}};
    }
}

} // namespace

void ProjectStore::setMotorLibrary(MotorLibrary* library) {
    contextOf(import_, this)->library = library;
}

void ProjectStore::setImportReaders(const ImportReaders& readers) {
    contextOf(import_, this)->readers = std::make_shared<const ImportReaders>(readers);
}

void ProjectStore::handleURLs(const QList<QUrl>& urls) {
    if (importing_) return;
    QStringList files;
    for (const QUrl& url : urls)
        if (url.isLocalFile()) files.push_back(url.toLocalFile());
    if (files.isEmpty()) return;

    for (const QString& file : files) {
        if (QFileInfo(file).suffix().toLower() == QLatin1String("qvrig")) {
            openProject(file, true);
            return;
        }
    }
    settings().setValue(lastImportDirKey, QFileInfo(files.front()).absolutePath());
    setImporting(true);

    const std::shared_ptr<ImportContext>& context = contextOf(import_, this);
    ImportInput input;
    for (const QString& file : files) input.files.push_back(toPath(file));
    input.snapshot = project_;
    input.delta = (context->library ? *context->library : MotorLibrary::shared()).delta();
    input.author = toStd(defaultAuthorName());

    // Any change of the project while the files are read drops the result. The revision and
    // not value equality: a project holding not-a-number values never equals its own copy.
    const std::uint64_t startRevision = revision_;
    // The watcher is the store's child: when the store goes away first, the result is dropped
    // with it (a continuation bound to a dead context would run regardless).
    auto* watcher = new QFutureWatcher<std::optional<ImportResult>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, startRevision] {
        std::optional<ImportResult> result = watcher->result();
        watcher->deleteLater();
        setImporting(false);
        if (!result || revision_ != startRevision) return;
        setProject(std::move(result->project));
        if (result->changes) {
            QStringList changes;
            for (const std::string& change : *result->changes) changes.push_back(toQ(change));
            setImportChanges(std::move(changes));
        }
        if (!result->errors.empty()) {
            QStringList lines;
            for (const std::string& error : result->errors) lines.push_back(toQ(error));
            setErrorMessage(lines.join('\n'));
        }
    });
    watcher->setFuture(
        QtConcurrent::run([input = std::move(input), readers = context->readers,
                           stop = context->stop.get_token()] { return runImport(input, *readers, stop); }));
}

void ProjectStore::showImportPanel() {
    const QStringList files = prompts().chooseFilesToImport(
        settings().value(lastImportDirKey).toString(),
        QStringLiteral(
            "Choose the Soundvision report (PDF), inventory export (CSV) and/or loudspeaker export (DXF)."));
    QList<QUrl> urls;
    for (const QString& file : files) urls.push_back(QUrl::fromLocalFile(file));
    handleURLs(urls);
}

} // namespace rig::app
