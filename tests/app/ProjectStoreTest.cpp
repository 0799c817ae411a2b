#include "shell/AppPaths.h"
#include "shell/DateText.h"
#include "shell/QtText.h"
#include "support/StoreTesting.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QEventLoop>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <system_error>

namespace rig::app {
namespace {

using testing::FakePrompts;
using testing::readText;
using testing::showProject;
using SaveAnswer = Prompts::SaveAnswer;
using RestoreAnswer = Prompts::RestoreAnswer;
using Kind = FakePrompts::Kind;

QString couldNotSave(int error) {
    return "Could not save: " + toQ(std::generic_category().message(error));
}

void holdAutosave(ProjectStore& store) {
    store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
}

class ProjectStoreTest : public ::testing::Test {
protected:
    void SetUp() override { store = testing::makeStore(); }

    QString file(const QString& name) const { return QDir(files.path()).filePath(name); }
    std::string fileText(const QString& name) const { return readText(file(name)).toStdString(); }
    QString recovery() const { return ProjectStore::recoveryPath(); }
    bool recoveryExists() const { return QFileInfo::exists(recovery()); }
    std::string recoveryText() const { return readText(recovery()).toStdString(); }
    void leaveRecoveryCopy(const Project& project) {
        ASSERT_TRUE(testing::writeText(recovery(), QByteArray::fromStdString(project.recoveryText())));
    }

    testing::TempAppPaths paths;
    FakePrompts prompts;
    QTemporaryDir files;
    std::unique_ptr<ProjectStore> store;
};

TEST_F(ProjectStoreTest, OnlyRealEditsMarkTheProjectAndASavedOneReopensClean) {
    QSignalSpy changed(store.get(), &ProjectStore::projectChanged);
    store->setProject(Project());
    EXPECT_FALSE(store->isDirty());
    Project project = fixtures::fullProject();
    project.report.sources.edit()[0].pickups.edit()[0].position.x = fixtures::notANumber;
    store->setProject(project);
    EXPECT_TRUE(store->isAutosavePending());
    EXPECT_EQ(store->windowTitle(), "Arena show — Edited");
    // Equal again, also with not-a-number coordinates held in shared storage.
    store->setProject(project);
    store->setProject(Project(store->project()));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(store->revision(), 1u);
    ASSERT_TRUE(store->writeProject(file("v1.2 show.qvrig")));
    EXPECT_EQ(fileText("v1.2 show.qvrig"), project.fileText());
    EXPECT_EQ(store->windowTitle(), "v1.2 show");

    auto other = testing::makeStore();
    QSignalSpy dirtyChanged(other.get(), &ProjectStore::dirtyChanged);
    other->openProject(file("v1.2 show.qvrig"), false);
    EXPECT_EQ(other->project().fileText(), project.fileText());
    EXPECT_EQ(other->filePath(), file("v1.2 show.qvrig"));
    EXPECT_EQ(dirtyChanged.count(), 0);
    EXPECT_FALSE(other->isAutosavePending());
    EXPECT_EQ(other->generation(), 1u);
    store->newProject();
    EXPECT_EQ(store->revision(), 2u);
    EXPECT_EQ(store->generation(), 1u);
    EXPECT_EQ(store->windowTitle(), "Untitled");
}

TEST_F(ProjectStoreTest, FailedOpenOrSaveNamesTheReasonAndKeepsEverything) {
    QDir(files.path()).mkdir("Folder.qvrig");
    ASSERT_TRUE(testing::writeText(file("NotJSON.qvrig"), "hello"));
    QString decoderReason = "no error";
    try {
        Project::fromText("hello");
    } catch (const std::exception& e) {
        decoderReason = toQ(e.what());
    }
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Kept.qvrig")));
    store->setProject(showProject("Main R"));
    const Project before = store->project();
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { store->openProject(file("Missing.qvrig"), false); },
         "Could not open Missing.qvrig: " + toQ(std::generic_category().message(ENOENT))},
        {[&] { store->openProject(file("NotJSON.qvrig"), false); },
         "Could not open NotJSON.qvrig: " + decoderReason},
        {[&] { EXPECT_FALSE(store->writeProject(file("Missing/Show.qvrig"))); }, couldNotSave(ENOENT)},
        {[&] { EXPECT_FALSE(store->writeProject(file("Folder.qvrig"))); }, couldNotSave(EISDIR)},
    };
    for (const auto& [act, message] : cases) {
        SCOPED_TRACE(message.toStdString());
        act();
        EXPECT_EQ(store->errorMessage(), message);
        EXPECT_EQ(store->project(), before);
        EXPECT_EQ(store->filePath(), file("Kept.qvrig"));
        EXPECT_TRUE(store->isDirty());
        EXPECT_EQ(store->recent(), QStringList{file("Kept.qvrig")});
    }
}

TEST_F(ProjectStoreTest, RecentListIsTenExistingFilesNewestFirstWithoutDuplicates) {
    QStringList expected;
    for (int i = 0; i < 11; ++i) {
        store->setProject(showProject("Array " + std::to_string(i)));
        ASSERT_TRUE(store->writeProject(file(QString("P%1.qvrig").arg(i))));
        if (i > 0) expected.prepend(file(QString("P%1.qvrig").arg(i)));
    }
    EXPECT_EQ(store->recent(), expected);
    // Another spelling of the same file moves it to the front.
    store->openProject(files.path() + "/./sub/../P3.qvrig", true);
    expected.removeAll(file("P3.qvrig"));
    expected.prepend(file("P3.qvrig"));
    EXPECT_EQ(store->recent(), expected);
    // Saving again into the open file leaves the order.
    store->openProject(file("P7.qvrig"), true);
    store->rememberRecent(file("P3.qvrig"));
    expected = store->recent();
    store->setProject(showProject("Changed"));
    ASSERT_TRUE(store->writeProject(file("P7.qvrig")));
    EXPECT_EQ(store->recent(), expected);
    // A new run keeps the stored order but drops files that are gone.
    QFile::remove(file("P5.qvrig"));
    expected.removeAll(file("P5.qvrig"));
    EXPECT_EQ(testing::makeStore()->recent(), expected);
    store->clearRecent();
    EXPECT_TRUE(testing::makeStore()->recent().isEmpty());
}

TEST_F(ProjectStoreTest, SavePromptComesOnlyForUnsavedWorkAndEachAnswerDoesWhatItSays) {
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Clean.qvrig")));
    EXPECT_TRUE(store->confirmDiscardChanges());
    EXPECT_TRUE(prompts.shown().empty());

    const struct {
        const char* name;
        SaveAnswer answer;
        std::optional<QString> panel;
        bool goesOn, savedToFile, recoveryCopy;
    } cases[] = {
        {"Save, then a file", SaveAnswer::save, file("Saved.qvrig"), true, true, false},
        {"Save, panel cancelled", SaveAnswer::save, std::nullopt, false, false, false},
        {"Don’t Save", SaveAnswer::dontSave, std::nullopt, true, false, true},
        {"Cancel", SaveAnswer::cancel, std::nullopt, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(recovery());
        QFile::remove(file("Saved.qvrig"));
        auto s = testing::makeStore();
        Project p = showProject();
        p.name = "AC/DC";
        s->setProject(p);
        prompts.answerSave(c.answer);
        if (c.answer == SaveAnswer::save) prompts.answerSavePanel(c.panel);
        EXPECT_EQ(s->confirmDiscardChanges(), c.goesOn);
        EXPECT_EQ(prompts.last(Kind::saveChanges).text, "Save changes to “AC/DC”?");
        if (c.answer == SaveAnswer::save) {
            EXPECT_EQ(prompts.last(Kind::savePanel).fileName, "ACDC.qvrig"); // no folder in the name
            EXPECT_EQ(prompts.last(Kind::savePanel).directory, QDir(files.path()).absolutePath());
        }
        EXPECT_EQ(QFileInfo::exists(file("Saved.qvrig")), c.savedToFile);
        EXPECT_EQ(recoveryExists(), c.recoveryCopy);
        if (c.recoveryCopy) {
            EXPECT_EQ(recoveryText(), p.recoveryText());
        }
    }
}

TEST_F(ProjectStoreTest, AProjectThatCannotBeSavedIsNeverDroppedSilently) {
    QDir(files.path()).mkdir("Show");
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Show/Show.qvrig")));
    store->setProject(showProject("Main R"));
    ASSERT_TRUE(QDir(file("Show")).removeRecursively());
    // The save into the file fails: the prompt comes up; Cancel keeps the project.
    prompts.answerSave(SaveAnswer::cancel);
    store->newProject();
    EXPECT_EQ(store->errorMessage(), couldNotSave(ENOENT));
    EXPECT_EQ(store->project(), showProject("Main R"));
    // Save goes through the panel.
    prompts.answerSave(SaveAnswer::save);
    prompts.answerSavePanel(file("Elsewhere.qvrig"));
    store->newProject();
    EXPECT_EQ(fileText("Elsewhere.qvrig"), showProject("Main R").fileText());
    EXPECT_TRUE(store->project().isEmpty());
    // Don’t Save when not even the recovery copy can be written: kept.
    ASSERT_TRUE(QDir(paths.file("data/QuorvaneRig/Recovery")).removeRecursively());
    ASSERT_TRUE(testing::writeText(paths.file("data/QuorvaneRig/Recovery"), "a file in the way"));
    store->setProject(showProject());
    prompts.answerSave(SaveAnswer::dontSave);
    store->newProject();
    EXPECT_EQ(store->project(), showProject());
    EXPECT_TRUE(store->errorMessage().value_or("").startsWith("Could not save: "));
}

TEST_F(ProjectStoreTest, OpeningAsksOnceAndStopsWhenCancelled) {
    store->setProject(showProject("Other"));
    ASSERT_TRUE(store->writeProject(file("Other.qvrig")));
    store->newProject();
    store->setProject(showProject());
    prompts.answerSave(SaveAnswer::cancel);
    store->showOpenPanel(); // no panel
    prompts.answerSave(SaveAnswer::dontSave);
    prompts.answerOpen(file("Other.qvrig"));
    store->showOpenPanel();
    EXPECT_EQ(prompts.last(Kind::openPanel).directory, QDir(files.path()).absolutePath());
    EXPECT_EQ(store->project(), showProject("Other"));
    EXPECT_EQ(prompts.count(Kind::saveChanges), 2);
    EXPECT_EQ(prompts.count(Kind::openPanel), 1);
}

TEST_F(ProjectStoreTest, AutosaveGoesToTheRecoveryCopyOrIntoTheFile) {
    // Untitled: the last of several edits into the recovery copy, still edited.
    store->setProject(showProject("A"));
    store->setProject(showProject("C"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(recoveryText(), showProject("C").recoveryText());
    EXPECT_TRUE(store->isDirty());
    // With a file: saved into it, clean, and the own recovery copy goes.
    prompts.answerSavePanel(file("Show.qvrig"));
    ASSERT_TRUE(store->saveProject());
    EXPECT_FALSE(recoveryExists());
    store->setProject(showProject("Main R"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(fileText("Show.qvrig"), showProject("Main R").fileText());
    EXPECT_FALSE(store->isDirty());
    // Failing into the file: said, and still edited.
    QFile::remove(file("Show.qvrig"));
    QDir(files.path()).mkdir("Show.qvrig");
    store->setProject(showProject("Main C"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(store->errorMessage(), couldNotSave(EISDIR));
    EXPECT_TRUE(store->isDirty());
    // Nothing for an empty project or in snapshot mode.
    auto s = testing::makeStore();
    Project named;
    named.name = "Just a name";
    s->setProject(named);
    EXPECT_FALSE(s->isAutosavePending());
    qputenv("RIG_SNAPSHOT", files.path().toUtf8());
    s->setProject(showProject());
    EXPECT_FALSE(s->isAutosavePending());
    EXPECT_FALSE(s->scheduleRestoreOffer());
    qunsetenv("RIG_SNAPSHOT");
}

TEST_F(ProjectStoreTest, AutosaveWritesTheProjectAsItWasAndASaveWinsOverIt) {
    holdAutosave(*store);
    store->setProject(showProject("A"));
    ASSERT_TRUE(store->writeProject(file("Show.qvrig")));
    store->setProject(showProject("B"));
    store->writeRecovery(); // as the timer does
    store->setProject(showProject("C"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(fileText("Show.qvrig"), showProject("B").fileText());
    EXPECT_TRUE(store->isDirty()); // C is not in the file
    for (int round = 0; round < 20; ++round) {
        const std::string n = std::to_string(round);
        store->setProject(showProject("B" + n));
        store->writeRecovery();
        store->setProject(showProject("C" + n));
        ASSERT_TRUE(store->writeProject(file("Show.qvrig")));
        ASSERT_TRUE(testing::autosaved(*store));
        ASSERT_EQ(fileText("Show.qvrig"), showProject("C" + n).fileText());
        ASSERT_FALSE(store->isDirty());
    }
}

TEST_F(ProjectStoreTest, SaveDeletesOnlyTheStoresOwnRecoveryCopy) {
    // Written by "Don’t Save" for the project that was dropped: kept for the next start.
    store->setProject(showProject("B"));
    prompts.answerSave(SaveAnswer::dontSave);
    store->newProject();
    store->setProject(showProject("C"));
    ASSERT_TRUE(store->writeProject(file("C.qvrig")));
    EXPECT_EQ(recoveryText(), showProject("B").recoveryText());
    // Left by an earlier run: kept.
    leaveRecoveryCopy(showProject("Earlier"));
    store->setProject(showProject("C2"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(recoveryText(), showProject("Earlier").recoveryText());
    // A large copy still being encoded when the save comes never lands afterwards.
    QFile::remove(recovery());
    holdAutosave(*store);
    Project large = fixtures::largeProject(300);
    for (int round = 0; round < 3; ++round) {
        store->newProject();
        large.name = "Large " + std::to_string(round);
        store->setProject(large);
        store->writeRecovery();
        store->setProject(showProject("Small"));
        ASSERT_TRUE(store->writeProject(file(QString("Small%1.qvrig").arg(round))));
        ASSERT_TRUE(testing::autosaved(*store));
        store->finishWrites();
        EXPECT_FALSE(recoveryExists()) << round;
    }
}

TEST_F(ProjectStoreTest, RestoreOfferTextsAndAnswers) {
    Project copy = showProject();
    copy.name.clear();
    copy.share = fixtures::fullProject().share;
    leaveRecoveryCopy(copy);
    // Offered after the launch delay, never over another dialog; Escape keeps the copy.
    prompts.answerRestore(RestoreAnswer::dismissed);
    QDialog alert;
    alert.setWindowModality(Qt::ApplicationModal);
    alert.show();
    QTRY_VERIFY(QApplication::activeModalWidget());
    auto launching = testing::makeStore();
    EXPECT_TRUE(launching->scheduleRestoreOffer());
    QTest::qWait(int(launching->delays().restoreOffer.count()) + 500);
    EXPECT_EQ(prompts.count(Kind::restoreOffer), 0);
    alert.close();
    QTRY_COMPARE_WITH_TIMEOUT(prompts.count(Kind::restoreOffer), 1, 10000);
    EXPECT_EQ(prompts.last(Kind::restoreOffer).text, "Restore unsaved project “Untitled”?");
    EXPECT_EQ(prompts.last(Kind::restoreOffer).detail,
              "It was not saved when Quorvane Rig closed (" +
                  formatShortDateTime(QFileInfo(recovery()).lastModified()) +
                  ").\nCrew link: https://crew.example.net/v/tok-5f2a9c");
    // Restore: untitled and edited; the copy stays until saved.
    prompts.answerRestore(RestoreAnswer::restore);
    store->offerRestore();
    EXPECT_EQ(store->project(), copy);
    EXPECT_FALSE(store->filePath());
    EXPECT_TRUE(store->isDirty());
    EXPECT_EQ(store->generation(), 1u);
    EXPECT_TRUE(recoveryExists());
    ASSERT_TRUE(store->writeProject(file("Restored.qvrig")));
    EXPECT_FALSE(recoveryExists());
    // Discard deletes it; copies that cannot be used are deleted without asking.
    leaveRecoveryCopy(copy);
    prompts.answerRestore(RestoreAnswer::discard);
    testing::makeStore()->offerRestore();
    EXPECT_FALSE(recoveryExists());
    for (const std::string& bad :
         {std::string("{\"name\": "), std::string("[1, 2]"), Project().recoveryText()}) {
        testing::writeText(recovery(), QByteArray::fromStdString(bad));
        auto s = testing::makeStore();
        s->offerRestore();
        EXPECT_FALSE(recoveryExists()) << bad;
        EXPECT_TRUE(s->project().isEmpty());
    }
    EXPECT_EQ(prompts.count(Kind::restoreOffer), 3);
}

TEST_F(ProjectStoreTest, NoRestoreOverAnOpenOrIncomingProject) {
    leaveRecoveryCopy(showProject("Copy"));
    holdAutosave(*store);
    store->setProject(showProject("Opened"));
    store->offerRestore();
    auto importing = testing::makeStore();
    importing->setImporting(true);
    importing->offerRestore();
    EXPECT_TRUE(prompts.shown().empty());
    // While the offer was showing, an import started or a project came in.
    testing::writeText(file("Empty.qvrig"), QByteArray::fromStdString(Project().fileText()));
    const std::function<void(ProjectStore&)> meanwhile[] = {
        [](ProjectStore& s) { s.setImporting(true); },
        [&](ProjectStore& s) { s.openProject(file("Empty.qvrig"), true); },
        [](ProjectStore& s) { s.setProject(showProject("Imported")); },
    };
    for (const auto& act : meanwhile) {
        auto s = testing::makeStore();
        prompts.answerRestore(RestoreAnswer::restore, [&] { act(*s); });
        s->offerRestore();
        EXPECT_NE(s->project(), showProject("Copy"));
        EXPECT_EQ(recoveryText(), showProject("Copy").recoveryText());
    }
    // Discard keeps a copy the imported project wrote meanwhile, also one still being written.
    const Project imported = fixtures::largeProject(100);
    for (bool waitForTheWrite : {true, false}) {
        leaveRecoveryCopy(showProject("Copy"));
        auto s = testing::makeStore();
        holdAutosave(*s);
        prompts.answerRestore(RestoreAnswer::discard, [&] {
            s->setProject(imported);
            s->writeRecovery();
            if (waitForTheWrite) {
                EXPECT_TRUE(testing::autosaved(*s));
            }
        });
        s->offerRestore();
        s->finishWrites();
        QCoreApplication::processEvents();
        EXPECT_TRUE(recoveryText() == imported.recoveryText()) << waitForTheWrite;
    }
}

// --- The recovery copy outlives a process killed outright: this test program runs again as a
// child that edits and autosaves, is killed with SIGKILL, and the copy is restored. ------------

const char* const rootVariable = "RIG_KILL_TEST_ROOT";

// The child's edits, one assignment each, as the pages make them.
std::vector<Project> edits() {
    Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 8),
                                       fixtures::flownArray("Main R", {"ALL", "Main"}, 8)});
    std::vector<Project> steps{p};
    p.name = "Kill test show";
    p.setExtra(p.report.sources[0].id(), "Rear", PointExtra{fixtures::testMotor("D8+ 500 kg", 38, 2), true});
    steps.push_back(p);
    p.report.sources.edit()[1].pickups.edit()[0].position.z = fixtures::notANumber;
    steps.push_back(p);
    return steps;
}

TEST(ProjectStoreKill, Child) {
    const QString root = qEnvironmentVariable(rootVariable);
    if (root.isEmpty()) GTEST_SKIP() << "started by ProjectStoreKill.RecoveryCopySurvivesSIGKILL";
    setAppPaths({root + "/config/QuorvaneRig.conf", root + "/data/QuorvaneRig"});
    ProjectStore store;
    store.setDelays(testing::shortDelays());
    QSignalSpy autosaved(&store, &ProjectStore::autosaveFinished);
    for (const Project& step : edits()) store.setProject(step);
    ASSERT_TRUE(autosaved.wait(30000));
    std::printf("autosaved\n");
    std::fflush(stdout);
    // Wait to be killed; a lost parent never leaves us hanging.
    QEventLoop loop;
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    FAIL() << "not killed";
}

TEST(ProjectStoreKill, RecoveryCopySurvivesSIGKILL) {
    testing::TempAppPaths paths;
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(rootVariable, paths.root());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ProjectStoreKill.Child"});
    ASSERT_TRUE(child.waitForStarted(30000));

    QByteArray output;
    while (!output.contains("autosaved\n")) {
        ASSERT_EQ(child.state(), QProcess::Running) << output.toStdString();
        ASSERT_TRUE(child.waitForReadyRead(60000)) << output.toStdString();
        output += child.readAllStandardOutput();
    }
    ASSERT_EQ(::kill(static_cast<pid_t>(child.processId()), SIGKILL), 0);
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    testing::FakePrompts prompts;
    prompts.answerRestore(Prompts::RestoreAnswer::restore);
    auto store = testing::makeStore();
    store->offerRestore();
    EXPECT_EQ(prompts.last(testing::FakePrompts::Kind::restoreOffer).text,
              "Restore unsaved project “Kill test show”?");
    EXPECT_EQ(store->project().fileText(), edits().back().fileText());
    EXPECT_TRUE(store->isDirty());
}

} // namespace
} // namespace rig::app
