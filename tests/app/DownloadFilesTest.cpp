// The download files with a stand-in printer (the real one is in the web tests): what is
// made, in which order it is uploaded, and that every ending cleans up.
#include "export/DownloadFiles.h"

#include "export/PublishClient.h"
#include "export/RiggingPointsCSV.h"
#include "shell/QtText.h"
#include "support/CrewTesting.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace rig::app {
namespace {

using namespace testing;
using testserver::Route;

class DownloadFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        token = server.addLink("{}");
        project.share =
            ShareInfo{toStd(token), toStd(server.baseUrl() + "/c/" + token), fixtures::testDate(), {}, {},
                      std::nullopt};
        options.labels = false; // not the defaults: the options given are the ones used
    }

    // A stand-in printer: a small file in place of each PDF, and what it was asked to print.
    struct Printed {
        QString html, target;
        unsigned folderMode = 0;
    };
    QCoro::Task<void> upload() {
        PdfMaker maker = [this](QString html, QString target, bool) -> QCoro::Task<bool> {
            struct stat info {};
            ::stat(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), &info);
            printed.push_back({html, target, unsigned(info.st_mode & 0777)});
            QFile file(target);
            co_return (int(printed.size()) != failAt) && file.open(QIODevice::WriteOnly) &&
                file.write("%PDF");
        };
        return uploadDownloads(project, token, server.baseUrl(), standInKey, maker, client, options);
    }

    QStringList leftovers() const { return QDir(runs).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }

    QTemporaryDir tmp;
    const QString runs = QDir(tmp.path()).filePath("missing/deeper");
    // Every temporary folder of the run goes here, below folders that are missing.
    TmpDirOverride tmpOverride{runs};
    testserver::PublishStandIn server{standInKey};
    PublishClient client;
    std::vector<Printed> printed;
    int failAt = 0; // this print, counted from 1, fails
    QString token;
    Project project = showProject();
    RigDXF::Options options;
};

TEST_F(DownloadFilesTest, FourFilesAreMadeFromTheProjectAndUploadedInOrder) {
    for (const bool withRecord : {true, false}) {
        if (!withRecord) project.share.reset();
        printed.clear();
        server.clearRequests();
        runTask(upload());
        const auto puts = server.requests(Route::Upload);
        ASSERT_EQ(puts.size(), 4);
        const char* names[] = {"rigging-points.pdf", "crew-sheets.pdf", "rigging-points.csv",
                               "rigging-points.dxf"};
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(puts[i].path, "/api/rig/" + token.toUtf8() + "/files/" + names[i]);
        EXPECT_EQ(puts[2].body.toStdString(), riggingPointsCSV(project));
        EXPECT_EQ(puts[3].body.toStdString(), RigDXF::make(project, options)); // the options given
        EXPECT_TRUE(leftovers().isEmpty());
        // The riggers' page has the link and its code only with a record; the crew's never.
        ASSERT_EQ(printed.size(), 2u);
        EXPECT_EQ(printed[0].html.contains("\"qr\":\"data:image/png;base64,"), withRecord);
        EXPECT_FALSE(printed[1].html.contains(token));
        // Both in one private folder inside the temporary folder.
        const QString folder = QFileInfo(printed[0].target).absolutePath();
        EXPECT_EQ(QFileInfo(printed[1].target).absolutePath(), folder);
        EXPECT_EQ(QFileInfo(folder).absolutePath(), runs);
        EXPECT_EQ(printed[0].folderMode, 0700u);
    }
}

TEST_F(DownloadFilesTest, TheFirstFailureEndsTheRunWithAClearErrorAndTheFolderGoes) {
    auto fails = [&](const QString& text, std::size_t prints, int uploaded) {
        SCOPED_TRACE(text.toStdString());
        const auto e = publishFailure(upload());
        EXPECT_TRUE(e && e->message().startsWith(text)) << (e ? e->message().toStdString() : "");
        EXPECT_EQ(printed.size(), prints);
        EXPECT_EQ(server.requests(Route::Upload).size(), uploaded);
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();
        printed.clear();
        failAt = 0;
        server.clearFaults();
        server.clearRequests();
    };
    failAt = 2;
    fails("Could not make the PDF files.", 2, 0);
    testserver::Fault refused = answering(413);
    refused.skip = 1;
    refused.times = 1;
    server.setFault(Route::Upload, refused);
    fails("Upload of crew-sheets.pdf failed (HTTP 413).", 2, 2);
    EXPECT_TRUE(server.link(token)->files.count("rigging-points.pdf")); // the first stays

    QFile plain(QDir(tmp.path()).filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    const TmpDirOverride noFolder(plain.fileName() + "/deeper");
    fails("Cannot create " + plain.fileName() + "/deeper/rig-downloads-", 0, 0);
}

} // namespace
} // namespace rig::app
