// Renders the overview of a realistic, imported and published show in light and dark, for
// looking at it: run with --gtest_also_run_disabled_tests and RIG_RENDER_DIR set.
#include "pages/OverviewPage.h"

#include "export/DXFSettings.h"
#include "export/ExportCommands.h"
#include "export/PdfPrinter.h"
#include "export/PublishClient.h"
#include "export/PublishSettings.h"
#include "export/Reveal.h"
#include "pages/MotorLibrary.h"
#include "pages/Preferences.h"
#include "pages/RiggingHeightFields.h"
#include "pages/ShareRow.h"
#include "shell/ProjectStore.h"
#include "support/PublishTesting.h"
#include "support/ShowProjects.h"
#include "support/StoreTesting.h"

#include "PublishStandIn.h"

#include <QApplication>
#include <QDir>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

struct NoReveal : rig::app::Reveal {
    void reveal(const QString&) override {}
};

TEST(OverviewRender, DISABLED_LightAndDark) {
    const QString dir = qEnvironmentVariable("RIG_RENDER_DIR");
    ASSERT_FALSE(dir.isEmpty()) << "set RIG_RENDER_DIR";
    testing::TempAppPaths paths;
    testserver::PublishStandIn server{testing::standInKey};
    ASSERT_TRUE(server.start());
    PublishClient client;
    PublishSettings publishSettings(std::make_unique<MemorySecretStore>());
    publishSettings.setServer(server.baseUrl());
    publishSettings.setKey(testing::standInKey);
    auto store = testing::makeStore();
    store->setPublishing(&publishSettings, &client);
    store->setDownloadUploader([](Project, QString) -> QCoro::Task<void> { co_return; });

    Project p = testing::generatedShow(8, 3);
    p.name = "Arena Tour 2025 – Lyon";
    p.author = "Sam Reyes";
    p.inventoryFile = "Arena show inventory.csv";
    auto add = [&](std::string category, std::int64_t quantity, std::string product) {
        p.inventory.push_back(
            InventoryItem{std::move(category), quantity, "", std::move(product), "", std::nullopt});
    };
    add("Enclosure", 24, "K2");
    add("Enclosure", 12, "KARA II");
    add("Enclosure", 8, "KS28");
    add("Enclosure", 8, "SB28");
    add("Rigging", 4, "K2-BUMP");
    add("Rigging", 2, "KARA-MINIBU");
    add("Rigging", 2, "K1-DELTA");
    add("Amplified controller", 14, "LA12X");
    add("Amplified controller", 2, "LA-RAK II");
    store->setProject(p);
    ASSERT_TRUE(testing::runTask(store->publishOpenProject()).has_value());
    p = store->project();
    p.riggingHeight = 12.0;
    p.setHidden({p.report.sources[1].id()}, true);
    store->setProject(p);

    MotorLibrary library;
    library.upsert(QStringLiteral("CM Lodestar 1t"), 62);
    library.upsert(QStringLiteral("D8+ 1000 kg"), 58);
    DXFSettings dxf;
    NoReveal reveal;
    PdfPrinter printer(*store, reveal);
    ExportCommands exports(*store, dxf, printer);
    qputenv("RIG_TEST_PERGROUP", "1");
    for (const auto& [name, look] :
         {std::pair{"light", Appearance::light}, std::pair{"dark", Appearance::dark}}) {
        applyAppearance(look);
        OverviewPage page(*store, library, exports);
        page.resize(900, 3400);
        page.show();
        page.setNotesExpanded(true);
        QCoreApplication::processEvents();
        const QImage image = page.grab().toImage();
        EXPECT_TRUE(
            image.save(QDir(dir).filePath(QStringLiteral("overview-%1.png").arg(QLatin1String(name)))));
        // Pieces of the used height, small enough to look at.
        const int used = std::min(image.height(), page.widget()->sizeHint().height() + 40);
        for (int top = 0, n = 1; top < used; top += 1000, ++n) {
            image.copy(0, top, image.width(), std::min(1000, used - top))
                .save(
                    QDir(dir).filePath(QStringLiteral("overview-%1-%2.png").arg(QLatin1String(name)).arg(n)));
        }
    }
    qunsetenv("RIG_TEST_PERGROUP");
    applyAppearance(Appearance::system);
}

} // namespace
} // namespace rig::app
