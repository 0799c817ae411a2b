// The download files with a stand-in printer (the real one is in the web tests): what is
// made, in which order it is uploaded, and that every ending cleans up.
#include "export/DownloadFiles.h"

#include "analysis/CrewDoc.h"
#include "export/CrewPage.h"
#include "export/PublishClient.h"
#include "export/RiggingPointsCSV.h"
#include "shell/QtText.h"
#include "support/CrewTesting.h"
#include "support/CsvTesting.h"
#include "support/DxfTesting.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"

#include "PublishStandIn.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace rig::app {
namespace {

using testing::publishFailure;
using testing::runTask;
using testing::standInKey;
using testserver::Fault;
using testserver::PublishStandIn;
using testserver::Route;

// Writes a small file in place of each PDF and remembers what it was asked to print.
struct FakePrinter {
    struct Call {
        QString html;
        QString target;
        bool landscape = false;
        unsigned folderMode = 0;
    };
    std::vector<Call> calls;
    int failAt = -1; // this call reports failure

    PdfMaker maker() {
        return
            [this](QString html, QString target, bool landscape) { return print(html, target, landscape); };
    }

    QCoro::Task<bool> print(QString html, QString target, bool landscape) {
        struct stat info {};
        ::stat(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), &info);
        calls.push_back({html, target, landscape, unsigned(info.st_mode & 0777)});
        if (int(calls.size()) - 1 == failAt) co_return false;
        QFile file(target);
        if (!file.open(QIODevice::WriteOnly)) co_return false;
        file.write("%PDF-1.4 stand-in " + QFileInfo(target).fileName().toUtf8());
        co_return true;
    }
};

class DownloadFilesTest : public ::testing::Test {
public: // the failure table arranges through these
    void SetUp() override {
        ASSERT_TRUE(server.start());
        // Every temporary folder of the run goes here, so leftovers can be seen.
        previousTmp = qEnvironmentVariable("TMPDIR");
        hadTmp = qEnvironmentVariableIsSet("TMPDIR");
        qputenv("TMPDIR", tmp.path().toUtf8());
        token = server.addLink("{}");
        project = testing::showProject();
        project.share =
            ShareInfo{toStd(token), toStd(server.baseUrl() + "/c/" + token), fixtures::testDate(), {}, {},
                      std::nullopt};
        options.labels = false; // not the defaults: the options given are the ones used
    }
    void TearDown() override {
        if (hadTmp) {
            qputenv("TMPDIR", previousTmp.toUtf8());
        } else {
            qunsetenv("TMPDIR");
        }
    }

    QCoro::Task<void> upload(QString server_ = {}) {
        return uploadDownloads(project, token, server_.isEmpty() ? server.baseUrl() : server_, standInKey,
                               printer.maker(), client, options);
    }

    QStringList leftovers() const {
        return QDir(tmp.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }

    QTemporaryDir tmp;
    QString previousTmp;
    bool hadTmp = false;
    PublishStandIn server{standInKey};
    PublishClient client;
    FakePrinter printer;
    QString token;
    Project project;
    RigDXF::Options options;
};

TEST_F(DownloadFilesTest, FourFilesAreMadeAndUploadedInOrder) {
    runTask(upload());

    const auto puts = server.requests(Route::Upload);
    ASSERT_EQ(puts.size(), 4);
    const QByteArray base = "/api/rig/" + token.toUtf8() + "/files/";
    const QByteArray expected[][2] = {
        {"rigging-points.pdf", "label=Rigging%20points%20(PDF)"},
        {"crew-sheets.pdf", "label=Crew%20sheets%20(PDF)"},
        {"rigging-points.csv", "label=Rigging%20points%20(CSV)"},
        {"rigging-points.dxf", "label=Rigging%20points%203D%20(DXF)"},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(puts[i].path, base + expected[i][0]);
        EXPECT_EQ(puts[i].query, expected[i][1]);
        EXPECT_EQ(puts[i].header("authorization"), "Bearer " + standInKey.toUtf8());
    }
    EXPECT_EQ(puts[0].body, "%PDF-1.4 stand-in rigging-points.pdf");
    EXPECT_EQ(puts[1].body, "%PDF-1.4 stand-in crew-sheets.pdf");

    // The CSV as the export writes it, and readable as CSV.
    EXPECT_EQ(puts[2].body.toStdString(), riggingPointsCSV(project));
    const auto rows = testing::readCsv(puts[2].body.toStdString());
    ASSERT_TRUE(rows);
    EXPECT_GT(rows->size(), 10u);
    // The DXF with the options given, readable by another DXF library.
    EXPECT_EQ(puts[3].body.toStdString(), RigDXF::make(project, options));
    EXPECT_NE(puts[3].body.toStdString(), RigDXF::make(project, RigDXF::Options()));
    EXPECT_TRUE(leftovers().isEmpty());
    QTemporaryDir dxfDir;
    QFile dxf(dxfDir.filePath("points.dxf"));
    ASSERT_TRUE(dxf.open(QIODevice::WriteOnly));
    dxf.write(puts[3].body);
    dxf.close();
    const testing::DxfSeen seen = testing::readDxf(dxf.fileName());
    EXPECT_TRUE(seen.read);
    EXPECT_FALSE(seen.circles.empty() && seen.lines.empty());

    const auto* stored = server.link(token);
    ASSERT_EQ(stored->files.size(), 4u);
    EXPECT_EQ(stored->files.at("rigging-points.dxf").label, "Rigging points 3D (DXF)");
}

TEST_F(DownloadFilesTest, PagesAreTheRiggersWithTheLinkAndTheCrewsWithoutHiddenSources) {
    runTask(upload());
    ASSERT_EQ(printer.calls.size(), 2u);
    const auto& rigger = printer.calls[0];
    const auto& crew = printer.calls[1];

    EXPECT_TRUE(rigger.landscape);
    EXPECT_FALSE(crew.landscape);
    EXPECT_EQ(QFileInfo(rigger.target).fileName(), "rigging-points.pdf");
    EXPECT_EQ(QFileInfo(crew.target).fileName(), "crew-sheets.pdf");
    // One private folder for both, named by a new upper-case identifier.
    EXPECT_EQ(QFileInfo(rigger.target).absolutePath(), QFileInfo(crew.target).absolutePath());
    EXPECT_TRUE(
        QRegularExpression("^rig-downloads-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")
            .match(QFileInfo(QFileInfo(rigger.target).absolutePath()).fileName())
            .hasMatch());
    EXPECT_EQ(rigger.folderMode, 0700u);

    const QString hidden = "Sub Ground C";
    const QString link = toQ(project.share->url);
    EXPECT_TRUE(rigger.html.contains("\"link\":\"" + link + "\""));
    EXPECT_TRUE(rigger.html.contains("\"qr\":\"data:image/png;base64,"));
    EXPECT_TRUE(rigger.html.contains(hidden));
    EXPECT_TRUE(rigger.html.contains("\"rigger\""));
    EXPECT_FALSE(crew.html.contains(link));
    EXPECT_FALSE(crew.html.contains("\"qr\":"));
    EXPECT_FALSE(crew.html.contains(hidden));
    EXPECT_TRUE(crew.html.contains("\"print-crew\""));
}

TEST_F(DownloadFilesTest, AProjectWithoutRecordStillGivesFourFilesWithoutLinkOrCode) {
    project.share.reset();
    runTask(upload());
    ASSERT_EQ(printer.calls.size(), 2u);
    EXPECT_FALSE(printer.calls[0].html.contains("\"link\":"));
    EXPECT_FALSE(printer.calls[0].html.contains("\"qr\":"));
    EXPECT_EQ(server.requests(Route::Upload).size(), 4);
}

TEST_F(DownloadFilesTest, AnAddressWithBlanksAndSlashesUploadsToTheSamePlaces) {
    runTask(upload(" \t" + server.baseUrl() + "///  "));
    const auto puts = server.requests(Route::Upload);
    ASSERT_EQ(puts.size(), 4);
    EXPECT_EQ(puts[0].path, "/api/rig/" + token.toUtf8() + "/files/rigging-points.pdf");
}

TEST_F(DownloadFilesTest, TheFirstFailureEndsTheRunAndTheFolderGoes) {
    struct Case {
        const char* name;
        std::function<void(DownloadFilesTest&)> arrange;
        QString text;
        std::size_t printed;
        int uploaded; // requests that reached the server
    };
    const std::vector<Case> cases = {
        {"first PDF", [](DownloadFilesTest& t) { t.printer.failAt = 0; }, "Could not make the PDF files.", 1,
         0},
        {"second PDF", [](DownloadFilesTest& t) { t.printer.failAt = 1; }, "Could not make the PDF files.", 2,
         0},
        {"second upload refused",
         [](DownloadFilesTest& t) {
             Fault f;
             f.status = 413;
             f.skip = 1;
             f.times = 1;
             t.server.setFault(Route::Upload, f);
         },
         "Upload of crew-sheets.pdf failed (HTTP 413).", 2, 2},
        {"201 is no success",
         [](DownloadFilesTest& t) {
             Fault f;
             f.status = 201;
             t.server.setFault(Route::Upload, f);
         },
         "Upload of rigging-points.pdf failed (HTTP 201).", 2, 1},
        {"unknown link", [](DownloadFilesTest& t) { t.token = "gone"; },
         "Upload of rigging-points.pdf failed (HTTP 404).", 2, 1},
        {"no token", [](DownloadFilesTest& t) { t.token = ""; }, "The link has no valid token.", 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        printer = FakePrinter();
        server.clearFaults();
        server.clearRequests();
        token = toQ(project.share->token);
        c.arrange(*this);
        const auto e = publishFailure(upload());
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), c.text);
        EXPECT_EQ(printer.calls.size(), c.printed);
        EXPECT_EQ(server.requests(Route::Upload).size(), c.uploaded);
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();
    }
    // The refused second upload left the first file on the server.
    EXPECT_TRUE(server.link(toQ(project.share->token))->files.count("rigging-points.pdf"));
}

TEST_F(DownloadFilesTest, MissingFoldersAboveTheTemporaryFolderAreMade) {
    const QString deeper = QDir(tmp.path()).filePath("missing/deeper");
    qputenv("TMPDIR", deeper.toUtf8());
    runTask(upload());
    ASSERT_EQ(printer.calls.size(), 2u);
    EXPECT_EQ(QFileInfo(QFileInfo(printer.calls[0].target).absolutePath()).absolutePath(), deeper);
    EXPECT_EQ(printer.calls[0].folderMode, 0700u);
    EXPECT_EQ(server.requests(Route::Upload).size(), 4);
    EXPECT_TRUE(QDir(deeper).isEmpty());
}

TEST_F(DownloadFilesTest, AFolderThatCannotBeMadeSaysWhere) {
    QFile plain(QDir(tmp.path()).filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    qputenv("TMPDIR", QDir(tmp.path()).filePath("plain/deeper").toUtf8());
    const auto e = publishFailure(upload());
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), PublishError::Kind::File);
    EXPECT_TRUE(
        e->message().startsWith("Cannot create " + QDir(tmp.path()).filePath("plain/deeper/rig-downloads-")))
        << e->message().toStdString();
    EXPECT_TRUE(printer.calls.empty());
    EXPECT_EQ(server.connectionCount(), 0);
}

} // namespace
} // namespace rig::app
