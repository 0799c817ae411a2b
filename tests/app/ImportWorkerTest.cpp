#include "shell/ImportWorker.h"

#include "model/RigError.h"
#include "support/ProjectFixtures.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace rig::app {
namespace {

using fixtures::flownArray;
using fixtures::testReport;

// Readers that answer from tables by file name and note every file they read.
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

TEST(ImportWorker, FileRank) {
    const std::pair<const char*, int> cases[] = {
        {"/show/Report.PDF", 0}, {"inv.Csv", 1},      {"speakers.dxf", 2},   {"project.qvrig", 9},
        {"notes.txt", 9},        {"no-extension", 9}, {"report.pdf.txt", 9}, {"/show/a.b/plan.DXF", 2},
    };
    for (const auto& [file, rank] : cases) EXPECT_EQ(importFileRank(file), rank) << file;
}

TEST(ImportWorker, ReadsReportsThenInventoriesThenDXFs) {
    FakeReaders fake;
    fake.reports["first.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"})});
    fake.reports["second.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"}, 10)});
    fake.inventories["inv.csv"] =
        List<InventoryItem>({InventoryItem{"Enclosure", 12, "K2", "K2", "", std::nullopt}});
    fake.dxfs["speakers.DXF"] = {dxfSource(1, "Main L")};

    const ImportResult result =
        importFiles(inputFor({"/show/speakers.DXF", "/show/notes.txt", "/show/first.pdf", "/show/inv.csv",
                              "/show/second.pdf"}),
                    fake.readers());
    EXPECT_EQ(fake.read, (std::vector<std::string>{"first.pdf", "second.pdf", "inv.csv", "speakers.DXF"}));
    EXPECT_EQ(result.project.reportFile, "second.pdf");
    EXPECT_EQ(result.project.inventoryFile, "inv.csv");
    EXPECT_EQ(result.project.inventory.size(), 1u);
    EXPECT_EQ(result.project.dxfFile, "speakers.DXF");
    EXPECT_EQ(result.project.history.size(), 2u);
    EXPECT_EQ(result.errors,
              (std::vector<std::string>{"notes.txt: unknown file type (use PDF, CSV or DXF)."}));
}

TEST(ImportWorker, AnEmptyProjectTakesTheDefaultsFirst) {
    const Project existing = fixtures::projectWith({flownArray("Main L", {"ALL", "Main"})});
    const struct {
        const char* name;
        Project snapshot;
        std::vector<std::filesystem::path> files;
        bool defaults;
    } cases[] = {
        {"report into an empty project", Project{}, {"r.pdf"}, true},
        {"DXF alone into an empty project", Project{}, {"s.dxf"}, true},
        {"inventory alone into an empty project", Project{}, {"i.csv"}, true},
        {"report into a project with sources", existing, {"r.pdf"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeReaders fake;
        fake.reports["r.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"})});
        fake.inventories["i.csv"] = {};
        const ImportResult result = importFiles(inputFor(c.files, c.snapshot), fake.readers());
        if (c.defaults) {
            EXPECT_EQ(result.project.delta, (DeltaSpec{"Library plate", 0.75, std::nullopt}));
            EXPECT_EQ(result.project.author, "Sam Reyes");
        } else {
            EXPECT_EQ(result.project.delta, existing.delta);
            EXPECT_EQ(result.project.author, existing.author);
        }
    }
}

TEST(ImportWorker, ChangeListRules) {
    const Project existing = fixtures::projectWith({flownArray("Main L", {"ALL", "Main"})});
    const Report same = reportWith({flownArray("Main L", {"ALL", "Main"})});
    const Report longer = reportWith({flownArray("Main L", {"ALL", "Main"}, 14)});
    const struct {
        const char* name;
        Project snapshot;
        std::vector<std::filesystem::path> files;
        std::optional<bool> emptyChanges; // absent: no change list
    } cases[] = {
        {"first report: dropped", Project{}, {"longer.pdf"}, std::nullopt},
        {"two reports on an empty project: the second's", Project{}, {"same.pdf", "longer.pdf"}, false},
        {"update without changes: an empty list", existing, {"same.pdf"}, true},
        {"update with changes", existing, {"longer.pdf"}, false},
        {"failed update: none", existing, {"bad.pdf"}, std::nullopt},
        {"the last update counts", existing, {"longer.pdf", "same.pdf"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeReaders fake;
        fake.reports["same.pdf"] = same;
        fake.reports["longer.pdf"] = longer;
        fake.failures["bad.pdf"] = [] { throw RigError::notSoundvision("bad.pdf"); };
        const ImportResult result = importFiles(inputFor(c.files, c.snapshot), fake.readers());
        ASSERT_EQ(result.changes.has_value(), c.emptyChanges.has_value());
        if (c.emptyChanges) {
            EXPECT_EQ(result.changes->empty(), *c.emptyChanges);
        }
    }
}

TEST(ImportWorker, EachFailureIsOneLineNamingItsFileAndTheRestStillApplies) {
    FakeReaders fake;
    fake.reports["good.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"})});
    fake.failures["damaged.pdf"] = [] { throw RigError::unreadable("damaged.pdf"); };
    fake.failures["plan.pdf"] = [] { throw RigError::notSoundvision("plan.pdf"); };
    fake.failures["gone.csv"] = [] {
        throw std::system_error(ENOENT, std::generic_category(), "Cannot read gone.csv");
    };
    fake.failures["odd.dxf"] = [] { throw std::runtime_error("out of memory"); };
    fake.dxfs["odd.dxf"] = {};

    const ImportResult result =
        importFiles(inputFor({"odd.dxf", "notes.TXT", "damaged.pdf", "gone.csv", "plan.pdf", "good.pdf"}),
                    fake.readers());
    EXPECT_EQ(result.errors, (std::vector<std::string>{
                                 "Cannot read damaged.pdf.",
                                 "plan.pdf does not look like a Soundvision report.",
                                 "Cannot read gone.csv: No such file or directory",
                                 "odd.dxf: out of memory",
                                 "notes.TXT: unknown file type (use PDF, CSV or DXF).",
                             }));
    EXPECT_EQ(result.project.reportFile, "good.pdf");
    EXPECT_EQ(result.project.report.sources.size(), 1u);
    EXPECT_EQ(result.project.dxfFile, "");
}

TEST(ImportWorker, ADXFNeedsAReportFirst) {
    FakeReaders fake;
    fake.dxfs["s.dxf"] = {dxfSource(1, "Main L")};
    const ImportResult alone = importFiles(inputFor({"s.dxf"}), fake.readers());
    EXPECT_EQ(alone.errors, (std::vector<std::string>{"Import the Soundvision report before the DXF."}));
    EXPECT_TRUE(fake.read.empty()); // not even read
    EXPECT_TRUE(alone.project.report.sources.empty());
    EXPECT_EQ(alone.project.dxfFile, "");

    fake.reports["r.pdf"] = reportWith({flownArray("Main L", {"ALL", "Main"})});
    const ImportResult together = importFiles(inputFor({"s.dxf", "r.pdf"}), fake.readers());
    EXPECT_TRUE(together.errors.empty());
    EXPECT_EQ(together.project.dxfFile, "s.dxf");
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
