// The download files with a stand-in printer (the real one, with a publish record, is in the
// web tests): what is made, where, and that every ending cleans up.
#include "DownloadFiles.h"
#include "Program.h"
#include "QtText.h"

#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/CsvTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"
#include "support/SpecialFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace rig::app {
namespace {

using namespace testing;
using testserver::Route;

TEST(DownloadFiles, FourFilesInAPrivateFolderAndTheFirstFailureEndsTheRun) {
    QTemporaryDir tmp;
    const QString runs = QDir(tmp.path()).filePath("missing/deeper");
    const TmpDirOverride tmpOverride(runs); // every temporary folder of the run, below missing ones
    auto leftovers = [&] { return QDir(runs).entryList(QDir::NoDotAndDotDot | QDir::AllEntries); };
    testserver::PublishStandIn server(standInKey);
    ASSERT_TRUE(server.start());
    const QString token = server.addLink("{}");
    PublishClient client;
    Project project = showProject();
    project.report.sources.mut(0).name = "@SUM(1+1)"; // a spreadsheet must take it for text
    RigDXF::Options options;
    options.labels = false; // not the defaults: the options given are the ones used

    // A stand-in printer: a small file in place of each PDF, and what it was asked to print.
    struct Printed {
        QString html, target;
        unsigned folderMode = 0;
    };
    std::vector<Printed> printed;
    std::size_t failAt = 0; // this print, counted from 1, fails
    PdfMaker maker = [&](QStringList pages, QString target, bool) -> QCoro::Task<bool> {
        const QString html = pages.join(QString());
        struct stat info {};
        ::stat(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), &info);
        printed.push_back({html, target, unsigned(info.st_mode & 0777)});
        QFile file(target);
        co_return printed.size() != failAt&& file.open(QIODevice::WriteOnly) && file.write("%PDF");
    };
    auto upload = [&] {
        return uploadDownloads(project, token, server.baseUrl(), standInKey, maker, client, options);
    };

    runTask(upload());
    const auto puts = server.requests(Route::Upload);
    ASSERT_EQ(puts.size(), 4);
    EXPECT_EQ(puts[3].body.toStdString(), RigDXF::make(project, options));
    const auto csv = readCsv(puts[2].body.toStdString());
    ASSERT_TRUE(puts[2].path.endsWith("/rigging-points.csv") && csv && csv->size() > 1u);
    EXPECT_EQ((*csv)[1][1], "'@SUM(1+1)");
    // Without a record the riggers' page has no link or code.
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_FALSE(printed[0].html.contains("\"qr\":"));
    const QString folder = QFileInfo(printed[0].target).absolutePath();
    EXPECT_EQ(QFileInfo(printed[1].target).absolutePath(), folder);
    EXPECT_EQ(QFileInfo(folder).absolutePath(), runs);
    // Named after the program: what one ending midway ("Quit Now") leaves is known later.
    const auto runOf = [](pid_t pid) { return "rig-downloads-" + toQ(std::to_string(pid)) + "-"; };
    EXPECT_TRUE(QFileInfo(folder).fileName().startsWith(runOf(::getpid())));
    EXPECT_EQ(printed[0].folderMode, 0700u);
    EXPECT_TRUE(leftovers().isEmpty());
    // A link from the project file goes onto the page only as a server's link would have.
    for (const auto& [url, valid] :
         {std::pair("https://rig.example/c/t", true), std::pair("javascript:alert(1)//", false),
          std::pair("https-evil://rig.example/c/t", false)}) {
        printed.clear();
        project.share = ShareInfo{toStd(token), url, fixtures::testDate(), {}, {}, std::nullopt};
        runTask(upload());
        ASSERT_EQ(printed.size(), 2u);
        EXPECT_EQ(printed[0].html.contains("\"qr\":"), valid) << url;
        EXPECT_EQ(printed[0].html.contains(QString::fromUtf8(url)), valid) << url;
    }
    project.share.reset();

    auto fails = [&](const QString& text, std::size_t prints, int uploaded) {
        SCOPED_TRACE(text.toStdString());
        printed.clear();
        server.clearRequests();
        const auto e = publishFailure(upload());
        EXPECT_TRUE(e && e->message().startsWith(text)) << (e ? e->message().toStdString() : "");
        EXPECT_EQ(printed.size(), prints);
        EXPECT_EQ(server.requests(Route::Upload).size(), uploaded);
        EXPECT_TRUE(leftovers().isEmpty()) << leftovers().join(", ").toStdString();
        failAt = 0;
        server.clearFaults();
    };
    failAt = 2;
    fails("Could not make the PDF files.", 2, 0);
    testserver::Fault refused = answering(413);
    refused.skip = 1;
    refused.times = 1;
    server.setFault(Route::Upload, refused);
    fails("Upload of crew-sheets.pdf failed (HTTP 413).", 2, 2);
    QFile plain(QDir(tmp.path()).filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    {
        const TmpDirOverride noFolder(plain.fileName() + "/deeper");
        fails("Cannot create " + plain.fileName() + "/deeper/rig-downloads-", 0, 0);
    }
    // The next start removes the runs of programs that have ended, never a running one's.
    const QStringList left = {runOf(test::endedProcessId()) + "A", runOf(::getppid()) + "B"};
    for (const QString& run : left) ASSERT_TRUE(QDir(runs).mkpath(run + "/deeper"));
    testing::TempAppPaths paths;
    testing::FakePrompts prompts;
    Program().start({});
    EXPECT_EQ(QDir(runs).entryList({"rig-downloads-*"}, QDir::Dirs), QStringList{left[1]});
}

} // namespace
} // namespace rig::app
