// The publish press as the program wires it: the crew view to the stand-in, then the four
// download files printed by the real printer and uploaded, every file read back independently.
#include "export/DXFSettings.h"
#include "export/PublishClient.h"
#include "export/PublishSettings.h"
#include "export/RiggingPointsCSV.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "support/AppTesting.h"
#include "support/CrewTesting.h"
#include "support/CsvTesting.h"
#include "support/DxfTesting.h"
#include "support/PublishTesting.h"

#include "PublishStandIn.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using testing::runTask;
using testing::standInKey;
using testserver::PublishStandIn;
using testserver::Route;

QString saved(const QTemporaryDir& dir, const QString& name, const QByteArray& data) {
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    return file.fileName();
}

TEST(PublishDownloads, ThePressPublishesAndUploadsFourReadableFiles) {
    testing::TempAppPaths paths;
    // The run's temporary folders go here, where no other program puts any.
    QTemporaryDir tmp;
    const std::optional<QByteArray> previousTmp =
        qEnvironmentVariableIsSet("TMPDIR") ? std::optional(qgetenv("TMPDIR")) : std::nullopt;
    qputenv("TMPDIR", tmp.path().toUtf8());
    const auto restoreTmp =
        qScopeGuard([&] { previousTmp ? qputenv("TMPDIR", *previousTmp) : qunsetenv("TMPDIR"); });
    PublishStandIn server(standInKey);
    ASSERT_TRUE(server.start());
    // A link short enough for the page's header not to wrap it, so the text can be compared.
    server.setPublicBase("http://x.t");
    PublishSettings settings(std::make_unique<MemorySecretStore>());
    settings.setServer(server.baseUrl() + "/");
    settings.setKey(standInKey);
    PublishClient client;
    ProjectStore store;
    store.setPublishing(&settings, &client);

    store.setProject(testing::showProject());
    const std::optional<QString> link = runTask(store.publishOpenProject(), std::chrono::minutes(5));
    ASSERT_TRUE(link);
    EXPECT_FALSE(store.errorMessage()) << store.errorMessage().value_or("").toStdString();
    ASSERT_EQ(server.tokens().size(), 1);
    const QString token = server.tokens()[0];
    EXPECT_EQ(*link, "http://x.t/c/" + token);

    const auto* stored = server.link(token);
    ASSERT_EQ(stored->files.size(), 4u);
    QTemporaryDir dir;

    const auto rigger = testing::readPdf(saved(dir, "r.pdf", stored->files.at("rigging-points.pdf").data));
    EXPECT_TRUE(rigger.readable);
    EXPECT_NEAR(rigger.width, 841.92, 0.5); // landscape A4
    EXPECT_TRUE(rigger.text.contains(*link));
    EXPECT_TRUE(rigger.text.contains("Sub Ground C")); // hidden from the crew, not from the riggers

    const auto crew = testing::readPdf(saved(dir, "c.pdf", stored->files.at("crew-sheets.pdf").data));
    EXPECT_TRUE(crew.readable);
    EXPECT_NEAR(crew.width, 594.96, 0.5); // portrait A4
    EXPECT_TRUE(crew.text.contains("Main L"));
    EXPECT_FALSE(crew.text.contains("Sub Ground C"));
    EXPECT_FALSE(crew.text.contains(token));

    const QByteArray csv = stored->files.at("rigging-points.csv").data;
    EXPECT_EQ(csv.toStdString(), riggingPointsCSV(store.project()));
    EXPECT_TRUE(testing::readCsv(csv.toStdString()));

    const QByteArray dxf = stored->files.at("rigging-points.dxf").data;
    EXPECT_EQ(dxf.toStdString(), RigDXF::make(store.project(), DXFSettings::shared().options()));
    EXPECT_TRUE(testing::readDxf(saved(dir, "p.dxf", dxf)).read);

    // Nothing of the run is left in the temporary folder.
    EXPECT_TRUE(QDir(tmp.path()).entryList({"rig-downloads-*"}, QDir::Dirs).isEmpty());
}

} // namespace
} // namespace rig::app
