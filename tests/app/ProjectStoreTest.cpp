#include "shell/ProjectStore.h"
#include "shell/AppPaths.h"
#include "shell/DateText.h"
#include "shell/QtText.h"
#include "support/StoreTesting.h"

#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
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

QString systemReason(int error) {
    return toQ(std::generic_category().message(error));
}

const QString keepCopyText =
    QStringLiteral("If you don’t save, Quorvane Rig keeps a copy and offers to restore it next time.");

class ProjectStoreTest : public ::testing::Test {
protected:
    void SetUp() override { store = testing::makeStore(); }

    QString file(const QString& name) const { return QDir(files.path()).filePath(name); }
    QString recovery() const { return ProjectStore::recoveryPath(); }
    bool recoveryExists() const { return QFileInfo::exists(recovery()); }

    // The store holding `project` in `name`, saved and clean.
    void openSaved(const Project& project, const QString& name) {
        store->setProject(project);
        ASSERT_TRUE(store->writeProject(file(name)));
        store->openProject(file(name), false);
        ASSERT_FALSE(store->isDirty());
    }

    // Leaves a recovery copy of `project` as an earlier run would have.
    void leaveRecoveryCopy(const Project& project) {
        ASSERT_TRUE(testing::writeText(recovery(), QByteArray::fromStdString(project.recoveryText())));
    }

    testing::TempAppPaths paths;
    FakePrompts prompts;
    QTemporaryDir files;
    std::unique_ptr<ProjectStore> store;
};

// --- Change rule, counters, titles ---------------------------------------------------------

TEST_F(ProjectStoreTest, OnlyAnUnequalProjectCountsAsAnEdit) {
    QSignalSpy changed(store.get(), &ProjectStore::projectChanged);
    EXPECT_EQ(store->windowTitle(), "Untitled");

    store->setProject(Project());
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(store->revision(), 0u);
    EXPECT_FALSE(store->isDirty());
    EXPECT_FALSE(store->isAutosavePending());

    store->setProject(showProject());
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(store->revision(), 1u);
    EXPECT_EQ(store->generation(), 0u);
    EXPECT_TRUE(store->isDirty());
    EXPECT_TRUE(store->isAutosavePending());

    // Equal again, also with not-a-number coordinates held in shared storage.
    store->setProject(showProject());
    Project withNaN = showProject();
    withNaN.report.sources.edit()[0].pickups.edit()[0].position.x = fixtures::notANumber;
    store->setProject(withNaN);
    EXPECT_EQ(store->revision(), 2u);
    store->setProject(Project(store->project()));
    EXPECT_EQ(store->revision(), 2u);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(ProjectStoreTest, ReplacementsBumpBothCountersEditsOnlyTheRevision) {
    openSaved(showProject(), "A.qvrig");
    const auto revision = store->revision();
    const auto generation = store->generation();

    Project edited = store->project();
    edited.name = "Edited";
    store->setProject(edited);
    EXPECT_EQ(store->revision(), revision + 1);
    EXPECT_EQ(store->generation(), generation);

    ASSERT_TRUE(store->writeProject(file("A.qvrig")));
    EXPECT_EQ(store->generation(), generation);

    store->newProject();
    EXPECT_EQ(store->revision(), revision + 2);
    EXPECT_EQ(store->generation(), generation + 1);
    store->newProject();
    EXPECT_EQ(store->revision(), revision + 3);
    EXPECT_EQ(store->generation(), generation + 2);
}

TEST_F(ProjectStoreTest, WindowTitleNamesTheFileOrTheProject) {
    struct Case {
        const char* name;
        std::function<void(ProjectStore&)> act;
        QString title;
    };
    const Case cases[] = {
        {"untitled, unnamed, edited",
         [](ProjectStore& s) {
             Project p = showProject();
             p.name.clear();
             s.setProject(p);
         },
         "Untitled — Edited"},
        {"untitled, named, edited", [](ProjectStore& s) { s.setProject(showProject()); },
         "Arena show — Edited"},
        {"saved",
         [&](ProjectStore& s) {
             s.setProject(showProject());
             s.writeProject(file("Main Stage.qvrig"));
         },
         "Main Stage"},
        {"saved, edited",
         [&](ProjectStore& s) {
             s.setProject(showProject());
             s.writeProject(file("Main Stage.qvrig"));
             s.setProject(showProject("Main R"));
         },
         "Main Stage — Edited"},
        {"file name with dots",
         [&](ProjectStore& s) {
             s.setProject(showProject());
             s.writeProject(file("v1.2 show.qvrig"));
         },
         "v1.2 show"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = testing::makeStore();
        QSignalSpy titleChanged(s.get(), &ProjectStore::windowTitleChanged);
        c.act(*s);
        EXPECT_EQ(s->windowTitle(), c.title);
        EXPECT_GE(titleChanged.count(), 1);
    }
}

// --- Open and save ---------------------------------------------------------------------------

TEST_F(ProjectStoreTest, SavedProjectOpensCleanWithNothingScheduled) {
    const Project project = fixtures::fullProject();
    store->setProject(project);
    ASSERT_TRUE(store->writeProject(file("Full.qvrig")));
    EXPECT_EQ(readText(file("Full.qvrig")).toStdString(), project.fileText());
    EXPECT_EQ(store->filePath(), file("Full.qvrig"));
    EXPECT_FALSE(store->isDirty());

    auto other = testing::makeStore();
    QSignalSpy dirtyChanged(other.get(), &ProjectStore::dirtyChanged);
    other->openProject(file("Full.qvrig"), false);
    EXPECT_EQ(other->project(), project);
    EXPECT_EQ(other->filePath(), file("Full.qvrig"));
    EXPECT_FALSE(other->isDirty());
    EXPECT_EQ(dirtyChanged.count(), 0);
    EXPECT_FALSE(other->isAutosavePending());
    EXPECT_EQ(other->generation(), 1u);
    EXPECT_EQ(other->recent(), QStringList{file("Full.qvrig")});
    EXPECT_EQ(settings().value(ProjectStore::lastDirKey).toString(), QDir(files.path()).absolutePath());
    EXPECT_EQ(other->windowTitle(), "Full");
}

TEST_F(ProjectStoreTest, OpenFailureNamesTheFileAndKeepsTheProject) {
    QDir(files.path()).mkdir("Folder.qvrig");
    ASSERT_TRUE(testing::writeText(file("NotJSON.qvrig"), "hello"));
    ASSERT_TRUE(testing::writeText(file("Other.qvrig"), R"({"name": 5})"));
    auto decoderReason = [](const char* text) {
        try {
            Project::fromText(text);
        } catch (const std::exception& e) {
            return toQ(e.what());
        }
        return QString();
    };
    struct Case {
        QString name;
        QString message;
    };
    const Case cases[] = {
        {"Missing.qvrig", "Could not open Missing.qvrig: " + systemReason(ENOENT)},
        {"Folder.qvrig", "Could not open Folder.qvrig: " + systemReason(EISDIR)},
        {"NotJSON.qvrig", "Could not open NotJSON.qvrig: " + decoderReason("hello")},
        {"Other.qvrig", "Could not open Other.qvrig: " + decoderReason(R"({"name": 5})")},
    };
    openSaved(showProject(), "Kept.qvrig");
    store->setProject(showProject("Main R"));
    const Project before = store->project();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        store->setErrorMessage(std::nullopt);
        store->openProject(file(c.name), false);
        EXPECT_EQ(store->errorMessage(), c.message);
        EXPECT_EQ(store->project(), before);
        EXPECT_EQ(store->filePath(), file("Kept.qvrig"));
        EXPECT_TRUE(store->isDirty());
        EXPECT_EQ(store->recent(), QStringList{file("Kept.qvrig")});
    }
    EXPECT_FALSE(decoderReason("hello").isEmpty());
}

TEST_F(ProjectStoreTest, SaveFailureKeepsFileAndEditedMark) {
    QDir(files.path()).mkdir("Taken.qvrig");
    QDir(files.path()).mkdir("ReadOnly");
    QFile::setPermissions(file("ReadOnly"), QFile::ReadOwner | QFile::ExeOwner);
    struct Case {
        QString path;
        QString message;
        bool needsPermissions;
    };
    const Case cases[] = {
        {file("Missing/Show.qvrig"), "Could not save: " + systemReason(ENOENT), false},
        {file("Taken.qvrig"), "Could not save: " + systemReason(EISDIR), false},
        {file("ReadOnly/Show.qvrig"), "Could not save: " + systemReason(EACCES), true},
    };
    openSaved(showProject(), "Show.qvrig");
    store->setProject(showProject("Main R"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        // Permission bits do not stop root.
        if (c.needsPermissions && geteuid() == 0) continue;
        store->setErrorMessage(std::nullopt);
        EXPECT_FALSE(store->writeProject(c.path));
        EXPECT_EQ(store->errorMessage(), c.message);
        EXPECT_EQ(store->filePath(), file("Show.qvrig"));
        EXPECT_TRUE(store->isDirty());
        EXPECT_FALSE(QFileInfo(c.path).isFile());
    }
    EXPECT_EQ(store->recent(), QStringList{file("Show.qvrig")});
}

TEST_F(ProjectStoreTest, SavePanelProposesTheProjectName) {
    struct Case {
        std::string projectName;
        QString proposed;
    };
    const Case cases[] = {
        {"", "Rig.qvrig"},
        {"Arena show", "Arena show.qvrig"},
        {"AC/DC Live", "ACDC Live.qvrig"},
        {"//", "Rig.qvrig"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.projectName);
        Project p = showProject();
        p.name = c.projectName;
        store->setProject(p);
        prompts.answerSavePanel(std::nullopt);
        EXPECT_FALSE(store->saveProject());
        EXPECT_EQ(prompts.last(FakePrompts::Kind::savePanel).fileName, c.proposed);
    }
    // A cancelled panel changes nothing and says nothing; the folder is remembered once saved.
    EXPECT_EQ(prompts.last(FakePrompts::Kind::savePanel).directory, "");
    EXPECT_FALSE(store->filePath());
    EXPECT_FALSE(store->errorMessage());
    prompts.answerSavePanel(file("Rig.qvrig"));
    EXPECT_TRUE(store->saveProject());
    prompts.answerSavePanel(std::nullopt);
    store->saveProject();
    EXPECT_EQ(prompts.last(FakePrompts::Kind::savePanel).directory, QDir(files.path()).absolutePath());
}

// --- Recent list -----------------------------------------------------------------------------

TEST_F(ProjectStoreTest, RecentListKeepsExistingFilesInStoredOrder) {
    testing::writeText(file("A.qvrig"), "{}");
    testing::writeText(file("C.qvrig"), "{}");
    settings().setValue(ProjectStore::recentKey,
                        QStringList{file("A.qvrig"), file("Gone.qvrig"), file("C.qvrig")});
    auto fresh = testing::makeStore();
    EXPECT_EQ(fresh->recent(), (QStringList{file("A.qvrig"), file("C.qvrig")}));
    // The stored list itself is not rewritten.
    EXPECT_EQ(settings().value(ProjectStore::recentKey).toStringList().size(), 3);
}

TEST_F(ProjectStoreTest, RecentListMovesToFrontWithoutDuplicatesAndKeepsTen) {
    for (int i = 0; i < 11; ++i) {
        store->setProject(showProject("Array " + std::to_string(i)));
        ASSERT_TRUE(store->writeProject(file(QString("P%1.qvrig").arg(i))));
    }
    QStringList expected;
    for (int i = 10; i >= 1; --i) expected << file(QString("P%1.qvrig").arg(i));
    EXPECT_EQ(store->recent(), expected);
    EXPECT_EQ(settings().value(ProjectStore::recentKey).toStringList(), expected);

    // Another spelling of the same file.
    store->openProject(files.path() + "/./sub/../P3.qvrig", true);
    EXPECT_EQ(store->recent().size(), 10);
    EXPECT_EQ(store->recent().front(), file("P3.qvrig"));
    EXPECT_EQ(store->recent().count(file("P3.qvrig")), 1);

    // Saving again into the same file leaves the order.
    store->openProject(file("P7.qvrig"), true);
    store->rememberRecent(file("P3.qvrig"));
    const QStringList before = store->recent();
    store->setProject(showProject("Changed"));
    ASSERT_TRUE(store->writeProject(file("P7.qvrig")));
    EXPECT_EQ(store->recent(), before);
    EXPECT_EQ(before.front(), file("P3.qvrig"));

    store->clearRecent();
    EXPECT_TRUE(store->recent().isEmpty());
    EXPECT_FALSE(settings().contains(ProjectStore::recentKey));
    EXPECT_TRUE(testing::makeStore()->recent().isEmpty());
}

// --- The save prompt -------------------------------------------------------------------------

TEST_F(ProjectStoreTest, SavePromptOnlyForUntitledEditedShows) {
    struct Case {
        const char* name;
        std::function<void(ProjectStore&)> prepare;
    };
    const Case cases[] = {
        {"new store", [](ProjectStore&) {}},
        {"edited but empty",
         [](ProjectStore& s) {
             Project p;
             p.name = "Only a name";
             s.setProject(p);
         }},
        {"saved and unchanged",
         [&](ProjectStore& s) {
             s.setProject(showProject());
             s.writeProject(file("Clean.qvrig"));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = testing::makeStore();
        c.prepare(*s);
        EXPECT_TRUE(s->confirmDiscardChanges());
    }
    EXPECT_TRUE(prompts.shown().empty());
}

TEST_F(ProjectStoreTest, EditedProjectWithFileIsSavedWithoutAsking) {
    openSaved(showProject(), "Show.qvrig");
    store->setProject(showProject("Main R"));
    store->newProject();
    EXPECT_TRUE(prompts.shown().empty());
    EXPECT_EQ(readText(file("Show.qvrig")).toStdString(), showProject("Main R").fileText());
    EXPECT_TRUE(store->project().isEmpty());
    EXPECT_FALSE(store->filePath());
    EXPECT_FALSE(store->isDirty());
}

TEST_F(ProjectStoreTest, SavePromptAnswers) {
    struct Case {
        const char* name;
        std::function<void(FakePrompts&)> script;
        bool goesOn;
        bool savedToFile;
        bool recoveryCopy;
    };
    const Case cases[] = {
        {"Save, then a file",
         [&](FakePrompts& p) {
             p.answerSave(SaveAnswer::save);
             p.answerSavePanel(file("Saved.qvrig"));
         },
         true, true, false},
        {"Save, then the panel cancelled",
         [](FakePrompts& p) {
             p.answerSave(SaveAnswer::save);
             p.answerSavePanel(std::nullopt);
         },
         false, false, false},
        {"Don’t Save", [](FakePrompts& p) { p.answerSave(SaveAnswer::dontSave); }, true, false, true},
        {"Cancel", [](FakePrompts& p) { p.answerSave(SaveAnswer::cancel); }, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(file("Saved.qvrig"));
        QFile::remove(recovery());
        FakePrompts scripted;
        auto s = testing::makeStore();
        s->setProject(showProject());
        c.script(scripted);
        EXPECT_EQ(s->confirmDiscardChanges(), c.goesOn);
        ASSERT_EQ(scripted.count(FakePrompts::Kind::saveChanges), 1);
        EXPECT_EQ(scripted.shown().front().text, "Save changes to “Arena show”?");
        EXPECT_EQ(scripted.shown().front().detail, keepCopyText);
        EXPECT_EQ(QFileInfo::exists(file("Saved.qvrig")), c.savedToFile);
        EXPECT_EQ(QFileInfo::exists(recovery()), c.recoveryCopy);
        if (c.recoveryCopy) {
            EXPECT_EQ(readText(recovery()).toStdString(), showProject().recoveryText());
        }
        EXPECT_FALSE(s->errorMessage());
    }
}

TEST_F(ProjectStoreTest, SavePromptNamesAnUnnamedProjectUntitled) {
    Project p = showProject();
    p.name.clear();
    store->setProject(p);
    prompts.answerSave(SaveAnswer::cancel);
    EXPECT_FALSE(store->confirmDiscardChanges());
    EXPECT_EQ(prompts.last(FakePrompts::Kind::saveChanges).text, "Save changes to “Untitled”?");
}

TEST_F(ProjectStoreTest, FailedSaveIntoTheFileFallsThroughToThePrompt) {
    QDir(files.path()).mkdir("Show");
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Show/Show.qvrig")));
    store->setProject(showProject("Main R"));
    ASSERT_TRUE(QDir(file("Show")).removeRecursively());

    // Cancel: nothing is dropped.
    prompts.answerSave(SaveAnswer::cancel);
    store->newProject();
    EXPECT_EQ(store->errorMessage(), "Could not save: " + systemReason(ENOENT));
    EXPECT_EQ(store->project(), showProject("Main R"));
    EXPECT_TRUE(store->isDirty());

    // Save offers the save panel.
    prompts.answerSave(SaveAnswer::save);
    prompts.answerSavePanel(file("Elsewhere.qvrig"));
    store->newProject();
    EXPECT_EQ(readText(file("Elsewhere.qvrig")).toStdString(), showProject("Main R").fileText());
    EXPECT_TRUE(store->project().isEmpty());

    // Don’t Save keeps the recovery copy.
    store->setProject(showProject("Main C"));
    QDir(files.path()).mkdir("Again");
    ASSERT_TRUE(store->writeProject(file("Again/Show.qvrig")));
    store->setProject(showProject("Main D"));
    ASSERT_TRUE(QDir(file("Again")).removeRecursively());
    prompts.answerSave(SaveAnswer::dontSave);
    store->newProject();
    EXPECT_EQ(readText(recovery()).toStdString(), showProject("Main D").recoveryText());
    EXPECT_TRUE(store->project().isEmpty());
}

TEST_F(ProjectStoreTest, DontSaveWithoutARecoveryCopyKeepsTheProject) {
    // A file where the recovery folder belongs: the copy cannot be written.
    QDir(paths.file("data")).mkpath("QuorvaneRig");
    testing::writeText(paths.file("data/QuorvaneRig/Recovery"), "in the way");
    store->setProject(showProject());
    prompts.answerSave(SaveAnswer::dontSave);
    store->newProject();
    EXPECT_EQ(store->project(), showProject());
    EXPECT_TRUE(store->errorMessage().has_value());
    EXPECT_TRUE(store->errorMessage()->startsWith("Could not save: "));
}

TEST_F(ProjectStoreTest, OpenPanelAfterThePromptWithoutASecondOne) {
    openSaved(showProject("Other"), "Other.qvrig");
    store->newProject();
    store->setProject(showProject());

    prompts.answerSave(SaveAnswer::dontSave);
    prompts.answerOpen(file("Other.qvrig"));
    store->showOpenPanel();
    EXPECT_EQ(prompts.last(FakePrompts::Kind::openPanel).directory, QDir(files.path()).absolutePath());
    EXPECT_EQ(store->project(), showProject("Other"));
    EXPECT_EQ(prompts.count(FakePrompts::Kind::saveChanges), 1);

    // Cancelled prompt: no panel.
    store->setProject(showProject("Edited"));
    store->newProject();
    store->setProject(showProject("Edited"));
    prompts.answerSave(SaveAnswer::cancel);
    store->showOpenPanel();
    EXPECT_EQ(prompts.count(FakePrompts::Kind::openPanel), 1);

    // Cancelled panel: the project stays.
    prompts.answerSave(SaveAnswer::dontSave);
    prompts.answerOpen(std::nullopt);
    store->showOpenPanel();
    EXPECT_EQ(store->project(), showProject("Edited"));
    EXPECT_FALSE(store->errorMessage());
}

TEST_F(ProjectStoreTest, OpenWithPromptStopsWhenCancelled) {
    openSaved(showProject("Other"), "Other.qvrig");
    store->newProject();
    store->setProject(showProject());
    prompts.answerSave(SaveAnswer::cancel);
    store->openProject(file("Other.qvrig"), true);
    EXPECT_EQ(store->project(), showProject());
    EXPECT_FALSE(store->filePath());
}

// --- Autosave --------------------------------------------------------------------------------

TEST_F(ProjectStoreTest, AutosaveWritesAnUntitledProjectToTheRecoveryCopy) {
    store->setProject(showProject("A"));
    store->setProject(showProject("B"));
    store->setProject(showProject("C"));
    QSignalSpy finished(store.get(), &ProjectStore::autosaveFinished);
    ASSERT_TRUE(finished.wait(10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(store->isAutosavePending());
    EXPECT_EQ(readText(recovery()).toStdString(), showProject("C").recoveryText());
    EXPECT_TRUE(store->isDirty());
    EXPECT_EQ(store->windowTitle(), "Arena show — Edited");
}

TEST_F(ProjectStoreTest, AutosaveSavesAProjectWithAFileIntoIt) {
    openSaved(showProject(), "Show.qvrig");
    store->setProject(showProject("Main R"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(readText(file("Show.qvrig")).toStdString(), showProject("Main R").fileText());
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(store->windowTitle(), "Show");
    EXPECT_FALSE(recoveryExists());
}

TEST_F(ProjectStoreTest, NoAutosaveForAnEmptyProjectOrInSnapshotMode) {
    Project named;
    named.name = "Just a name";
    store->setProject(named);
    EXPECT_TRUE(store->isDirty());
    EXPECT_FALSE(store->isAutosavePending());
    QSignalSpy finished(store.get(), &ProjectStore::autosaveFinished);
    store->writeRecovery();
    QCoreApplication::processEvents();
    EXPECT_EQ(finished.count(), 0);

    qputenv("RIG_SNAPSHOT", files.path().toUtf8());
    store->setProject(showProject());
    EXPECT_FALSE(store->isAutosavePending());
    qunsetenv("RIG_SNAPSHOT");
    EXPECT_FALSE(recoveryExists());
}

TEST_F(ProjectStoreTest, AutosaveWritesTheProjectAsItWasWhenTheTimerFired) {
    // Only the writes started here.
    store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    store->setProject(showProject("A"));
    store->writeRecovery(); // as the timer does
    store->setProject(showProject("B"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(readText(recovery()).toStdString(), showProject("A").recoveryText());

    openSaved(showProject("A"), "Show.qvrig");
    store->setProject(showProject("B"));
    store->writeRecovery();
    store->setProject(showProject("C"));
    store->writeRecovery();
    ASSERT_TRUE(testing::autosaved(*store, 2));
    // The file holds the last copy taken; the edit after it is still unsaved.
    EXPECT_EQ(readText(file("Show.qvrig")).toStdString(), showProject("C").fileText());
    store->setProject(showProject("D"));
    store->writeRecovery();
    store->setProject(showProject("E"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(readText(file("Show.qvrig")).toStdString(), showProject("D").fileText());
    EXPECT_TRUE(store->isDirty());
}

TEST_F(ProjectStoreTest, SaveDuringAnAutosaveWinsOverIt) {
    store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    openSaved(showProject("A"), "Show.qvrig");
    for (int round = 0; round < 20; ++round) {
        store->setProject(showProject("B" + std::to_string(round)));
        store->writeRecovery();
        store->setProject(showProject("C" + std::to_string(round)));
        ASSERT_TRUE(store->writeProject(file("Show.qvrig")));
        ASSERT_TRUE(testing::autosaved(*store));
        EXPECT_EQ(readText(file("Show.qvrig")).toStdString(),
                  showProject("C" + std::to_string(round)).fileText());
        EXPECT_FALSE(store->isDirty());
    }
}

TEST_F(ProjectStoreTest, FailedAutosaveIntoTheFileIsReported) {
    QDir(files.path()).mkdir("Show");
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Show/Show.qvrig")));
    ASSERT_TRUE(QDir(file("Show")).removeRecursively());
    store->setProject(showProject("Main R"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(store->errorMessage(), "Could not save: " + systemReason(ENOENT));
    EXPECT_TRUE(store->isDirty());
}

// --- The recovery copy belongs to the document that wrote it ---------------------------------

TEST_F(ProjectStoreTest, SaveDeletesOnlyTheStoresOwnRecoveryCopy) {
    // Written by autosave for this project: gone once it is saved.
    store->setProject(showProject("A"));
    ASSERT_TRUE(testing::autosaved(*store));
    ASSERT_TRUE(recoveryExists());
    prompts.answerSavePanel(file("A.qvrig"));
    ASSERT_TRUE(store->saveProject());
    EXPECT_FALSE(recoveryExists());

    // Written by "Don’t Save" for the project that was dropped: kept for the next start.
    store->newProject();
    store->setProject(showProject("B"));
    prompts.answerSave(SaveAnswer::dontSave);
    store->newProject();
    store->setProject(showProject("C"));
    ASSERT_TRUE(store->writeProject(file("C.qvrig")));
    EXPECT_EQ(readText(recovery()).toStdString(), showProject("B").recoveryText());

    // Left by an earlier run and not offered yet: kept.
    leaveRecoveryCopy(showProject("Earlier"));
    store->openProject(file("A.qvrig"), true);
    store->setProject(showProject("A2"));
    ASSERT_TRUE(store->writeProject(file("A.qvrig")));
    store->setProject(showProject("A3"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(readText(recovery()).toStdString(), showProject("Earlier").recoveryText());
}

TEST_F(ProjectStoreTest, ASaveWhileTheRecoveryCopyIsWrittenLeavesNoCopy) {
    // Only the writes started here.
    store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    Project large = fixtures::largeProject(300);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        store->newProject();
        large.name = "Large " + std::to_string(round);
        store->setProject(large);
        store->writeRecovery(); // a large copy: still being encoded on the worker
        store->setProject(showProject("Small"));
        ASSERT_TRUE(store->writeProject(file(QString("Small%1.qvrig").arg(round))));
        ASSERT_TRUE(testing::autosaved(*store));
        store->finishWrites();
        EXPECT_FALSE(recoveryExists());
    }
}

// --- The restore offer -----------------------------------------------------------------------

TEST_F(ProjectStoreTest, RestoreOfferTexts) {
    struct Case {
        const char* name;
        std::function<void(Project&)> change;
        QString message;
        QString linkLine;
    };
    const Case cases[] = {
        {"unnamed", [](Project& p) { p.name.clear(); }, "Restore unsaved project “Untitled”?", ""},
        {"named", [](Project&) {}, "Restore unsaved project “Arena show”?", ""},
        {"published", [](Project& p) { p.share = fixtures::fullProject().share; },
         "Restore unsaved project “Arena show”?", "\nCrew link: https://crew.example.net/v/tok-5f2a9c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project p = showProject();
        c.change(p);
        leaveRecoveryCopy(p);
        const QDateTime modified = QFileInfo(recovery()).lastModified();
        prompts.answerRestore(RestoreAnswer::dismissed);
        testing::makeStore()->offerRestore();
        const auto shown = prompts.last(FakePrompts::Kind::restoreOffer);
        EXPECT_EQ(shown.text, c.message);
        EXPECT_EQ(shown.detail, "It was not saved when Quorvane Rig closed (" +
                                    formatShortDateTime(modified) + ")." + c.linkLine);
    }
}

TEST_F(ProjectStoreTest, RestoreAnswers) {
    Project copy = showProject();
    copy.name.clear();

    // Restore: an untitled, edited project; the copy stays until saved.
    leaveRecoveryCopy(copy);
    prompts.answerRestore(RestoreAnswer::restore);
    store->offerRestore();
    EXPECT_EQ(store->project(), copy);
    EXPECT_FALSE(store->filePath());
    EXPECT_TRUE(store->isDirty());
    EXPECT_EQ(store->windowTitle(), "Untitled — Edited");
    EXPECT_EQ(store->generation(), 1u);
    EXPECT_FALSE(store->isAutosavePending());
    EXPECT_TRUE(recoveryExists());
    ASSERT_TRUE(store->writeProject(file("Restored.qvrig")));
    EXPECT_FALSE(recoveryExists());

    // Discard deletes it; Escape or closing the offer keeps it.
    leaveRecoveryCopy(copy);
    prompts.answerRestore(RestoreAnswer::dismissed);
    testing::makeStore()->offerRestore();
    EXPECT_TRUE(recoveryExists());
    prompts.answerRestore(RestoreAnswer::discard);
    auto discarding = testing::makeStore();
    discarding->offerRestore();
    EXPECT_FALSE(recoveryExists());
    EXPECT_TRUE(discarding->project().isEmpty());
    EXPECT_FALSE(discarding->isDirty());
}

TEST_F(ProjectStoreTest, DiscardKeepsACopyTheOpenProjectWroteMeanwhile) {
    // Files given at launch were imported while the offer was showing, and autosaved.
    struct Case {
        const char* name;
        bool waitForTheWrite;
    };
    const Case cases[] = {{"copy written", true}, {"copy still being written", false}};
    const Project imported = fixtures::largeProject(100);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        leaveRecoveryCopy(showProject("Copy"));
        auto s = testing::makeStore();
        s->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
        prompts.answerRestore(RestoreAnswer::discard, [&] {
            s->setProject(imported);
            s->writeRecovery(); // as the timer does
            if (c.waitForTheWrite) {
                ASSERT_TRUE(testing::autosaved(*s));
            }
        });
        s->offerRestore();
        s->finishWrites();
        QCoreApplication::processEvents();
        EXPECT_TRUE(readText(recovery()).toStdString() == imported.recoveryText());
    }
}

TEST_F(ProjectStoreTest, RestoreOfferSkipsCopiesItCannotUse) {
    struct Case {
        const char* name;
        QByteArray content;
        bool kept;
    };
    const Case cases[] = {
        {"invalid JSON", "{\"name\": ", false},
        {"another structure", "[1, 2]", false},
        {"an empty project", QByteArray::fromStdString(Project().recoveryText()), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::writeText(recovery(), c.content);
        auto s = testing::makeStore();
        s->offerRestore();
        EXPECT_EQ(QFileInfo::exists(recovery()), c.kept);
        EXPECT_TRUE(s->project().isEmpty());
    }
    // No copy at all.
    store->offerRestore();
    EXPECT_TRUE(prompts.shown().empty());
}

TEST_F(ProjectStoreTest, NoRestoreOverAnOpenOrIncomingProject) {
    leaveRecoveryCopy(showProject("Copy"));

    // A project was opened at launch.
    openSaved(showProject("Opened"), "Opened.qvrig");
    store->offerRestore();
    EXPECT_TRUE(prompts.shown().empty());

    // Files given at launch are being imported.
    auto importing = testing::makeStore();
    importing->setImporting(true);
    importing->offerRestore();
    EXPECT_TRUE(prompts.shown().empty());

    // While the offer was showing, an import started or a project was opened.
    struct Case {
        const char* name;
        std::function<void(ProjectStore&)> whileOpen;
    };
    const Case cases[] = {
        {"import started", [](ProjectStore& s) { s.setImporting(true); }},
        {"project opened", [&](ProjectStore& s) { s.openProject(file("Opened.qvrig"), true); }},
        {"empty project opened",
         [&](ProjectStore& s) {
             testing::writeText(file("Empty.qvrig"), QByteArray::fromStdString(Project().fileText()));
             s.openProject(file("Empty.qvrig"), true);
         }},
        {"import applied", [](ProjectStore& s) { s.setProject(showProject("Imported")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = testing::makeStore();
        prompts.answerRestore(RestoreAnswer::restore, [&] { c.whileOpen(*s); });
        s->offerRestore();
        EXPECT_NE(s->project(), showProject("Copy"));
        EXPECT_EQ(readText(recovery()).toStdString(), showProject("Copy").recoveryText());
    }
}

TEST_F(ProjectStoreTest, RestoreOfferIsMadeAfterTheLaunchDelayOutsideSnapshotMode) {
    leaveRecoveryCopy(showProject());
    prompts.answerRestore(RestoreAnswer::dismissed);
    // Never over another dialog (an alert about a file given at launch).
    QDialog alert;
    alert.setWindowModality(Qt::ApplicationModal);
    alert.show();
    QTRY_VERIFY(QApplication::activeModalWidget());
    EXPECT_TRUE(store->scheduleRestoreOffer());
    QTest::qWait(int(store->delays().restoreOffer.count()) + 500);
    EXPECT_EQ(prompts.count(FakePrompts::Kind::restoreOffer), 0);
    alert.close();
    QTRY_COMPARE_WITH_TIMEOUT(prompts.count(FakePrompts::Kind::restoreOffer), 1, 10000);

    qputenv("RIG_SNAPSHOT", files.path().toUtf8());
    EXPECT_FALSE(testing::makeStore()->scheduleRestoreOffer());
    qunsetenv("RIG_SNAPSHOT");
}

// --- Not-a-number values survive every road --------------------------------------------------

TEST_F(ProjectStoreTest, NotANumberCoordinatesAreSavedReopenedAndRecovered) {
    Project project = fixtures::fullProject();
    auto& source = project.report.sources.edit()[0];
    source.pickups.edit()[0].position = XYZ(fixtures::notANumber, 1.5, fixtures::notANumber);
    source.pickups.edit()[1].load = fixtures::notANumber;
    source.site = fixtures::notANumber;
    const std::string expected = project.fileText();
    ASSERT_NE(expected.find("\"NaN\""), std::string::npos);

    store->setProject(project);
    ASSERT_TRUE(store->writeProject(file("NaN.qvrig")));
    auto reopened = testing::makeStore();
    reopened->openProject(file("NaN.qvrig"), false);
    EXPECT_EQ(reopened->project().fileText(), expected);
    EXPECT_FALSE(reopened->isDirty());

    store->newProject();
    store->setProject(project);
    ASSERT_TRUE(testing::autosaved(*store));
    prompts.answerRestore(RestoreAnswer::restore);
    auto restored = testing::makeStore();
    restored->offerRestore();
    EXPECT_EQ(restored->project().fileText(), expected);
}

} // namespace
} // namespace rig::app
