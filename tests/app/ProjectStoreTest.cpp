#include "shell/AppPaths.h"
#include "shell/DateText.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "support/StoreTesting.h"

#include <QDateTime>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>
#include <system_error>
#include <unistd.h>

namespace rig::app {
namespace {

using testing::FakePrompts;
using testing::readText;
using testing::showProject;
using SaveAnswer = Prompts::SaveAnswer;
using RestoreAnswer = Prompts::RestoreAnswer;
using Kind = FakePrompts::Kind;

QString systemReason(int error) {
    return toQ(std::generic_category().message(error));
}

void holdAutosave(ProjectStore& store) {
    store.setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
}

class ProjectStoreTest : public ::testing::Test {
protected:
    void SetUp() override { store = testing::makeStore(); }

    QString file(const QString& name) const { return QDir(files.path()).filePath(name); }
    QString recovery() const { return ProjectStore::recoveryPath(); }
    bool recoveryExists() const { return QFileInfo::exists(recovery()); }
    std::string recoveryText() const { return readText(recovery()).toStdString(); }

    void openSaved(const Project& project, const QString& name) {
        store->setProject(project);
        ASSERT_TRUE(store->writeProject(file(name)));
        store->openProject(file(name), false);
        ASSERT_FALSE(store->isDirty());
    }

    void leaveRecoveryCopy(const Project& project) {
        ASSERT_TRUE(testing::writeText(recovery(), QByteArray::fromStdString(project.recoveryText())));
    }

    testing::TempAppPaths paths;
    FakePrompts prompts;
    QTemporaryDir files;
    std::unique_ptr<ProjectStore> store;
};

TEST_F(ProjectStoreTest, OnlyUnequalProjectsCountAsEditsAndReplacementsBumpTheGeneration) {
    QSignalSpy changed(store.get(), &ProjectStore::projectChanged);
    store->setProject(Project());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_FALSE(store->isDirty());

    store->setProject(showProject());
    EXPECT_EQ(store->revision(), 1u);
    EXPECT_TRUE(store->isDirty());
    EXPECT_TRUE(store->isAutosavePending());
    // Equal again, also with not-a-number coordinates held in shared storage.
    store->setProject(showProject());
    Project withNaN = showProject();
    withNaN.report.sources.edit()[0].pickups.edit()[0].position.x = fixtures::notANumber;
    store->setProject(withNaN);
    store->setProject(Project(store->project()));
    EXPECT_EQ(store->revision(), 2u);
    EXPECT_EQ(store->generation(), 0u);

    ASSERT_TRUE(store->writeProject(file("A.qvrig")));
    EXPECT_EQ(store->generation(), 0u);
    store->newProject();
    EXPECT_EQ(store->revision(), 3u);
    EXPECT_EQ(store->generation(), 1u);
}

TEST_F(ProjectStoreTest, WindowTitleNamesTheFileOrTheProject) {
    const struct {
        std::string name;
        QString fileName; // empty: untitled
        bool editAfter;
        QString title;
    } cases[] = {
        {"", "", true, "Untitled — Edited"},
        {"Arena show", "", true, "Arena show — Edited"},
        {"Arena show", "v1.2 show.qvrig", false, "v1.2 show"},
        {"Arena show", "Main Stage.qvrig", true, "Main Stage — Edited"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        auto s = testing::makeStore();
        QSignalSpy titleChanged(s.get(), &ProjectStore::windowTitleChanged);
        Project p = showProject();
        p.name = c.name;
        s->setProject(p);
        if (!c.fileName.isEmpty()) s->writeProject(file(c.fileName));
        if (c.editAfter && !c.fileName.isEmpty()) s->setProject(showProject("Main R"));
        EXPECT_EQ(s->windowTitle(), c.title);
        EXPECT_GE(titleChanged.count(), 1);
    }
}

TEST_F(ProjectStoreTest, SavedProjectReopensCleanAndNotANumberSurvivesEveryRoad) {
    Project project = fixtures::fullProject();
    auto& source = project.report.sources.edit()[0];
    source.pickups.edit()[0].position = XYZ(fixtures::notANumber, 1.5, fixtures::notANumber);
    source.site = fixtures::notANumber;
    const std::string expected = project.fileText();
    ASSERT_NE(expected.find("\"NaN\""), std::string::npos);

    store->setProject(project);
    ASSERT_TRUE(store->writeProject(file("Full.qvrig")));
    EXPECT_EQ(readText(file("Full.qvrig")).toStdString(), expected);
    EXPECT_FALSE(store->isDirty());

    auto other = testing::makeStore();
    QSignalSpy dirtyChanged(other.get(), &ProjectStore::dirtyChanged);
    other->openProject(file("Full.qvrig"), false);
    EXPECT_EQ(other->project().fileText(), expected);
    EXPECT_EQ(other->filePath(), file("Full.qvrig"));
    EXPECT_FALSE(other->isDirty());
    EXPECT_EQ(dirtyChanged.count(), 0);
    EXPECT_FALSE(other->isAutosavePending());
    EXPECT_EQ(other->windowTitle(), "Full");
    EXPECT_EQ(settings().value(ProjectStore::lastDirKey).toString(), QDir(files.path()).absolutePath());

    // Through the recovery copy as well.
    store->newProject();
    store->setProject(project);
    ASSERT_TRUE(testing::autosaved(*store));
    prompts.answerRestore(RestoreAnswer::restore);
    auto restored = testing::makeStore();
    restored->offerRestore();
    EXPECT_EQ(restored->project().fileText(), expected);
}

TEST_F(ProjectStoreTest, FailedOpenOrSaveNamesTheReasonAndKeepsEverything) {
    QDir(files.path()).mkdir("Folder.qvrig");
    QDir(files.path()).mkdir("ReadOnly");
    QFile::setPermissions(file("ReadOnly"), QFile::ReadOwner | QFile::ExeOwner);
    ASSERT_TRUE(testing::writeText(file("NotJSON.qvrig"), "hello"));
    QString decoderReason;
    try {
        Project::fromText("hello");
    } catch (const std::exception& e) {
        decoderReason = toQ(e.what());
    }
    ASSERT_FALSE(decoderReason.isEmpty());

    openSaved(showProject(), "Kept.qvrig");
    store->setProject(showProject("Main R"));
    const Project before = store->project();
    auto expectKept = [&] {
        EXPECT_EQ(store->project(), before);
        EXPECT_EQ(store->filePath(), file("Kept.qvrig"));
        EXPECT_TRUE(store->isDirty());
        EXPECT_EQ(store->recent(), QStringList{file("Kept.qvrig")});
    };
    const std::pair<QString, QString> opens[] = {
        {"Missing.qvrig", "Could not open Missing.qvrig: " + systemReason(ENOENT)},
        {"Folder.qvrig", "Could not open Folder.qvrig: " + systemReason(EISDIR)},
        {"NotJSON.qvrig", "Could not open NotJSON.qvrig: " + decoderReason},
    };
    for (const auto& [name, message] : opens) {
        SCOPED_TRACE(name.toStdString());
        store->openProject(file(name), false);
        EXPECT_EQ(store->errorMessage(), message);
        expectKept();
    }
    const std::pair<QString, int> saves[] = {
        {"Missing/Show.qvrig", ENOENT}, {"Folder.qvrig", EISDIR}, {"ReadOnly/Show.qvrig", EACCES}};
    for (const auto& [name, error] : saves) {
        SCOPED_TRACE(name.toStdString());
        if (error == EACCES && geteuid() == 0) continue; // permission bits do not stop root
        EXPECT_FALSE(store->writeProject(file(name)));
        EXPECT_EQ(store->errorMessage(), "Could not save: " + systemReason(error));
        EXPECT_FALSE(QFileInfo(file(name)).isFile());
        expectKept();
    }
}

TEST_F(ProjectStoreTest, SavePanelProposesTheProjectNameInTheLastFolder) {
    const std::pair<std::string, QString> cases[] = {
        {"", "Rig.qvrig"}, {"AC/DC Live", "ACDC Live.qvrig"}, {"//", "Rig.qvrig"}};
    for (const auto& [name, proposed] : cases) {
        Project p = showProject();
        p.name = name;
        store->setProject(p);
        prompts.answerSavePanel(std::nullopt);
        EXPECT_FALSE(store->saveProject());
        EXPECT_EQ(prompts.last(Kind::savePanel).fileName, proposed) << name;
    }
    EXPECT_FALSE(store->filePath());
    EXPECT_FALSE(store->errorMessage());
    prompts.answerSavePanel(file("Rig.qvrig"));
    EXPECT_TRUE(store->saveProject());
    prompts.answerSavePanel(std::nullopt);
    store->saveProject();
    EXPECT_EQ(prompts.last(Kind::savePanel).directory, QDir(files.path()).absolutePath());
}

TEST_F(ProjectStoreTest, RecentListIsTenExistingFilesNewestFirstWithoutDuplicates) {
    for (int i = 0; i < 11; ++i) {
        store->setProject(showProject("Array " + std::to_string(i)));
        ASSERT_TRUE(store->writeProject(file(QString("P%1.qvrig").arg(i))));
    }
    QStringList expected;
    for (int i = 10; i >= 1; --i) expected << file(QString("P%1.qvrig").arg(i));
    EXPECT_EQ(store->recent(), expected);

    // Another spelling of the same file moves it to the front.
    store->openProject(files.path() + "/./sub/../P3.qvrig", true);
    EXPECT_EQ(store->recent().size(), 10);
    EXPECT_EQ(store->recent().front(), file("P3.qvrig"));
    EXPECT_EQ(store->recent().count(file("P3.qvrig")), 1);
    // Saving again into the open file leaves the order.
    const QStringList before = store->recent();
    store->setProject(showProject("Changed"));
    ASSERT_TRUE(store->writeProject(file("P3.qvrig")));
    EXPECT_EQ(store->recent(), before);

    // A new run keeps the stored order but drops files that are gone.
    QFile::remove(file("P5.qvrig"));
    QStringList existing = before;
    existing.removeAll(file("P5.qvrig"));
    EXPECT_EQ(testing::makeStore()->recent(), existing);

    store->clearRecent();
    EXPECT_FALSE(settings().contains(ProjectStore::recentKey));
    EXPECT_TRUE(testing::makeStore()->recent().isEmpty());
}

TEST_F(ProjectStoreTest, SavePromptAnswers) {
    // No prompt: nothing edited, an empty project, a clean file.
    for (int i = 0; i < 2; ++i) {
        auto s = testing::makeStore();
        Project p;
        p.name = "Only a name";
        if (i == 1) s->setProject(p);
        EXPECT_TRUE(s->confirmDiscardChanges());
    }
    openSaved(showProject(), "Clean.qvrig");
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
        FakePrompts scripted;
        auto s = testing::makeStore();
        Project p = showProject();
        p.name.clear();
        s->setProject(p);
        scripted.answerSave(c.answer);
        if (c.answer == SaveAnswer::save) scripted.answerSavePanel(c.panel);
        EXPECT_EQ(s->confirmDiscardChanges(), c.goesOn);
        EXPECT_EQ(scripted.last(Kind::saveChanges).text, "Save changes to “Untitled”?");
        EXPECT_EQ(scripted.last(Kind::saveChanges).detail,
                  "If you don’t save, Quorvane Rig keeps a copy and offers to restore it next time.");
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

    // The file save fails: the prompt comes up, Cancel keeps it.
    prompts.answerSave(SaveAnswer::cancel);
    store->newProject();
    EXPECT_EQ(store->errorMessage(), "Could not save: " + systemReason(ENOENT));
    EXPECT_EQ(store->project(), showProject("Main R"));
    // Save goes through the panel.
    prompts.answerSave(SaveAnswer::save);
    prompts.answerSavePanel(file("Elsewhere.qvrig"));
    store->newProject();
    EXPECT_EQ(readText(file("Elsewhere.qvrig")).toStdString(), showProject("Main R").fileText());
    EXPECT_TRUE(store->project().isEmpty());

    // Don’t Save when not even the recovery copy can be written: kept.
    ASSERT_TRUE(QDir(paths.file("data/QuorvaneRig/Recovery")).removeRecursively());
    ASSERT_TRUE(testing::writeText(paths.file("data/QuorvaneRig/Recovery"), "a file in the way"));
    store->setProject(showProject());
    prompts.answerSave(SaveAnswer::dontSave);
    store->newProject();
    EXPECT_EQ(store->project(), showProject());
    ASSERT_TRUE(store->errorMessage().has_value());
    EXPECT_TRUE(store->errorMessage()->startsWith("Could not save: "));
}

TEST_F(ProjectStoreTest, OpeningAsksOnceAndStopsWhenCancelled) {
    openSaved(showProject("Other"), "Other.qvrig");
    store->newProject();
    store->setProject(showProject());
    prompts.answerSave(SaveAnswer::cancel);
    prompts.answerSave(SaveAnswer::cancel);
    store->openProject(file("Other.qvrig"), true);
    EXPECT_EQ(store->project(), showProject());
    store->showOpenPanel();
    EXPECT_EQ(prompts.count(Kind::openPanel), 0);

    prompts.answerSave(SaveAnswer::dontSave);
    prompts.answerOpen(std::nullopt);
    store->showOpenPanel();
    EXPECT_EQ(store->project(), showProject());

    prompts.answerSave(SaveAnswer::dontSave);
    prompts.answerOpen(file("Other.qvrig"));
    store->showOpenPanel();
    EXPECT_EQ(prompts.last(Kind::openPanel).directory, QDir(files.path()).absolutePath());
    EXPECT_EQ(store->project(), showProject("Other"));
    EXPECT_EQ(prompts.count(Kind::saveChanges), 4);
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
    EXPECT_EQ(readText(file("Show.qvrig")).toStdString(), showProject("Main R").fileText());
    EXPECT_FALSE(store->isDirty());
    EXPECT_FALSE(recoveryExists());

    // Failing into the file: said, and still edited.
    QFile::remove(file("Show.qvrig"));
    QDir(files.path()).mkdir("Show.qvrig");
    store->setProject(showProject("Main C"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(store->errorMessage(), "Could not save: " + systemReason(EISDIR));
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
    openSaved(showProject("A"), "Show.qvrig");
    store->setProject(showProject("B"));
    store->writeRecovery(); // as the timer does
    store->setProject(showProject("C"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(readText(file("Show.qvrig")).toStdString(), showProject("B").fileText());
    EXPECT_TRUE(store->isDirty()); // C is not in the file

    for (int round = 0; round < 20; ++round) {
        const std::string n = std::to_string(round);
        store->setProject(showProject("B" + n));
        store->writeRecovery();
        store->setProject(showProject("C" + n));
        ASSERT_TRUE(store->writeProject(file("Show.qvrig")));
        ASSERT_TRUE(testing::autosaved(*store));
        ASSERT_EQ(readText(file("Show.qvrig")).toStdString(), showProject("C" + n).fileText());
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

    // A large copy still being encoded when the save comes: it never lands afterwards.
    QFile::remove(recovery());
    holdAutosave(*store);
    Project large = fixtures::largeProject(300);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        store->newProject();
        large.name = "Large " + std::to_string(round);
        store->setProject(large);
        store->writeRecovery();
        store->setProject(showProject("Small"));
        ASSERT_TRUE(store->writeProject(file(QString("Small%1.qvrig").arg(round))));
        ASSERT_TRUE(testing::autosaved(*store));
        store->finishWrites();
        EXPECT_FALSE(recoveryExists());
    }
}

TEST_F(ProjectStoreTest, RestoreOfferTextsAndAnswers) {
    Project copy = showProject();
    copy.name.clear();
    copy.share = fixtures::fullProject().share;
    leaveRecoveryCopy(copy);
    const QDateTime modified = QFileInfo(recovery()).lastModified();

    // Escape or closing keeps the copy.
    prompts.answerRestore(RestoreAnswer::dismissed);
    testing::makeStore()->offerRestore();
    EXPECT_EQ(prompts.last(Kind::restoreOffer).text, "Restore unsaved project “Untitled”?");
    EXPECT_EQ(prompts.last(Kind::restoreOffer).detail,
              "It was not saved when Quorvane Rig closed (" + formatShortDateTime(modified) +
                  ").\nCrew link: https://crew.example.net/v/tok-5f2a9c");
    EXPECT_TRUE(recoveryExists());

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
    const int offers = prompts.count(Kind::restoreOffer);
    for (const QByteArray& bad :
         {QByteArray("{\"name\": "), QByteArray("[1, 2]"), QByteArray::fromStdString(Project().recoveryText())}) {
        testing::writeText(recovery(), bad);
        auto s = testing::makeStore();
        s->offerRestore();
        EXPECT_FALSE(recoveryExists()) << bad.toStdString();
        EXPECT_TRUE(s->project().isEmpty());
    }
    EXPECT_EQ(prompts.count(Kind::restoreOffer), offers);

    // Offered after the launch delay.
    leaveRecoveryCopy(copy);
    prompts.answerRestore(RestoreAnswer::dismissed);
    auto launching = testing::makeStore();
    EXPECT_TRUE(launching->scheduleRestoreOffer());
    EXPECT_EQ(prompts.count(Kind::restoreOffer), offers);
    QTRY_COMPARE_WITH_TIMEOUT(prompts.count(Kind::restoreOffer), offers + 1, 10000);
}

TEST_F(ProjectStoreTest, NoRestoreOverAnOpenOrIncomingProject) {
    leaveRecoveryCopy(showProject("Copy"));
    openSaved(showProject("Opened"), "Opened.qvrig");
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
        SCOPED_TRACE(waitForTheWrite);
        leaveRecoveryCopy(showProject("Copy"));
        auto s = testing::makeStore();
        holdAutosave(*s);
        prompts.answerRestore(RestoreAnswer::discard, [&] {
            s->setProject(imported);
            s->writeRecovery();
            if (waitForTheWrite) {
                ASSERT_TRUE(testing::autosaved(*s));
            }
        });
        s->offerRestore();
        s->finishWrites();
        QCoreApplication::processEvents();
        EXPECT_TRUE(recoveryText() == imported.recoveryText());
    }
}

} // namespace
} // namespace rig::app
