// Prints a finished HTML page (the crew page in a print mode), or a document in parts, to an A4
// PDF file.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <QByteArray>
#include <QCoroTask>

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <vector>

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

    // How a fire-and-forget job ended: its file, whether it was written, and if not, why (a
    // sentence, or the system's words for a write that failed).
    using Report = std::function<void(const QString& file, bool written, const QString& failure)>;

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

    // The same for a document printed in parts: each page is printed on its own, all at once
    // (each in a renderer process of its own), and their pages are joined in order into one
    // file. The job fails as a whole when one part fails; nothing is written then.
    void make(const QStringList& parts, const QString& target, bool landscape, Report report);
    void make(const QStringList& parts, const QString& target, bool landscape,
              std::function<void(bool)> done);
    QCoro::Task<bool> makeAsync(QStringList parts, QString target, bool landscape);

    // A job for a target that has one in flight replaces it: the earlier job ends at once,
    // its waiting caller gets false and nothing is reported.

    int jobCount() const { return int(jobs_.size()); }
    Timing timing() const { return timing_; }
    void setTiming(Timing timing) { timing_ = timing; }

    // Ends every job as failed without reporting anything (the program is quitting). A page
    // whose print is under way is deleted only once that print has answered: this runs the
    // event loop until then, at most timing().endWaitMs.
    void cancelAll();
    // The same without waiting ("Quit Now"): pages whose print is under way stay until it
    // answers. A print cannot be called off; neither its page nor its renderer may go before
    // it answers (either trips a check in Chromium that stops the program).
    void dropAll();
    // Prints that have not answered yet, of jobs ended or not.
    bool printsUnderWay() const;

signals:
    // The job's first page has loaded; its readiness checks start now.
    void pageLoaded(const QString& target);
    // The job's first page is about to be printed, after `checks` readiness checks.
    void printStarted(const QString& target, int checks);
    void jobFinished(const QString& target, bool success);

protected:
    // Prints the loaded page of a job; `done` gets the PDF, empty when printing failed.
    virtual void printPage(QWebEnginePage& page, const QPageLayout& layout,
                           std::function<void(const QByteArray&)> done);

private:
    // One page of a job, printed on its own.
    struct Part {
        QWebEnginePage* page = nullptr; // null once its print has answered
        QUrl url;
        bool loaded = false;
        bool printing = false; // printed, no answer yet
        int checks = 0;
        QByteArray pdf; // its print, once answered
    };
    struct Job {
        QString target;
        bool landscape = false;
        std::vector<Part> parts;
        QTimer* timeout = nullptr;
        std::function<void(bool)> done; // empty: fire and forget
        Report report;
        bool loaded = false;  // a part has loaded
        bool started = false; // a part has started printing
    };

    void start(const QStringList& parts, const QString& target, bool landscape,
               std::function<void(bool)> done, Report report);
    void onLoaded(std::uint64_t id, std::size_t part, bool ok);
    void checkReady(std::uint64_t id, std::size_t part);
    void print(std::uint64_t id, std::size_t part);
    void printed(std::uint64_t id, std::size_t part, QWebEnginePage* page, const QByteArray& pdf);
    void write(std::uint64_t id);
    // Ends the job; `report` false ends it silently (replaced or cancelled).
    void finish(std::uint64_t id, bool success, bool report = true, const QString& failure = {});
    Job* job(std::uint64_t id);
    Part* part(std::uint64_t id, std::size_t part);

    Timing timing_;
    std::map<std::uint64_t, Job> jobs_;
    std::uint64_t nextId_ = 0;
    // Pages of ended jobs whose print has not answered yet. Qt WebEngine hands a print's answer
    // to the page that asked for it even after that page was deleted, and Chromium stops the
    // program when a page goes just after it started printing: each lives until its answer.
    std::set<QWebEnginePage*> printingAlone_;
};

} // namespace rig::app
