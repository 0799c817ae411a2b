// The snapshot mode without a browser: its failures and bad input. The whole pass with exports
// runs in the end-to-end test.
#include "CrewLink.h"
#include "DXFSettings.h"
#include "ExportCommands.h"
#include "ImportController.h"
#include "MotorLibrary.h"
#include "PdfPrinter.h"
#include "ProjectStore.h"
#include "PublishClient.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "Reveal.h"
#include "SnapshotDirectory.h"
#include "SnapshotRun.h"
#include "WebLinks.h"
#include "WindowState.h"
#include "support/AppTesting.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"
#include "support/SampleShow.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include "PublishStandIn.h"

#include <QDir>
#include <QFileInfo>
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

QString absolute(const QString& path) {
    return QFileInfo(path).absoluteFilePath();
}

TEST(SnapshotTexts, StepsAndFilesFromTheEnvironment) {
    const struct {
        std::optional<QString> value;
        SnapshotSteps steps;
    } stepCases[] = {
        {"overview|crew||phone", {std::nullopt, "crew", "phone"}},
        {"Overview", {"Overview"}},
        {"|", {}},
        {"", {}},
        {"full|ALL/MAIN/L2 L|overview |B-LAVA/KARA/KARA 1",
         {"full", "ALL/MAIN/L2 L", "overview ", "B-LAVA/KARA/KARA 1"}},
        {std::nullopt, {std::nullopt, "ALL/MAIN/L2 L", "B-LAVA/KARA/KARA 3", "ALL/GR SUB/CS 1"}},
    };
    for (const auto& c : stepCases)
        EXPECT_EQ(parseSnapshotSteps(c.value), c.steps) << c.value.value_or("absent").toStdString();

    const struct {
        QString value;
        QList<QUrl> files;
    } fileCases[] = {
        {"a.pdf::b.csv", {QUrl::fromLocalFile(absolute("a.pdf")), QUrl::fromLocalFile(absolute("b.csv"))}},
        {"", {}},
        {":::", {}},
        {"/show/r é.pdf:/show/s.dxf:",
         {QUrl::fromLocalFile("/show/r é.pdf"), QUrl::fromLocalFile("/show/s.dxf")}},
        {"/show/a|b.csv", {QUrl::fromLocalFile("/show/a|b.csv")}},
    };
    for (const auto& c : fileCases) EXPECT_EQ(parseSnapshotFiles(c.value), c.files) << c.value.toStdString();

    // A step names a source by its identifier: the group path as the report gives it and the
    // name, joined by "/". The default steps and the README's examples name sources of the
    // sample show; "ALL/" belongs only to groups the report begins with "ALL".
    const Project sample = fixtures::projectOf(test::sampleShow().expected.sources.vec());
    const std::pair<QString, std::optional<QString>> named[] = {
        {"ALL/MAIN/L2 L", "L2 L"},
        {"B-LAVA/KARA/KARA 1", "KARA 1"},
        {"ALL/B-LAVA/KARA/KARA 1", std::nullopt},
        {"MAIN/L2 L", std::nullopt},
    };
    for (const auto& [step, name] : named) {
        const auto index = detailSource(sample, Selection::source(toStd(step)));
        EXPECT_EQ(index ? std::optional(toQ(sample.report.sources[*index].name)) : std::nullopt, name)
            << step.toStdString();
    }
    for (const SnapshotStep& step : defaultSnapshotSteps())
        EXPECT_TRUE(!step || detailSource(sample, Selection::source(toStd(*step)))) << step->toStdString();
}

TEST(SnapshotTexts, NumbersLinesAndBadValues) {
    const std::pair<double, const char*> numbers[] = {
        {0, "0.0"},      {12.5, "12.5"},  {420, "420.0"},
        {-3, "-3.0"},    {0.1, "0.1"},    {100000, "100000.0"},
        {1e16, "1e+16"}, {1e-5, "1e-05"}, {183.33333333333334, "183.33333333333334"},
    };
    for (const auto& [value, text] : numbers) EXPECT_EQ(snapshotNumberText(value), text) << text;
    RigDXF::Options options;
    options.drops = true;
    options.footprints = RigDXF::Options::Footprints::height;
    options.footprintHeight = 2.5;
    EXPECT_EQ(accessoryText(options, QSizeF(412, 187)),
              "drops true footprints height h 2.5 size (412.0, 187.0)");
    EXPECT_EQ(accessoryText(RigDXF::Options(), QSizeF(0, 0)),
              "drops false footprints hook h 0.0 size (0.0, 0.0)");

    const std::pair<QString, std::optional<double>> heights[] = {
        {"12.5", 12.5},          {"1e1", 10.0},           {"-0.5", -0.5},
        {" 12.5", std::nullopt}, {"12.5 ", std::nullopt}, {"twelve", std::nullopt},
        {"12,5", std::nullopt},  {"", std::nullopt},      {"inf", std::nullopt},
        {"nan", std::nullopt},   {"1e999", std::nullopt}};
    for (const auto& [text, height] : heights) EXPECT_EQ(parseTestHeight(text), height) << text.toStdString();

    EXPECT_EQ(changeMapDebugText({}), "[:]");
    ChangeMap changes;
    changes.set("B/\"q\"", List<std::string>(std::vector<std::string>{"a\\b\nc\t\x01"}));
    changes.set("C", List<std::string>());
    EXPECT_EQ(changeMapDebugText(changes), "[\"B/\\\"q\\\"\": [\"a\\\\b\\nc\\t\\u{1}\"], \"C\": []]");
    const std::pair<QString, QString> answers[] = {
        {R"({"sources":[{"name":"CS 1"},{"name":"CS 2"},{"name":"CSX"}],"m":"Test 1t"})",
         "after visibility: CS sources=2 leakedMotor=false keptTestMotor=true"},
        {"", "after visibility: CS sources=0 leakedMotor=false keptTestMotor=false"},
        {R"({"name": "CS 1","m":"NOT PUBLISHED"})",
         "after visibility: CS sources=0 leakedMotor=true keptTestMotor=false"},
    };
    for (const auto& [answer, line] : answers) EXPECT_EQ(visibilityResultLine(answer), line);
    EXPECT_EQ(snapshotStateText(7, std::nullopt), "sources: 7\nerror: -\n");
    EXPECT_EQ(snapshotStateText(0, QString("PDF export failed.")), "sources: 0\nerror: PDF export failed.\n");

    // The link document is fetched from the server the publish reached, with the token as given.
    const std::tuple<QString, QString, std::optional<QString>> fetches[] = {
        {"http://127.0.0.1:8080", "tok", "http://127.0.0.1:8080/api/rig/tok"},
        {"http://127.0.0.1:8080/", "tok", "http://127.0.0.1:8080/api/rig/tok"},
        {" http://127.0.0.1:8080// \t", "tok", "http://127.0.0.1:8080/api/rig/tok"},
        {"127.0.0.1:8080", "tok", std::nullopt},
        {"ftp://host", "tok", std::nullopt},
        {"http://h", "..", std::nullopt},
    };
    for (const auto& [server, token, url] : fetches) {
        const auto fetched = linkDocumentUrl(server, token);
        EXPECT_EQ(fetched ? std::optional(fetched->toString()) : std::nullopt, url) << server.toStdString();
    }
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
    testing::NoReveal reveal;
    PdfPrinter printer;
    ExportCommands exports{*store, dxf, printer, reveal};
    std::map<QString, QString> environment;
    std::vector<int> quits;
    QMainWindow window;
    QWidget* captured = &window;

    RunFixture() {
        window.resize(640, 400);
        window.show();
        store->crewLink().setPublishing(&publishing, &client);
    }

    std::unique_ptr<SnapshotRun> run(SnapshotTiming timing = quick(), std::optional<QString> into = {}) {
        SnapshotRun::Parts parts;
        parts.store = store.get();
        parts.motors = &motors;
        parts.dxf = &dxf;
        parts.publishing = runPublishing;
        parts.client = &client;
        parts.printer = &printer;
        parts.exports = &exports;
        parts.environment = [this](const QString& name) {
            const auto found = environment.find(name);
            return found == environment.end() ? std::nullopt : std::optional(found->second);
        };
        parts.mainWindow = [this] { return captured; };
        parts.overviewPage = [] { return new QLabel("Overview"); };
        parts.select = [](const SnapshotStep&) {};
        parts.quit = [this](int code) { quits.push_back(code); };
        parts.timing = timing;
        return std::make_unique<SnapshotRun>(into.value_or(folder.path()), std::move(parts));
    }

    static SnapshotTiming quick() { return {20ms, 10min, 30ms, 20ms}; } // no exports: they need a browser

    QString file(const QString& name) const { return folder.filePath(name); }
    QStringList files() const { return QDir(folder.path()).entryList(QDir::Files, QDir::Name); }
};

// Every run ends with its notes, never a hang: a check that stores options, an import that
// fails, a missing folder, a window that cannot be drawn; a keyring answering late is waited for.
TEST(SnapshotRun, EveryRunEndsWithItsNotes) {
    struct LateKeyring : SecretStore {
        void read(const QString&, ReadDone done) override {
            QTimer::singleShot(100, [done] { done({QString("qvr_fromTheKeyring")}); });
        }
        void write(const QString&, const QString&, WriteDone done) override { done(std::nullopt); }
    };
    enum class Special { none, missingFolder, undrawable, lateKeyring, exportsAtOnce };
    const struct {
        std::map<QString, QString> environment;
        Special special;
        QStringList files;
        QString state; // in state.txt
    } cases[] = {
        // clang-format off
        {{{"RIG_TEST_ACCESSORY", ""}, {"RIG_FILES", "/nowhere/x.pdf"}, {"RIG_STEPS", "crew"}},
         Special::none, {"accessory.png", "accessory.txt"}, {}},
        {{{"RIG_STEPS", "|"}, {"RIG_FILES", "/nowhere/report.pdf"}}, Special::none, {"state.txt"}, "report.pdf"},
        {{{"RIG_SNAPSHOT_TALL", ""}}, Special::missingFolder, {}, {}},
        {{{"RIG_STEPS", "crew|phone"}}, Special::undrawable, {"shot0.png.txt", "shot1.png.txt", "state.txt"},
         "sources: 0\nerror: -"},
        {{{"RIG_SETTINGS_SHOTS", ""}, {"RIG_STEPS", "|"}}, Special::lateKeyring,
         {"settings-general.png", "settings-motors.png"}, {}},
        // An empty folder is none: nothing is exported (into "/").
        {{{"RIG_EXPORT", ""}, {"RIG_TEST_HEIGHT", "14"}, {"RIG_STEPS", "|"}}, Special::exportsAtOnce,
         {"state.txt"}, {}},
        // clang-format on
    };
    for (const auto& c : cases) {
        RunFixture f;
        f.environment = c.environment;
        PublishSettings late(std::make_unique<LateKeyring>());
        SnapshotTiming timing = RunFixture::quick();
        QWidget nothing; // never shown and of no size: draws nothing, on no screen
        nothing.resize(0, 0);
        if (c.special == Special::undrawable) f.captured = &nothing;
        if (c.special == Special::exportsAtOnce) timing.exports = 0ms;
        if (c.special == Special::lateKeyring) {
            f.runPublishing = &late;
            timing.steps = 10min; // the run goes on past the check
        }
        const QString missing = f.file("missing");
        auto run = f.run(timing, c.special == Special::missingFolder ? std::optional(missing) : std::nullopt);
        run->start();
        if (c.special == Special::lateKeyring) {
            EXPECT_EQ(f.files(), c.files);
            ASSERT_TRUE(waitFor([&] { return f.files().contains("settings-publishing.png"); }));
            EXPECT_TRUE(late.isKeyLoaded());
            EXPECT_TRUE(f.quits.empty());
            continue;
        }
        ASSERT_TRUE(waitFor([&] { return !f.quits.empty(); }));
        EXPECT_EQ(f.quits, std::vector<int>{0});
        EXPECT_EQ(f.files(), c.files);
        EXPECT_TRUE(readText(f.file("state.txt")).contains(c.state))
            << readText(f.file("state.txt")).toStdString();
        if (c.files.contains("accessory.txt")) {
            EXPECT_TRUE(DXFSettings().options().drops) << "stored as a user's clicks would store it";
            EXPECT_FALSE(f.store->importer().importing()) << "nothing after the check";
        }
        EXPECT_FALSE(QFileInfo::exists(missing));
        EXPECT_FALSE(f.store->project().riggingHeight) << "no export run";
        if (c.special == Special::undrawable) {
            EXPECT_TRUE(readText(f.file("shot0.png.txt")).startsWith("capture failed: "));
        }
    }
}

TEST(SnapshotRun, EditsOfTheExportRun) {
    testing::TempAppPaths paths;
    auto store = testing::makeStore();
    using fixtures::flownArray;
    Project project = fixtures::projectWith(
        {flownArray("L2 L", {"ALL", "MAIN"}, 4, 3), flownArray("KARA 10", {"B-LAVA", "KARA"}, 4, 2)});
    project.groupRiggingHeights = TextMap<double>{{"Main", 3.0}, {"Other", 4.0}};
    store->setProject(project);
    applySnapshotEdits(*store, [](const QString& name) -> std::optional<QString> {
        if (name == "RIG_TEST_DELTA") return QString();
        if (name == "RIG_TEST_HEIGHT") return QString("12.5");
        return std::nullopt;
    });
    const Project& p = store->project();
    EXPECT_EQ(p.riggingHeight, 12.5);
    ASSERT_TRUE(p.groupRiggingHeights);
    EXPECT_EQ(p.groupRiggingHeights->size(), 1u);
    EXPECT_EQ(*p.groupRiggingHeights->get("B-LAVA \u203A KARA"), 12.0);
    // Delta on the last point of exactly the named sources.
    EXPECT_EQ(p.extras.size(), 1u);
    EXPECT_TRUE(p.extra("ALL/MAIN/L2 L", "Point 3").delta);
}

// The mode hands nothing to other programs while it runs (no file manager for a written PDF, no
// browser, no mail program); they are back once the run is gone. It starts for any path named
// (one that does not exist gets no files, the run still ends); an empty value is none.
TEST(SnapshotRun, OpensNothingInOtherProgramsAndStartsForAnyPath) {
    std::vector<QUrl> opened;
    const LinkOpener previous = setLinkOpener([&](const QUrl& url) { opened.push_back(url); });
    DesktopReveal files(QDBusConnection(QStringLiteral("no bus")),
                        [&](const QUrl& u) { opened.push_back(u); });
    const auto openEach = [&] {
        files.reveal(QStringLiteral("/tmp/rigger.pdf"));
        openWebLink(QStringLiteral("https://example.com/c/qzvx"));
        openMailDraft(QStringLiteral("Show"), QStringLiteral("Link"));
    };
    {
        RunFixture f;
        f.environment = {{"RIG_STEPS", "|"}};
        const auto run = f.run();
        run->start();
        openEach();
        EXPECT_TRUE(opened.empty());
    }
    openEach();
    EXPECT_EQ(opened.size(), 3u);
    setLinkOpener(previous);
    for (const char* value : {"", "/nowhere/shots"}) {
        qputenv("RIG_SNAPSHOT", value);
        EXPECT_EQ(snapshotDirectory(), *value ? std::optional<QString>(value) : std::nullopt);
    }
    qunsetenv("RIG_SNAPSHOT");
}

// A second publish refused after the first went through: the error alone, on the check's own copy.
TEST(SnapshotRun, APublishCheckFailureLeavesOnlyTheErrorLine) {
    testserver::PublishStandIn server(testing::standInKey);
    ASSERT_TRUE(server.start());
    testserver::Fault refused;
    refused.status = 503;
    refused.body = R"({"error":"Maintenance"})";
    refused.skip = 1;
    refused.times = 1;
    server.setFault(testserver::Route::Publish, refused);
    RunFixture f;
    f.store->setProject(testing::showProject());
    auto run = f.run();
    QSignalSpy finished(run.get(), &SnapshotRun::publishCheckFinished);
    run->runPublishSelfTest(server.baseUrl(), testing::standInKey, f.folder.path());
    EXPECT_TRUE(run->isPublishCheckRunning());
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_FALSE(run->isPublishCheckRunning());
    EXPECT_EQ(readText(f.file("publish.txt")), "publish error: Publishing failed: Maintenance\n");
    EXPECT_FALSE(f.store->project().share);
}

} // namespace
} // namespace rig::app
