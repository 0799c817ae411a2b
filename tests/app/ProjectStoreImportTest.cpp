#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"
#include "support/ShowProjects.h"
#include "support/TempDir.h"
#include "support/TestDXF.h"
#include "support/Waiting.h"

#include "base/File.h"
#include "model/RigError.h"
#include "pages/MotorLibrary.h"
#include "pages/Preferences.h"
#include "shell/AppPaths.h"
#include "shell/ImportWorker.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"

#include <QSignalSpy>
#include <QThreadPool>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace rig::app {
namespace {

const char* const inventoryText = "Category;Quantity;Family;Product;Description;Amp channels\n"
                                  "Enclosure;12;K2;K2;;\n"
                                  "Rigging;2;K2;K2-BUMP;;\n"
                                  "Amplifier;4;LA;LA12X;Amplified controller;4\n";

// A show's exported files, written by the test support, and a store with its own motor
// library, author and settings.
class StoreImport : public ::testing::Test {
protected:
    void SetUp() override {
        settings().setValue(authorNameKey, "Sam Reyes");
        library = std::make_unique<MotorLibrary>();
        library->setDelta(DeltaSpec{"Library plate", 0.75, std::nullopt});
        store = std::make_unique<ProjectStore>();
        store->setMotorLibrary(library.get());
        // No autosave while a test waits.
        store->setDelays({std::chrono::hours(1), std::chrono::hours(1), std::chrono::hours(1)});
    }

    void TearDown() override {
        store.reset();
        QThreadPool::globalInstance()->waitForDone();
    }

    QUrl file(const std::string& name, std::string_view bytes) { return url(files.write(name, bytes)); }
    QUrl missing(const std::string& name) { return url(files.path() / name); }
    static QUrl url(const std::filesystem::path& path) { return QUrl::fromLocalFile(fromPath(path)); }

    QUrl report(const std::string& name, int sources, std::uint64_t seed) {
        test::ReportGeneratorOptions options;
        options.sources = sources;
        options.seed = seed;
        generated = test::generateReport(options);
        return file(name, generated.pdf);
    }

    // Hands the files in and waits until the import has ended.
    void importAndWait(const QList<QUrl>& urls) {
        store->handleURLs(urls);
        ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));
    }

    testing::TempAppPaths paths;
    test::TempDir files;
    std::unique_ptr<MotorLibrary> library;
    std::unique_ptr<ProjectStore> store;
    test::GeneratedReport generated;
};

TEST_F(StoreImport, RealFilesIntoAnEmptyProjectInReportInventoryDXFOrder) {
    const QUrl pdf = report("Show report.pdf", 4, 3);
    const QUrl dxf = file("Show speakers.dxf", testing::loudspeakerDXF(generated.expected));
    const QUrl csv = file("Show inventory.csv", inventoryText);
    QSignalSpy importingChanged(store.get(), &ProjectStore::importingChanged);

    store->handleURLs({dxf, csv, pdf});
    EXPECT_TRUE(store->importing()); // the call returns at once
    ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));
    EXPECT_EQ(importingChanged.count(), 2);

    const Project& p = store->project();
    EXPECT_EQ(p.report.sources.size(), generated.expected.sources.size());
    EXPECT_EQ(p.reportFile, "Show report.pdf");
    EXPECT_EQ(p.history.size(), 1u);
    EXPECT_EQ(p.inventoryFile, "Show inventory.csv");
    ASSERT_EQ(p.inventory.size(), 3u);
    EXPECT_EQ(p.inventory[2].product, "LA12X");
    EXPECT_EQ(p.dxfFile, "Show speakers.dxf");
    EXPECT_FALSE(p.dxf.empty());
    EXPECT_EQ(p.author, "Sam Reyes");
    EXPECT_EQ(p.delta, library->delta());
    EXPECT_TRUE(store->isDirty());
    EXPECT_EQ(store->importChanges(), std::nullopt); // a first report shows no changes
    EXPECT_EQ(store->errorMessage(), std::nullopt);
    EXPECT_EQ(settings().value(ProjectStore::lastImportDirKey).toString(), fromPath(files.path()));
}

TEST_F(StoreImport, ALaterReportPresentsItsChangesEvenWhenThereAreNone) {
    const QUrl first = report("first.pdf", 3, 1);
    importAndWait({first});
    EXPECT_EQ(store->importChanges(), std::nullopt);

    const QUrl second = report("second.pdf", 3, 2);
    importAndWait({second});
    ASSERT_TRUE(store->importChanges().has_value());
    EXPECT_FALSE(store->importChanges()->isEmpty());
    EXPECT_EQ(store->project().history.size(), 2u);

    store->setImportChanges(std::nullopt); // the sheet was dismissed
    importAndWait({second});
    ASSERT_TRUE(store->importChanges().has_value());
    EXPECT_TRUE(store->importChanges()->isEmpty());
}

TEST_F(StoreImport, AnEditDuringTheImportDropsResultAndMessages) {
    const QUrl pdf = report("report.pdf", 4, 1);
    const QUrl txt = file("notes.txt", "x");
    store->handleURLs({pdf, txt});
    ASSERT_TRUE(store->importing());
    Project edited = store->project();
    edited.name = "Typed while reading";
    store->setProject(edited); // the result comes back through the event loop, after this
    ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));
    EXPECT_EQ(store->project(), edited);
    EXPECT_EQ(store->errorMessage(), std::nullopt);
    EXPECT_EQ(store->importChanges(), std::nullopt);
}

TEST_F(StoreImport, AProjectWithNotANumberStillTakesEveryImport) {
    // The report parser stores NaN for a coordinate it cannot read; such a project never
    // equals its own copy.
    Project odd = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"})});
    odd.report.sources.edit()[0].pickups.edit()[0].position.x = fixtures::notANumber;
    odd.riggingHeight = fixtures::notANumber; // as a project file may hold it
    store->setProject(odd);
    ASSERT_FALSE(store->project() == store->project());

    importAndWait({file("first.csv", inventoryText)});
    EXPECT_EQ(store->project().inventoryFile, "first.csv");
    importAndWait({file("second.csv", "Category;Quantity;Family;Product\nRigging;1;K2;K2-BUMP\n")});
    EXPECT_EQ(store->project().inventoryFile, "second.csv");
    EXPECT_EQ(store->project().inventory.size(), 1u);
}

TEST_F(StoreImport, FilesHandedInWhileImportingAreIgnored) {
    const QUrl first = file("first.csv", inventoryText);
    const QUrl second = file("second.csv", inventoryText);
    const QUrl projectFile = file("other.qvrig", fixtures::fullProject().fileText());
    store->handleURLs({first});
    store->handleURLs({second});
    store->handleURLs({projectFile});
    ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));
    EXPECT_EQ(store->project().inventoryFile, "first.csv");
    EXPECT_EQ(store->filePath(), std::nullopt);
    EXPECT_EQ(settings().value(ProjectStore::lastImportDirKey).toString(), fromPath(files.path()));
}

TEST_F(StoreImport, FailedFilesGiveOneLineEachAndTheOthersStillApply) {
    const QUrl damaged = file("damaged.pdf", "%PDF-1.4\nthis is not a PDF at all");
    const QUrl notAReport = file("letter.pdf", "%PDF-1.4\n");
    const QUrl gone = missing("gone.csv");
    const QUrl pdf = report("report.pdf", 2, 5);
    const QUrl txt = file("notes.txt", "x");
    importAndWait({txt, damaged, gone, pdf});
    EXPECT_EQ(store->errorMessage(), "Cannot read damaged.pdf.\n"
                                     "Cannot read gone.csv: No such file or directory\n"
                                     "notes.txt: unknown file type (use PDF, CSV or DXF).");
    EXPECT_EQ(store->project().reportFile, "report.pdf");
    EXPECT_EQ(store->project().report.sources.size(), generated.expected.sources.size());

    store->setErrorMessage(std::nullopt);
    importAndWait({notAReport});
    ASSERT_TRUE(store->errorMessage().has_value());
    EXPECT_TRUE(store->errorMessage()->startsWith("Cannot read letter.pdf.") ||
                store->errorMessage() == "letter.pdf does not look like a Soundvision report.")
        << store->errorMessage()->toStdString();
}

TEST_F(StoreImport, ADXFAloneOnAnEmptyProjectAsksForTheReportFirst) {
    importAndWait({file("speakers.dxf", test::arrayExport(2, 6))});
    EXPECT_EQ(store->errorMessage(), "Import the Soundvision report before the DXF.");
    EXPECT_TRUE(store->project().report.sources.empty());
    EXPECT_EQ(store->project().dxfFile, "");
    EXPECT_EQ(store->project().author, "Sam Reyes");
    EXPECT_EQ(store->project().delta, library->delta());
}

TEST_F(StoreImport, AProjectDocumentAmongTheFilesIsOpenedInstead) {
    const Project saved = fixtures::fullProject();
    const QUrl projectFile = file("Show.QVRIG", saved.fileText());
    const QUrl pdf = report("report.pdf", 2, 1);
    store->handleURLs({pdf, projectFile});
    EXPECT_FALSE(store->importing());
    EXPECT_EQ(store->filePath(), fromPath(files.path() / "Show.QVRIG"));
    EXPECT_EQ(store->project(), saved);
    EXPECT_FALSE(settings().contains(ProjectStore::lastImportDirKey));
}

TEST_F(StoreImport, ThePanelOpensWhereTheLastImportWasAndHandsTheFilesOn) {
    testing::FakePrompts prompts;
    settings().setValue(ProjectStore::lastImportDirKey, "/previous/show");
    prompts.answerImport({});
    store->showImportPanel(); // cancelled: nothing happens
    EXPECT_FALSE(store->importing());

    const QUrl csv = file("inventory.csv", inventoryText);
    prompts.answerImport({csv.toLocalFile()});
    store->showImportPanel();
    const auto shown = prompts.last(testing::FakePrompts::Kind::importPanel);
    EXPECT_EQ(shown.directory, "/previous/show");
    EXPECT_EQ(shown.text,
              "Choose the Soundvision report (PDF), inventory export (CSV) and/or loudspeaker export (DXF).");
    ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));
    EXPECT_EQ(store->project().inventoryFile, "inventory.csv");
    EXPECT_EQ(settings().value(ProjectStore::lastImportDirKey).toString(), fromPath(files.path()));
}

TEST_F(StoreImport, AStoreThatGoesAwayStopsItsImport) {
    std::atomic<bool> reading = false;
    std::atomic<bool> stopped = false;
    ImportReaders readers = ImportReaders::standard();
    readers.inventory = [&](const std::filesystem::path&, std::stop_token stop) -> List<InventoryItem> {
        reading = true;
        while (!stop.stop_requested()) std::this_thread::yield();
        stopped = true;
        throw Cancelled();
    };
    store->setImportReaders(readers);
    store->handleURLs({file("slow.csv", inventoryText)});
    ASSERT_TRUE(testing::waitFor([&] { return reading.load(); }));
    store.reset();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_TRUE(stopped);
}

} // namespace
} // namespace rig::app
