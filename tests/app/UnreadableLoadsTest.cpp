// A load that is not a number, from a report line or a damaged project file: every total that
// needs it is left empty, while an absent load still counts as 0.
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportController.h"
#include "MotorLibrary.h"
#include "OverviewPage.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "QtText.h"
#include "SourcePage.h"
#include "SourceTexts.h"
#include "ToneLabel.h"
#include "base/Json.h"
#include "support/AppTesting.h"
#include "support/CsvTesting.h"
#include "support/FakePrompts.h"
#include "support/ShowProjects.h"
#include "support/ShownTexts.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QUrl>

#include <gtest/gtest.h>

#include <map>

namespace rig::app {
namespace {

using Row = std::vector<std::string>;

struct UnreadableLoads : ::testing::Test {
    testing::TempAppPaths paths;
    testing::FakePrompts prompts;
    MotorLibrary library;
    testing::HeldStore store;
    DXFSettings dxf;
    testing::NoReveal reveal;
    PdfPrinter printer;
    ExportCommands commands{store, dxf, printer, reveal};
    QTemporaryDir dir;

    void SetUp() override { store.setMotorLibrary(&library); }
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }

    QString file(const QString& name) const { return dir.filePath(name); }

    // The CSV as the export writes it, by "source/point" (plate sides by their Point text).
    std::map<std::string, Row> exportedCSV() {
        prompts.answerExportSave(file("points.csv"));
        commands.exportCSV(store.project());
        const auto records = testing::readCsv(testing::readText(file("points.csv")).toStdString());
        std::map<std::string, Row> rows;
        if (!records) return rows;
        for (std::size_t i = 1; i < records->size(); ++i)
            rows[(*records)[i][1] + "/" + (*records)[i][2]] = (*records)[i];
        return rows;
    }
};

// The load, Delta, motor, motor weight and total columns of a row.
Row weights(const Row& row) {
    return row.size() == 14 ? Row(row.begin() + 9, row.end()) : Row{"no such row"};
}

// Whether a point's load on its source page is marked as unreadable.
bool unreadableShown(const SourcePage& page, const char* role) {
    const auto* load = page.findChild<style::ToneLabel*>(QStringLiteral("load:") + role);
    return load && load->text() == "Unreadable" && load->tone() == style::Tone::orange;
}

TEST_F(UnreadableLoads, LeaveEveryTotalThatNeedsThemEmptyAcrossImportSaveAndOpen) {
    // A report whose Main L Front reads "Front motor load: -" and whose Rear has no load line.
    ASSERT_TRUE(
        testing::writeText(file("show.pdf"), QByteArray::fromStdString(testing::unreadableLoadReport())));
    store.importer().handleURLs({QUrl::fromLocalFile(file("show.pdf"))});
    ASSERT_TRUE(testing::waitFor([&] { return !store.importer().importing(); }, 60000));
    ASSERT_EQ(store.project().report.sources.size(), 2u);
    const std::string plate = store.project().delta.name;
    // The overview names the points, and shows no number for them.
    OverviewPage overview(store, library, commands);
    const auto named = [&](const char* text) {
        return overview.checkTexts().contains(QString::fromUtf8(text));
    };
    EXPECT_TRUE(named("Unreadable load on Front – totals that need it are left empty."));

    // The user hangs Main L's Front from a plate and gives its Rear a motor, on the source page.
    const Motor d8 = library.upsert("D8", 55);
    {
        SourcePage page(store, library, store.project().report.sources[0]);
        page.show();
        QTest::mouseClick(page.findChild<QCheckBox*>("delta:Front"), Qt::LeftButton);
        auto* motor = page.findChild<QPushButton*>("motor:Rear");
        emit motor->menu()->aboutToShow();
        for (QAction* a : motor->menu()->actions()) {
            if (a->text() == sourcetext::motorMenuItem(d8)) a->trigger();
        }
        testing::settleLayouts();
        // The page shows no number for either load, and says which one the report gave unreadable.
        EXPECT_TRUE(unreadableShown(page, "Front"));
        EXPECT_EQ(page.findChild<QLabel*>("load:Rear")->text(), sourcetext::absent());
    }
    ASSERT_TRUE(store.project().extra("Main/Main L", "Front").delta);
    ASSERT_TRUE(store.project().extra("Main/Main L", "Rear").motor);

    const auto expectMainL = [&](const std::map<std::string, Row>& csv) {
        // Not a number: no speaker load, no total, nor a half of it on the plate's sides.
        EXPECT_EQ(weights(csv.at("Main L/Front")), (Row{"", plate + " (see L/R)", "", "", ""}));
        for (const char* side : {"left", "right"})
            EXPECT_EQ(weights(csv.at("Main L/Front · " + plate + " " + side)),
                      (Row{"", plate, " + ½ plate", "4.8", ""}))
                << side;
        // Absent: counts as 0.
        EXPECT_EQ(weights(csv.at("Main L/Rear")), (Row{"", "", "D8", "55.0", "55.0"}));
    };
    const std::map<std::string, Row> imported = exportedCSV();
    ASSERT_EQ(imported.size(), 6u);
    expectMainL(imported);
    const Row& mainR = imported.at("Main R/Front");
    EXPECT_FALSE(mainR[9].empty());
    EXPECT_EQ(mainR[13], mainR[9]); // a readable load without a motor is its own total

    // Saved and opened again, the load is still not a number.
    ASSERT_TRUE(store.writeProject(file("show.qvrig")));
    store.openProject(file("show.qvrig"), false);
    ASSERT_FALSE(store.errorMessage().has_value()) << store.errorMessage()->toStdString();
    EXPECT_EQ(exportedCSV(), imported);

    // A damaged file: an infinite load on Main R and a motor weight that is not a number.
    Json project = parseJsonText(testing::readText(file("show.qvrig")).toStdString());
    project["report"]["sources"][1]["pickups"][0]["load"] = "Infinity";
    project["report"]["sources"][1]["pickups"][1]["load"] = "-Infinity";
    project["extras"]["Main/Main L"]["points"]["Rear"]["motor"]["weight"] = "NaN";
    ASSERT_TRUE(testing::writeText(file("damaged.qvrig"), QByteArray::fromStdString(project.dump())));
    store.openProject(file("damaged.qvrig"), false);
    ASSERT_FALSE(store.errorMessage().has_value()) << store.errorMessage()->toStdString();
    const std::map<std::string, Row> damaged = exportedCSV();
    EXPECT_EQ(weights(damaged.at("Main R/Front")), (Row{"", "", "", "", ""}));
    EXPECT_EQ(weights(damaged.at("Main L/Rear")), (Row{"", "", "D8", "", ""}));
    EXPECT_EQ(weights(damaged.at("Main L/Front · " + plate + " left")),
              weights(imported.at("Main L/Front · " + plate + " left")));
    SourcePage page(store, library, store.project().report.sources[1]);
    // Infinite either way: unreadable, never the red of a negative load.
    EXPECT_TRUE(unreadableShown(page, "Front") && unreadableShown(page, "Rear"));
    EXPECT_TRUE(testing::waitFor([&] {
        return named("Unreadable loads on Front, Rear – totals that need them are left empty.");
    })) << overview.checkTexts().join('|').toStdString();
    EXPECT_TRUE(prompts.allAnswered());
}

} // namespace
} // namespace rig::app
