#include "AppPaths.h"
#include "ImportController.h"
#include "QtText.h"
#include "RecentFiles.h"
#include "Recovery.h"
#include "base/Json.h"
#include "support/JsonTesting.h"
#include "support/SpecialFiles.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>
#include <unistd.h>

namespace rig::app {
namespace {

using testing::FakePrompts;
using testing::showProject;
using SaveAnswer = Prompts::SaveAnswer;
using RestoreAnswer = Prompts::RestoreAnswer;
using Kind = FakePrompts::Kind;

QString couldNotSave(const QString& file, int error) {
    return "Could not save " + file + ": " + toQ(std::generic_category().message(error));
}

void holdAutosave(ProjectStore& store) {
    store.setDelays(testing::heldDelays);
}

class ProjectStoreTest : public ::testing::Test {
protected:
    void SetUp() override { store = testing::makeStore(); }

    QString file(const QString& name) const { return QDir(files.path()).filePath(name); }
    std::string fileText(const QString& name) const { return testing::readText(file(name)).toStdString(); }
    // The store's own copy.
    QString recovery() const { return store->recovery().copyPath(); }
    bool recoveryExists() const { return QFileInfo::exists(recovery()); }
    std::string recoveryText() const { return copyText(recovery()); }
    static std::string copyText(const QString& path) { return testing::readText(path).toStdString(); }
    // A copy left by a program that has ended.
    static QString leftCopy(const QString& name = "unsaved.qvrig") {
        return Recovery::recoveryFolder() + "/" + name;
    }
    void leaveRecoveryCopy(const Project& project, const QString& name = "unsaved.qvrig") {
        ASSERT_TRUE(testing::writeText(leftCopy(name), QByteArray::fromStdString(project.recoveryText())));
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
    EXPECT_EQ(store->windowTitle(), "Arena show — Edited");
    // Equal again, also with not-a-number coordinates held in shared storage.
    store->setProject(project);
    store->setProject(Project(store->project()));
    EXPECT_EQ(changed.count(), 1);
    ASSERT_TRUE(store->writeProject(file("v1.2 show.qvrig")));
    EXPECT_EQ(fileText("v1.2 show.qvrig"), project.fileText());

    auto other = testing::makeStore();
    other->openProject(file("v1.2 show.qvrig"), false);
    EXPECT_EQ(other->project().fileText(), project.fileText());
    EXPECT_FALSE(other->isDirty());
}

TEST_F(ProjectStoreTest, FailedOpenOrSaveNamesTheReasonAndKeepsEverything) {
    QDir(files.path()).mkdir("Folder.qvrig");
    ASSERT_TRUE(testing::writeText(file("NotJSON.qvrig"), "hello"));
    // A pipe would hold the window for good, a device would fill the memory.
    test::TestFifo pipe(toPath(file("Pipe.qvrig")));
    std::filesystem::create_symlink("/dev/zero", toPath(file("Zero.qvrig")));
    std::filesystem::create_symlink("/dev/null", toPath(file("Null.qvrig")));
    test::sparseFile(toPath(file("Huge.qvrig")), Project::maxFileBytes + 1);
    // One long value in a damaged file: the message quotes its start.
    ASSERT_TRUE(
        testing::writeText(file("LongNumber.qvrig"), "{\"formatVersion\": " + QByteArray(1'000'000, '7')));
    ASSERT_TRUE(testing::writeText(file("LongText.qvrig"), "{\"name\": \"" + QByteArray(2'000'000, 'x')));
    Json longKey = parseJsonText(showProject().fileText());
    longKey["dxf"][std::string(2'000'000, 'k')] = 5;
    ASSERT_TRUE(
        testing::writeText(file("LongKey.qvrig"), QByteArray::fromStdString(dumpJsonCompact(longKey))));
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Kept.qvrig")));
    store->setProject(showProject("Main R"));
    const Project before = store->project();
    const std::pair<std::function<void()>, QString> cases[] = {
        {[&] { store->openProject(file("Missing.qvrig"), false); },
         "Could not open Missing.qvrig: " + toQ(std::generic_category().message(ENOENT))},
        {[&] { store->openProject(file("NotJSON.qvrig"), false); }, "Could not open NotJSON.qvrig: "},
        {[&] { EXPECT_FALSE(store->writeProject(file("Folder.qvrig"))); },
         couldNotSave("Folder.qvrig", EISDIR)},
        {[&] { store->openProject(file("Pipe.qvrig"), false); },
         "Could not open Pipe.qvrig: Pipe.qvrig is not a regular file."},
        {[&] { store->openProject(file("Zero.qvrig"), false); },
         "Could not open Zero.qvrig: Zero.qvrig is not a regular file."},
        {[&] { store->openProject(file("Huge.qvrig"), false); },
         "Could not open Huge.qvrig: Huge.qvrig is larger than 256 MB."},
        {[&] { EXPECT_FALSE(store->writeProject(file("Null.qvrig"))); },
         "Could not save Null.qvrig: Null.qvrig is not a regular file."},
        {[&] { store->openProject(file("LongNumber.qvrig"), false); }, "Could not open LongNumber.qvrig: "},
        {[&] { store->openProject(file("LongText.qvrig"), false); }, "Could not open LongText.qvrig: "},
        {[&] { store->openProject(file("LongKey.qvrig"), false); }, "Could not open LongKey.qvrig: "},
    };
    for (const auto& [act, message] : cases) {
        SCOPED_TRACE(message.toStdString());
        act();
        EXPECT_TRUE(store->errorMessage().value_or("").startsWith(message))
            << store->errorMessage().value_or("").left(300).toStdString();
        EXPECT_LT(store->errorMessage().value_or("").size(), 300);
        EXPECT_EQ(store->project(), before);
        EXPECT_EQ(store->filePath(), file("Kept.qvrig"));
        EXPECT_TRUE(store->isDirty());
    }
    EXPECT_FALSE(pipe.wasOpened());
    EXPECT_TRUE(QFileInfo(file("Null.qvrig")).isSymLink());
}

TEST_F(ProjectStoreTest, SavesGoThroughLinksAndKeepTheFilesMode) {
    QDir(files.path()).mkdir("Shows");
    store->setProject(showProject("A"));
    ASSERT_TRUE(store->writeProject(file("Shows/Arena.qvrig")));
    std::filesystem::permissions(toPath(file("Shows/Arena.qvrig")),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ASSERT_TRUE(QFile::link("Shows/Arena.qvrig", file("Arena.qvrig")));

    auto opened = testing::makeStore(testing::shortDelays);
    opened->openProject(file("Arena.qvrig"), false);
    ASSERT_EQ(opened->project(), showProject("A"));
    opened->setProject(showProject("B"));
    ASSERT_TRUE(opened->writeProject(*opened->filePath()));
    EXPECT_EQ(fileText("Shows/Arena.qvrig"), showProject("B").fileText());
    opened->setProject(showProject("C"));
    ASSERT_TRUE(testing::autosaved(*opened)); // into its file, through the link again
    EXPECT_EQ(fileText("Shows/Arena.qvrig"), showProject("C").fileText());
    EXPECT_FALSE(opened->isDirty());

    EXPECT_EQ(QFileInfo(file("Arena.qvrig")).symLinkTarget(), file("Shows/Arena.qvrig"));
    using std::filesystem::perms;
    EXPECT_EQ(std::filesystem::status(toPath(file("Shows/Arena.qvrig"))).permissions(),
              perms::owner_read | perms::owner_write);
}

// A write killed midway leaves its temporary; the next write into the folder removes it once
// its process is gone, beside the project as in the recovery folder.
TEST_F(ProjectStoreTest, DebrisOfKilledWritesGoesWhenTheFolderIsNextWritten) {
    store->setDelays(testing::shortDelays);
    const std::string ended = std::to_string(test::endedProcessId());
    const QString recoveryFolder = QFileInfo(recovery()).absolutePath();
    const QString besideProject = file(QString::fromStdString("Show.qvrig.tmp-" + ended));
    const QString inRecovery = recoveryFolder + QString::fromStdString("/unsaved.qvrig.tmp-" + ended);
    const QString stillWriting =
        file(QString::fromStdString("Other.qvrig.tmp-" + std::to_string(::getppid())));
    for (const QString& debris : {besideProject, inRecovery, stillWriting})
        ASSERT_TRUE(testing::writeText(debris, "{\"half\": "));

    store->setProject(showProject("A"));
    ASSERT_TRUE(testing::autosaved(*store)); // untitled: the recovery copy
    EXPECT_FALSE(QFileInfo::exists(inRecovery));
    EXPECT_TRUE(QFileInfo::exists(besideProject));
    ASSERT_TRUE(store->writeProject(file("Later.qvrig")));
    EXPECT_FALSE(QFileInfo::exists(besideProject));
    EXPECT_TRUE(QFileInfo::exists(stillWriting));
    // Only the lock of the program's own copy, held while it runs.
    EXPECT_EQ(QDir(recoveryFolder).entryList(QDir::Files),
              QStringList{QFileInfo(recovery()).fileName() + ".lock"});
}

// A file of a newer version: what this one does not know, and the version number, survive
// an edit and its autosave.
TEST_F(ProjectStoreTest, AFileOfANewerVersionKeepsWhatThisOneDoesNotKnow) {
    store->setDelays(testing::shortDelays);
    Json newer = parseJsonText(fixtures::fullProject().fileText());
    newer["formatVersion"] = 4;
    newer["crewNotes"] = Json::array({"Call 7:00", "Chain hoists on truck 2"});
    newer["report"]["sources"][0]["pickups"][0]["shackle"] = "3.25 t";
    newer["extras"].begin().value()["points"]["Front"]["chain"] = {{"length", 20}};
    ASSERT_TRUE(testing::writeText(file("Newer.qvrig"), QByteArray::fromStdString(dumpJsonPretty(newer))));

    store->openProject(file("Newer.qvrig"), false);
    Project edited = store->project();
    edited.name = "Edited here";
    store->setProject(edited);
    ASSERT_TRUE(testing::autosaved(*store));
    newer["name"] = "Edited here";
    EXPECT_EQ(parseJsonText(fileText("Newer.qvrig")), newer);
}

// Nesting deeper than any real file is refused on open and in a recovery copy, wherever it
// sits: such a value would be copied and written back recursively until the stack runs out.
TEST_F(ProjectStoreTest, FilesNestedDeeperThanAnyRealOneAreRefusedWhereverItSits) {
    const Json full = parseJsonText(fixtures::fullProject().fileText());
    Json inSource = full, inSourceMember = full, inProjectMember = full;
    inSource["report"]["sources"][1] = test::nestedPlace;
    inSourceMember["report"]["sources"][0]["rigNotes"] = test::nestedPlace;
    inProjectMember["crewNotes"] = test::nestedPlace;
    const std::pair<QString, std::string> files[] = {
        {"Top.qvrig", test::nestedArrays(1'000'000)},
        {"Source.qvrig", test::withNestedArrays(inSource, 1'000'000)},
        {"SourceMember.qvrig", test::withNestedArrays(inSourceMember, 1'000'000)},
        {"ProjectMember.qvrig", test::withNestedArrays(inProjectMember, 1'000'000)},
        // One level beyond the limit: the project's object and 512 arrays.
        {"OneTooMany.qvrig", test::withNestedArrays(inProjectMember, 512)},
    };
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Kept.qvrig")));
    const Project before = store->project();
    for (const auto& [name, text] : files) {
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(testing::writeText(file(name), QByteArray::fromStdString(text)));
        store->openProject(file(name), false);
        EXPECT_EQ(store->errorMessage().value_or(""),
                  "Could not open " + name + ": The file is nested more than 512 levels deep.");
        EXPECT_EQ(store->project(), before);
        EXPECT_EQ(store->filePath(), file("Kept.qvrig"));
    }

    // At the limit a member opens and is written back as it came.
    ASSERT_TRUE(testing::writeText(file("AtLimit.qvrig"),
                                   QByteArray::fromStdString(test::withNestedArrays(inProjectMember, 511))));
    store->openProject(file("AtLimit.qvrig"), false);
    EXPECT_EQ(store->filePath(), file("AtLimit.qvrig"));
    ASSERT_TRUE(store->writeProject(file("Saved.qvrig")));
    EXPECT_EQ(parseJsonText(fileText("Saved.qvrig"))["crewNotes"].dump(), test::nestedArrays(511));

    // A recovery copy that deep is dropped without an offer, as a damaged one is.
    ASSERT_TRUE(testing::writeText(leftCopy(), QByteArray::fromStdString(files[3].second)));
    testing::makeStore()->recovery().offerRestore();
    EXPECT_FALSE(QFileInfo::exists(leftCopy()));
    EXPECT_EQ(prompts.count(Kind::restoreOffer), 0);
}

TEST_F(ProjectStoreTest, RecentListIsTheLastTenFilesNewestFirstWithoutDuplicates) {
    QStringList expected;
    for (int i = 0; i < 11; ++i) {
        store->setProject(showProject("Array " + std::to_string(i)));
        ASSERT_TRUE(store->writeProject(file(QString("P%1.qvrig").arg(i))));
        if (i > 0) expected.prepend(file(QString("P%1.qvrig").arg(i)));
    }
    EXPECT_EQ(store->recentFiles().list(), expected);
    // Another spelling of the same file moves it to the front.
    store->openProject(files.path() + "/./sub/../P3.qvrig", true);
    expected.removeAll(file("P3.qvrig"));
    expected.prepend(file("P3.qvrig"));
    EXPECT_EQ(store->recentFiles().list(), expected);
    EXPECT_EQ(testing::makeStore()->recentFiles().list(), expected);
}

TEST_F(ProjectStoreTest, EverySaveListsTheProjectFirstOverWhatAnotherProgramStored) {
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("A.qvrig")));
    // "Clear Menu", then a save into the same file.
    store->recentFiles().clear();
    ASSERT_TRUE(store->writeProject(file("A.qvrig")));
    EXPECT_EQ(store->recentFiles().list(), QStringList{file("A.qvrig")});
    // Another program stores its list meanwhile; this one adds to it.
    auto other = testing::makeStore();
    other->setProject(showProject());
    ASSERT_TRUE(other->writeProject(file("B.qvrig")));
    ASSERT_TRUE(store->writeProject(file("A.qvrig")));
    EXPECT_EQ(testing::makeStore()->recentFiles().list(), (QStringList{file("A.qvrig"), file("B.qvrig")}));
}

// The desktop's list as an independent reader sees it: this program's bookmarks with their
// file, type, command and use count; every other bookmark in canonical form.
const char* const readDesktopList = R"(
import sys, urllib.parse, xml.etree.ElementTree as ET
B = '{http://www.freedesktop.org/standards/desktop-bookmarks}'
M = '{http://www.freedesktop.org/standards/shared-mime-info}'
root = ET.parse(sys.argv[1]).getroot()
assert root.tag == 'xbel'
for b in root.findall('bookmark'):
    own = [a for a in b.findall('info/metadata/' + B + 'applications/' + B + 'application')
           if a.get('name') == 'Quorvane Rig']
    if not own:
        print('other', ET.canonicalize(ET.tostring(b, encoding='unicode'), strip_text=True))
        continue
    mime = b.find('info/metadata/' + M + 'mime-type')
    dated = all(b.get(k) for k in ('added', 'modified', 'visited'))
    print('own', urllib.parse.unquote(urllib.parse.urlparse(b.get('href')).path), mime.get('type'),
          own[0].get('exec'), own[0].get('count'), dated)
)";

QStringList desktopList(const QString& path) {
    QProcess python;
    python.start(QStringLiteral("python3"), {"-c", readDesktopList, path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python3 could not read " << path.toStdString() << ": "
                      << python.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

TEST_F(ProjectStoreTest, DesktopListGetsEverySavedProjectAndKeepsWhatOthersListed) {
    const QString list = paths.file("data/recently-used.xbel");
    const QByteArray others = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0" xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info">
  <bookmark href="file:///home/crew/plot%20v2.pdf" added="2025-03-14T09:26:53.123456Z"
            modified="2025-03-14T09:26:53.123456Z" visited="2025-03-14T09:26:53.123456Z">
    <info><metadata owner="http://freedesktop.org">
      <mime:mime-type type="application/pdf"/>
      <bookmark:groups><bookmark:group>Viewer</bookmark:group></bookmark:groups>
      <bookmark:applications>
        <bookmark:application name="Document Viewer" exec="&apos;evince %u&apos;"
                              modified="2025-03-14T09:26:53.123456Z" count="3"/>
      </bookmark:applications>
    </metadata></info>
  </bookmark>
  <bookmark href="file:///home/crew/notes.txt" added="2025-01-02T10:00:00Z" modified="2025-01-02T10:00:00Z"
            visited="2025-01-02T10:00:00Z"><info><metadata owner="http://freedesktop.org">
    <mime:mime-type type="text/plain"/><bookmark:private/>
    <bookmark:applications><bookmark:application name="Text Editor" exec="&apos;gedit %u&apos;"
      modified="2025-01-02T10:00:00Z" count="1"/></bookmark:applications></metadata></info></bookmark>
</xbel>
)";
    ASSERT_TRUE(testing::writeText(list, others));
    const QStringList before = desktopList(list);
    ASSERT_EQ(before.size(), 2);

    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Main stage.qvrig")));
    ASSERT_TRUE(store->writeProject(file("Main stage.qvrig")));
    const QString own = "own " + file("Main stage.qvrig") + " application/x-quorvane-rig 'quorvane-rig %u' ";
    EXPECT_EQ(desktopList(list), before + QStringList{own + "2 True"});
    // Opened, and at most ten of its own.
    auto opening = testing::makeStore();
    opening->openProject(file("Main stage.qvrig"), false);
    for (int i = 0; i < 11; ++i) ASSERT_TRUE(store->writeProject(file(QString("P%1.qvrig").arg(i))));
    const QStringList after = desktopList(list);
    EXPECT_EQ(after.mid(0, 2), before);
    EXPECT_EQ(after.size(), 12);
    EXPECT_FALSE(after.contains(own + "3 True")) << "the oldest of its own went";

    // A list it cannot read as a bookmark list is never touched; a missing one is made.
    for (const QByteArray& foreign :
         {others.left(others.size() / 2), QByteArray("<html><body/></html>"), QByteArray()}) {
        ASSERT_TRUE(testing::writeText(list, foreign));
        ASSERT_TRUE(store->writeProject(file("Main stage.qvrig")));
        EXPECT_EQ(testing::readText(list).toUtf8(), foreign);
    }
    QFile::remove(list);
    ASSERT_TRUE(store->writeProject(file("Main stage.qvrig")));
    EXPECT_EQ(desktopList(list), QStringList{own + "1 True"});
}

// Another program noting files in the desktop's list as GLib does: read, add one bookmark,
// write a temporary and rename it over the list; one file every few milliseconds.
const char* const otherWriter = R"(
import os, sys, time, xml.etree.ElementTree as ET
path, count = sys.argv[1], int(sys.argv[2])
B = 'http://www.freedesktop.org/standards/desktop-bookmarks'
ET.register_namespace('bookmark', B)
ET.register_namespace('mime', 'http://www.freedesktop.org/standards/shared-mime-info')
for i in range(count):
    root = ET.parse(path).getroot()
    ET.SubElement(root, 'bookmark', href='file:///home/crew/clip%d.wav' % i, added='2025-01-02T10:00:00Z',
                  modified='2025-01-02T10:00:00Z', visited='2025-01-02T10:00:00Z')
    with open(path + '.other', 'wb') as f:
        f.write(ET.tostring(root, encoding='utf-8', xml_declaration=True))
    os.replace(path + '.other', path)
    time.sleep(0.003)
)";

TEST_F(ProjectStoreTest, DesktopListKeepsWhatAnotherProgramWritesMeanwhile) {
    holdAutosave(*store);
    const QString list = paths.file("data/recently-used.xbel");
    store->setProject(showProject());
    ASSERT_TRUE(store->writeProject(file("Main stage.qvrig")));
    QProcess other;
    other.setProcessChannelMode(QProcess::ForwardedChannels);
    other.start(QStringLiteral("python3"), {"-c", otherWriter, list, "300"});
    ASSERT_TRUE(other.waitForStarted(30000));
    int saves = 0;
    while (other.state() != QProcess::NotRunning) {
        ASSERT_TRUE(store->writeProject(file(QString("Show %1.qvrig").arg(saves++ % 10))));
        QCoreApplication::processEvents();
    }
    ASSERT_EQ(other.exitCode(), 0);
    ASSERT_TRUE(store->writeProject(file("Main stage.qvrig")));
    int clips = 0;
    for (const QString& entry : desktopList(list)) clips += entry.contains("clip");
    EXPECT_EQ(clips, 300) << "after " << saves << " saves meanwhile";
    // The other program may drop this one's entries (it does not look again); never the last.
    EXPECT_EQ(desktopList(list).filter("own " + file("Main stage.qvrig") + " ").size(), 1);
}

TEST_F(ProjectStoreTest, DesktopListInAnotherEncodingIsWrittenAsItSays) {
    holdAutosave(*store);
    const QString list = paths.file("data/recently-used.xbel");
    const QString others = QString::fromUtf8(R"(<?xml version="1.0" encoding="%1"?>
<xbel version="1.0" xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info">
  <bookmark href="file:///home/crew/sc%C3%A8ne.pdf" added="2025-01-02T10:00:00Z" modified="2025-01-02T10:00:00Z"
            visited="2025-01-02T10:00:00Z"><title>Scène · façade</title><info><metadata owner="http://freedesktop.org">
    <mime:mime-type type="application/pdf"/><bookmark:groups><bookmark:group>Vidéo</bookmark:group></bookmark:groups>
    <bookmark:applications><bookmark:application name="Visionneuse" exec="&apos;evince %u&apos;"
      modified="2025-01-02T10:00:00Z" count="1"/></bookmark:applications></metadata></info></bookmark>
</xbel>
)");
    store->setProject(showProject());
    for (const char* encoding : {"ISO-8859-1", "UTF-16"}) {
        const QString text = others.arg(QLatin1String(encoding));
        QByteArray bytes;
        if (QLatin1String(encoding) == QLatin1String("UTF-16")) {
            bytes = QByteArray("\xFF\xFE") +
                    QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        } else {
            bytes = text.toLatin1();
        }
        ASSERT_TRUE(testing::writeText(list, bytes));
        const QStringList before = desktopList(list);
        ASSERT_EQ(before.size(), 1) << encoding;
        ASSERT_TRUE(before[0].contains(QString::fromUtf8("Vidéo")));
        ASSERT_TRUE(store->writeProject(file("Main stage.qvrig")));
        const QStringList after = desktopList(list);
        ASSERT_EQ(after.size(), 2) << encoding;
        EXPECT_EQ(after[0], before[0]) << encoding;
        EXPECT_TRUE(testing::readText(list).startsWith(R"(<?xml version="1.0" encoding="UTF-8"?>)"));
    }
}

TEST_F(ProjectStoreTest, SavePromptComesOnlyForUnsavedWorkAndSaveGoesOnOnlyIntoAFile) {
    // Cancel stops opening before any panel.
    store->setProject(showProject());
    prompts.answerSave(SaveAnswer::cancel);
    store->showOpenPanel();
    EXPECT_EQ(prompts.count(Kind::openPanel), 0);
    ASSERT_TRUE(store->writeProject(file("Clean.qvrig")));
    EXPECT_TRUE(store->confirmDiscardChanges());
    EXPECT_EQ(prompts.shown().size(), 1u);
    for (const std::optional<QString>& panel :
         {std::optional<QString>(), std::optional(file("Saved.qvrig"))}) {
        auto s = testing::makeStore();
        Project p = showProject();
        p.name = "AC/DC";
        s->setProject(p);
        prompts.answerSave(SaveAnswer::save);
        prompts.answerSavePanel(panel);
        EXPECT_EQ(s->confirmDiscardChanges(), panel.has_value());
        EXPECT_EQ(prompts.last(Kind::savePanel).fileName, "ACDC.qvrig"); // no folder in the name
        EXPECT_EQ(fileText("Saved.qvrig"), panel ? p.fileText() : "");
    }
    // A name as long as a damaged file may hold, with a line break: the question quotes its
    // start, and the proposed file name fits.
    auto s = testing::makeStore();
    Project p = showProject();
    p.name = "Main\nStage " + std::string(1'000'000, 'x');
    s->setProject(p);
    prompts.answerSave(SaveAnswer::save);
    prompts.answerSavePanel(std::nullopt);
    EXPECT_FALSE(s->confirmDiscardChanges());
    EXPECT_EQ(prompts.last(Kind::saveChanges).text,
              "Save changes to “Main Stage " + QString(49, 'x') + "…”?");
    EXPECT_EQ(prompts.last(Kind::savePanel).fileName, "MainStage " + QString(239, 'x') + ".qvrig");
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
    EXPECT_EQ(store->errorMessage(), couldNotSave("Show.qvrig", ENOENT));
    EXPECT_EQ(store->project(), showProject("Main R"));
    // Don’t Save when not even the recovery copy's folder can be made: kept, and said so with
    // the folder; a damaged file's long name by its start.
    ASSERT_TRUE(QDir(paths.file("data/QuorvaneRig/Recovery")).removeRecursively());
    ASSERT_TRUE(testing::writeText(paths.file("data/QuorvaneRig/Recovery"), "a file in the way"));
    Project longName = showProject("Main R");
    longName.name = std::string(100'000, 'n');
    store->setProject(longName);
    prompts.answerSave(SaveAnswer::dontSave);
    store->newProject();
    EXPECT_EQ(store->project(), longName);
    EXPECT_EQ(store->errorMessage(), "Quorvane Rig could not keep a copy of “" + QString(60, 'n') +
                                         "…”: " + paths.file("data/QuorvaneRig/Recovery") + ": " +
                                         toQ(std::generic_category().message(ENOTDIR)));
}

TEST_F(ProjectStoreTest, AutosaveWritesTheProjectAsItWasAndASaveWinsOverIt) {
    store->setDelays(testing::shortDelays);
    // Untitled: the last of several edits into the recovery copy, still edited.
    store->setProject(showProject("A"));
    store->setProject(showProject("C"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(recoveryText(), showProject("C").recoveryText());
    EXPECT_TRUE(store->isDirty());
    // With a file: into it, as it was when the timer fired.
    holdAutosave(*store);
    ASSERT_TRUE(store->writeProject(file("Show.qvrig")));
    store->setProject(showProject("B"));
    store->recovery().writeRecovery(); // as the timer does
    store->setProject(showProject("C"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(fileText("Show.qvrig"), showProject("B").fileText());
    EXPECT_TRUE(store->isDirty()); // C is not in the file
    for (int round = 0; round < 10; ++round) {
        const std::string n = std::to_string(round);
        store->setProject(showProject("B" + n));
        store->recovery().writeRecovery();
        store->setProject(showProject("C" + n));
        ASSERT_TRUE(store->writeProject(file("Show.qvrig")));
        ASSERT_TRUE(testing::autosaved(*store));
        ASSERT_EQ(fileText("Show.qvrig"), showProject("C" + n).fileText());
    }
    // A write of the document open before lands after the file was opened again and edited:
    // the document now open stays edited.
    store->setProject(showProject("Before"));
    store->recovery().writeRecovery();
    store->openProject(file("Show.qvrig"), false);
    store->setProject(showProject("After"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_TRUE(store->isDirty());
    EXPECT_EQ(store->windowTitle(), "Show — Edited");
    // Failing into the file: said, and still edited.
    QFile::remove(file("Show.qvrig"));
    QDir(files.path()).mkdir("Show.qvrig");
    store->setProject(showProject("Main C"));
    store->recovery().writeRecovery();
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(store->errorMessage(), couldNotSave("Show.qvrig", EISDIR));
    EXPECT_TRUE(store->isDirty());
    // A failure that lands after the file was opened again says nothing about the document now open.
    store->setErrorMessage(std::nullopt);
    store->recovery().writeRecovery();
    store->recovery().finishWrites(); // failed; the outcome is still to come
    ASSERT_TRUE(QDir(files.path()).rmdir("Show.qvrig"));
    ASSERT_TRUE(
        testing::writeText(file("Show.qvrig"), QByteArray::fromStdString(showProject("C9").fileText())));
    store->openProject(file("Show.qvrig"), false);
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_EQ(store->errorMessage(), std::nullopt);
}

TEST_F(ProjectStoreTest, SaveDeletesOnlyTheStoresOwnRecoveryCopy) {
    store->setDelays(testing::shortDelays);
    // Written by "Don’t Save" for the project that was dropped: kept for the next start, never
    // written over by the next project's autosave nor deleted by its save.
    store->setProject(showProject("B"));
    const QString kept = recovery();
    prompts.answerSave(SaveAnswer::dontSave);
    store->newProject();
    store->setProject(showProject("C"));
    ASSERT_TRUE(testing::autosaved(*store));
    EXPECT_NE(recovery(), kept);
    ASSERT_TRUE(store->writeProject(file("C.qvrig")));
    EXPECT_EQ(copyText(kept), showProject("B").recoveryText());
    // A large copy still being encoded when the save comes never lands afterwards.
    holdAutosave(*store);
    Project large = fixtures::largeProject(300);
    for (int round = 0; round < 3; ++round) {
        store->newProject();
        large.name = "Large " + std::to_string(round);
        store->setProject(large);
        store->recovery().writeRecovery();
        store->setProject(showProject("Small"));
        ASSERT_TRUE(store->writeProject(file(QString("Small%1.qvrig").arg(round))));
        ASSERT_TRUE(testing::autosaved(*store));
        store->recovery().finishWrites();
        EXPECT_FALSE(recoveryExists()) << round;
    }
}

TEST_F(ProjectStoreTest, RestoreOfferAnswersKeepOrDropTheCopy) {
    Project copy = showProject();
    copy.name.clear();
    leaveRecoveryCopy(copy);
    // Offered after the launch; Escape keeps the copy.
    prompts.answerRestore(RestoreAnswer::dismissed);
    auto launching = testing::makeStore(testing::shortDelays);
    EXPECT_TRUE(launching->recovery().scheduleRestoreOffer());
    ASSERT_TRUE(testing::waitFor([&] { return prompts.count(Kind::restoreOffer) == 1; }));
    // Restore: edited, and the copy becomes the store's own until saved.
    launching.reset();
    prompts.answerRestore(RestoreAnswer::restore);
    store->recovery().offerRestore();
    EXPECT_EQ(store->project(), copy);
    EXPECT_TRUE(store->isDirty());
    EXPECT_EQ(recovery(), leftCopy());
    ASSERT_TRUE(store->writeProject(file("Restored.qvrig")));
    EXPECT_FALSE(QFileInfo::exists(leftCopy()));
    // Discard deletes it, and the temporary of a write of it killed midway; a damaged copy goes
    // without asking. The offer quotes the start of a long name, and names the copy's crew link
    // only when a server could have sent it.
    copy.name = std::string(1'000'000, 'n');
    copy.share = ShareInfo{"tok", "javascript:alert(1)//", fixtures::testDate(), {}, {}, std::nullopt};
    leaveRecoveryCopy(copy, "unsaved-1.qvrig");
    const QString killedWrite =
        leftCopy(QString::fromStdString("unsaved-1.qvrig.tmp-" + std::to_string(test::endedProcessId())));
    ASSERT_TRUE(testing::writeText(killedWrite, "{\"half\": "));
    prompts.answerRestore(RestoreAnswer::discard);
    testing::makeStore()->recovery().offerRestore();
    EXPECT_FALSE(QFileInfo::exists(leftCopy("unsaved-1.qvrig")) || QFileInfo::exists(killedWrite));
    EXPECT_EQ(prompts.last(Kind::restoreOffer).text, "Restore unsaved project “" + QString(60, 'n') + "…”?");
    EXPECT_FALSE(prompts.last(Kind::restoreOffer).detail.contains("Crew link"))
        << prompts.last(Kind::restoreOffer).detail.toStdString();
    copy.share->url = "https://rig.example/c/tok";
    leaveRecoveryCopy(copy, "unsaved-2.qvrig");
    prompts.answerRestore(RestoreAnswer::dismissed);
    testing::makeStore()->recovery().offerRestore();
    EXPECT_TRUE(prompts.last(Kind::restoreOffer).detail.endsWith("\nCrew link: https://rig.example/c/tok"));
    ASSERT_TRUE(QFile::remove(leftCopy("unsaved-2.qvrig")));
    // A damaged copy (cut by a byte) is not offered but kept aside, and the start says where.
    const std::string whole = showProject().recoveryText(), cut = whole.substr(0, whole.size() - 1);
    testing::writeText(leftCopy("unsaved-3.qvrig"), QByteArray::fromStdString(cut));
    auto starting = testing::makeStore();
    starting->recovery().offerRestore();
    EXPECT_FALSE(QFileInfo::exists(leftCopy("unsaved-3.qvrig")));
    EXPECT_EQ(copyText(leftCopy("unsaved-3.qvrig.unreadable")), cut);
    EXPECT_TRUE(starting->errorMessage().value_or("").endsWith("It is kept as " +
                                                               leftCopy("unsaved-3.qvrig.unreadable") + "."));
    EXPECT_EQ(prompts.count(Kind::restoreOffer), 4);
}

TEST_F(ProjectStoreTest, NoRestoreOverAnOpenOrIncomingProject) {
    leaveRecoveryCopy(showProject("Copy"));
    holdAutosave(*store);
    store->setProject(showProject("Opened"));
    store->recovery().offerRestore();
    auto importing = testing::makeStore();
    importing->importer().setImporting(true);
    importing->recovery().offerRestore();
    EXPECT_TRUE(prompts.shown().empty());
    auto incoming = testing::makeStore();
    prompts.answerRestore(RestoreAnswer::restore, [&] { incoming->setProject(showProject("Imported")); });
    incoming->recovery().offerRestore();
    EXPECT_EQ(incoming->project(), showProject("Imported"));
    EXPECT_EQ(copyText(leftCopy()), showProject("Copy").recoveryText());
    incoming.reset(); // came in while the offer showed; gone before its own autosave
    // Discard deletes the offered copy only, not the one the incoming project wrote meanwhile.
    const Project imported = fixtures::largeProject(100);
    auto s = testing::makeStore();
    holdAutosave(*s);
    prompts.answerRestore(RestoreAnswer::discard, [&] {
        s->setProject(imported);
        s->recovery().writeRecovery();
        EXPECT_TRUE(testing::autosaved(*s));
    });
    s->recovery().offerRestore();
    EXPECT_FALSE(QFileInfo::exists(leftCopy()));
    EXPECT_TRUE(copyText(s->recovery().copyPath()) == imported.recoveryText());
}

// Programs side by side: two stores, each with its own lock.
TEST_F(ProjectStoreTest, EachProgramKeepsItsOwnCopyAndOffersOnlyThoseNoProgramHolds) {
    store->setDelays(testing::shortDelays);
    const auto named = [](const std::string& name) {
        Project p = showProject();
        p.name = name;
        return p;
    };
    auto second = testing::makeStore(testing::shortDelays);
    store->setProject(named("A"));
    ASSERT_TRUE(testing::autosaved(*store));
    second->setProject(named("B"));
    ASSERT_TRUE(testing::autosaved(*second));
    const QString copyA = store->recovery().copyPath(), copyB = second->recovery().copyPath();
    ASSERT_NE(copyA, copyB);
    EXPECT_EQ(copyText(copyA), named("A").recoveryText());
    // Neither is offered while its program runs.
    auto third = testing::makeStore(testing::shortDelays);
    third->recovery().offerRestore();
    EXPECT_TRUE(prompts.shown().empty());
    // Both ended: the newer first, one offer per start; Escape keeps it, and the next autosave
    // of the program that was offered it goes elsewhere.
    store.reset();
    second.reset();
    QFile older(copyA);
    ASSERT_TRUE(older.open(QIODevice::ReadWrite));
    ASSERT_TRUE(
        older.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    older.close();
    prompts.answerRestore(RestoreAnswer::dismissed);
    third->recovery().offerRestore();
    EXPECT_EQ(prompts.last(Kind::restoreOffer).text, "Restore unsaved project “B”?");
    EXPECT_EQ(prompts.count(Kind::restoreOffer), 1);
    third->setProject(named("C"));
    ASSERT_TRUE(testing::autosaved(*third));
    EXPECT_EQ(copyText(copyB), named("B").recoveryText());
    // "Discard" deletes the offered copy only; the other is offered next.
    prompts.answerRestore(RestoreAnswer::discard);
    testing::makeStore()->recovery().offerRestore();
    EXPECT_FALSE(QFileInfo::exists(copyB));
    EXPECT_EQ(copyText(copyA), named("A").recoveryText());
    prompts.answerRestore(RestoreAnswer::restore);
    auto fourth = testing::makeStore();
    fourth->recovery().offerRestore();
    EXPECT_EQ(fourth->project(), named("A"));
    EXPECT_EQ(copyText(third->recovery().copyPath()), named("C").recoveryText());
}

// The recovery copy outlives a process killed outright: this program runs again as a child that
// edits, autosaves and is killed with SIGKILL.
const char* const rootVariable = "RIG_KILL_TEST_ROOT";

std::vector<Project> edits() {
    Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 8)});
    std::vector<Project> steps{p};
    p.setExtra(p.report.sources[0].id(), "Rear", PointExtra{fixtures::testMotor("D8+ 500 kg", 38, 2), true});
    p.report.sources.edit()[0].pickups.edit()[0].position.z = fixtures::notANumber;
    steps.push_back(p);
    return steps;
}

TEST(ProjectStoreKill, Child) {
    const QString root = qEnvironmentVariable(rootVariable);
    if (root.isEmpty()) GTEST_SKIP() << "started by ProjectStoreKill.RecoveryCopySurvivesSIGKILL";
    setAppPaths(testing::appPathsUnder(root));
    auto store = testing::makeStore(testing::shortDelays);
    QSignalSpy autosaved(&store->recovery(), &Recovery::autosaveFinished);
    for (const Project& step : edits()) store->setProject(step);
    ASSERT_TRUE(autosaved.wait(30000));
    std::printf("autosaved\n");
    std::fflush(stdout);
    QTest::qWait(60000); // to be killed; a lost parent never leaves us hanging
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

    testing::FakePrompts prompts;
    prompts.answerRestore(Prompts::RestoreAnswer::restore);
    auto store = testing::makeStore();
    store->recovery().offerRestore();
    EXPECT_EQ(store->project().fileText(), edits().back().fileText());
}

} // namespace
} // namespace rig::app
