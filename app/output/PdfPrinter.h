// Prints a finished HTML page (the crew page in a print mode) to an A4 PDF file.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <cstdint>
#include <functional>
#include <map>
#include <set>

class QPageLayout;
class QTimer;
class QWebEnginePage;
class QWebEngineProfile;

namespace rig::app {

class PdfPrinter : public QObject {
    Q_OBJECT
public:
    struct Timing {
        int checkIntervalMs = 200;   // between readiness checks
        int checkRetries = 25;       // checks after the first one
        int printDelayMs = 300;      // from the last check to printing
        int jobTimeoutMs = 60000;    // a page not printing by then has failed
        int printTimeoutMs = 600000; // a print not written by then has failed (a large show takes a while)
        int endWaitMs = 20000;       // cancelAll: how long prints under way may take to answer
    };

    // How a fire-and-forget job ended: its file, and whether it was written.
    using Report = std::function<void(const QString& file, bool written)>;

    explicit PdfPrinter(QObject* parent = nullptr);
    ~PdfPrinter() override;

    // A page that has not drawn its content (an element of class "rig" or "card") when the
    // readiness checks run out is not printed: the job fails.

    // Fire and forget: `report` hears how the job ended, unless a later job replaced it or the
    // printer was cancelled.
    void make(const QString& html, const QString& target, bool landscape, Report report);
    // `done` receives true once the file is written, false otherwise; always later, never
    // from within this call, also when replaced or cancelled.
    void make(const QString& html, const QString& target, bool landscape, std::function<void(bool)> done);
    // The asynchronous form of the above.
    QCoro::Task<bool> makeAsync(QString html, QString target, bool landscape);

    // A job for a target that has one in flight replaces it: the earlier job ends at once,
    // its waiting caller gets false and nothing is reported.

    int jobCount() const { return int(jobs_.size()); }
    Timing timing() const { return timing_; }
    void setTiming(Timing timing) { timing_ = timing; }

    // Ends every job as failed without reporting anything (the program is quitting). A page
    // whose print is under way is deleted only once that print has answered: this runs the
    // event loop until then, at most timing().endWaitMs.
    void cancelAll();

signals:
    // The job's page has loaded; its readiness checks start now.
    void pageLoaded(const QString& target);
    // The page is about to be printed, after `checks` readiness checks.
    void printStarted(const QString& target, int checks);
    void jobFinished(const QString& target, bool success);

protected:
    // Prints the loaded page of a job; `done` gets the PDF, empty when printing failed.
    virtual void printPage(QWebEnginePage& page, const QPageLayout& layout,
                           std::function<void(const QByteArray&)> done);

private:
    struct Job {
        QString target;
        bool landscape = false;
        QWebEnginePage* page = nullptr;
        QUrl url;
        QTimer* timeout = nullptr;
        std::function<void(bool)> done; // empty: fire and forget
        Report report;
        bool loaded = false;
        bool printing = false; // printed, no answer yet
        int checks = 0;
    };

    void start(const QString& html, const QString& target, bool landscape, std::function<void(bool)> done,
               Report report);
    void onLoaded(std::uint64_t id, bool ok);
    void checkReady(std::uint64_t id);
    void print(std::uint64_t id);
    void printed(std::uint64_t id, QWebEnginePage* page, const QByteArray& pdf);
    void write(std::uint64_t id, const QByteArray& pdf);
    // Ends the job; `report` false ends it silently (replaced or cancelled).
    void finish(std::uint64_t id, bool success, bool report = true);
    Job* job(std::uint64_t id);

    Timing timing_;
    std::map<std::uint64_t, Job> jobs_;
    std::uint64_t nextId_ = 0;
    // Pages of ended jobs whose print has not answered yet. Qt WebEngine hands a print's answer
    // to the page that asked for it even after that page was deleted, and Chromium stops the
    // program when a page goes just after it started printing: each lives until its answer.
    std::set<QWebEnginePage*> printingAlone_;
};

} // namespace rig::app
