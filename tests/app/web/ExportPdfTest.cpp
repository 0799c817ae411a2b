// The two PDF export commands end to end: scripted save panel, crew page, printer, and the
// files read back with poppler (and the QR code with zbar).
#include "export/DXFSettings.h"
#include "export/ExportCommands.h"
#include "export/PdfPrinter.h"
#include "export/Reveal.h"
#include "shell/AppPaths.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/FakePrompts.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

const char* crewLink = "https://crew.example.net/v/tok-5f2a9c";

struct RecordingReveal : Reveal {
    QStringList files;
    void reveal(const QString& file) override { files << file; }
};

struct Env {
    testing::TempAppPaths paths;
    testing::FakePrompts prompts;
    ProjectStore store;
    DXFSettings dxf;
    RecordingReveal reveal;
    PdfPrinter printer{store, reveal};
    ExportCommands commands{store, dxf, printer};
    QTemporaryDir out;

    QString file(const QString& name) const { return out.filePath(name); }

    // Runs one PDF export answered with `target`; true when its print job ended in time.
    bool exportTo(const Project& p, bool crew, const QString& target) {
        QSignalSpy finished(&printer, &PdfPrinter::jobFinished);
        prompts.answerExportSave(target);
        commands.exportPDF(p, crew);
        return finished.wait(120000);
    }
};

Project published() {
    Project p = testing::showProject();
    ShareInfo share;
    share.token = "tok-5f2a9c";
    share.url = crewLink;
    share.publishedAt = nowSeconds();
    p.share = share;
    return p;
}

// The texts zbar reads from the images of a PDF.
QStringList qrCodesIn(const QString& pdf) {
    QTemporaryDir dir;
    QProcess images;
    images.start("pdfimages", {"-png", pdf, dir.filePath("img")});
    if (!images.waitForFinished(60000) || images.exitCode() != 0) {
        ADD_FAILURE() << "pdfimages failed";
        return {};
    }
    QStringList codes;
    for (const QString& png : QDir(dir.path()).entryList({"*.png"})) {
        QProcess zbar;
        zbar.start("zbarimg", {"--quiet", "--raw", "-Sdisable", "-Sqrcode.enable", dir.filePath(png)});
        if (zbar.waitForFinished(30000) && zbar.exitCode() == 0)
            codes << QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
    }
    return codes;
}

void expectA4(const testing::PdfFacts& pdf, bool landscape) {
    ASSERT_TRUE(pdf.readable);
    EXPECT_NEAR(pdf.width, landscape ? 841.92 : 594.96, 0.5);
    EXPECT_NEAR(pdf.height, landscape ? 594.96 : 841.92, 0.5);
}

TEST(ExportPDF, RiggingPointsCarryHiddenSourcesTheLinkAndItsQRCode) {
    Env env;
    const Project p = published();
    const QString target = env.file("rig.pdf");
    ASSERT_TRUE(env.exportTo(p, false, target));

    const auto& panel = env.prompts.exportSaves().at(0);
    EXPECT_EQ(panel.fileName, QString::fromUtf8("Arena – Show 2026 – rigging points.pdf"));
    EXPECT_TRUE(panel.nameFilter.contains("*.pdf"));
    EXPECT_EQ(panel.defaultSuffix, "pdf");
    EXPECT_EQ(settings().value(lastExportDirectoryKey).toString(), env.out.path());

    const testing::PdfFacts pdf = testing::readPdf(target);
    expectA4(pdf, true);
    EXPECT_GE(pdf.pages, 2);
    EXPECT_TRUE(pdf.text.contains("Main L"));
    EXPECT_TRUE(pdf.text.contains("Sub Ground C")); // hidden from the crew, not from the rigger
    EXPECT_TRUE(pdf.text.contains("Crew link"));
    EXPECT_TRUE(pdf.text.contains(crewLink));
    EXPECT_EQ(qrCodesIn(target), QStringList{crewLink});
    EXPECT_EQ(env.reveal.files, QStringList{QFileInfo(target).absoluteFilePath()});
    EXPECT_FALSE(env.store.errorMessage().has_value());
}

TEST(ExportPDF, CrewSheetsLeaveOutHiddenSourcesAndTheLink) {
    Env env;
    const QString target = env.file("crew.pdf");
    ASSERT_TRUE(env.exportTo(published(), true, target));
    EXPECT_EQ(env.prompts.exportSaves().at(0).fileName,
              QString::fromUtf8("Arena – Show 2026 – crew sheets.pdf"));

    const testing::PdfFacts pdf = testing::readPdf(target);
    expectA4(pdf, false);
    EXPECT_GE(pdf.pages, 2);
    EXPECT_TRUE(pdf.text.contains("Main L"));
    EXPECT_FALSE(pdf.text.contains("Sub Ground C"));
    EXPECT_FALSE(pdf.text.contains("crew.example.net"));
    EXPECT_TRUE(qrCodesIn(target).isEmpty());
    EXPECT_EQ(env.reveal.files, QStringList{QFileInfo(target).absoluteFilePath()});
}

TEST(ExportPDF, UnpublishedRiggingPointsHaveNoLinkAndFailuresAreReported) {
    Env env;
    Project p = testing::showProject();
    p.name.clear();
    const QString target = env.file("plain.pdf");
    ASSERT_TRUE(env.exportTo(p, false, target));
    EXPECT_EQ(env.prompts.exportSaves().at(0).fileName, QString::fromUtf8("Rig – rigging points.pdf"));
    const testing::PdfFacts pdf = testing::readPdf(target);
    expectA4(pdf, true);
    EXPECT_FALSE(pdf.text.contains("Crew link"));
    EXPECT_TRUE(qrCodesIn(target).isEmpty());

    // A folder that is gone: the printer's own message, no file, the folder still remembered.
    const QString gone = env.file("gone/x.pdf");
    ASSERT_TRUE(env.exportTo(p, true, gone));
    EXPECT_EQ(env.store.errorMessage(), "PDF export failed.");
    EXPECT_FALSE(QFileInfo::exists(gone));
    EXPECT_EQ(settings().value(lastExportDirectoryKey).toString(), env.file("gone"));
    EXPECT_EQ(env.reveal.files.size(), 1);
}

} // namespace
} // namespace rig::app
