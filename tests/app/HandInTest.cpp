// Files handed to the running program: by a later start over a session bus of the test's own
// (org.freedesktop.Application.Open, as the desktop calls it) and dropped on its window.
#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/PublishTesting.h"
#include "support/ReportGenerator.h"
#include "support/SessionBus.h"
#include "support/StoreTesting.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

#include "CrewLink.h"
#include "DesktopInstance.h"
#include "ImportController.h"
#include "ImportWorker.h"
#include "MainWindow.h"
#include "Program.h"
#include "ProjectStore.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "base/Text.h"
#include "import/ImportNotes.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDialog>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPromise>
#include <QSignalSpy>
#include <QThreadPool>

#include <QCoroFuture>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using testing::FakePrompts;
using testing::waitFor;

const char* const inventoryText = "Category;Quantity;Family;Product;Description;Amp channels\n"
                                  "Enclosure;12;K2;K2;;\n";

class HandIn : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
        start();
    }
    // The program holding the name; what it hands on to a new start is noted.
    void start() {
        instance = std::make_unique<DesktopInstance>(QDBusConnection::connectToBus(bus.address, "program"));
        ASSERT_EQ(instance->claimOrHandOver({}), DesktopInstance::Role::first);
        instance->setStarter([this](const QStringList& arguments) { handedOn.push_back(arguments); });
        program = std::make_unique<Program>();
        program->setDesktopInstance(instance.get());
        program->store().setDelays({1h, 1h, 1h, 1h});
        // The standard readers, noting what they were given.
        ImportReaders readers = ImportReaders::standard();
        readers.report = [this, report = readers.report](const std::filesystem::path& f,
                                                         std::stop_token stop) {
            note(f);
            while (holdReports && !stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return report(f, stop);
        };
        readers.inventory = [this, inventory = readers.inventory](const std::filesystem::path& f,
                                                                  std::stop_token stop, ImportNotes& notes) {
            note(f);
            return inventory(f, stop, notes);
        };
        program->store().importer().setImportReaders(readers);
    }
    // After a quit: its pending exit cleared, the next program.
    void restart() {
        holdReports = false;
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
        QCoreApplication::exec();
        program.reset();
        instance.reset();
        QDBusConnection::disconnectFromBus("program");
        handedOn.clear();
        start();
    }
    void TearDown() override {
        holdReports = false;
        program.reset();
        instance.reset();
        QDBusConnection::disconnectFromBus("caller");
        QDBusConnection::disconnectFromBus("program");
        QThreadPool::globalInstance()->waitForDone();
    }

    // A later start's call, answered by the program's event loop.
    QDBusPendingCall open(const QStringList& paths) {
        QStringList uris;
        for (const QString& path : paths) uris << QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
        return openURIs(uris);
    }
    QDBusPendingCall openURIs(const QStringList& uris) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            DesktopInstance::serviceName, DesktopInstance::objectPath, "org.freedesktop.Application", "Open");
        call << uris << QVariantMap();
        return caller.asyncCall(call, 120000);
    }
    static bool answered(const std::vector<QDBusPendingCall>& calls) {
        return std::all_of(calls.begin(), calls.end(),
                           [](const QDBusPendingCall& c) { return c.isFinished() && !c.isError(); });
    }

    void note(const std::filesystem::path& file) {
        std::lock_guard lock(mutex);
        read.push_back(file.filename().string());
    }
    std::vector<std::string> readFiles() {
        std::lock_guard lock(mutex);
        return read;
    }
    QString file(const std::string& name, std::string_view bytes) {
        return fromPath(files.write(name, bytes));
    }
    // Drops `paths` on the window's sidebar, as a file manager does.
    void drop(const QStringList& paths) {
        QMimeData mime;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        mime.setUrls(urls);
        QWidget* target = program->mainWindow().centralWidget();
        QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QDropEvent dropped(QPointF(4, 4), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        ASSERT_TRUE(dropped.isAccepted());
    }
    std::vector<QString> alerts() const {
        std::vector<QString> texts;
        for (const FakePrompts::Shown& s : prompts.shown())
            if (s.kind == FakePrompts::Kind::alert) texts.push_back(s.text);
        return texts;
    }

    testing::PrivateBus bus;
    QDBusConnection caller = QDBusConnection::connectToBus(bus.address, "caller");
    testing::TempAppPaths paths;
    FakePrompts prompts;
    test::TempDir files;
    std::unique_ptr<DesktopInstance> instance;
    std::unique_ptr<Program> program;
    std::atomic<bool> holdReports{false};
    std::vector<QStringList> handedOn;
    std::mutex mutex;
    std::vector<std::string> read;
};

TEST_F(HandIn, FilesRefusedDuringAnImportAreNamedOnceAndALaterStartsFilesWaitForIt) {
    test::ReportGeneratorOptions options;
    options.sources = 3;
    const QString report = file("report.pdf", test::generateReport(options).pdf);
    const QString dropped = file("show-inventory.csv", inventoryText);
    const QString project = file("other.qvrig", testing::showProject().fileText());
    const QString later = file("later.csv", inventoryText);
    ImportController& importer = program->store().importer();

    holdReports = true;
    program->mainWindow().show();
    drop({report});
    ASSERT_TRUE(importer.importing());
    ASSERT_TRUE(waitFor([&] { return !readFiles().empty(); })); // the worker reads the report
    // The user drops more while it reads (twice the same file); a later start hands its own.
    drop({dropped});
    drop({dropped, project});
    QCoreApplication::processEvents(); // a project document comes in queued
    const std::vector<QDBusPendingCall> calls{open({later})};
    ASSERT_TRUE(waitFor([&] { return answered(calls); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(readFiles(), std::vector<std::string>{"report.pdf"});
    EXPECT_TRUE(alerts().empty());

    holdReports = false;
    ASSERT_TRUE(waitFor([&] { return program->store().project().inventoryFile == "later.csv"; }, 60000));
    ASSERT_TRUE(waitFor([&] { return !importer.importing() && !alerts().empty(); }));
    EXPECT_EQ(readFiles(), (std::vector<std::string>{"report.pdf", "later.csv"}));
    EXPECT_FALSE(program->store().project().report.sources.empty());
    EXPECT_FALSE(program->store().filePath()) << "the dropped project was not opened";
    const auto refused = [](const char* name) {
        return "Still reading files: " + toQ(bidiIsolated(name)) + " was not imported.";
    };
    EXPECT_EQ(alerts(), std::vector<QString>{refused("show-inventory.csv") + "\n" + refused("other.qvrig")});
}

TEST_F(HandIn, ThousandsOfFilesInOneCallGiveTenLinesOfAlert) {
    int alertsSeen = 0;
    for (const int count : {80, 100000}) {
        QStringList paths;
        for (int i = 0; i < count; ++i) paths << fromPath(files.path()) + QString("/gone-%1.csv").arg(i);
        // The same files once more inside the call: each is read once.
        paths << paths.front();
        const std::vector<QDBusPendingCall> calls{open(paths)};
        ASSERT_TRUE(waitFor([&] { return answered(calls); }, 120000));
        ASSERT_TRUE(waitFor([&] { return int(alerts().size()) > alertsSeen; }, 240000)) << count;
        alertsSeen = int(alerts().size());
        const QStringList lines = alerts().back().split('\n');
        ASSERT_EQ(lines.size(), 11) << count;
        EXPECT_EQ(lines[0], "Cannot read " + toQ(bidiIsolated("gone-0.csv")) + ": No such file or directory");
        EXPECT_EQ(lines[10], QString("… and %1 more like these.").arg(count - 10));
        EXPECT_EQ(readFiles().size(), std::size_t(count)) << "nothing read twice";
        std::lock_guard lock(mutex);
        read.clear();
    }

    // Addresses that are no local file are named once, without a password.
    const std::vector<QDBusPendingCall> calls{
        openURIs({"http://x.org/a.pdf", "sftp://rig:pw@host/b.csv", "http://x.org/a.pdf", "trash:///c.dxf"})};
    ASSERT_TRUE(waitFor([&] { return answered(calls) && int(alerts().size()) > alertsSeen; }, 60000));
    QStringList named;
    for (const char* address : {"http://x.org/a.pdf", "sftp://rig@host/b.csv", "trash:///c.dxf"})
        named << "Not a file on this computer: " + toQ(ImportNotes::quoted(address)) + " was not imported.";
    EXPECT_EQ(alerts().back(), named.join('\n'));
}

TEST_F(HandIn, RepeatedCallsWhileASaveQuestionIsOpenAskOnce) {
    const QString show = file("show.qvrig", testing::showProject("Other").fileText());
    Project edited = testing::showProject();
    edited.name = "Edited";
    program->store().setProject(edited); // untitled and edited: opening asks first
    QSignalSpy handed(instance.get(), &DesktopInstance::startedAgain);
    const auto fence = [&](const std::string& name) {
        // Handed in after the others: once it is read, every earlier request was handled.
        const std::vector<QDBusPendingCall> last{open({file(name, inventoryText)})};
        return waitFor([&] { return answered(last) && program->store().project().inventoryFile == name; },
                       60000);
    };

    // A dialog of the program's own is open while the desktop asks 300 times.
    {
        QDialog dialog(&program->mainWindow());
        dialog.setModal(true);
        dialog.show();
        ASSERT_TRUE(waitFor([] { return QGuiApplication::modalWindow() != nullptr; }));
        std::vector<QDBusPendingCall> calls;
        for (int i = 0; i < 300; ++i) calls.push_back(open({show}));
        ASSERT_TRUE(waitFor([&] { return answered(calls) && handed.size() == 300; }, 60000));
        prompts.answerSave(Prompts::SaveAnswer::cancel);
        dialog.close();
        ASSERT_TRUE(fence("first.csv"));
    }
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 1);

    // The question of a handed-in project is open while the desktop asks again 300 times.
    prompts.answerSave(Prompts::SaveAnswer::cancel, [&] {
        const qsizetype before = handed.size();
        std::vector<QDBusPendingCall> calls;
        for (int i = 0; i < 300; ++i) calls.push_back(open({show}));
        EXPECT_TRUE(waitFor([&] { return answered(calls) && handed.size() == before + 300; }, 60000));
    });
    const std::vector<QDBusPendingCall> first{open({show})};
    ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::saveChanges) == 2; }, 60000));
    ASSERT_TRUE(fence("second.csv"));
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 2);

    // The same file in addresses spelled 300 ways while its question is open: asked once.
    const QString uri = QString::fromUtf8(QUrl::fromLocalFile(show).toEncoded());
    const QString folder = uri.section('/', 0, -2);
    prompts.answerSave(Prompts::SaveAnswer::cancel, [&] {
        const qsizetype before = handed.size();
        std::vector<QDBusPendingCall> calls;
        for (int i = 0; i < 300; ++i)
            calls.push_back(openURIs({i % 2 ? uri + "?v=" + QString::number(i) : folder + "/.//show.qvrig"}));
        EXPECT_TRUE(waitFor([&] { return answered(calls) && handed.size() == before + 300; }, 60000));
    });
    const std::vector<QDBusPendingCall> third{open({show})};
    ASSERT_TRUE(waitFor([&] { return prompts.count(FakePrompts::Kind::saveChanges) == 3; }, 60000));
    ASSERT_TRUE(fence("third.csv"));
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 3);
    EXPECT_EQ(program->store().project().name, "Edited");
}

// Files handed in while a quit question is open, or while an import reads on and on (said after a
// while), are taken when the quit is called off; once it is decided, by whichever answer, the name
// goes and they go to a new start; "Finish, Then Quit" keeps the project file as it was.
TEST_F(HandIn, FilesWaitingWhenTheQuitIsDecidedGoToANewStart) {
    using Quit = Prompts::QuitAnswer;
    struct Row {
        std::optional<Prompts::SaveAnswer> save; // about an untitled, edited project
        std::optional<Quit> running;             // during a publish of the saved project
        bool quits;
    };
    testserver::PublishStandIn server{testing::standInKey};
    ASSERT_TRUE(server.start());
    PublishSettings publishing(std::make_unique<MemorySecretStore>());
    publishing.setServer(server.baseUrl());
    publishing.setKey(testing::standInKey);
    const QString later = file("later.csv", inventoryText);
    const QString saved = file("show.qvrig", testing::showProject().fileText());
    const auto handInLater = [&] {
        const std::vector<QDBusPendingCall> calls{open({later})};
        return waitFor([&] { return answered(calls); });
    };
    const auto handIn = [&] { // while the question, a modal dialog, is open
        QDialog question(&program->mainWindow());
        question.setModal(true);
        question.show();
        EXPECT_TRUE(handInLater());
    };
    const std::vector<Row> rows{{Prompts::SaveAnswer::dontSave, {}, true},
                                {{}, {}, true},
                                {Prompts::SaveAnswer::cancel, {}, false},
                                {{}, Quit::quitNow, true},
                                {{}, Quit::finishFirst, true},
                                {{}, Quit::finishFirst, false}}; // stopped by a failure
    for (const Row& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows.data()));
        ProjectStore& store = program->store();
        QPromise<void> uploaded;
        uploaded.start();
        QSignalSpy closed(&program->mainWindow(), &MainWindow::closed);
        if (row.save) {
            store.setProject(testing::showProject("Edited"));
            prompts.answerSave(*row.save, handIn);
        } else if (row.running) {
            store.openProject(saved, false);
            store.crewLink().setPublishing(&publishing, &program->client());
            store.crewLink().setDownloadUploader(
                [&](Project, QString) -> QCoro::Task<void> { co_await uploaded.future(); });
            store.crewLink().press();
            ASSERT_TRUE(waitFor([&] { return store.project().share.has_value(); }));
            prompts.answerQuitWhileRunning(*row.running, handIn);
        } else {
            // A read that does not return: what waits for it is said.
            store.setDelays({1h, 1h, 1h, 0ms});
            holdReports = true;
            store.importer().handleURLs(
                {QUrl::fromLocalFile(file("report.pdf", test::generateReport().pdf))});
            ASSERT_TRUE(waitFor([&] { return !readFiles().empty(); }));
            ASSERT_TRUE(handInLater() && waitFor([&] { return !alerts().empty(); }));
            EXPECT_EQ(alerts().back(), "Still reading files: " + toQ(bidiIsolated("later.csv")) +
                                           " will be imported when they have been read.");
        }
        program->mainWindow().close();
        ASSERT_TRUE(waitFor([&] { return prompts.allAnswered(); }));
        if (!row.quits) {
            if (row.running) { // a failure: the name is taken again, and the files of a later start
                store.setErrorMessage("Down");
                ASSERT_TRUE(waitFor([&] {
                    return caller.interface()->isServiceRegistered(DesktopInstance::serviceName).value();
                }));
                ASSERT_TRUE(handInLater());
            }
            ASSERT_TRUE(waitFor([&] { return store.project().inventoryFile == "later.csv"; }));
            EXPECT_TRUE(handedOn.size() == (row.running ? 1u : 0u) && closed.empty());
            uploaded.finish();
            ASSERT_TRUE(waitFor([&] { return !store.crewLink().isPressing(); }));
            continue;
        }
        // Decided, while the program may still take a while to end: a start runs as the program.
        const QDBusPendingCall refused = open({later});
        ASSERT_TRUE(waitFor([&] { return refused.isFinished(); }) && refused.isError());
        EXPECT_EQ(DesktopInstance(QDBusConnection::connectToBus(bus.address, "next")).claimOrHandOver({}),
                  DesktopInstance::Role::first);
        QDBusConnection::disconnectFromBus("next");
        // Handed on, or (wrongly) taken, before the work ends.
        ASSERT_TRUE(
            waitFor([&] { return !handedOn.empty() || store.project().inventoryFile == "later.csv"; }));
        uploaded.finish();
        ASSERT_TRUE(waitFor([&] { return closed.size() == 1; }));
        ASSERT_EQ(handedOn.size(), 1u);
        EXPECT_EQ(commandLineFiles(handedOn.front()), QList<QUrl>{QUrl::fromLocalFile(later)});
        EXPECT_NE(Project::fromText(testing::readText(saved).toStdString()).inventoryFile, "later.csv");
        restart();
    }
}

} // namespace
} // namespace rig::app
