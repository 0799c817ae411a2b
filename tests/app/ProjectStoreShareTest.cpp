// The crew link as the project records it: what a publish sends and keeps, the changes since
// the last publish, the press that stores the link, and the re-send after hiding sources.
#include "CrewLink.h"
#include "PublishChanges.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "analysis/CrewDoc.h"
#include "base/Json.h"
#include "support/PublishTesting.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using testserver::Route;
using Texts = std::vector<std::string>;

const std::string left = "ALL/Main/Main L";
const std::string right = "ALL/Main/Main R";

Project twoArrays() {
    return fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 4),
                                  fixtures::flownArray("Main R", {"ALL", "Main"}, 4)});
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

TEST(PublishChanges, TheSummaryAndStalenessCompareWithTheRecord) {
    Project p = twoArrays();
    EXPECT_TRUE(publishChangeSummary(p).empty()); // never published
    p.setExtra(left, "Front", motor("D8+"));
    p.setExtra(left, "Old", motor("D8+"));
    p.setExtra(right, "Front", PointExtra{fixtures::testMotor("D8+"), true});
    p = published(p);
    EXPECT_TRUE(publishChangeSummary(p).empty());

    p.report.sources.push_back(fixtures::flownArray("Out", {"ALL", "Out"}));
    p.report.sources.mut(0).bumper = "K2-BUMP-2";
    p.extras = {}; // roles only in the published settings are compared against nothing
    p.setExtra(left, "Rear", motor("M"));
    p.setExtra(left, "Front", motor("D8+", 80, 2)); // the same name, another weight: no change
    p.setExtra(left, "Mid", PointExtra{std::nullopt, true});
    const ChangeMap summary = publishChangeSummary(p);
    EXPECT_EQ(summary.size(), 3u);
    EXPECT_EQ(summary.get(left)->vec(),
              (Texts{"bumper K2-BUMP → K2-BUMP-2", "Mid Delta added", "Old motor → none", "Rear motor → M"}));
    EXPECT_EQ(summary.get(right)->vec(), (Texts{"Front Delta removed", "Front motor → none"}));
    EXPECT_EQ(summary.get("ALL/Out/Out")->vec(), Texts{"new source"});

    // Stale: the hidden set differs from the published one; an attached link never is.
    p = published(twoArrays());
    p.setHidden({left}, true);
    EXPECT_TRUE(isShareStale(p));
    p.share->hidden = p.hiddenSources;
    EXPECT_FALSE(isShareStale(p));
    p.share->fingerprints = {};
    p.hiddenSources.reset();
    EXPECT_FALSE(isShareStale(p));
    EXPECT_TRUE(publishChangeSummary(p).empty());
}

class StoreShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        // The key arrives late, as from the real keyring at the first use of the settings.
        QTimer::singleShot(100, [this] { keyring.pendingRead({standInKey}); });
        settings.setServer(server.baseUrl());
        store->crewLink().setPublishing(&settings, &client);
        store->crewLink().setDownloadUploader([this](Project project, QString token) -> QCoro::Task<void> {
            uploads.push_back({std::move(project), token});
            if (uploadFailure) throw *uploadFailure;
            co_return;
        });
    }

    void openSaved(const Project& project, const QString& name = "show.qvrig") {
        store->setProject(project);
        ASSERT_TRUE(store->writeProject(paths.file(name)));
        store->openProject(paths.file(name), false);
    }
    Project savedFile() const { return Project::fromText(readText(paths.file("show.qvrig")).toStdString()); }
    QList<testserver::RecordedRequest> publishes() const { return server.requests(Route::Publish); }
    void hide(const std::string& id, bool hidden = true) {
        Project p = store->project();
        p.setHidden({id}, hidden);
        store->setProject(p);
        store->crewLink().scheduleVisibilityUpdate();
    }
    bool idle() const {
        return !store->crewLink().isVisibilityUpdateScheduled() && !store->crewLink().isSendingVisibility();
    }

    TempAppPaths paths;
    testserver::PublishStandIn server{standInKey};
    PublishClient client;
    DeferredSecretStore& keyring = *new DeferredSecretStore; // owned by the settings
    PublishSettings settings{std::unique_ptr<SecretStore>(&keyring)};
    std::unique_ptr<ProjectStore> store = makeStore();
    std::vector<std::pair<Project, QString>> uploads;
    std::optional<PublishError> uploadFailure;
};

TEST_F(StoreShareTest, PublishSendsTheVisibleSourcesRecordsAllAndAResendSendsThatRecord) {
    Project p = twoArrays();
    // An attached link has nothing published: a re-send would empty the crew view.
    p.share = ShareInfo{"tok", "http://x/c/tok", fixtures::testDate(), {}, {}, {}};
    const auto e = publishFailure(store->crewLink().resendProject(p));
    EXPECT_EQ(e ? e->message() : "", "Not published yet.");
    EXPECT_EQ(server.connectionCount(), 0);

    p.share.reset();
    p.setHidden({right}, true);
    p.share = runTask(store->crewLink().publish(p));
    ASSERT_EQ(sentDoc(publishes()[0]).sources.size(), 1u);
    EXPECT_EQ(sentDoc(publishes()[0]).sources[0].id, left);
    EXPECT_EQ(p.share->fingerprints, publishFingerprints(p)); // hidden sources included
    EXPECT_EQ(p.share->hidden, p.hiddenSources);

    p.setHidden({right}, false);
    p.report.sources.mut(1).bumper = "K2-BUMP-2";
    p.share = runTask(store->crewLink().publishProject(p, "  " + server.baseUrl() + "/", standInKey));
    EXPECT_EQ(server.tokens().size(), 1); // the link is updated
    const Texts change = {"bumper K2-BUMP → K2-BUMP-2"};
    EXPECT_EQ(p.share->changes, (TextMap<List<std::string>>{{right, List<std::string>(change)}}));
    EXPECT_EQ(sentDoc(publishes()[1]).sources.at(1).changed, change);

    // A re-send: the published state under the current hidden set, whatever the server answers.
    const double publishedAngle = *p.report.sources[1].enclosures[2].angle;
    p.report.sources.mut(1).enclosures.mut(2).angle = 9.0;
    p.setHidden({left}, true);
    server.setFault(Route::Publish, answering(200, R"({"token":"other","url":"http://elsewhere/c/other"})"));
    const ShareInfo share = runTask(store->crewLink().resendProject(p));
    EXPECT_TRUE(publishes().last().body.contains(("\"token\":\"" + p.share->token + "\"").c_str()));
    const CrewDoc doc = sentDoc(publishes().last());
    ASSERT_EQ(doc.sources.size(), 1u);
    EXPECT_EQ(doc.sources[0].enc[2].a, publishedAngle);
    EXPECT_EQ(doc.sources[0].changed, change);
    ShareInfo expected = *p.share;
    expected.hidden = p.hiddenSources;
    EXPECT_EQ(share, expected);
}

TEST_F(StoreShareTest, APressKeepsEditsMadeMeanwhileAndHidingSavesOnlyWhatTheServerTook) {
    store->setDelays({1h, 20ms, 20ms}); // no autosave in between
    openSaved(twoArrays());
    Project edited = store->project();
    edited.name = "Edited";
    store->setProject(edited);
    server.setFault(Route::Publish, answering(500, R"({"error":"Disk full"})"));
    EXPECT_FALSE(runTask(store->crewLink().publishOpenProject()));
    EXPECT_EQ(store->project(), edited); // no record stored
    EXPECT_TRUE(store->isDirty());       // nor saved

    server.setFault(Route::Publish, answering(std::nullopt, {}, 1s));
    uploadFailure = PublishError::server(publishText::uploadFailed("crew-sheets.pdf", 413));
    auto task = store->crewLink().publishOpenProject();
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 2; }));
    edited.name = "Renamed while sending";
    store->setProject(edited);
    const std::optional<QString> link = runTask(std::move(task));
    ASSERT_TRUE(link);
    EXPECT_EQ(sentDoc(publishes()[1]).name, "Edited"); // the state at the press was sent
    EXPECT_EQ(store->project().name, "Renamed while sending");
    // A failed upload is reported; the link is still kept, saved and given.
    EXPECT_EQ(store->errorMessage(), "The crew link is updated, but the download files were not: Upload of "
                                     "crew-sheets.pdf failed (HTTP 413).");
    EXPECT_EQ(savedFile(), store->project());
    ASSERT_EQ(uploads.size(), 1u); // made from the project with its new record
    EXPECT_EQ(uploads[0], std::pair(store->project(), toQ(store->project().share->token)));

    // A re-send after hiding that fails is not recorded, nor saved.
    server.clearRequests();
    const int answered = server.answeredCount();
    server.setFault(Route::Publish, answering(500));
    hide(left);
    ASSERT_TRUE(waitFor([&] { return store->crewLink().visibilityError().has_value() && idle(); }));
    EXPECT_FALSE(store->project().share->hidden);
    EXPECT_TRUE(store->isDirty());

    // A change while a send is under way is sent after it, and nothing is reported.
    server.setFault(Route::Publish, answering(std::nullopt, {}, 300ms));
    int answeredWhenNextArrived = -1;
    QObject::connect(&server, &testserver::PublishStandIn::requestReceived, [&] {
        if (publishes().size() == 3) answeredWhenNextArrived = server.answeredCount() - answered;
    });
    auto sendNow = store->crewLink().sendVisibilityUpdate();
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 2; }));
    hide(right);
    runTask(std::move(sendNow));
    ASSERT_TRUE(waitFor([&] { return idle(); }));
    ASSERT_EQ(publishes().size(), 3);
    EXPECT_EQ(answeredWhenNextArrived, 2); // nothing abandoned
    EXPECT_TRUE(sentDoc(publishes()[2]).sources.empty());
    EXPECT_FALSE(store->crewLink().visibilityError());
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(savedFile().share->hidden, (TextSet{left, right}));

    // Another project opened while a send is under way gets nothing of its ending.
    const Project other = fixtures::projectWith({fixtures::flownArray("Other", {"ALL", "B"}, 4)});
    openSaved(other, "other.qvrig");
    store->openProject(paths.file("show.qvrig"), false);
    server.setFault(Route::Publish, answering(500, {}, 1s));
    hide(left, false);
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 4; }));
    store->openProject(paths.file("other.qvrig"), false);
    ASSERT_TRUE(waitFor([&] { return idle() && server.answeredCount() == answered + 4; }));
    EXPECT_FALSE(store->crewLink().visibilityError());
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(store->project(), other);
}

} // namespace
} // namespace rig::app
