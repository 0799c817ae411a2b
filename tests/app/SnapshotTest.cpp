// The snapshot mode without a browser: what it reads from the environment, the lines it
// writes and its failures. The whole pass with exports runs in the end-to-end test.
#include "export/DXFSettings.h"
#include "export/PdfPrinter.h"
#include "export/PublishClient.h"
#include "export/PublishSettings.h"
#include "export/Reveal.h"
#include "pages/MotorLibrary.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "snapshot/SnapshotRun.h"
#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include "PublishStandIn.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using testing::readText;
using testing::waitFor;
using Steps = SnapshotSteps;

QString absolute(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

TEST(SnapshotTexts, WhatTheEnvironmentGivesAndTheLinesWritten) {
    const std::pair<std::optional<QString>, Steps> steps[] = {
        {"overview|crew||phone", {std::nullopt, "crew", "phone"}},
        {"|", {}},
        {"full|ALL/MAIN/L2 L|overview ", {"full", "ALL/MAIN/L2 L", "overview "}},
        {std::nullopt, {std::nullopt, "ALL/MAIN/L2 L", "B-LAVA/KARA/KARA 3", "ALL/GR SUB/CS 1"}},
    };
    for (const auto& [value, parsed] : steps) EXPECT_EQ(parseSnapshotSteps(value), parsed);
    EXPECT_EQ(parseSnapshotFiles("a.pdf::b.csv"),
              (QList<QUrl>{QUrl::fromLocalFile(absolute("a.pdf")), QUrl::fromLocalFile(absolute("b.csv"))}));
    EXPECT_EQ(parseSnapshotFiles("/show/r é.pdf:/show/s.dxf:"),
              (QList<QUrl>{QUrl::fromLocalFile("/show/r é.pdf"), QUrl::fromLocalFile("/show/s.dxf")}));
    EXPECT_EQ(parseSnapshotFiles(":::"), QList<QUrl>{});

    const std::pair<double, const char*> numbers[] = {
        {0, "0.0"},      {-3, "-3.0"},    {100000, "100000.0"},
        {1e16, "1e+16"}, {1e-5, "1e-05"}, {183.33333333333334, "183.33333333333334"},
    };
    for (const auto& [value, text] : numbers) EXPECT_EQ(snapshotNumberText(value), text) << text;
    RigDXF::Options options;
    options.drops = true;
    options.footprints = RigDXF::Options::Footprints::height;
    options.footprintHeight = 2.5;
    EXPECT_EQ(accessoryText(options, QSizeF(412, 187)),
              "drops true footprints height h 2.5 size (412.0, 187.0)");
    const std::pair<QString, std::optional<double>> heights[] = {
        {"12.5", 12.5},     {"1e1", 10.0},         {" 12.5", std::nullopt}, {"12,5", std::nullopt},
        {"", std::nullopt}, {"inf", std::nullopt}, {"nan", std::nullopt},   {"1e999", std::nullopt},
    };
    for (const auto& [text, height] : heights) EXPECT_EQ(parseTestHeight(text), height) << text.toStdString();

    ChangeMap changes;
    changes.set("B/\"q\"", List<std::string>(std::vector<std::string>{"a\\b\nc\t\x01"}));
    changes.set("C", List<std::string>());
    EXPECT_EQ(changeMapDebugText(changes), "[\"B/\\\"q\\\"\": [\"a\\\\b\\nc\\t\\u{1}\"], \"C\": []]");
    EXPECT_EQ(changeMapDebugText({}), "[:]");
    EXPECT_EQ(visibilityResultLine(R"({"name": "CS 1","m":"NOT PUBLISHED"})"),
              "after visibility: CS sources=0 leakedMotor=true keptTestMotor=false");
    // The link document is fetched only from an http(s) server, with the token as given.
    const std::pair<QString, std::optional<QString>> fetches[] = {
        {"http://127.0.0.1:8080/", "http://127.0.0.1:8080//api/rig/tok"},
        {" http://127.0.0.1:8080", std::nullopt},
        {"127.0.0.1:8080", std::nullopt},
        {"ftp://host", std::nullopt},
    };
    for (const auto& [server, url] : fetches) {
        const auto fetched = linkDocumentUrl(server, "tok");
        EXPECT_EQ(fetched ? std::optional(fetched->toString()) : std::nullopt, url) << server.toStdString();
    }
    EXPECT_EQ(linkDocumentUrl("http://h", ".."), std::nullopt);
}

// A snapshot run on its own objects, temporary settings and folder, and a given environment.
struct RunFixture {
    testing::TempAppPaths paths;
    QTemporaryDir folder;
    std::unique_ptr<ProjectStore> store = testing::makeStore();
    MotorLibrary motors;
    DXFSettings dxf;
    PublishSettings publishing{std::make_unique<MemorySecretStore>()};
    PublishSettings* runPublishing = &publishing;
    PublishClient client;
    struct NoReveal : Reveal {
        void reveal(const QString&) override {}
    } reveal;
    PdfPrinter printer{*store, reveal};
    std::map<QString, QString> environment;
    std::vector<SnapshotStep> selected;
    std::vector<int> quits;
    QMainWindow window;
    QWidget* captured = &window;

    RunFixture() {
        window.setWindowTitle("Quorvane Rig");
        window.resize(640, 400);
        window.show();
        store->setPublishing(&publishing, &client);
    }

    std::unique_ptr<SnapshotRun> run(SnapshotTiming timing = quick(), std::optional<QString> into = {}) {
        SnapshotRun::Parts parts;
        parts.store = store.get();
        parts.motors = &motors;
        parts.dxf = &dxf;
        parts.publishing = runPublishing;
        parts.client = &client;
        parts.printer = &printer;
        parts.environment = [this](const QString& name) -> std::optional<QString> {
            const auto found = environment.find(name);
            if (found == environment.end()) return std::nullopt;
            return found->second;
        };
        parts.mainWindow = [this] { return captured; };
        parts.overviewPage = [] {
            auto* page = new QLabel("Overview");
            page->setAlignment(Qt::AlignTop);
            return page;
        };
        parts.select = [this](const SnapshotStep& step) { selected.push_back(step); };
        parts.quit = [this](int code) { quits.push_back(code); };
        parts.timing = timing;
        return std::make_unique<SnapshotRun>(into.value_or(folder.path()), std::move(parts));
    }

    static SnapshotTiming quick() {
        SnapshotTiming t;
        t.enlarge = 20ms;
        t.exports = 10min; // the exports need a browser: never here
        t.steps = 30ms;
        t.settle = 20ms;
        return t;
    }

    QString file(const QString& name) const { return folder.filePath(name); }
    QStringList files() const { return QDir(folder.path()).entryList(QDir::Files, QDir::Name); }
};

TEST(SnapshotRun, AccessoryCheckStoresTheOptionsItClickedAndEnds) {
    RunFixture f;
    f.environment = {{"RIG_TEST_ACCESSORY", ""},
                     {"RIG_FILES", "/nowhere/x.pdf"},
                     {"RIG_STEPS", "crew"},
                     {"RIG_SETTINGS_SHOTS", "1"}};
    auto run = f.run();
    run->start();
    EXPECT_EQ(f.quits, std::vector<int>{0});
    EXPECT_EQ(f.files(), (QStringList{"accessory.png", "accessory.txt"}));
    const QImage picture(f.file("accessory.png"));
    EXPECT_EQ(readText(f.file("accessory.txt")),
              QStringLiteral("drops true footprints height h 0.0 size (%1.0, %2.0)")
                  .arg(picture.width())
                  .arg(picture.height()));
    // Stored as a user's clicks would store them, read back by a fresh settings object.
    DXFSettings reread;
    EXPECT_TRUE(reread.options().drops);
    EXPECT_EQ(reread.options().footprints, RigDXF::Options::Footprints::height);
    // Nothing later happens: no import, no steps.
    EXPECT_FALSE(f.store->importing());
    QTest::qWait(100);
    EXPECT_TRUE(f.selected.empty());
}

TEST(SnapshotRun, PublishingPictureWaitsForTheKeyring) {
    struct LateKeyring : SecretStore {
        void read(const QString&, std::function<void(std::optional<QString>)> done) override {
            QTimer::singleShot(100, [done] { done(QString("qvr_fromTheKeyring")); });
        }
        void write(const QString&, const QString&, std::function<void()> done) override { done(); }
    };
    RunFixture f;
    PublishSettings late(std::make_unique<LateKeyring>());
    f.runPublishing = &late;
    f.environment = {{"RIG_SETTINGS_SHOTS", ""}, {"RIG_STEPS", "|"}};
    SnapshotTiming timing = RunFixture::quick();
    timing.steps = 5s;
    auto run = f.run(timing);
    run->start();
    EXPECT_EQ(f.files(), (QStringList{"settings-general.png", "settings-motors.png"}));
    ASSERT_TRUE(waitFor([&] { return f.files().contains("settings-publishing.png"); }, 3000));
    EXPECT_TRUE(late.isKeyLoaded());
    EXPECT_TRUE(f.quits.empty());
}

TEST(SnapshotRun, AFailedImportOrAMissingFolderStillEndsTheRun) {
    RunFixture f;
    f.environment = {{"RIG_STEPS", "|"}, {"RIG_FILES", "/nowhere/report.pdf"}};
    auto run = f.run();
    run->start();
    ASSERT_TRUE(waitFor([&] { return !f.quits.empty(); }));
    EXPECT_EQ(f.files(), QStringList{"state.txt"});
    const QString state = readText(f.file("state.txt"));
    EXPECT_TRUE(state.startsWith("sources: 0\nerror: ") && state.contains("report.pdf"))
        << state.toStdString();

    RunFixture g;
    QMainWindow second;
    second.show();
    g.environment = {{"RIG_SNAPSHOT_TALL", ""}};
    const QString missing = g.file("missing");
    auto tall = g.run(RunFixture::quick(), missing);
    tall->start();
    ASSERT_TRUE(waitFor([&] { return !g.quits.empty(); }));
    EXPECT_EQ(g.selected, parseSnapshotSteps(std::nullopt));
    EXPECT_EQ(g.window.geometry(), QRect(0, 0, 1300, 2400));
    EXPECT_NE(second.size(), QSize(1300, 2400)) << "only the main window grows";
    EXPECT_FALSE(QFileInfo::exists(missing));
}

TEST(SnapshotRun, AWindowThatCannotBeDrawnLeavesTheFailureNote) {
    RunFixture f;
    f.environment = {{"RIG_STEPS", "crew|phone"}};
    auto run = f.run();
    // Never shown and of no size: it draws nothing, and is on no screen.
    QWidget nothing;
    nothing.resize(0, 0);
    f.captured = &nothing;
    run->captureMainWindow(f.file("empty.png"));
    EXPECT_FALSE(QFileInfo::exists(f.file("empty.png")));
    EXPECT_TRUE(readText(f.file("empty.png.txt")).startsWith("capture failed: "))
        << readText(f.file("empty.png.txt")).toStdString();

    // The run goes on after a failed capture.
    run->start();
    ASSERT_TRUE(waitFor([&] { return !f.quits.empty(); }));
    EXPECT_TRUE(QFileInfo::exists(f.file("shot1.png.txt")));
    EXPECT_TRUE(QFileInfo::exists(f.file("state.txt")));
}

TEST(SnapshotRun, EditsOfTheExportRun) {
    // A height that is not a plain finite number leaves the heights as they were.
    const std::pair<std::optional<QString>, std::optional<double>> cases[] = {
        {"12.5", 12.5}, {" 12.5", std::nullopt}, {"inf", std::nullopt}, {std::nullopt, std::nullopt}};
    for (const auto& [text, height] : cases) {
        testing::TempAppPaths paths;
        auto store = testing::makeStore();
        Project project = testing::showProject();
        project.groupRiggingHeights = TextMap<double>{{"Main", 3.0}, {"Other", 4.0}};
        store->setProject(project);
        applySnapshotEdits(
            *store, [&](const QString& name) { return name == "RIG_TEST_HEIGHT" ? text : std::nullopt; });
        EXPECT_EQ(store->project().riggingHeight, height);
        const auto& groups = store->project().groupRiggingHeights;
        if (height) {
            ASSERT_TRUE(groups);
            EXPECT_EQ(groups->size(), 1u);
            EXPECT_EQ(*groups->get("B-LAVA \u203A KARA"), 12.0);
        } else {
            EXPECT_EQ(groups, project.groupRiggingHeights);
        }
    }

    // The sample motor and Delta on the last point of exactly the named sources.
    testing::TempAppPaths paths;
    auto store = testing::makeStore();
    using fixtures::flownArray;
    store->setProject(fixtures::projectWith(
        {flownArray("L2 L", {"ALL", "MAIN"}, 4, 3), flownArray("KARA 10", {"B-LAVA", "KARA"}, 4, 2)}));
    applySnapshotEdits(*store, [](const QString& name) -> std::optional<QString> {
        if (name == "RIG_TEST_DELTA") return QString();
        return std::nullopt;
    });
    const Project& p = store->project();
    EXPECT_EQ(p.extras.size(), 1u);
    EXPECT_TRUE(p.extra("ALL/MAIN/L2 L", "Point 3").delta);
}

TEST(SnapshotRun, PublishCheckFailuresLeaveOnlyTheErrorLine) {
    testserver::PublishStandIn server(testing::standInKey);
    ASSERT_TRUE(server.start());
    const struct {
        QString key;
        std::optional<testserver::Fault> secondPublish;
        QString expected;
    } cases[] = {
        {"qvr_wrong", std::nullopt, "publish error: The server did not accept the publish key"},
        {testing::standInKey,
         [] {
             testserver::Fault f;
             f.status = 503;
             f.body = R"({"error":"Maintenance"})";
             f.skip = 1;
             f.times = 1;
             return f;
         }(),
         "publish error: Publishing failed: Maintenance"},
    };
    for (const auto& c : cases) {
        RunFixture f;
        f.store->setProject(testing::showProject());
        server.clearFaults();
        if (c.secondPublish) server.setFault(testserver::Route::Publish, *c.secondPublish);
        auto run = f.run();
        QSignalSpy finished(run.get(), &SnapshotRun::publishCheckFinished);
        run->runPublishSelfTest(server.baseUrl(), c.key, f.folder.path());
        EXPECT_TRUE(run->isPublishCheckRunning());
        ASSERT_TRUE(finished.wait(30000));
        EXPECT_FALSE(run->isPublishCheckRunning());
        const QString log = readText(f.file("publish.txt"));
        EXPECT_TRUE(log.startsWith(c.expected)) << log.toStdString();
        EXPECT_EQ(log.count('\n'), 1) << log.toStdString();
        EXPECT_TRUE(log.endsWith('\n'));
        // The check works on its own copy.
        EXPECT_FALSE(f.store->project().share);
    }
}

} // namespace
} // namespace rig::app
