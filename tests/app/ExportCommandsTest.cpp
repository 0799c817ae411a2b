#include "export/ExportCommands.h"
#include "export/DXFSettings.h"
#include "export/PdfPrinter.h"
#include "export/Reveal.h"
#include "export/RiggingPointsCSV.h"
#include "support/AppTesting.h"
#include "support/DxfTesting.h"
#include "support/FakePrompts.h"
#include "support/ModalTesting.h"
#include "support/ProjectFixtures.h"

#include "analysis/RigDXF.h"
#include "shell/AppPaths.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

namespace rig::app {
namespace {

using namespace rig::fixtures;
using Footprints = RigDXF::Options::Footprints;

QByteArray contents(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A show with groups, rigging heights, a motor, a plate and a hidden source.
Project showProject() {
    Project p = fullProject();
    p.name = "Arena Tour";
    p.riggingHeight = 16;
    return p;
}

struct NoReveal : Reveal {
    void reveal(const QString& file) override { ADD_FAILURE() << "revealed " << file.toStdString(); }
};

// Everything one export test needs: its own settings, store, options and scripted panels.
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
    struct Case {
        const char* name;
        const char* pdf;
        const char* crew;
        const char* dxf;
        const char* csv;
    };
    const Case cases[] = {
        {"", "Rig – rigging points.pdf", "Rig – crew sheets.pdf", "Rig – rigging points.dxf",
         "Rig – rigging points.csv"},
        {"Arena Tour", "Arena Tour – rigging points.pdf", "Arena Tour – crew sheets.pdf",
         "Arena Tour – rigging points.dxf", "Arena Tour – rigging points.csv"},
        {" Spaced ", " Spaced  – rigging points.pdf", " Spaced  – crew sheets.pdf",
         " Spaced  – rigging points.dxf", " Spaced  – rigging points.csv"},
        {"AC/DC", "ACDC – rigging points.pdf", "ACDC – crew sheets.pdf", "ACDC – rigging points.dxf",
         "ACDC – rigging points.csv"},
        {"/", "Rig – rigging points.pdf", "Rig – crew sheets.pdf", "Rig – rigging points.dxf",
         "Rig – rigging points.csv"},
    };
    for (const Case& c : cases) {
        Project p;
        p.name = c.name;
        EXPECT_EQ(proposedExportName(p, ExportKind::riggingPointsPDF), QString::fromUtf8(c.pdf)) << c.name;
        EXPECT_EQ(proposedExportName(p, ExportKind::crewSheetsPDF), QString::fromUtf8(c.crew)) << c.name;
        EXPECT_EQ(proposedExportName(p, ExportKind::riggingPointsDXF), QString::fromUtf8(c.dxf)) << c.name;
        EXPECT_EQ(proposedExportName(p, ExportKind::riggingPointsCSV), QString::fromUtf8(c.csv)) << c.name;
    }
}

// Python's csv module reads the file: the field count of every record, or "bad" and the line
// of a number column that does not parse.
QStringList readWithPython(const QString& path) {
    const char* script = R"(
import csv, sys
with open(sys.argv[1], newline='', encoding='utf-8') as f:
    for i, row in enumerate(csv.reader(f, delimiter=';')):
        if i > 0:
            for col in (4, 5, 6, 7, 8, 9, 12, 13):
                if row[col] != '':
                    try:
                        float(row[col])
                    except ValueError:
                        print('bad', i, col, row[col])
        print(len(row))
)";
    QProcess python;
    python.start("python3", {"-c", script, path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        ADD_FAILURE() << "python3 failed: " << python.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

TEST(ExportCommands, CSVIsWrittenAtTheChosenPathAndTheFolderRemembered) {
    Env env;
    Project p = showProject();
    p.report.sources.edit()[0].name = "Main; \"left\"";
    const QString target = env.file("points.csv");
    env.prompts.answerExportSave(target);
    env.commands.exportCSV(p);

    const auto& panel = env.prompts.exportSaves().at(0);
    EXPECT_EQ(panel.directory, ""); // the first export opens where the platform likes
    EXPECT_EQ(panel.fileName, "Arena Tour – rigging points.csv");
    EXPECT_TRUE(panel.nameFilter.contains("*.csv"));
    EXPECT_EQ(panel.defaultSuffix, "csv");
    EXPECT_EQ(panel.accessory, nullptr);
    EXPECT_EQ(contents(target), QByteArray::fromStdString(riggingPointsCSV(p)));
    EXPECT_EQ(entries(env.out.path()), QStringList{"points.csv"}); // no temporary left behind
    EXPECT_EQ(env.remembered(), env.out.path());
    EXPECT_FALSE(env.store.errorMessage().has_value());

    const QStringList counts = readWithPython(target);
    ASSERT_GT(counts.size(), 5);
    for (const QString& line : counts) EXPECT_EQ(line, "14");

    // Every later panel opens in that folder, whichever command it belongs to.
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportDXF(p);
    EXPECT_EQ(env.prompts.exportSaves().at(1).directory, env.out.path());
}

TEST(ExportCommands, CancellingWritesAndRemembersNothing) {
    Env env;
    settings().setValue(lastExportDirectoryKey, "/somewhere/else");
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportCSV(showProject());
    env.prompts.answerExportSave(QString()); // OK without a location
    env.commands.exportCSV(showProject());
    EXPECT_EQ(env.prompts.exportSaves().at(0).directory, "/somewhere/else");
    EXPECT_EQ(env.remembered(), "/somewhere/else");
    EXPECT_TRUE(entries(env.out.path()).isEmpty());
    EXPECT_FALSE(env.store.errorMessage().has_value());
}

TEST(ExportCommands, AFailedWriteSaysWhyAndLeavesNoFile) {
    struct Case {
        const char* name;
        QString folder; // the chosen file's folder
        QString target;
        const char* reason;
    };
    Env env;
    QFile(env.file("plain")).open(QIODevice::WriteOnly);
    QDir(env.out.path()).mkpath("taken.csv");
    std::vector<Case> cases = {
        {"missing folder", env.file("gone"), env.file("gone/x.csv"), "No such file or directory"},
        {"folder is a file", env.file("plain"), env.file("plain/x.csv"), "Not a directory"},
        {"target is a folder", env.out.path(), env.file("taken.csv"), "Is a directory"},
    };
    QTemporaryDir locked;
    if (geteuid() != 0) { // root writes anywhere
        QFile old(locked.filePath("x.csv"));
        old.open(QIODevice::WriteOnly);
        old.write("old");
        old.close();
        QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::ExeOwner);
        cases.push_back({"read-only folder", locked.path(), locked.filePath("x.csv"), "Permission denied"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QStringList before = entries(c.folder);
        const QStringList outBefore = entries(env.out.path());
        env.store.setErrorMessage(std::nullopt);
        env.prompts.answerExportSave(c.target);
        env.commands.exportCSV(showProject());
        EXPECT_EQ(env.store.errorMessage(), QStringLiteral("Could not save: ") + c.reason);
        EXPECT_EQ(entries(c.folder), before);
        EXPECT_EQ(entries(env.out.path()), outBefore);
        EXPECT_EQ(env.remembered(), c.folder); // remembered even though nothing was written
    }
    if (geteuid() != 0) {
        EXPECT_EQ(contents(locked.filePath("x.csv")), "old");
        QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

TEST(ExportCommands, DXFTakesTheOptionsChosenInThePanel) {
    Env env;
    const Project p = showProject();
    const QString target = env.file("rig.dxf");
    env.prompts.answerExportSave(target, [](QWidget* panelAccessory) {
        auto* accessory = qobject_cast<DXFAccessory*>(panelAccessory);
        ASSERT_NE(accessory, nullptr);
        accessory->show();
        QTest::mouseClick(accessory->dropsBox(), Qt::LeftButton);
        accessory->footprintsBox()->setFocus();
        QTest::keyClick(accessory->footprintsBox(), Qt::Key_End);
        // Typed but never confirmed with Return.
        accessory->heightEdit()->setFocus();
        accessory->heightEdit()->selectAll();
        QTest::keyClicks(accessory->heightEdit(), "2,5");
    });
    env.commands.exportDXF(p);

    const auto& panel = env.prompts.exportSaves().at(0);
    EXPECT_EQ(panel.fileName, "Arena Tour – rigging points.dxf");
    EXPECT_TRUE(panel.nameFilter.contains("*.dxf"));
    EXPECT_EQ(panel.defaultSuffix, "dxf");
    EXPECT_FALSE(env.store.errorMessage().has_value());

    RigDXF::Options chosen;
    chosen.drops = true;
    chosen.footprints = Footprints::height;
    chosen.footprintHeight = 2.5;
    EXPECT_EQ(env.dxf.options(), chosen);
    EXPECT_EQ(DXFSettings().options(), chosen); // kept for the next run
    EXPECT_EQ(contents(target), QByteArray::fromStdString(RigDXF::make(p, chosen)));

    const testing::DxfSeen seen = testing::readDxf(target);
    ASSERT_TRUE(seen.read);
    EXPECT_TRUE(seen.hasLayer("RIG_DROPS"));
    EXPECT_FALSE(seen.linesOn("RIG_DROPS").empty());
    const auto outline = seen.linesOn("RIG_SPEAKERS");
    ASSERT_FALSE(outline.empty());
    for (const DL_LineData& l : outline) EXPECT_DOUBLE_EQ(l.z1, 2.5);
    EXPECT_FALSE(seen.textsOn("RIG_LABELS").empty());
}

TEST(ExportCommands, DXFPanelChangesStayWhenCancelled) {
    Env env;
    env.prompts.answerExportSave(std::nullopt, [](QWidget* accessory) {
        accessory->show();
        QTest::mouseClick(qobject_cast<DXFAccessory*>(accessory)->dropsBox(), Qt::LeftButton);
    });
    env.commands.exportDXF(showProject());
    EXPECT_TRUE(env.dxf.options().drops);
    EXPECT_TRUE(DXFSettings().options().drops);
    EXPECT_TRUE(entries(env.out.path()).isEmpty());
}

TEST(ExportCommands, AGroupWithAccentedLettersStillExportsItsDXF) {
    Env env;
    Project p = showProject();
    p.report.sources.edit()[0].groups = List<std::string>{"ALL", "Scène"};
    const QString target = env.file("rig.dxf");
    env.prompts.answerExportSave(target);
    env.commands.exportDXF(p);
    EXPECT_FALSE(env.store.errorMessage().has_value());
    const testing::DxfSeen seen = testing::readDxf(target);
    EXPECT_NE(std::find(seen.layers.begin(), seen.layers.end(), "RIG_SCÈNE"), seen.layers.end());
}

TEST(ExportCommands, PDFDocumentsDifferInHiddenSourcesLinkAndQRCode) {
    Project p = showProject();
    ASSERT_TRUE(p.share.has_value());
    ASSERT_TRUE(p.hiddenSources.has_value() && !p.hiddenSources->empty());
    const Date date = testDate();
    const std::size_t all = p.report.sources.size();

    const CrewDoc rigging = exportCrewDoc(p, false, date);
    EXPECT_EQ(rigging.sources.size(), all);
    EXPECT_EQ(rigging.link, p.share->url);
    ASSERT_TRUE(rigging.qr.has_value());
    EXPECT_TRUE(rigging.qr->starts_with("data:image/png;base64,"));
    EXPECT_EQ(rigging.qr->find('\n'), std::string::npos);

    const CrewDoc crew = exportCrewDoc(p, true, date);
    EXPECT_EQ(crew.sources.size(), all - p.hiddenSources->size());
    EXPECT_FALSE(crew.link.has_value());
    EXPECT_FALSE(crew.qr.has_value());

    p.share.reset();
    const CrewDoc unpublished = exportCrewDoc(p, false, date);
    EXPECT_FALSE(unpublished.link.has_value());
    EXPECT_FALSE(unpublished.qr.has_value());

    EXPECT_TRUE(
        exportPdfPage(p, false, date).contains(R"(window.RIG_MODE="rigger";window.RIG_SPLIT=false;)"));
    EXPECT_TRUE(
        exportPdfPage(p, true, date).contains(R"(window.RIG_MODE="print-crew";window.RIG_SPLIT=false;)"));
}

TEST(ExportCommands, ACancelledPDFPanelStartsNoJob) {
    Env env;
    env.prompts.answerExportSave(std::nullopt);
    env.prompts.answerExportSave(std::nullopt);
    env.commands.exportPDF(showProject(), false);
    env.commands.exportPDF(showProject(), true);
    EXPECT_EQ(env.printer.jobCount(), 0);
    EXPECT_EQ(env.prompts.exportSaves().at(0).fileName, "Arena Tour – rigging points.pdf");
    EXPECT_EQ(env.prompts.exportSaves().at(1).fileName, "Arena Tour – crew sheets.pdf");
    EXPECT_TRUE(env.prompts.exportSaves().at(1).nameFilter.contains("*.pdf"));
    EXPECT_FALSE(settings().contains(lastExportDirectoryKey));
}

TEST(QtPrompts, ExportPanelShowsTheAccessoryAndGivesItBack) {
    testing::TempAppPaths paths;
    QTemporaryDir dir;
    DXFSettings dxf;
    auto* accessory = new DXFAccessory(dxf);
    QPointer<DXFAccessory> alive = accessory;
    QtPrompts qt;
    Prompts::ExportSave request{dir.path(), "Rig – rigging points.dxf", "DXF drawing (*.dxf)", "dxf",
                                accessory};

    bool shownInside = false;
    QStringList filters;
    testing::whenModalShows([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        shownInside = accessory->isVisible() && dialog->isAncestorOf(accessory);
        static_cast<QDialog*>(dialog)->accept();
    });
    const auto chosen = qt.chooseExportSaveFile(request);
    EXPECT_TRUE(shownInside);
    EXPECT_EQ(filters, QStringList{"DXF drawing (*.dxf)"});
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QDir(dir.path()).filePath("Rig – rigging points.dxf"));
    ASSERT_FALSE(alive.isNull()); // the caller still has it to apply
    EXPECT_EQ(accessory->parentWidget(), nullptr);

    testing::whenModalShows([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    request.accessory = nullptr;
    EXPECT_FALSE(qt.chooseExportSaveFile(request).has_value());
    delete accessory;
}

} // namespace
} // namespace rig::app
