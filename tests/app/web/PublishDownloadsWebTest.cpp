// The publish press as the program wires it: the crew view to the stand-in, then the four
// download files printed by the real printer and uploaded, every file read back independently.
#include "CrewLink.h"
#include "DXFSettings.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "base/File.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/CsvTesting.h"
#include "support/DxfTesting.h"
#include "support/PublishTesting.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace testing;

TEST(PublishDownloads, ThePressPublishesAndUploadsFourReadableFiles) {
    TempAppPaths paths;
    QTemporaryDir tmp; // the run's temporary folders, where no other program puts any
    const TmpDirOverride tmpOverride(tmp.path());
    testserver::PublishStandIn server(standInKey);
    ASSERT_TRUE(server.start());
    // A link short enough for the page's header not to wrap it, so the text can be compared.
    server.setPublicBase("https://x.t");
    PublishSettings settings(std::make_unique<MemorySecretStore>());
    settings.setServer(server.baseUrl() + "/");
    settings.setKey(standInKey);
    PublishClient client;
    PdfPrinter printer;
    printer.setTiming(patientPrinting);
    DXFSettings dxf;
    testing::HeldStore store;
    store.crewLink().setPublishing(&settings, &client);
    store.crewLink().setDownloadParts(&printer, &dxf);

    store.setProject(showProject());
    const std::optional<QString> link =
        runTask(store.crewLink().publishOpenProject(), std::chrono::minutes(5));
    ASSERT_TRUE(link);
    EXPECT_FALSE(store.errorMessage()) << store.errorMessage().value_or("").toStdString();
    const QString token = server.tokens().value(0);
    const auto* stored = server.link(token);
    ASSERT_TRUE(stored && stored->files.size() == 4u);
    auto saved = [&](const char* name) {
        writeFileAtomically(toPath(paths.file(name)), stored->files.at(name).data.toStdString());
        return paths.file(name);
    };
    const auto rigger = readPdf(saved("rigging-points.pdf"));
    EXPECT_NEAR(rigger.width, 841.92, 0.5); // landscape A4
    EXPECT_TRUE(rigger.text.contains(*link));
    EXPECT_TRUE(rigger.text.contains("Sub Ground C")); // hidden from the crew, not from the riggers
    const auto crew = readPdf(saved("crew-sheets.pdf"));
    EXPECT_NEAR(crew.width, 594.96, 0.5); // portrait A4
    EXPECT_FALSE(crew.text.contains("Sub Ground C"));
    EXPECT_FALSE(crew.text.contains(token));
    EXPECT_TRUE(readCsv(stored->files.at("rigging-points.csv").data.toStdString()));
    EXPECT_TRUE(readDxf(saved("rigging-points.dxf")).read);
    EXPECT_TRUE(QDir(tmp.path()).entryList({"rig-downloads-*"}, QDir::Dirs).isEmpty());
}

} // namespace
} // namespace rig::app
