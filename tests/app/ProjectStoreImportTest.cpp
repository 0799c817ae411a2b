#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"
#include "support/SampleShow.h"
#include "support/ShowProjects.h"
#include "support/SpecialFiles.h"
#include "support/StoreTesting.h"
#include "support/TempDir.h"
#include "support/TestDXF.h"
#include "support/Waiting.h"

#include "ImportController.h"
#include "ImportWorker.h"
#include "MainWindow.h"
#include "MotorLibrary.h"
#include "OverviewTexts.h"
#include "Preferences.h"
#include "Program.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "model/RigError.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace rig::app {
namespace {

const char* const inventoryText = "Category;Quantity;Family;Product;Description;Amp channels\n"
                                  "Enclosure;12;K2;K2;;\n"
                                  "Amplifier;4;LA;LA12X;Amplified controller;4\n";

class StoreImport : public ::testing::Test {
protected:
    void SetUp() override {
        settings().setValue(authorNameKey, "Sam Reyes");
        library.setDelta(DeltaSpec{"Library plate", 0.75, std::nullopt});
        store = std::make_unique<ProjectStore>();
        store->setMotorLibrary(&library);
        store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    }
    void TearDown() override {
        store.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    QUrl file(const std::string& name, std::string_view bytes) {
        return QUrl::fromLocalFile(fromPath(files.write(name, bytes)));
    }
    QUrl report(const std::string& name, std::uint64_t seed) {
        test::ReportGeneratorOptions options;
        options.sources = 3;
        options.seed = seed;
        generated = test::generateReport(options);
        return file(name, generated.pdf);
    }
    void importAndWait(const QList<QUrl>& urls) {
        store->importer().handleURLs(urls);
        ASSERT_TRUE(testing::waitFor([&] { return !store->importer().importing(); }, 60000));
    }

    testing::TempAppPaths paths;
    test::TempDir files;
    MotorLibrary library;
    std::unique_ptr<ProjectStore> store;
    test::GeneratedReport generated;
};

TEST_F(StoreImport, RealFilesImportInTheBackgroundAndLaterReportsShowTheirChanges) {
    // Bad files each get a line and leave the project as it was; a DXF needs a report first.
    const QUrl pdf = report("Show report.pdf", 3);
    const QUrl dxf = file("Show speakers.dxf", testing::loudspeakerDXF(generated.expected));
    importAndWait({dxf, file("damaged\u202E.pdf", "%PDF-1.4 broken")});
    EXPECT_TRUE(store->project().isEmpty());
    const QStringList lines = store->errorMessage().value_or("").split('\n');
    ASSERT_EQ(lines.size(), 2) << lines.join('|').toStdString();
    // A file name in a message stands isolated and without its override.
    EXPECT_TRUE(lines[0].contains(QString::fromUtf8("\u2068damaged.pdf\u2069"))) << lines[0].toStdString();
    EXPECT_EQ(lines[1], "Import the Soundvision report before the DXF.");

    // A file on another computer is not read as a path here; "localhost" is this one.
    QUrl inventory = file("Show inventory.csv", inventoryText), remote = inventory;
    inventory.setHost("LocalHost");
    remote.setHost("otherhost");
    store->importer().handleURLs({dxf, file("notes\u202E.txt", "x"), inventory, remote, pdf});
    EXPECT_TRUE(store->importer().importing()); // the call returns at once
    ASSERT_TRUE(testing::waitFor([&] { return !store->importer().importing(); }, 60000));
    const Project& p = store->project();
    EXPECT_EQ(p.report.sources.size(), generated.expected.sources.size());
    EXPECT_EQ(p.reportFile, "Show report.pdf");
    EXPECT_EQ(p.inventoryFile, "Show inventory.csv");
    EXPECT_EQ(p.dxfFile, "Show speakers.dxf"); // read after the report
    EXPECT_EQ(p.author, "Sam Reyes");
    EXPECT_EQ(p.delta, library.delta());
    EXPECT_EQ(store->importer().importChanges(), std::nullopt); // a first report shows no changes
    EXPECT_EQ(store->errorMessage(),
              QString::fromUtf8("\u2068notes.txt\u2069: unknown file type (use PDF, CSV or DXF).\n") +
                  "Not a file on this computer: " +
                  toQ(ImportNotes::quoted(toStd(remote.toDisplayString()))) + " was not imported.");
    EXPECT_EQ(settings().value(ImportController::lastImportDirKey).toString(), fromPath(files.path()));

    importAndWait({report("second.pdf", 2)});
    ASSERT_TRUE(store->importer().importChanges().has_value());
    EXPECT_FALSE(store->importer().importChanges()->isEmpty());
}

TEST_F(StoreImport, NamesWithLineBreaksAreImportedOrWhatWasSkippedIsNamed) {
    // Sources named with U+2028 and U+2029 come in as the report prints them; the DXF and
    // the inventory, whose lines these characters end, name in the import's message what
    // they had to skip, and the sources after them still pair.
    const std::vector<std::string> names = {"Main L", "Main\u2028R", "Sub", "Out\u2029fill", "Delay"};
    test::ReportGeneratorOptions options;
    for (std::size_t i = 0; i < names.size(); ++i) {
        test::SourcePlan plan;
        plan.groups = {"ALL", "Zone\u2029A"};
        plan.name = names[i];
        plan.configuration = "flown";
        plan.enclosureType = "K2";
        plan.enclosures = 4;
        plan.position = XYZ(3.0 * double(i), 5, 9);
        options.sourceList.push_back(plan);
    }
    generated = test::generateReport(options);
    importAndWait({file("Show report.pdf", generated.pdf),
                   file("Show speakers.dxf", testing::loudspeakerDXF(generated.expected)),
                   file("Show inventory.csv", "Category;Quantity;Family;Product\nEnclosure;16;K2;K2\n"
                                              "Enclosure;4;K2;K2\u2028 (spare)\n")});
    const Project& p = store->project();
    std::vector<std::string> read;
    for (const Source& s : p.report.sources) {
        read.push_back(s.name);
        EXPECT_EQ(s.groups.vec(), (std::vector<std::string>{"ALL", "Zone\u2029A"}));
    }
    EXPECT_EQ(read, names);
    EXPECT_EQ(p.inventory.size(), 2u);
    ASSERT_EQ(p.dxf.size(), 3u);
    for (std::size_t i : {0u, 2u, 4u}) EXPECT_TRUE(p.dxf.contains(p.report.sources[i].id())) << names[i];
    EXPECT_EQ(store->errorMessage(),
              "Show inventory.csv: skipped \"(spare)\": a line break (U+2028) inside a row splits it.\n"
              "Show speakers.dxf: skipped the block \"1_Main\": a line break (U+2028) cuts its name there.\n"
              "Show speakers.dxf: skipped the block \"3_Out\": a line break (U+2029) cuts its name there.");

    // 909 skipped blocks and so no array: that first, nine blocks named, and the real count of
    // the rest.
    test::DXFWriter cut;
    for (int i = 1; i <= 909; ++i) cut.beginBlock(std::to_string(i) + "_Cut\u2028L").endBlock();
    importAndWait({file("cut.dxf", cut.finish())});
    EXPECT_TRUE(store->errorMessage().value_or("").startsWith("cut.dxf: no loudspeaker array found"));
    EXPECT_TRUE(
        store->errorMessage().value_or("").endsWith(QString::fromUtf8(".\n… and 900 more like these.")));

    // The names survive the program's own save and open.
    const QString path = fromPath(files.path() / "Line breaks.qvrig");
    ASSERT_TRUE(store->writeProject(path));
    ProjectStore other;
    other.openProject(path, false);
    EXPECT_EQ(other.project(), p);
}

TEST_F(StoreImport, EachDamagedCopyOfADXFIsNamedInTheMessage) {
    const test::SampleShow show = test::sampleShow();
    importAndWait({file("show.pdf", show.reportPdf), file("Show speakers.dxf", show.loudspeakerDxf)});
    for (const test::DamagedDXF& damaged : test::damagedCopies(show.loudspeakerDxf, "0_L2_L")) {
        store->setErrorMessage(std::nullopt);
        Project without = store->project();
        without.dxf = {};
        store->setProject(without);
        importAndWait({file("Show speakers.dxf", damaged.text)});
        EXPECT_TRUE(store->errorMessage().value_or("").startsWith("Show speakers.dxf: ")) << damaged.kind;
        // A stray or empty line costs at most the pair it lands in: the reader gets back in step.
        EXPECT_TRUE(damaged.kind.find("halfway") == std::string::npos || store->project().dxf.size() == 7u)
            << damaged.kind;
    }
}

// Each reader given its kind of file damaged each way: the file is refused with a reason, or
// the message names what was lost and the checks do not agree; a file of another kind is
// never quoted. Only a copy that reads as the whole file did may pass without a word.
TEST_F(StoreImport, EveryReaderRefusesADamagedFileOrNamesWhatItLost) {
    const test::SampleShow show = test::sampleShow();
    struct Kind {
        std::string file, whole, other; // `other`: another kind's file
        std::string Project::*name;     // none for a project file
    };
    const std::vector<Kind> kinds = {{"show.pdf", show.reportPdf, show.loudspeakerDxf, &Project::reportFile},
                                     {"show.csv", show.inventoryCsv, show.reportPdf, &Project::inventoryFile},
                                     {"show.dxf", show.loudspeakerDxf, show.reportPdf, &Project::dxfFile},
                                     {"show.qvrig", "", show.inventoryCsv, nullptr}};
    // The three exports, one of them as given, into an empty store; a project file alone.
    const auto readWith = [&](const Kind& kind, const std::string& bytes) {
        store = std::make_unique<testing::HeldStore>();
        QList<QUrl> urls = {file(kind.file, bytes)};
        for (const Kind& k : kinds)
            if (kind.name && k.name && k.name != kind.name) urls.push_back(file(k.file, k.whole));
        importAndWait(urls);
    };
    const auto agrees = [&] {
        return overview::splitChecks(store->project().groupedIssues()).warnings.empty();
    };
    readWith(kinds[0], show.reportPdf);
    ASSERT_TRUE(store->errorMessage() == std::nullopt && agrees());
    const Project whole = store->project();
    const auto sameAsWhole = [&](Project read) { // but for the times of import
        read.reportImportedAt = whole.reportImportedAt;
        read.history = whole.history;
        return read == whole;
    };

    for (const Kind& kind : kinds) {
        const std::string b = kind.name ? kind.whole : whole.fileText();
        const std::size_t half = b.find('\n', b.size() / 2) + 1; // 0 when there is no line break
        std::string flipped = b, utf16 = "\xFF\xFE", faceless = b;
        for (std::size_t k = 0; k < 20; ++k) flipped[(2 * k + 1) * b.size() / 40] ^= '\xFF';
        for (char c : b) utf16 += std::string{c, '\0'};
        for (std::size_t at; (at = faceless.find("\n3DFACE\n")) != std::string::npos;)
            faceless.replace(at + 1, 6, "SOLIDS");
        const std::vector<std::pair<std::string, std::string>> copies = {
            {"another kind's file", kind.other},
            {"cut at 10 %", b.substr(0, b.size() / 10)},
            {"cut at 50 %", b.substr(0, b.size() / 2)},
            {"cut at 90 %", b.substr(0, b.size() * 9 / 10)},
            {"a stray line halfway", b.substr(0, half) + "stray text\n" + b.substr(half)},
            {"an empty line halfway", b.substr(0, half) + "\n" + b.substr(half)},
            {"20 flipped bytes", flipped},
            {"UTF-16", utf16},
            {"drawings emptied", faceless}};
        for (const auto& [what, bytes] : copies) {
            SCOPED_TRACE(kind.file + ", " + what);
            readWith(kind, bytes);
            const Project& read = store->project();
            const QString message = store->errorMessage().value_or("");
            if (sameAsWhole(read)) continue;
            const bool refused = kind.name ? (read.*kind.name).empty() : !store->filePath();
            EXPECT_TRUE(message.contains(toQ(kind.file)) && (refused || !agrees())) << message.toStdString();
            if (what == "UTF-16" || what == "another kind's file") { // never quoted
                EXPECT_FALSE(message.contains(QRegularExpression("[\\x00-\\x09\\x0B-\\x1F\\x{FFFD}]")))
                    << message.toStdString();
            }
            // Arrays read without their drawing are no project of an older version.
            for (const IssueGroup& group : read.groupedIssues())
                EXPECT_EQ(group.text.find("older Rig version"), std::string::npos);
        }
    }

    // Arrays of another show are named, not dropped; a name handed in by path is cut short.
    importAndWait({report("other.pdf", 3), file("show.dxf", show.loudspeakerDxf)});
    EXPECT_TRUE(store->errorMessage().value_or("").startsWith(
        "show.dxf: left out the array 0 \"L2 L\": it matches no source of the report.\n"));
    for (const char* extension : {".csv", ".qvrig"}) {
        store->setErrorMessage(std::nullopt);
        importAndWait({QUrl::fromLocalFile(fromPath(files.path() / (std::string(130000, 'n') + extension)))});
        const QString message = store->errorMessage().value_or("");
        EXPECT_TRUE(message.size() < 200 && message.contains(QString(50, 'n'))) << extension;
    }

    // Settings that Qt reads only in part are said at the start, their file kept aside.
    setAppPaths(appPaths()); // read anew, as at a start
    const QByteArray damaged = "[General]\nstray text\nauthorName=Sam Reyes\n";
    ASSERT_TRUE(testing::writeText(appPaths().settingsFile, damaged));
    store = std::make_unique<ProjectStore>();
    EXPECT_EQ(store->errorMessage(),
              "The settings file could not be read whole; settings it held may be back at "
              "their defaults. A copy of it is kept as QuorvaneRig.conf.unreadable.");
    EXPECT_EQ(testing::readText(appPaths().settingsFile + ".unreadable"), damaged);
}

TEST_F(StoreImport, OnlyAnEditDuringTheImportDropsResultAndMessages) {
    store->importer().handleURLs({report("report.pdf", 1), file("notes.txt", "x")});
    ASSERT_TRUE(store->importer().importing());
    Project edited = store->project();
    edited.name = "Typed while reading";
    store->setProject(edited); // the result comes back through the event loop, after this
    ASSERT_TRUE(testing::waitFor([&] { return !store->importer().importing(); }, 60000));
    EXPECT_EQ(store->project(), edited);
    EXPECT_EQ(store->errorMessage(), std::nullopt);
    // A project with not-a-number never equals its own copy: that is no edit.
    edited.riggingHeight = fixtures::notANumber;
    store->setProject(edited);
    ASSERT_FALSE(store->project() == store->project());
    importAndWait({file("first.csv", inventoryText)});
    EXPECT_EQ(store->project().inventoryFile, "first.csv");
}

TEST_F(StoreImport, FilesHandedInWhileImportingAreIgnoredAndAProjectFileIsOpenedInstead) {
    testing::FakePrompts prompts;
    const QUrl projectFile = file("Show.QVRIG", fixtures::fullProject().fileText());
    prompts.answerImport({file("first.csv", inventoryText).toLocalFile()});
    store->importer().showImportPanel();
    store->importer().handleURLs({file("second.csv", inventoryText)});
    store->importer().handleURLs({projectFile});
    ASSERT_TRUE(testing::waitFor([&] { return !store->importer().importing(); }, 60000));
    EXPECT_EQ(store->project().inventoryFile, "first.csv");
    EXPECT_EQ(store->filePath(), std::nullopt);

    store->importer().handleURLs({report("report.pdf", 1), projectFile});
    EXPECT_FALSE(store->importer().importing());
    EXPECT_EQ(store->filePath(), fromPath(files.path() / "Show.QVRIG"));
    EXPECT_EQ(store->project(), fixtures::fullProject());
}

TEST_F(StoreImport, APipeEndsTheImportWithAClearErrorAndTheNextOneRuns) {
    test::TestFifo pipe(files.path() / "stuck.csv");
    importAndWait({QUrl::fromLocalFile(fromPath(pipe.path()))});
    EXPECT_EQ(store->errorMessage(), "stuck.csv is not a regular file.");
    EXPECT_FALSE(pipe.wasOpened());
    importAndWait({file("inventory.csv", inventoryText)});
    EXPECT_EQ(store->project().inventoryFile, "inventory.csv");
}

TEST_F(StoreImport, AStoreThatGoesAwayStopsItsImport) {
    std::atomic<bool> reading = false;
    std::atomic<bool> stopped = false;
    ImportReaders readers = ImportReaders::standard();
    readers.inventory = [&](const std::filesystem::path&, std::stop_token stop,
                            ImportNotes&) -> List<InventoryItem> {
        reading = true;
        // Gives up after a while so that a store that never stops fails instead of hanging.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop.stop_requested() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
        stopped = stop.stop_requested();
        throw Cancelled();
    };
    store->importer().setImportReaders(readers);
    store->importer().handleURLs({file("slow.csv", inventoryText)});
    ASSERT_TRUE(testing::waitFor([&] { return reading.load(); }));
    store.reset();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_TRUE(stopped);
}

} // namespace
} // namespace rig::app

namespace rig::app {
namespace {

// Quitting while an import's worker is stuck in a read that never returns: this program runs
// again as a child whose reader waits on a pipe no one writes, and quits with Ctrl+Q.
const char* const stuckRootVariable = "RIG_STUCK_IMPORT_ROOT";

TEST(QuitWhileReading, Child) {
    const QString root = qEnvironmentVariable(stuckRootVariable);
    if (root.isEmpty()) GTEST_SKIP() << "started by QuitWhileReading.AStuckReadNeverKeepsTheProgram";
    setAppPaths(testing::appPathsUnder(root));
    ImportReaders readers = ImportReaders::standard();
    readers.inventory = [](const std::filesystem::path&, std::stop_token,
                           ImportNotes&) -> List<InventoryItem> {
        // Deaf to any stop request, as a read from a hung share, and holding its stream's lock
        // meanwhile, as the PDF library's reads do.
        int ends[2];
        if (FILE* stream = ::pipe(ends) == 0 ? ::fdopen(ends[0], "r") : nullptr) std::fgetc(stream);
        throw Cancelled();
    };
    Program program;
    ImportController& importer = program.store().importer();
    importer.setImportReaders(readers);
    QObject::connect(&importer, &ImportController::importingChanged, &program, [&] {
        if (!importer.importing()) return;
        std::printf("importing\n");
        std::fflush(stdout);
        QTimer::singleShot(0, &program, [&] {
            QWidget& window = program.mainWindow();
            QApplication::setActiveWindow(&window);
            EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
            QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        });
    });
    EXPECT_EQ(program.run({QUrl::fromLocalFile(root + "/inventory.csv")}), 0);
}

TEST(QuitWhileReading, AStuckReadNeverKeepsTheProgram) {
    testing::TempAppPaths paths;
    ASSERT_TRUE(testing::writeText(paths.file("inventory.csv"), inventoryText));
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(stuckRootVariable, paths.root());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=QuitWhileReading.Child"});
    ASSERT_TRUE(child.waitForStarted(30000));
    // Generous: a child that waits for its stuck worker never ends at all.
    const bool ended = child.waitForFinished(180000);
    const QByteArray output = child.readAllStandardOutput();
    if (!ended) child.kill();
    ASSERT_TRUE(ended) << "the program did not end after Ctrl+Q; it said: " << output.toStdString();
    EXPECT_TRUE(output.contains("importing\n")) << output.toStdString();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
}

} // namespace
} // namespace rig::app
