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

// Writes a small file in place of each PDF and remembers what it was asked to print.
struct FakePrinter {
    struct Call {
        QString html;
        QString target;
        unsigned folderMode = 0;
    };
    std::vector<Call> calls;
    int failAt = -1; // this call reports failure

    QCoro::Task<bool> print(QString html, QString target) {
        struct stat info {};
        ::stat(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), &info);
        calls.push_back({html, target, unsigned(info.st_mode & 0777)});
        QFile file(target);
        if (int(calls.size()) - 1 == failAt || !file.open(QIODevice::WriteOnly)) co_return false;
        file.write("%PDF-1.4 stand-in " + QFileInfo(target).fileName().toUtf8());
        co_return true;
    }
};

class DownloadFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        token = server.addLink("{}");
        project = testing::showProject();
        project.share =
            ShareInfo{toStd(token), toStd(server.baseUrl() + "/c/" + token), fixtures::testDate(), {}, {},
                      std::nullopt};
        options.labels = false; // not the defaults: the options given are the ones used
    }

    QCoro::Task<void> upload() {
        PdfMaker maker = [this](QString html, QString target, bool) { return printer.print(html, target); };
        return uploadDownloads(project, token, server.baseUrl(), standInKey, maker, client, options);
    }

    QStringList leftovers() const { return QDir(runs).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); }

    QTemporaryDir tmp;
    const QString runs = QDir(tmp.path()).filePath("missing/deeper");
    // Every temporary folder of the run goes here, below folders that are missing.
    testing::TmpDirOverride tmpOverride{runs};
    testserver::PublishStandIn server{standInKey};
    PublishClient client;
    FakePrinter printer;
    QString token;
    Project project;
    RigDXF::Options options;
};

TEST_F(DownloadFilesTest, FourFilesAreMadeFromTheProjectAndUploadedInOrder) {
    for (const bool withRecord : {true, false}) {
        if (!withRecord) project.share.reset();
        printer = FakePrinter();
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
        ASSERT_EQ(printer.calls.size(), 2u);
        EXPECT_EQ(printer.calls[0].html.contains("\"qr\":\"data:image/png;base64,"), withRecord);
        EXPECT_FALSE(printer.calls[1].html.contains(token));
        // Both in one private folder inside the temporary folder.
        const QString folder = QFileInfo(printer.calls[0].target).absolutePath();
        EXPECT_EQ(QFileInfo(printer.calls[1].target).absolutePath(), folder);
        EXPECT_EQ(QFileInfo(folder).absolutePath(), runs);
        EXPECT_EQ(printer.calls[0].folderMode, 0700u);
    }
}

TEST_F(DownloadFilesTest, TheFirstFailureEndsTheRunWithAClearErrorAndTheFolderGoes) {
    auto fails = [&](const QString& text, std::size_t printed, int uploaded) {
        SCOPED_TRACE(text.toStdString());
        const auto e = publishFailure(upload());
        EXPECT_TRUE(e && e->message().startsWith(text)) << (e ? e->message().toStdString() : "");
        EXPECT_EQ(printer.calls.size(), printed);
        EXPECT_EQ(server.requests(Route::Upload).size(), uploaded);
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();
        printer = FakePrinter();
        server.clearFaults();
        server.clearRequests();
    };
    printer.failAt = 1;
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
