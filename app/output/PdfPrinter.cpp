#include "PdfPrinter.h"

#include "AppPaths.h"
#include "PageScheme.h"
#include "QtText.h"
#include "base/File.h"
#include "base/PdfJoin.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <QCoroSignal>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace rig::app {

namespace {

const QString readinessCheck = QStringLiteral("!!document.querySelector('.rig, .card')");

// Why a job failed, for the user.
const char* const nothingToPrint = "There was nothing to print.";
const char* const tookTooLong = "Printing took too long.";
const char* const notLoaded = "The page did not load.";
const char* const notDrawn = "The page did not finish drawing.";
const char* const notPrinted = "The page could not be printed.";
const char* const notJoined = "The printed parts could not be joined.";

// Completion callbacks always run later from the event loop: a caller is never resumed
// from inside make(), and a superseded caller not from inside the job that replaced it.
void callLater(std::function<void(bool)> done, bool success) {
    if (!done) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [done = std::move(done), success] { done(success); },
        Qt::QueuedConnection);
}

// One waiting caller of makeAsync.
class JobWaiter : public QObject {
    Q_OBJECT
signals:
    void finished(bool success);
};

} // namespace

PdfPrinter::PdfPrinter(QObject* parent) : QObject(parent) {}

PdfPrinter::~PdfPrinter() {
    cancelAll();
}

void PdfPrinter::make(const QString& html, const QString& target, bool landscape, Report report) {
    start(QStringList(html), target, landscape, {}, std::move(report));
}

void PdfPrinter::make(const QString& html, const QString& target, bool landscape,
                      std::function<void(bool)> done) {
    make(QStringList(html), target, landscape, std::move(done));
}

QCoro::Task<bool> PdfPrinter::makeAsync(QString html, QString target, bool landscape) {
    return makeAsync(QStringList(std::move(html)), std::move(target), landscape);
}

void PdfPrinter::make(const QStringList& parts, const QString& target, bool landscape, Report report) {
    start(parts, target, landscape, {}, std::move(report));
}

void PdfPrinter::make(const QStringList& parts, const QString& target, bool landscape,
                      std::function<void(bool)> done) {
    start(parts, target, landscape, done ? std::move(done) : [](bool) {}, {});
}

QCoro::Task<bool> PdfPrinter::makeAsync(QStringList parts, QString target, bool landscape) {
    JobWaiter waiter;
    QPointer<JobWaiter> guard(&waiter);
    make(parts, target, landscape, [guard](bool success) {
        if (guard) emit guard->finished(success);
    });
    const bool success = co_await qCoro(&waiter, &JobWaiter::finished);
    co_return success;
}

void PdfPrinter::start(const QStringList& parts, const QString& target, bool landscape,
                       std::function<void(bool)> done, Report report) {
    const QString file = absoluteFilePath(target);
    // Two jobs writing one file would race; the later request wins.
    std::vector<std::uint64_t> replaced;
    for (const auto& [id, job] : jobs_) {
        if (job.target == file) replaced.push_back(id);
    }
    for (std::uint64_t id : replaced) finish(id, false, false);

    const std::uint64_t id = ++nextId_;
    Job& job = jobs_[id];
    job.target = file;
    job.landscape = landscape;
    job.done = std::move(done);
    job.report = std::move(report);

    // A page that never loads, or a print that never answers, must still end the job.
    job.timeout = new QTimer(this);
    job.timeout->setSingleShot(true);
    connect(job.timeout, &QTimer::timeout, this,
            [this, id] { finish(id, false, true, QString::fromUtf8(tookTooLong)); });
    job.timeout->start(timing_.jobTimeoutMs);

    // No page prints nothing: the job fails, later.
    if (parts.isEmpty()) {
        QTimer::singleShot(0, this,
                           [this, id] { finish(id, false, true, QString::fromUtf8(nothingToPrint)); });
        return;
    }
    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    job.parts.resize(std::size_t(parts.size()));
    for (std::size_t k = 0; k < job.parts.size(); ++k) {
        Part& part = job.parts[k];
        auto* page = new PinnedPage(profile, this);
        part.page = page;
        part.url = servePage(profile, parts[qsizetype(k)].toUtf8());
        connect(page, &QWebEnginePage::loadFinished, this, [this, id, k](bool ok) { onLoaded(id, k, ok); });
        page->loadPinned(part.url);
    }
}

PdfPrinter::Job* PdfPrinter::job(std::uint64_t id) {
    const auto it = jobs_.find(id);
    return it == jobs_.end() ? nullptr : &it->second;
}

PdfPrinter::Part* PdfPrinter::part(std::uint64_t id, std::size_t part) {
    Job* j = job(id);
    return j == nullptr || part >= j->parts.size() ? nullptr : &j->parts[part];
}

void PdfPrinter::onLoaded(std::uint64_t id, std::size_t k, bool ok) {
    Part* p = part(id, k);
    if (p == nullptr || p->loaded) return;
    if (!ok) {
        finish(id, false, true, QString::fromUtf8(notLoaded));
        return;
    }
    p->loaded = true;
    Job* j = job(id);
    if (!std::exchange(j->loaded, true)) {
        const QString target = j->target; // a receiver may end the job
        emit pageLoaded(target);
    }
    checkReady(id, k);
}

void PdfPrinter::checkReady(std::uint64_t id, std::size_t k) {
    Part* p = part(id, k);
    if (p == nullptr) return;
    ++p->checks;
    QPointer<PdfPrinter> self(this);
    p->page->runJavaScript(readinessCheck, [self, id, k](const QVariant& answer) {
        if (!self) return;
        Part* p = self->part(id, k);
        if (p == nullptr) return;
        // Anything but a Boolean true (no answer, a script error) is "not yet".
        const bool ready = answer.typeId() == QMetaType::Bool && answer.toBool();
        if (ready) {
            QTimer::singleShot(self->timing_.printDelayMs, self, [self, id, k] { self->print(id, k); });
        } else if (p->checks > self->timing_.checkRetries) {
            // A page that never drew would print blank: that is no PDF of the project.
            self->finish(id, false, true, QString::fromUtf8(notDrawn));
        } else {
            QTimer::singleShot(self->timing_.checkIntervalMs, self,
                               [self, id, k] { self->checkReady(id, k); });
        }
    });
}

void PdfPrinter::print(std::uint64_t id, std::size_t k) {
    Job* j = job(id);
    if (j == nullptr) return;
    if (!std::exchange(j->started, true)) {
        const QString target = j->target;
        emit printStarted(target, j->parts[k].checks);
        j = job(id); // a receiver may end the job
        if (j == nullptr) return;
    }
    Part& p = j->parts[k];
    p.printing = true;
    // Once every part prints, the job has the time a print may take.
    if (std::all_of(j->parts.begin(), j->parts.end(), [](const Part& q) { return q.printing || !q.page; }))
        j->timeout->start(timing_.printTimeoutMs);
    const QPageLayout layout(QPageSize(QPageSize::A4),
                             j->landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                             QMarginsF(28, 28, 28, 28), QPageLayout::Point);
    QPointer<PdfPrinter> self(this);
    QWebEnginePage* page = p.page;
    printPage(*page, layout, [self, id, k, page](const QByteArray& pdf) {
        if (self) self->printed(id, k, page, pdf);
    });
}

void PdfPrinter::printed(std::uint64_t id, std::size_t k, QWebEnginePage* page, const QByteArray& pdf) {
    if (printingAlone_.erase(page) > 0) {
        // Its job ended meanwhile. Not deleted from inside its own callback.
        page->deleteLater();
        return;
    }
    Part* p = part(id, k);
    if (p == nullptr) return;
    // No bytes is a print that failed, never an empty file that looks written.
    if (pdf.isEmpty()) {
        p->printing = false;
        finish(id, false, true, QString::fromUtf8(notPrinted));
        return;
    }
    // Done with: its renderer goes while the other parts print.
    p->printing = false;
    p->pdf = pdf;
    p->page->disconnect(this);
    p->page->deleteLater();
    p->page = nullptr;
    releasePage(std::exchange(p->url, QUrl()));
    Job* j = job(id);
    if (std::all_of(j->parts.begin(), j->parts.end(), [](const Part& q) { return !q.page; })) write(id);
}

void PdfPrinter::printPage(QWebEnginePage& page, const QPageLayout& layout,
                           std::function<void(const QByteArray&)> done) {
    page.printToPdf(std::move(done), layout);
}

void PdfPrinter::write(std::uint64_t id) {
    Job* j = job(id);
    if (j == nullptr) return;
    std::optional<std::string> joined;
    std::string joinError;
    if (j->parts.size() > 1) {
        std::vector<std::string_view> parts;
        for (const Part& p : j->parts) parts.emplace_back(p.pdf.constData(), std::size_t(p.pdf.size()));
        joined = joinPdfs(parts, &joinError);
    }
    const QByteArray pdf = j->parts.size() == 1 ? j->parts[0].pdf
                           : joined ? QByteArray::fromRawData(joined->data(), qsizetype(joined->size()))
                                    : QByteArray();
    if (pdf.isEmpty()) {
        // The joiner names the damaged part; an empty print has no words of its own.
        finish(id, false, true, joinError.empty() ? QString::fromUtf8(notJoined) : toQ(joinError));
        return;
    }
    // Not QSaveFile: it commits a file cut short when the disk fills up midway.
    try {
        writeFileAtomically(toPath(j->target), std::string_view(pdf.constData(), std::size_t(pdf.size())));
    } catch (const std::exception& error) {
        // The system's words: "No space left on device", "Permission denied" …
        finish(id, false, true, failureReason(error));
        return;
    }
    finish(id, true);
}

void PdfPrinter::finish(std::uint64_t id, bool success, bool report, const QString& failure) {
    const auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    Job job = std::move(it->second);
    jobs_.erase(it);

    delete job.timeout;
    for (Part& part : job.parts) {
        if (!part.page) continue;
        part.page->disconnect(this);
        if (part.printing) {
            printingAlone_.insert(part.page); // deleted once its print answers
        } else {
            // This may run inside one of the page's own callbacks.
            part.page->deleteLater();
        }
        releasePage(part.url);
    }

    emit jobFinished(job.target, success);
    if (job.done) {
        callLater(std::move(job.done), success);
    } else if (report && job.report) {
        job.report(job.target, success, failure);
    }
}

void PdfPrinter::dropAll() {
    std::vector<QWebEnginePage*> idle;
    while (!jobs_.empty()) {
        const auto it = jobs_.begin();
        for (const Part& part : it->second.parts)
            if (part.page && !part.printing) idle.push_back(part.page);
        finish(it->first, false, false);
    }
    // Not from inside a page callback here: end the pages now, the event loop may be over.
    for (QWebEnginePage* page : idle) delete page;
}

bool PdfPrinter::printsUnderWay() const {
    if (!printingAlone_.empty()) return true;
    for (const auto& [id, job] : jobs_)
        for (const Part& part : job.parts)
            if (part.printing) return true;
    return false;
}

void PdfPrinter::cancelAll() {
    const QDeadlineTimer deadline(timing_.endWaitMs);
    std::vector<QPointer<QWebEnginePage>> waitedFor;
    for (;;) {
        dropAll();
        if (printingAlone_.empty() || deadline.hasExpired()) break;
        waitedFor.insert(waitedFor.end(), printingAlone_.begin(), printingAlone_.end());
        // Their answers come through the event loop; a job started meanwhile ends next round.
        // Not QEventLoop::exec(): it returns at once while an exit() is pending.
        QTimer bound; // wakes the wait below at the deadline
        bound.setSingleShot(true);
        bound.start(int(deadline.remainingTime()));
        while (!printingAlone_.empty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents |
                                            QEventLoop::ExcludeUserInputEvents);
    }
    // Answered ones wait for a deferred delete that may never come now; pages whose print
    // never answered go all the same.
    for (QWebEnginePage* page : printingAlone_) waitedFor.emplace_back(page);
    printingAlone_.clear();
    for (const QPointer<QWebEnginePage>& page : waitedFor) delete page.data();
}

} // namespace rig::app

#include "PdfPrinter.moc"
