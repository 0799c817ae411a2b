// The crew link as the project records it: what a publish sends and keeps, the changes since
// the last publish, the press that stores the link, and the re-send after hiding sources.
#include "shell/ProjectStore.h"

#include "analysis/CrewDoc.h"
#include "base/Json.h"
#include "export/PublishChanges.h"
#include "export/PublishClient.h"
#include "export/PublishSettings.h"
#include "shell/QtText.h"
#include "support/PublishTesting.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include "PublishStandIn.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using testing::publishFailure;
using testing::runTask;
using testing::standInKey;
using testing::waitFor;
using testserver::Fault;
using testserver::PublishStandIn;
using testserver::Route;
using Texts = std::vector<std::string>;

const std::string left = "ALL/Main/Main L";
const std::string right = "ALL/Main/Main R";

Project twoArrays() {
    Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 4),
                                       fixtures::flownArray("Main R", {"ALL", "Main"}, 4)});
    p.name = "Arena";
    return p;
}

// The project as a publish at this moment would record it.
Project published(Project p) {
    p.share =
        ShareInfo{"tok", "http://x/c/tok", fixtures::testDate(), publishFingerprints(p), {}, p.hiddenSources};
    return p;
}

PointExtra motor(const std::string& name, double kg = 58, unsigned seed = 1) {
    return PointExtra{fixtures::testMotor(name, kg, seed), false};
}

CrewDoc sentDoc(const testserver::RecordedRequest& r) {
    return CrewDoc::fromJson(parseJsonText(r.body.toStdString()).at("doc"), JsonPath());
}

std::set<std::string> sentSources(const testserver::RecordedRequest& r) {
    std::set<std::string> ids;
    for (const auto& s : sentDoc(r).sources) ids.insert(s.id);
    return ids;
}

std::optional<std::string> sentToken(const testserver::RecordedRequest& r) {
    const Json body = parseJsonText(r.body.toStdString());
    if (!body.contains("token")) return std::nullopt;
    return body["token"].get<std::string>();
}

Fault answering(int status, QByteArray body = {}, std::chrono::milliseconds delay = 0ms) {
    Fault f;
    if (status != 0) f.status = status;
    f.body = std::move(body);
    f.delay = delay;
    return f;
}

// --- Changes since the last publish --------------------------------------------------------------

TEST(PublishChanges, TheSummaryListsWhatChangedSinceThePublishPerSource) {
    Project p = twoArrays();
    p.report.sources.push_back(fixtures::flownArray("Gone", {"ALL", "Gone"}));
    EXPECT_TRUE(publishChangeSummary(p).empty()); // never published
    p.setExtra(left, "Front", motor("D8+"));
    p.setExtra(left, "Old", motor("D8+"));
    p.setExtra(right, "Front", PointExtra{fixtures::testMotor("D8+"), true});
    p.setHidden({left}, true); // hidden sources are compared too
    p = published(p);
    EXPECT_TRUE(publishChangeSummary(p).empty());

    p.report.sources.edit().pop_back(); // removed: no entry
    p.report.sources.push_back(fixtures::flownArray("Out", {"ALL", "Out"}));
    p.report.sources.mut(0).bumper = "K2-BUMP-2";
    p.extras = {}; // roles only in the published settings are compared against nothing
    for (const char* role : {"b", "Rear", "a"}) p.setExtra(left, role, motor("M"));
    p.setExtra(left, "Front", motor("D8+", 80, 2)); // the same name, another weight: no change
    p.setExtra(left, "Mid", PointExtra{std::nullopt, true});
    std::map<std::string, Texts> summary;
    for (const auto& [id, texts] : publishChangeSummary(p)) summary[id] = texts.vec();
    // The source's own differences first, then the points by role, a Delta before its motor.
    const std::map<std::string, Texts> expected = {
        {left,
         {"bumper K2-BUMP → K2-BUMP-2", "Mid Delta added", "Old motor → none", "Rear motor → M",
          "a motor → M", "b motor → M"}},
        {right, {"Front Delta removed", "Front motor → none"}},
        {"ALL/Out/Out", {"new source"}},
    };
    EXPECT_EQ(summary, expected);
}

TEST(PublishChanges, StaleOnlyWhenTheHiddenSetDiffersFromAPublishedOne) {
    struct Case {
        const char* name;
        std::optional<TextSet> published;
        std::function<void(Project&)> after;
        bool stale;
    };
    const std::vector<Case> cases = {
        {"nothing hidden", std::nullopt, {}, false},
        {"hide one", std::nullopt, [](Project& p) { p.setHidden({left}, true); }, true},
        {"absent is empty", TextSet{}, [](Project& p) { p.hiddenSources.reset(); }, false},
        {"show a hidden one", TextSet{left}, [](Project& p) { p.hiddenSources.reset(); }, true},
        {"same set", TextSet{left, right},
         [](Project& p) {
             p.setHidden({right, left}, true);
         },
         false},
        {"edited source", std::nullopt, [](Project& p) { p.report.sources.mut(0).site = 7.0; }, false},
        // An attached link has nothing published: no changes, never stale.
        {"attached link", std::nullopt, [](Project& p) { p.share->fingerprints = {}; }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project p = published(twoArrays());
        p.share->hidden = p.hiddenSources = c.published;
        if (c.after) c.after(p);
        if (p.share->fingerprints.empty()) {
            p.setHidden({left}, true);
            p.report.sources.mut(0).bumper.reset();
            EXPECT_TRUE(publishChangeSummary(p).empty());
        }
        EXPECT_EQ(isShareStale(p), c.stale);
    }
    Project never = twoArrays();
    never.setHidden({left}, true);
    EXPECT_FALSE(isShareStale(never));
}

TEST(PublishChanges, PublishedStateHasTheSourcesAndExtrasAsPublished) {
    Project p = twoArrays();
    p.setExtra(left, "Front", motor("D8+"));
    p = published(p);
    const Source publishedLeft = p.report.sources[0];
    p.report.sources.mut(0).enclosures.mut(3).angle = 9.5;                   // edited since
    p.report.sources.edit().erase(p.report.sources.edit().begin() + 1);      // removed since
    p.report.sources.push_back(fixtures::flownArray("Out", {"ALL", "Out"})); // added since
    p.setExtra(left, "Rear", motor("Lodestar", 50, 3));
    p.setHidden({left}, true);

    const Project state = publishedState(p);
    ASSERT_EQ(state.report.sources.size(), 1u);
    EXPECT_EQ(state.report.sources[0], publishedLeft);
    ASSERT_EQ(state.extras.size(), 1u);
    EXPECT_EQ(state.extras.get(left)->points.size(), 1u);
    EXPECT_EQ(state.hiddenSources, p.hiddenSources);

    // Two sources with one identifier: the later is the one recorded.
    Project twice =
        fixtures::projectWith({fixtures::flownArray("A", {"G"}, 4), fixtures::flownArray("A", {"G"}, 6)});
    EXPECT_EQ(publishFingerprints(twice).get("G/A")->source.enclosures.size(), 6u);
}

// --- The store's actions --------------------------------------------------------------------------

class StoreShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        settings = std::make_unique<PublishSettings>(std::make_unique<MemorySecretStore>());
        settings->setServer(server.baseUrl());
        settings->setKey(standInKey);
        store = testing::makeStore();
        store->setPublishing(settings.get(), &client);
        store->setDownloadUploader([this](Project project, QString token) -> QCoro::Task<void> {
            uploads.push_back({std::move(project), token});
            if (uploadFailure) throw *uploadFailure;
            co_return;
        });
    }

    QString file(const QString& name) const { return QDir(files.path()).filePath(name); }

    // The store holding `project` in its own file, saved and clean.
    void openSaved(const Project& project, const QString& name = "show.qvrig") {
        store->setProject(project);
        ASSERT_TRUE(store->writeProject(file(name)));
        store->openProject(file(name), false);
        ASSERT_FALSE(store->isDirty());
    }

    Project savedFile(const QString& name = "show.qvrig") const {
        return Project::fromText(testing::readText(file(name)).toStdString());
    }

    // Publishes the open project the way the toolbar button does.
    std::optional<QString> press() { return runTask(store->publishOpenProject()); }

    QList<testserver::RecordedRequest> publishes() const { return server.requests(Route::Publish); }

    testing::TempAppPaths paths;
    QTemporaryDir files;
    PublishStandIn server{standInKey};
    PublishClient client;
    std::unique_ptr<PublishSettings> settings;
    std::unique_ptr<ProjectStore> store;
    std::vector<std::pair<Project, QString>> uploads;
    std::optional<PublishError> uploadFailure;
};

TEST_F(StoreShareTest, PublishRecordsEverySourceSendsTheVisibleOnesAndUpdatesWithTheChanges) {
    // A keyring that answers late, as the real one does at the first use of the settings.
    struct SlowKeyring final : SecretStore {
        void read(const QString&, std::function<void(std::optional<QString>)> done) override {
            QTimer::singleShot(100, [done] { done(standInKey); });
        }
        void write(const QString&, const QString&, std::function<void()> done) override { done(); }
    };
    PublishSettings late(std::make_unique<SlowKeyring>());
    late.setServer(server.baseUrl());
    store->setPublishing(&late, &client);
    ASSERT_FALSE(late.isKeyLoaded()); // the publish waits for it

    Project p = twoArrays();
    p.setExtra(left, "Front", PointExtra{fixtures::testMotor("D8+"), true});
    p.setHidden({right}, true);
    p.share = runTask(store->publish(p));
    ASSERT_EQ(publishes().size(), 1);
    EXPECT_EQ(sentToken(publishes()[0]), std::nullopt);
    EXPECT_EQ(sentSources(publishes()[0]), std::set<std::string>{left});
    EXPECT_EQ(toQ(p.share->url), server.baseUrl() + "/c/" + server.tokens()[0]);
    EXPECT_EQ(p.share->fingerprints, publishFingerprints(p)); // hidden sources included
    EXPECT_TRUE(p.share->changes.empty());
    EXPECT_EQ(p.share->hidden, p.hiddenSources);
    EXPECT_LE(std::chrono::abs(p.share->publishedAt - nowSeconds()), 5s);

    p.setHidden({right}, false);
    p.report.sources.mut(1).bumper = "K2-BUMP-2";
    const ShareInfo again = runTask(store->publishProject(p, "  " + server.baseUrl() + "/", standInKey));
    EXPECT_EQ(sentToken(publishes()[1]), p.share->token);
    EXPECT_EQ(again.token, p.share->token);
    const Texts change = {"bumper K2-BUMP → K2-BUMP-2"};
    EXPECT_EQ(again.changes, (TextMap<List<std::string>>{{right, List<std::string>(change)}}));
    const CrewDoc doc = sentDoc(publishes()[1]);
    ASSERT_EQ(doc.sources.size(), 2u);
    EXPECT_FALSE(doc.sources[0].changed.has_value());
    EXPECT_EQ(doc.sources[1].changed, change);
}

TEST_F(StoreShareTest, ResendSendsThePublishedStateUnderTheCurrentHiddenSetAndNeedsARecord) {
    Project p = twoArrays();
    // An attached link has nothing published: sending would empty the crew view.
    for (const auto& share :
         {std::optional<ShareInfo>(),
          std::optional(ShareInfo{"tok", "http://x/c/tok", fixtures::testDate(), {}, {}, {}})}) {
        p.share = share;
        const auto e = publishFailure(store->resendProject(p));
        ASSERT_TRUE(e);
        EXPECT_EQ(e->message(), "Not published yet.");
    }
    EXPECT_EQ(server.connectionCount(), 0);

    p.share.reset();
    p.share = runTask(store->publish(p));
    p.share->changes = TextMap<List<std::string>>{{left, List<std::string>{"site -3.5° → -4°"}}};
    const double publishedAngle = *p.report.sources[0].enclosures[2].angle;
    p.report.sources.mut(0).enclosures.mut(2).angle = 9.0;
    p.setHidden({right}, true);
    // The server answering with another link changes nothing of the record.
    server.setFault(Route::Publish, answering(200, R"({"token":"other","url":"http://elsewhere/c/other"})"));
    const ShareInfo share = runTask(store->resendProject(p));

    const CrewDoc doc = sentDoc(publishes().last());
    EXPECT_EQ(sentToken(publishes().last()), p.share->token);
    ASSERT_EQ(doc.sources.size(), 1u);
    EXPECT_EQ(doc.sources[0].enc[2].a, publishedAngle);
    EXPECT_EQ(doc.sources[0].changed, std::vector<std::string>{"site -3.5° → -4°"});
    ShareInfo expected = *p.share;
    expected.hidden = p.hiddenSources;
    EXPECT_EQ(share, expected);
}

// --- The publish button's press -----------------------------------------------------------------

TEST_F(StoreShareTest, APressStoresTheLinkBesideEditsMadeMeanwhileAndAFailedOneChangesNothing) {
    openSaved(twoArrays());
    Project edited = store->project();
    edited.name = "Edited";
    store->setProject(edited);
    server.setFault(Route::Publish, answering(500, R"({"error":"Disk full"})"));
    EXPECT_FALSE(press());
    EXPECT_EQ(store->errorMessage(), "Publishing failed: Disk full");
    EXPECT_EQ(store->project(), edited); // no record stored
    EXPECT_TRUE(store->isDirty());       // nor saved
    EXPECT_TRUE(uploads.empty());

    server.setFault(Route::Publish, answering(0, {}, 1s));
    uploadFailure = PublishError::server(publishText::uploadFailed("crew-sheets.pdf", 413));
    auto task = store->publishOpenProject();
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 2; }));
    edited.name = "Renamed while sending";
    store->setProject(edited);
    const std::optional<QString> link = runTask(std::move(task));
    ASSERT_TRUE(link);
    EXPECT_EQ(sentDoc(publishes()[1]).name, "Edited"); // the state at the press was sent
    EXPECT_EQ(store->project().name, "Renamed while sending");
    ASSERT_TRUE(store->project().share);
    EXPECT_EQ(toQ(store->project().share->url), *link);
    // A failed upload is reported; the link is still kept, saved and given.
    EXPECT_EQ(store->errorMessage(), "The crew link is updated, but the download files were not: Upload of "
                                     "crew-sheets.pdf failed (HTTP 413).");
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(savedFile(), store->project());
    // The files are made from the project with its new record (the riggers' link).
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].first, store->project());
    EXPECT_EQ(uploads[0].second, toQ(store->project().share->token));
}

// --- Visibility re-send ------------------------------------------------------------------------------

class VisibilityTest : public StoreShareTest {
protected:
    // A published, saved project.
    void SetUp() override {
        StoreShareTest::SetUp();
        openSaved(twoArrays());
        ASSERT_TRUE(press());
        server.clearRequests();
    }

    void hide(const std::vector<std::string>& ids, bool hidden = true) {
        Project p = store->project();
        p.setHidden(ids, hidden);
        store->setProject(p);
        store->scheduleVisibilityUpdate();
    }

    bool idle() const { return !store->isVisibilityUpdateScheduled() && !store->isSendingVisibility(); }

    // What the store shows at the moment each send ends: its result is in place already.
    std::vector<std::pair<std::optional<TextSet>, std::optional<QString>>> sendEnds;
    void watchSendEnds() {
        QObject::connect(store.get(), &ProjectStore::sendingVisibilityChanged, [this] {
            if (!store->isSendingVisibility())
                sendEnds.emplace_back(store->project().share->hidden, store->visibilityError());
        });
    }
};

TEST_F(VisibilityTest, UnpublishedProjectsAndAttachedLinksAreNeverResent) {
    Project attached = store->project();
    attached.share->fingerprints = {};
    for (const Project& p : {twoArrays(), attached}) {
        store->setProject(p);
        hide({left});
        EXPECT_FALSE(store->isVisibilityUpdateScheduled());
        runTask(store->sendVisibilityUpdate());
        EXPECT_FALSE(store->visibilityError());
    }
    EXPECT_TRUE(publishes().isEmpty());
}

TEST_F(VisibilityTest, AHiddenSourceIsSentRecordedAndSavedOnceTheServerTakesIt) {
    hide({left});
    hide({left}, false);
    EXPECT_TRUE(idle()); // shown again within the wait: nothing left to send

    server.setFault(Route::Publish, answering(500));
    store->setDelays({10s, 20ms, 20ms}); // no autosave in between
    watchSendEnds();
    hide({left});
    ASSERT_TRUE(waitFor([&] { return store->visibilityError().has_value() && idle(); }));
    ASSERT_EQ(sendEnds.size(), 1u);
    EXPECT_EQ(sendEnds[0].second, "Publishing failed: HTTP 500");
    EXPECT_FALSE(store->project().share->hidden); // not recorded
    EXPECT_TRUE(isShareStale(store->project()));
    EXPECT_TRUE(store->isDirty()); // the hiding itself, not saved by the re-send

    server.clearFaults();
    runTask(store->sendVisibilityUpdate()); // "Send Now"
    ASSERT_EQ(sendEnds.size(), 2u);
    EXPECT_EQ(sendEnds[1], std::pair(std::optional(TextSet{left}), std::optional<QString>()));
    EXPECT_EQ(sentSources(publishes().last()), std::set<std::string>{right});
    EXPECT_FALSE(isShareStale(store->project()));
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(savedFile().share->hidden, TextSet{left});
}

TEST_F(VisibilityTest, AChangeDuringASendIsSentAfterItWithoutAnError) {
    server.setFault(Route::Publish, answering(0, {}, 300ms));
    QSignalSpy errors(store.get(), &ProjectStore::visibilityErrorChanged);
    int answeredWhenSecondArrived = -1;
    QObject::connect(&server, &PublishStandIn::requestReceived, [&] {
        if (publishes().size() == 2) answeredWhenSecondArrived = server.answeredCount();
    });
    hide({left});
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 1; }));
    hide({right}); // while the first request is in flight
    auto sendNow = store->sendVisibilityUpdate();
    runTask(std::move(sendNow));
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    ASSERT_EQ(publishes().size(), 2);
    EXPECT_EQ(answeredWhenSecondArrived, 2); // nothing abandoned: SetUp's publish and the first send
    EXPECT_EQ(sentSources(publishes()[0]), std::set<std::string>{right});
    EXPECT_EQ(sentSources(publishes()[1]), std::set<std::string>{});
    EXPECT_EQ(errors.count(), 0);
    EXPECT_EQ(savedFile().share->hidden, (TextSet{left, right}));
}

TEST_F(VisibilityTest, AnotherProjectOpenedDuringASendIsLeftAlone) {
    Project other = fixtures::projectWith({fixtures::flownArray("Other", {"ALL", "B"}, 4)});
    store->setProject(other);
    ASSERT_TRUE(store->writeProject(file("other.qvrig")));
    store->openProject(file("show.qvrig"), false);
    server.setFault(Route::Publish, answering(500, {}, 1s));
    hide({left});
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 1; }));
    store->openProject(file("other.qvrig"), false);
    ASSERT_TRUE(waitFor([&] { return idle() && server.answeredCount() == 2; }));
    EXPECT_FALSE(store->visibilityError());
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(store->project(), other);
}

} // namespace
} // namespace rig::app
