#include "export/ExportCommands.h"
#include "export/DXFSettings.h"
#include "export/PdfPrinter.h"
#include "export/Reveal.h"
#include "support/AppTesting.h"
#include "support/CsvTesting.h"
#include "support/DxfTesting.h"
#include "support/FakePrompts.h"
#include "support/ModalTesting.h"
#include "support/ProjectFixtures.h"

#include "analysis/RigDXF.h"
#include "base/Number.h"
#include "shell/AppPaths.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace rig::fixtures;

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

Project showProject() {
    Project p = fullProject();
    p.name = "Arena Tour";
    p.riggingHeight = 16;
    return p;
}

struct NoReveal : Reveal {
    void reveal(const QString& file) override { ADD_FAILURE() << "revealed " << file.toStdString(); }
};

struct Env {
    testing::TempAppPaths paths;
    testing::FakePrompts prompts;
    ProjectStore store;
    DXFSettings dxf;
    NoReveal reveal;
    PdfPrinter printer{store, reveal};
    ExportCommands commands{store, dxf, printer};
    QTemporaryDir out;

    QString file(const QString& name) const { return out.filePath(name); }
    QString remembered() const { return settings().value(lastExportDirectoryKey).toString(); }
};

TEST(ExportCommands, ProposedNamesComeFromTheProjectName) {
    for (const auto& [name, base] :
         {std::pair{"", "Rig"}, {" Spaced ", " Spaced "}, {"AC/DC", "ACDC"}, {"/", "Rig"}}) {
        Project p;
        p.name = name;
        EXPECT_EQ(proposedExportName(p, ExportKind::crewSheetsPDF), QString(base) + " – crew sheets.pdf")
            << name;
    }
}

TEST(ExportCommands, CSVGoesWhereChosenCancelWritesNothingAndFailuresSayWhy) {
    Env env;
    // Cancelled, or OK without a location: nothing written or remembered, no print job.
    settings().setValue(lastExportDirectoryKey, "/somewhere/else");
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportCSV(showProject());
    env.prompts.answerExportSave(QString());
    env.commands.exportCSV(showProject());
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportPDF(showProject(), true);
    EXPECT_EQ(env.printer.jobCount(), 0);
    EXPECT_EQ(env.prompts.exportSaves().at(0).directory, "/somewhere/else");
    EXPECT_EQ(env.remembered(), "/somewhere/else");
    EXPECT_TRUE(entries(env.out.path()).isEmpty());
    settings().remove(lastExportDirectoryKey);

    Project p = showProject();
    p.report.sources.edit()[0].name = "Main; \"left\"";
    const QString target = env.file("points.csv");
    env.prompts.answerExportSave(target);
    env.commands.exportCSV(p);
    const auto& panel = env.prompts.exportSaves().back();
    EXPECT_EQ(panel.directory, "");
    EXPECT_EQ(panel.fileName, "Arena Tour – rigging points.csv");
    EXPECT_EQ(panel.defaultSuffix, "csv");
    EXPECT_EQ(entries(env.out.path()), QStringList{"points.csv"}); // no temporary left behind
    EXPECT_EQ(env.remembered(), env.out.path());
    EXPECT_FALSE(env.store.errorMessage().has_value());

    // Read back apart from the writer: 14 fields a record, number columns empty or plain decimals.
    const auto records = testing::readCsv(contents(target).toStdString());
    ASSERT_TRUE(records.has_value());
    ASSERT_GT(records->size(), 5u);
    EXPECT_EQ((*records)[1][1], "Main; \"left\"");
    for (std::size_t r = 0; r < records->size(); ++r) {
        ASSERT_EQ((*records)[r].size(), 14u) << "line " << r;
        for (std::size_t col : {4, 5, 6, 7, 8, 9, 12, 13}) {
            const std::string& f = (*records)[r][col];
            EXPECT_TRUE(r == 0 || f.empty() || parseDecimal(f)) << r << ":" << col << " " << f;
        }
    }
    // Every later panel opens in that folder, whichever command it belongs to.
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportDXF(p);
    EXPECT_EQ(env.prompts.exportSaves().back().directory, env.out.path());

    // A failed write says why, leaves nothing behind and still remembers the folder.
    QFile(env.file("plain")).open(QIODevice::WriteOnly);
    QDir(env.out.path()).mkpath("taken.csv");
    const std::tuple<QString, QString, const char*> failures[] = {
        {env.file("gone"), env.file("gone/x.csv"), "No such file or directory"},
        {env.file("plain"), env.file("plain/x.csv"), "Not a directory"},
        {env.out.path(), env.file("taken.csv"), "Is a directory"},
    };
    for (const auto& [folder, chosen, reason] : failures) {
        const QStringList before = entries(env.out.path());
        env.prompts.answerExportSave(chosen);
        env.commands.exportCSV(p);
        EXPECT_EQ(env.store.errorMessage(), QStringLiteral("Could not save: ") + reason);
        EXPECT_EQ(entries(env.out.path()), before) << reason;
        EXPECT_EQ(env.remembered(), folder);
    }
}

TEST(ExportCommands, DXFTakesThePanelOptionsAndKeepsThemWhenCancelled) {
    Env env;
    env.prompts.answerExportSave(std::nullopt, [](QWidget* accessory) {
        accessory->show();
        QTest::mouseClick(qobject_cast<DXFAccessory*>(accessory)->dropsBox(), Qt::LeftButton);
    });
    env.commands.exportDXF(showProject());
    EXPECT_TRUE(DXFSettings().options().drops);
    EXPECT_TRUE(entries(env.out.path()).isEmpty());

    Project p = showProject();
    p.report.sources.edit()[0].groups = List<std::string>{"ALL", "Scène"};
    const QString target = env.file("rig.dxf");
    env.prompts.answerExportSave(target, [](QWidget* panelAccessory) {
        auto* accessory = qobject_cast<DXFAccessory*>(panelAccessory);
        ASSERT_NE(accessory, nullptr);
        accessory->show();
        accessory->footprintsBox()->setFocus();
        QTest::keyClick(accessory->footprintsBox(), Qt::Key_End);
        accessory->heightEdit()->setFocus();
        accessory->heightEdit()->selectAll();
        QTest::keyClicks(accessory->heightEdit(), "2,5"); // never confirmed with Return
    });
    env.commands.exportDXF(p);
    EXPECT_EQ(env.prompts.exportSaves().back().fileName, "Arena Tour – rigging points.dxf");
    EXPECT_EQ(env.prompts.exportSaves().back().defaultSuffix, "dxf");
    EXPECT_FALSE(env.store.errorMessage().has_value());

    RigDXF::Options chosen;
    chosen.drops = true;
    chosen.footprints = RigDXF::Options::Footprints::height;
    chosen.footprintHeight = 2.5;
    EXPECT_EQ(DXFSettings().options(), chosen); // kept for the next run
    EXPECT_EQ(contents(target), QByteArray::fromStdString(RigDXF::make(p, chosen)));

    const testing::DxfSeen seen = testing::readDxf(target);
    ASSERT_TRUE(seen.read);
    EXPECT_TRUE(seen.hasLayer("RIG_SCÈNE")); // an accented group still exports
    const auto outline = seen.linesOn("RIG_SPEAKERS");
    ASSERT_FALSE(outline.empty());
    for (const DL_LineData& l : outline) EXPECT_DOUBLE_EQ(l.z1, 2.5);
}

TEST(ExportCommands, PDFDocumentsDifferInHiddenSourcesLinkAndQRCode) {
    Project p = showProject();
    ASSERT_TRUE(p.share.has_value() && p.hiddenSources.has_value() && !p.hiddenSources->empty());
    const std::size_t all = p.report.sources.size();

    const CrewDoc rigging = exportCrewDoc(p, false, testDate());
    EXPECT_EQ(rigging.sources.size(), all);
    EXPECT_EQ(rigging.link, p.share->url);
    ASSERT_TRUE(rigging.qr.has_value());
    EXPECT_TRUE(rigging.qr->starts_with("data:image/png;base64,"));

    const CrewDoc crew = exportCrewDoc(p, true, testDate());
    EXPECT_EQ(crew.sources.size(), all - p.hiddenSources->size());
    EXPECT_FALSE(crew.link || crew.qr);
    EXPECT_TRUE(exportPdfPage(p, true, testDate()).contains(R"(window.RIG_MODE="print-crew";)"));

    p.share.reset();
    const CrewDoc unpublished = exportCrewDoc(p, false, testDate());
    EXPECT_FALSE(unpublished.link || unpublished.qr);
}

TEST(QtPrompts, ExportPanelShowsTheAccessoryAndGivesItBack) {
    testing::TempAppPaths paths;
    QTemporaryDir dir;
    DXFSettings dxf;
    auto* accessory = new DXFAccessory(dxf);
    QPointer<DXFAccessory> alive = accessory;
    QtPrompts qt;
    Prompts::ExportSave request{dir.path(), "Rig.dxf", "DXF drawing (*.dxf)", "dxf", accessory};
    bool shownInside = false;
    testing::whenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        shownInside = accessory->isVisible() && dialog->isAncestorOf(accessory);
        static_cast<QDialog*>(dialog)->accept();
    });
    EXPECT_EQ(qt.chooseExportSaveFile(request), QDir(dir.path()).filePath("Rig.dxf"));
    EXPECT_TRUE(shownInside);
    ASSERT_FALSE(alive.isNull()); // the caller still has it to apply
    EXPECT_EQ(accessory->parentWidget(), nullptr);

    testing::whenModalShows([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    EXPECT_FALSE(qt.chooseExportSaveFile(request).has_value());
    delete accessory;
}

} // namespace
} // namespace rig::app
