#include "ImportController.h"

#include "AppPaths.h"
#include "ImportWorker.h"
#include "MotorLibrary.h"
#include "Preferences.h"
#include "ProjectStore.h"
#include "Prompts.h"
#include "QtText.h"
#include "base/Text.h"
#include "model/RigError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QFutureWatcher>
#include <QtConcurrentRun>

#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <stop_token>
#include <utility>

namespace rig::app {

namespace {

std::optional<ImportResult> runImport(const ImportInput& input, const ImportReaders& readers,
                                      std::stop_token stop) {
    try {
        return importFiles(input, readers, std::move(stop));
    } catch (const Cancelled&) {
        return std::nullopt; // the program is quitting
    } catch (const std::exception& error) {
        // Not a file's failure (those are caught per file): report it, change nothing.
        ImportResult result{input.snapshot, std::nullopt, {}};
        result.errors.add(error.what());
        return result;
    }
}

QString joinedLines(const std::vector<std::string>& lines) {
    QStringList shown;
    for (const std::string& line : lines) shown.push_back(toQ(line));
    return shown.join('\n');
}

// The path of a file on this computer: "file:" without a host or with "localhost". Empty for any
// other address, also a file on another computer ("file://host/…"), which no path here reaches.
QString localPathOf(const QUrl& url) {
    if (!url.isLocalFile()) return {};
    if (url.host().isEmpty()) return url.toLocalFile();
    if (url.host().compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0) return {};
    QUrl local = url;
    local.setHost(QString());
    return local.toLocalFile();
}

} // namespace

bool isProjectDocument(const QUrl& url) {
    const QString path = localPathOf(url);
    return !path.isEmpty() && QFileInfo(path).suffix().toLower() == QLatin1String("qvrig");
}

HandedURLs sortHandedURLs(const QList<QUrl>& urls) {
    HandedURLs handed;
    QSet<QString> seen;
    seen.reserve(urls.size());
    for (const QUrl& url : urls) {
        // The path alone names the file: a query or fragment does not, nor "." or a doubled "/".
        const QString path = QDir::cleanPath(localPathOf(url));
        const bool isFile = QDir::isAbsolutePath(path);
        // Paths start with "/", addresses with their scheme: the keys never meet.
        const QString key = isFile ? path : url.toString();
        if (seen.contains(key)) continue;
        seen.insert(key);
        if (isFile) {
            handed.files.push_back(QUrl::fromLocalFile(path));
        } else {
            handed.notFiles.push_back(url);
        }
    }
    return handed;
}

struct ImportController::Workers {
    std::mutex mutex;
    std::condition_variable done;
    int running = 0;

    // Counts one worker from its start to its end, however it ends.
    struct Count {
        explicit Count(std::shared_ptr<Workers> w) : workers(std::move(w)) {
            std::lock_guard lock(workers->mutex);
            ++workers->running;
        }
        Count(const Count&) = delete;
        Count& operator=(const Count&) = delete;
        ~Count() {
            {
                std::lock_guard lock(workers->mutex);
                --workers->running;
            }
            workers->done.notify_all();
        }
        std::shared_ptr<Workers> workers;
    };
};

ImportController::ImportController(ProjectStore& store)
    : store_(store), readers_(std::make_shared<const ImportReaders>(ImportReaders::standard())),
      workers_(std::make_shared<Workers>()) {
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { stop_.request_stop(); });
    }
    longImport_.setSingleShot(true);
    connect(&longImport_, &QTimer::timeout, this, [this] {
        readingLong_ = true;
        tellWhatWaits();
    });
}

ImportController::~ImportController() {
    stop_.request_stop();
}

bool ImportController::finishReading(std::chrono::milliseconds limit) {
    stop_.request_stop();
    std::unique_lock lock(workers_->mutex);
    return workers_->done.wait_for(lock, limit, [this] { return workers_->running == 0; });
}

void ImportController::setImportReaders(const ImportReaders& readers) {
    readers_ = std::make_shared<const ImportReaders>(readers);
}

void ImportController::setImporting(bool importing) {
    if (importing == importing_) return;
    importing_ = importing;
    readingLong_ = false;
    waiting_ = ImportNotes();
    waitingFiles_.clear();
    if (importing) {
        longImport_.start(store_.delays().longImport);
    } else {
        longImport_.stop();
    }
    emit importingChanged();
}

void ImportController::setImportChanges(std::optional<QStringList> changes) {
    if (changes == importChanges_) return;
    importChanges_ = std::move(changes);
    emit importChangesChanged();
}

void ImportController::noteNotTaken(const QList<QUrl>& urls, const char* why) {
    for (const QUrl& url : urls) {
        const QString path = localPathOf(url);
        const bool isFile = !path.isEmpty();
        const QString key = isFile ? path : url.toString();
        if (notTakenFiles_.contains(key)) continue;
        notTakenFiles_.insert(key);
        // A file by its name, cut short (a path handed in need not be one the file system
        // takes); any other address as a cut piece (a "data:" one can be megabytes),
        // without the password it may carry.
        const std::string name = isFile ? bidiIsolated(messagePiece(toStd(QFileInfo(key).fileName())))
                                        : ImportNotes::quoted(toStd(url.toDisplayString()));
        notTaken_.add(why + name + " was not imported.");
    }
    tellWhatWaits();
}

void ImportController::noteWaiting(const QList<QUrl>& urls) {
    if (!importing_) return;
    for (const QUrl& url : sortHandedURLs(urls).files) {
        const QString path = url.toLocalFile();
        if (waitingFiles_.contains(path)) continue;
        waitingFiles_.insert(path);
        waiting_.add("Still reading files: " + bidiIsolated(toStd(QFileInfo(path).fileName())) +
                     " will be imported when they have been read.");
    }
    tellWhatWaits();
}

void ImportController::tellWhatWaits() {
    if (!importing_ || !readingLong_ || (notTaken_.empty() && waiting_.empty())) return;
    std::vector<std::string> lines = notTaken_.lines();
    for (std::string& line : waiting_.lines()) lines.push_back(std::move(line));
    // Each is said once: the names stay noted.
    notTaken_ = ImportNotes();
    waiting_ = ImportNotes();
    const QString told = joinedLines(lines);
    const std::optional<QString> shown = store_.errorMessage();
    store_.setErrorMessage(shown ? *shown + QLatin1Char('\n') + told : told);
}

void ImportController::handleURLs(const QList<QUrl>& urls) {
    const HandedURLs handed = sortHandedURLs(urls);
    if (importing_) {
        // Not taken, as before; but the import's message names them.
        noteNotTaken(handed.files, "Still reading files: ");
        noteNotTaken(handed.notFiles, "Not a file on this computer: ");
        return;
    }
    QStringList files;
    files.reserve(handed.files.size());
    for (const QUrl& url : handed.files) {
        if (isProjectDocument(url)) {
            store_.openProject(url.toLocalFile(), true);
            return;
        }
        files.push_back(url.toLocalFile());
    }
    noteNotTaken(handed.notFiles, "Not a file on this computer: ");
    if (files.isEmpty()) {
        // Nothing to read: what was not taken is said at once.
        if (!notTaken_.empty()) store_.setErrorMessage(joinedLines(notTaken_.lines()));
        notTaken_ = ImportNotes();
        notTakenFiles_.clear();
        return;
    }
    settings().setValue(lastImportDirKey, QFileInfo(files.front()).absolutePath());
    setImporting(true);

    ImportInput input;
    input.snapshot = store_.project();
    if (const MotorLibrary* library = store_.motorLibrary()) input.delta = library->delta();
    input.author = toStd(defaultAuthorName());

    // Any change of the project while the files are read drops the result. The revision and
    // not value equality: a project holding not-a-number values never equals its own copy.
    const std::uint64_t startRevision = store_.revision();
    // The watcher is this controller's child: when it goes away first, the result is dropped
    // with it (a continuation bound to a dead context would run regardless).
    auto* watcher = new QFutureWatcher<std::optional<ImportResult>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, startRevision] {
        std::optional<ImportResult> result = watcher->result();
        watcher->deleteLater();
        const std::vector<std::string> notTaken = notTaken_.lines();
        notTaken_ = ImportNotes();
        notTakenFiles_.clear();
        setImporting(false);
        if (!result) return; // the program is quitting
        if (store_.revision() != startRevision) {
            // The result is stale, but files the user handed in were still refused.
            if (!notTaken.empty()) store_.setErrorMessage(joinedLines(notTaken));
            return;
        }
        store_.setProject(std::move(result->project));
        if (result->changes) {
            QStringList changes;
            for (const std::string& change : *result->changes) changes.push_back(toQ(change));
            setImportChanges(std::move(changes));
        }
        std::vector<std::string> lines = result->errors.lines();
        lines.insert(lines.end(), notTaken.begin(), notTaken.end());
        if (!lines.empty()) store_.setErrorMessage(joinedLines(lines));
    });
    // Counted from now: a worker still waiting for a thread counts too.
    auto count = std::make_shared<Workers::Count>(workers_);
    // Paths are made on the worker: for a hundred thousand files handed in at once that takes
    // longer than the window may stand still.
    watcher->setFuture(
        QtConcurrent::run([input = std::move(input), files = std::move(files), readers = readers_,
                           stop = stop_.get_token(), count = std::move(count)]() mutable {
            input.files.reserve(std::size_t(files.size()));
            for (const QString& file : files) input.files.push_back(toPath(file));
            std::optional<ImportResult> result = runImport(input, *readers, stop);
            count.reset();
            return result;
        }));
}

void ImportController::showImportPanel() {
    const QStringList files = prompts().chooseFilesToImport(
        settings().value(lastImportDirKey).toString(),
        QStringLiteral(
            "Choose the Soundvision report (PDF), inventory export (CSV) and/or loudspeaker export (DXF)."));
    QList<QUrl> urls;
    for (const QString& file : files) urls.push_back(QUrl::fromLocalFile(file));
    handleURLs(urls);
}

} // namespace rig::app
