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
