#include "PdfPrinter.h"

#include "AppPaths.h"
#include "PageScheme.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QSaveFile>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineProfile>

#include <QCoroSignal>

#include <vector>

namespace rig::app {

namespace {

const QString readinessCheck = QStringLiteral("!!document.querySelector('.rig, .card')");

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
    start(html, target, landscape, {}, std::move(report));
}

void PdfPrinter::make(const QString& html, const QString& target, bool landscape,
                      std::function<void(bool)> done) {
    start(html, target, landscape, done ? std::move(done) : [](bool) {}, {});
}

QCoro::Task<bool> PdfPrinter::makeAsync(QString html, QString target, bool landscape) {
    JobWaiter waiter;
    QPointer<JobWaiter> guard(&waiter);
    make(html, target, landscape, [guard](bool success) {
        if (guard) emit guard->finished(success);
    });
    const bool success = co_await qCoro(&waiter, &JobWaiter::finished);
    co_return success;
}

void PdfPrinter::start(const QString& html, const QString& target, bool landscape,
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

    QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
    auto* page = new PinnedPage(profile, this);
    job.page = page;
    job.url = servePage(profile, html.toUtf8());

    // A page that never loads, or a print that never answers, must still end the job.
    job.timeout = new QTimer(this);
    job.timeout->setSingleShot(true);
    connect(job.timeout, &QTimer::timeout, this, [this, id] { finish(id, false); });
    job.timeout->start(timing_.jobTimeoutMs);

    connect(job.page, &QWebEnginePage::loadFinished, this, [this, id](bool ok) { onLoaded(id, ok); });
    page->loadPinned(job.url);
}

PdfPrinter::Job* PdfPrinter::job(std::uint64_t id) {
    const auto it = jobs_.find(id);
    return it == jobs_.end() ? nullptr : &it->second;
}

void PdfPrinter::onLoaded(std::uint64_t id, bool ok) {
    Job* j = job(id);
    if (j == nullptr || j->loaded) return;
    if (!ok) {
        finish(id, false);
        return;
    }
    j->loaded = true;
    const QString target = j->target; // a receiver may end the job
    emit pageLoaded(target);
    checkReady(id);
}

void PdfPrinter::checkReady(std::uint64_t id) {
    Job* j = job(id);
    if (j == nullptr) return;
    ++j->checks;
    QPointer<PdfPrinter> self(this);
    j->page->runJavaScript(readinessCheck, [self, id](const QVariant& answer) {
        if (!self) return;
        Job* j = self->job(id);
        if (j == nullptr) return;
        // Anything but a Boolean true (no answer, a script error) is "not yet".
        const bool ready = answer.typeId() == QMetaType::Bool && answer.toBool();
        if (ready) {
            QTimer::singleShot(self->timing_.printDelayMs, self, [self, id] { self->print(id); });
        } else if (j->checks > self->timing_.checkRetries) {
            // A page that never drew would print blank: that is no PDF of the project.
            self->finish(id, false);
        } else {
            QTimer::singleShot(self->timing_.checkIntervalMs, self, [self, id] { self->checkReady(id); });
        }
    });
}

void PdfPrinter::print(std::uint64_t id) {
    Job* j = job(id);
    if (j == nullptr) return;
    const QString target = j->target;
    emit printStarted(target, j->checks);
    j = job(id); // a receiver may end the job
    if (j == nullptr) return;
    j->timeout->start(timing_.printTimeoutMs);
    const QPageLayout layout(QPageSize(QPageSize::A4),
                             j->landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                             QMarginsF(28, 28, 28, 28), QPageLayout::Point);
    j->printing = true;
    QPointer<PdfPrinter> self(this);
    QWebEnginePage* page = j->page;
    printPage(*page, layout, [self, id, page](const QByteArray& pdf) {
        if (self) self->printed(id, page, pdf);
    });
}

void PdfPrinter::printed(std::uint64_t id, QWebEnginePage* page, const QByteArray& pdf) {
    if (printingAlone_.erase(page) > 0) {
        // Its job ended meanwhile. Not deleted from inside its own callback.
        page->deleteLater();
        return;
    }
    if (Job* j = job(id)) j->printing = false;
    write(id, pdf);
}

void PdfPrinter::printPage(QWebEnginePage& page, const QPageLayout& layout,
                           std::function<void(const QByteArray&)> done) {
    page.printToPdf(std::move(done), layout);
}

void PdfPrinter::write(std::uint64_t id, const QByteArray& pdf) {
    Job* j = job(id);
    if (j == nullptr) return;
    bool written = false;
    // No bytes is a print that failed, never an empty file that looks written.
    if (!pdf.isEmpty()) {
        QSaveFile file(j->target);
        written = file.open(QIODevice::WriteOnly) && file.write(pdf) == pdf.size() && file.commit();
    }
    finish(id, written);
}

void PdfPrinter::finish(std::uint64_t id, bool success, bool report) {
    const auto it = jobs_.find(id);
    if (it == jobs_.end()) return;
    Job job = std::move(it->second);
    jobs_.erase(it);

    delete job.timeout;
    job.page->disconnect(this);
    if (job.printing) {
        printingAlone_.insert(job.page); // deleted once its print answers
    } else {
        // This may run inside one of the page's own callbacks.
        job.page->deleteLater();
    }
    releasePage(job.url);

    emit jobFinished(job.target, success);
    if (job.done) {
        callLater(std::move(job.done), success);
    } else if (report && job.report) {
        job.report(job.target, success);
    }
}

void PdfPrinter::cancelAll() {
    const QDeadlineTimer deadline(timing_.endWaitMs);
    std::vector<QPointer<QWebEnginePage>> waitedFor;
    for (;;) {
        std::vector<QWebEnginePage*> idle;
        while (!jobs_.empty()) {
            const auto it = jobs_.begin();
            if (!it->second.printing) idle.push_back(it->second.page);
            finish(it->first, false, false);
        }
        // Not from inside a page callback here: end the pages now, the event loop may be over.
        for (QWebEnginePage* page : idle) delete page;
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
