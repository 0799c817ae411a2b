#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/ReportGenerator.h"
#include "support/ShowProjects.h"
#include "support/TempDir.h"
#include "support/Waiting.h"

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
#include <map>
#include <memory>
#include <stdexcept>
#include <system_error>
#include <thread>

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
        store->handleURLs(urls);
        ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));
    }

    testing::TempAppPaths paths;
    test::TempDir files;
    MotorLibrary library;
    std::unique_ptr<ProjectStore> store;
    test::GeneratedReport generated;
};

TEST_F(StoreImport, RealFilesImportInTheBackgroundAndLaterReportsShowTheirChanges) {
    const QUrl pdf = report("Show report.pdf", 3);
    const QUrl dxf = file("Show speakers.dxf", testing::loudspeakerDXF(generated.expected));
    const QUrl csv = file("Show inventory.csv", inventoryText);
    const QUrl txt = file("notes.txt", "x");
    store->handleURLs({dxf, txt, csv, pdf});
    EXPECT_TRUE(store->importing()); // the call returns at once
    ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));

    const Project& p = store->project();
    EXPECT_EQ(p.report.sources.size(), generated.expected.sources.size());
    EXPECT_EQ(p.reportFile, "Show report.pdf");
    EXPECT_EQ(p.inventory.size(), 2u);
    EXPECT_EQ(p.dxfFile, "Show speakers.dxf"); // read after the report
    EXPECT_FALSE(p.dxf.empty());
    EXPECT_EQ(p.author, "Sam Reyes");
    EXPECT_EQ(p.delta, library.delta());
    EXPECT_TRUE(store->isDirty());
    EXPECT_EQ(store->importChanges(), std::nullopt); // a first report shows no changes
    EXPECT_EQ(store->errorMessage(), "notes.txt: unknown file type (use PDF, CSV or DXF).");
    EXPECT_EQ(settings().value(ProjectStore::lastImportDirKey).toString(), fromPath(files.path()));

    importAndWait({report("second.pdf", 2)});
    ASSERT_TRUE(store->importChanges().has_value());
    EXPECT_FALSE(store->importChanges()->isEmpty());
    EXPECT_EQ(store->project().history.size(), 2u);
    store->setImportChanges(std::nullopt); // the sheet was dismissed
    importAndWait({file("again.pdf", generated.pdf)});
    ASSERT_TRUE(store->importChanges().has_value());
    EXPECT_TRUE(store->importChanges()->isEmpty());
}

TEST_F(StoreImport, AnEditDuringTheImportDropsResultAndMessages) {
    store->handleURLs({report("report.pdf", 1), file("notes.txt", "x")});
    ASSERT_TRUE(store->importing());
    Project edited = store->project();
    edited.name = "Typed while reading";
    store->setProject(edited); // the result comes back through the event loop, after this
    ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));
    EXPECT_EQ(store->project(), edited);
    EXPECT_EQ(store->errorMessage(), std::nullopt);
}

TEST_F(StoreImport, AProjectWithNotANumberStillTakesEveryImport) {
    // Such a project never equals its own copy.
    Project odd = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"})});
    odd.report.sources.edit()[0].pickups.edit()[0].position.x = fixtures::notANumber;
    odd.riggingHeight = fixtures::notANumber;
    store->setProject(odd);
    ASSERT_FALSE(store->project() == store->project());
    importAndWait({file("first.csv", inventoryText)});
    EXPECT_EQ(store->project().inventoryFile, "first.csv");
    importAndWait({file("second.csv", "Category;Quantity;Family;Product\nRigging;1;K2;K2-BUMP\n")});
    EXPECT_EQ(store->project().inventoryFile, "second.csv");
}

TEST_F(StoreImport, FilesHandedInWhileImportingAreIgnoredAndAProjectFileIsOpenedInstead) {
    testing::FakePrompts prompts;
    const QUrl projectFile = file("Show.QVRIG", fixtures::fullProject().fileText());
    settings().setValue(ProjectStore::lastImportDirKey, "/previous/show");
    prompts.answerImport({});
    store->showImportPanel(); // cancelled: nothing happens
    EXPECT_FALSE(store->importing());
    prompts.answerImport({file("first.csv", inventoryText).toLocalFile()});
    store->showImportPanel();
    EXPECT_EQ(prompts.last(testing::FakePrompts::Kind::importPanel).directory, "/previous/show");
    store->handleURLs({file("second.csv", inventoryText)});
    store->handleURLs({projectFile});
    ASSERT_TRUE(testing::waitFor([&] { return !store->importing(); }, 60000));
    EXPECT_EQ(store->project().inventoryFile, "first.csv");
    EXPECT_EQ(store->filePath(), std::nullopt);

    store->handleURLs({report("report.pdf", 1), projectFile});
    EXPECT_FALSE(store->importing());
    EXPECT_EQ(store->filePath(), fromPath(files.path() / "Show.QVRIG"));
    EXPECT_EQ(store->project(), fixtures::fullProject());
}

TEST_F(StoreImport, AStoreThatGoesAwayStopsItsImport) {
    std::atomic<bool> reading = false;
    std::atomic<bool> stopped = false;
    ImportReaders readers = ImportReaders::standard();
    readers.inventory = [&](const std::filesystem::path&, std::stop_token stop) -> List<InventoryItem> {
        reading = true;
        // Gives up after a while so that a store that never stops fails instead of hanging.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!stop.stop_requested() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
        stopped = stop.stop_requested();
        throw Cancelled();
    };
    store->setImportReaders(readers);
    store->handleURLs({file("slow.csv", inventoryText)});
    ASSERT_TRUE(testing::waitFor([&] { return reading.load(); }));
    store.reset();
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_TRUE(stopped);
}

// --- The reading half, with readers that answer from tables ---------------------------------

using fixtures::flownArray;
using fixtures::testReport;

// Readers that answer by file name and note every file they read.
struct FakeReaders {
    std::map<std::string, Report> reports;
    std::map<std::string, List<InventoryItem>> inventories;
    std::map<std::string, std::vector<DXFSource>> dxfs;
    std::map<std::string, std::function<void()>> failures; // file name -> what to throw
    std::vector<std::string> read;

    template <class T>
    T answer(const std::map<std::string, T>& table, const std::filesystem::path& file) {
        const std::string name = file.filename().string();
        read.push_back(name);
        if (auto f = failures.find(name); f != failures.end()) f->second();
        return table.at(name);
    }

    ImportReaders readers() {
        return {[this](const std::filesystem::path& f, std::stop_token) { return answer(reports, f); },
                [this](const std::filesystem::path& f, std::stop_token) { return answer(inventories, f); },
                [this](const std::filesystem::path& f, std::stop_token) { return answer(dxfs, f); }};
    }
};

ImportInput inputFor(std::vector<std::filesystem::path> files, Project snapshot = {}) {
    ImportInput input;
    input.files = std::move(files);
    input.snapshot = std::move(snapshot);
    input.delta = DeltaSpec{"Library plate", 0.75, std::nullopt};
    input.author = "Sam Reyes";
    input.now = [] { return fixtures::testDate(); };
    return input;
}

Report reportWith(std::vector<Source> sources, const std::string& version = "3.7.1") {
    Report r = testReport(std::move(sources));
    r.info.version = version;
    return r;
}

DXFSource dxfSource(std::int64_t index, std::string name) {
    DXFSource s;
    s.index = index;
    s.name = std::move(name);
    return s;
}

TEST(ImportWorker, ReadsReportsThenInventoriesThenDXFsAndReportsEachFailureOnOneLine) {
    FakeReaders fake;
    fake.reports["first.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"})});
    fake.reports["second.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"}, 10)});
    fake.inventories["inv.csv"] =
        List<InventoryItem>({InventoryItem{"Enclosure", 12, "K2", "K2", "", std::nullopt}});
    fake.dxfs["speakers.DXF"] = {dxfSource(1, "Main L")};
    fake.failures["damaged.pdf"] = [] { throw RigError::unreadable("damaged.pdf"); };
    fake.failures["gone.csv"] = [] {
        throw std::system_error(ENOENT, std::generic_category(), "Cannot read gone.csv");
    };
    fake.failures["odd.dxf"] = [] { throw std::runtime_error("out of memory"); };

    const ImportResult result =
        importFiles(inputFor({"/show/speakers.DXF", "odd.dxf", "/show/notes.txt", "/show/first.pdf",
                              "gone.csv", "/show/inv.csv", "damaged.pdf", "/show/second.pdf"}),
                    fake.readers());
    EXPECT_EQ(fake.read, (std::vector<std::string>{"first.pdf", "damaged.pdf", "second.pdf", "gone.csv",
                                                   "inv.csv", "speakers.DXF", "odd.dxf"}));
    EXPECT_EQ(result.errors, (std::vector<std::string>{
                                 "Cannot read damaged.pdf.",
                                 "Cannot read gone.csv: No such file or directory",
                                 "odd.dxf: out of memory",
                                 "notes.txt: unknown file type (use PDF, CSV or DXF).",
                             }));
    EXPECT_EQ(result.project.reportFile, "second.pdf");
    EXPECT_EQ(result.project.history.size(), 2u);
    EXPECT_EQ(result.project.inventoryFile, "inv.csv");
    EXPECT_EQ(result.project.dxfFile, "speakers.DXF");
}

TEST(ImportWorker, DefaultsAndChangeListFollowWhatTheProjectHeldBefore) {
    const Project existing = fixtures::projectWith({flownArray("Main L", {"ALL", "Main"})});
    const struct {
        const char* name;
        Project snapshot;
        std::vector<std::filesystem::path> files;
        std::optional<bool> emptyChanges; // absent: no change list
    } cases[] = {
        {"first report: none", Project{}, {"longer.pdf"}, std::nullopt},
        {"inventory alone into an empty project", Project{}, {"i.csv"}, std::nullopt},
        {"two reports on an empty project: the second's", Project{}, {"same.pdf", "longer.pdf"}, false},
        {"update without changes: an empty list", existing, {"same.pdf"}, true},
        {"failed update: none", existing, {"bad.pdf"}, std::nullopt},
        {"the last update counts", existing, {"longer.pdf", "same.pdf"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeReaders fake;
        fake.reports["same.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"})});
        fake.reports["longer.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"}, 14)});
        fake.inventories["i.csv"] = {};
        fake.failures["bad.pdf"] = [] { throw RigError::notSoundvision("bad.pdf"); };
        const ImportResult result = importFiles(inputFor(c.files, c.snapshot), fake.readers());
        ASSERT_EQ(result.changes.has_value(), c.emptyChanges.has_value());
        if (c.emptyChanges) {
            EXPECT_EQ(result.changes->empty(), *c.emptyChanges);
        }
        const bool wasEmpty = c.snapshot.isEmpty();
        EXPECT_EQ(result.project.author, wasEmpty ? "Sam Reyes" : existing.author);
        const DeltaSpec library{"Library plate", 0.75, std::nullopt};
        EXPECT_EQ(result.project.delta, wasEmpty ? library : existing.delta);
    }
}

TEST(ImportWorker, ADXFNeedsAReportFirst) {
    FakeReaders fake;
    fake.dxfs["s.dxf"] = {dxfSource(1, "Main L")};
    const ImportResult alone = importFiles(inputFor({"s.dxf"}), fake.readers());
    EXPECT_EQ(alone.errors, (std::vector<std::string>{"Import the Soundvision report before the DXF."}));
    EXPECT_TRUE(fake.read.empty()); // not even read
    EXPECT_EQ(alone.project.dxfFile, "");
    EXPECT_EQ(alone.project.author, "Sam Reyes");
}

TEST(ImportWorker, AStopEndsTheImportWithCancelled) {
    FakeReaders fake;
    fake.reports["r.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"})});
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(importFiles(inputFor({"r.pdf"}), fake.readers(), stop.get_token()), Cancelled);
    EXPECT_TRUE(fake.read.empty());

    // A reader that stops is not an error line: the whole import ends.
    fake.failures["r.pdf"] = [] { throw Cancelled(); };
    EXPECT_THROW(importFiles(inputFor({"r.pdf", "x.txt"}), fake.readers()), Cancelled);

    // A stop while the last report is merged ends the merge too.
    std::stop_source late;
    fake.failures["r.pdf"] = [&] { late.request_stop(); };
    EXPECT_THROW(
        importFiles(inputFor({"r.pdf"}, fixtures::projectWith({flownArray("Main L", {"ALL", "Main"})})),
                    fake.readers(), late.get_token()),
        Cancelled);
}

} // namespace
} // namespace rig::app
