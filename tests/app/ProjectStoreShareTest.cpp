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

const std::string left = "ALL/Main/Main L";
const std::string right = "ALL/Main/Main R";

Project twoArrays() {
    Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 4),
                                       fixtures::flownArray("Main R", {"ALL", "Main"}, 4)});
    p.name = "Arena";
    return p;
}

// The crew document of a recorded publish request.
CrewDoc sentDoc(const testserver::RecordedRequest& r) {
    const Json body = parseJsonText(r.body.toStdString());
    return CrewDoc::fromJson(body.at("doc"), JsonPath());
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

Fault delayed(std::chrono::milliseconds delay) {
    Fault f;
    f.delay = delay;
    return f;
}

Fault answering(int status, QByteArray body = {}) {
    Fault f;
    f.status = status;
    f.body = std::move(body);
    return f;
}

class StoreShareTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        settings = std::make_unique<PublishSettings>(std::make_unique<MemorySecretStore>());
        settings->setServer(server.baseUrl());
        settings->setKey(standInKey);
        store = testing::makeStore();
        store->setPublishing(settings.get(), &client);
        store->setDownloadUploader([this](Project project, QString token) { return upload(project, token); });
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

    // Stands in for the download files: records what it was given, fails when told to.
    QCoro::Task<void> upload(Project project, QString token) {
        uploads.push_back({std::move(project), token});
        if (uploadFailure) throw *uploadFailure;
        co_return;
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

// --- Actions -----------------------------------------------------------------------------------

TEST_F(StoreShareTest, FirstPublishMakesARecordOfEverySourceAndLeavesHiddenOnesOut) {
    Project p = twoArrays();
    p.setExtra(left, "Front", PointExtra{fixtures::testMotor("D8+"), true});
    p.setHidden({right}, true);
    const ShareInfo share = runTask(store->publish(p));

    ASSERT_EQ(publishes().size(), 1);
    EXPECT_EQ(sentToken(publishes()[0]), std::nullopt);
    EXPECT_EQ(sentSources(publishes()[0]), std::set<std::string>{left});
    EXPECT_EQ(share.token, server.tokens()[0].toStdString());
    EXPECT_EQ(toQ(share.url), server.baseUrl() + "/c/" + server.tokens()[0]);
    EXPECT_EQ(share.fingerprints, publishFingerprints(p)); // hidden sources included
    EXPECT_EQ(share.fingerprints.size(), 2u);
    EXPECT_TRUE(share.changes.empty());
    EXPECT_EQ(share.hidden, p.hiddenSources);
    EXPECT_LE(std::chrono::abs(share.publishedAt - nowSeconds()), std::chrono::seconds(5));
}

TEST_F(StoreShareTest, UpdateSendsTheTokenAndTheChangesSinceTheLastPublish) {
    Project p = twoArrays();
    p.share = runTask(store->publish(p));
    p.report.sources.mut(1).bumper = "K2-BUMP-2";
    const ShareInfo again = runTask(store->publishProject(p, "  " + server.baseUrl() + "/", standInKey));

    EXPECT_EQ(sentToken(publishes()[1]), p.share->token);
    EXPECT_EQ(again.token, p.share->token);
    const auto expected =
        TextMap<List<std::string>>{{right, List<std::string>{"bumper K2-BUMP → K2-BUMP-2"}}};
    EXPECT_EQ(again.changes, expected);
    const CrewDoc doc = sentDoc(publishes()[1]);
    ASSERT_EQ(doc.sources.size(), 2u);
    EXPECT_FALSE(doc.sources[0].changed.has_value());
    EXPECT_EQ(doc.sources[1].changed, std::vector<std::string>{"bumper K2-BUMP → K2-BUMP-2"});
}

TEST_F(StoreShareTest, PublishReadsTheSettingsAsTheyAreAtItsStart) {
    settings->setKey("");
    auto e = publishFailure(store->publish(twoArrays()));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), "Add the publish key in Settings (Ctrl+,) first.");
    settings->setKey(standInKey);
    settings->setServer("example.com/api");
    e = publishFailure(store->publish(twoArrays()));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), "Invalid server address.");
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(StoreShareTest, PublishWaitsForTheKeyOnItsWayFromTheKeyring) {
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
    EXPECT_FALSE(late.isKeyLoaded());
    EXPECT_NO_THROW(runTask(store->publish(twoArrays())));
}

TEST_F(StoreShareTest, ResendNeedsAPublishedRecord) {
    Project p = twoArrays();
    auto e = publishFailure(store->resendProject(p));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), "Not published yet.");
    // An attached link has nothing published: sending would empty the crew view.
    p.share = ShareInfo{"tok", "http://x/c/tok", fixtures::testDate(), {}, {}, std::nullopt};
    e = publishFailure(store->resendProject(p));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), "Not published yet.");
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(StoreShareTest, ResendSendsThePublishedStateUnderTheCurrentHiddenSet) {
    Project p = twoArrays();
    p.share = runTask(store->publish(p));
    p.share->changes = TextMap<List<std::string>>{{left, List<std::string>{"site -3.5° → -4°"}}};
    const double publishedAngle = *p.report.sources[0].enclosures[2].angle;
    p.report.sources.mut(0).enclosures.mut(2).angle = 9.0;
    p.report.sources.edit().pop_back();                                      // removed since
    p.report.sources.push_back(fixtures::flownArray("Out", {"ALL", "Out"})); // added since
    p.setHidden({right}, true);

    // The server answering with another link changes nothing of the record.
    server.setFault(Route::Publish, answering(200, R"({"token":"other","url":"http://elsewhere/c/other"})"));
    const ShareInfo share = runTask(store->resendProject(p));

    const CrewDoc doc = sentDoc(publishes().last());
    EXPECT_EQ(sentToken(publishes().last()), p.share->token);
    ASSERT_EQ(doc.sources.size(), 1u);
    EXPECT_EQ(doc.sources[0].id, left);
    EXPECT_EQ(doc.sources[0].enc[2].a, publishedAngle);
    EXPECT_EQ(doc.sources[0].changed, std::vector<std::string>{"site -3.5° → -4°"});
    ShareInfo expected = *p.share;
    expected.hidden = p.hiddenSources;
    EXPECT_EQ(share, expected);
}

TEST_F(StoreShareTest, ListAndDeleteUseTheSettings) {
    const ShareInfo a = runTask(store->publish(twoArrays()));
    const auto links = runTask(store->listServerLinks());
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].token, a.token);
    runTask(store->deleteServerLink(toQ(a.token)));
    EXPECT_TRUE(server.tokens().isEmpty());
}

// --- The publish button's press -----------------------------------------------------------------

TEST_F(StoreShareTest, PressOnAnUntitledProjectStoresTheLinkAndWritesNoFile) {
    store->setProject(twoArrays());
    const std::optional<QString> link = press();
    ASSERT_TRUE(link);
    ASSERT_TRUE(store->project().share);
    EXPECT_EQ(toQ(store->project().share->url), *link);
    EXPECT_TRUE(store->isDirty());
    EXPECT_FALSE(store->filePath());
    EXPECT_FALSE(store->errorMessage());
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].first, store->project()); // the project with its new record
    EXPECT_EQ(uploads[0].second, toQ(store->project().share->token));
}

TEST_F(StoreShareTest, PressOnASavedProjectWritesTheRecordIntoItsFile) {
    openSaved(twoArrays());
    ASSERT_TRUE(press());
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(savedFile().share, store->project().share);
    // The next press updates the same link.
    ASSERT_TRUE(press());
    EXPECT_EQ(sentToken(publishes().last()), store->project().share->token);
    EXPECT_EQ(server.tokens().size(), 1);
}

TEST_F(StoreShareTest, AFailedPressChangesNothing) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString text;
    };
    const std::vector<Case> cases = {
        {"no key", [this] { settings->setKey(""); }, "Add the publish key in Settings (Ctrl+,) first."},
        {"refused key", [this] { settings->setKey("qvr_wrong"); },
         "The server did not accept the publish key (Invalid publish key)."},
        {"server error",
         [this] { server.setFault(Route::Publish, answering(500, R"({"error":"Disk full"})")); },
         "Publishing failed: Disk full"},
    };
    openSaved(twoArrays());
    ASSERT_TRUE(press());
    const Project published = store->project();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Project edited = published;
        edited.name = "Edited";
        store->setProject(edited);
        store->setErrorMessage(std::nullopt);
        uploads.clear();
        c.arrange();
        EXPECT_FALSE(press());
        EXPECT_EQ(store->errorMessage(), c.text);
        EXPECT_EQ(store->project(), edited); // the old record stays, nothing stored
        EXPECT_TRUE(store->isDirty());       // nor saved
        EXPECT_TRUE(uploads.empty());
        settings->setKey(standInKey);
        server.clearFaults();
    }
}

TEST_F(StoreShareTest, AFailedUploadIsReportedAndTheLinkStillKeptSavedAndGiven) {
    openSaved(twoArrays());
    uploadFailure = PublishError::server(publishText::uploadFailed("crew-sheets.pdf", 413));
    const std::optional<QString> link = press();
    ASSERT_TRUE(link);
    EXPECT_EQ(store->errorMessage(), "The crew link is updated, but the download files were not: Upload of "
                                     "crew-sheets.pdf failed (HTTP 413).");
    EXPECT_TRUE(store->project().share);
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(savedFile().share, store->project().share);
}

TEST_F(StoreShareTest, AnEditDuringThePublishSurvivesBesideTheNewRecord) {
    store->setProject(twoArrays());
    server.setFault(Route::Publish, delayed(1s));
    auto task = store->publishOpenProject();
    ASSERT_TRUE(waitFor([&] { return !publishes().isEmpty(); }));
    Project edited = store->project();
    edited.name = "Renamed while sending";
    store->setProject(edited);
    ASSERT_TRUE(runTask(std::move(task)));
    EXPECT_EQ(store->project().name, "Renamed while sending");
    EXPECT_TRUE(store->project().share);
    EXPECT_EQ(sentDoc(publishes()[0]).name, "Arena"); // the state at the press was sent
}

TEST_F(StoreShareTest, AnotherProjectOpenedDuringThePublishGetsNothingOfIt) {
    openSaved(twoArrays(), "a.qvrig");
    Project other = fixtures::projectWith({fixtures::flownArray("Other", {"ALL", "B"}, 4)});
    store->setProject(other);
    ASSERT_TRUE(store->writeProject(file("b.qvrig")));
    store->openProject(file("a.qvrig"), false);

    server.setFault(Route::Publish, delayed(1s));
    auto task = store->publishOpenProject();
    ASSERT_TRUE(waitFor([&] { return !publishes().isEmpty(); }));
    store->openProject(file("b.qvrig"), false);
    EXPECT_FALSE(runTask(std::move(task)));

    const QString url = server.baseUrl() + "/c/" + server.tokens()[0];
    EXPECT_EQ(store->errorMessage(),
              "The crew link was published, but another project is now open: the link was "
              "not stored.\n" +
                  url);
    EXPECT_FALSE(store->project().share);
    EXPECT_FALSE(store->isDirty());
    EXPECT_FALSE(savedFile("a.qvrig").share);
    EXPECT_FALSE(savedFile("b.qvrig").share);
    EXPECT_TRUE(uploads.empty());
}

// --- Visibility re-send ------------------------------------------------------------------------------

class VisibilityTest : public StoreShareTest {
protected:
    // A published, saved project.
    void SetUp() override {
        StoreShareTest::SetUp();
        openSaved(twoArrays());
        ASSERT_TRUE(press());
        ASSERT_FALSE(store->isDirty());
        server.clearRequests();
    }

    void hide(const std::vector<std::string>& ids, bool hidden = true) {
        Project p = store->project();
        p.setHidden(ids, hidden);
        store->setProject(p);
        store->scheduleVisibilityUpdate();
    }

    bool idle() const { return !store->isVisibilityUpdateScheduled() && !store->isSendingVisibility(); }

    // What the store shows at the moment each send ends.
    struct SendEnd {
        std::optional<TextSet> recorded;
        std::optional<QString> error;
    };
    std::vector<SendEnd> sendEnds;
    void watchSendEnds() {
        QObject::connect(store.get(), &ProjectStore::sendingVisibilityChanged, [this] {
            if (!store->isSendingVisibility())
                sendEnds.push_back({store->project().share->hidden, store->visibilityError()});
        });
    }
};

TEST_F(VisibilityTest, UnpublishedProjectsNeverContactTheServer) {
    store->setProject(twoArrays());
    hide({left});
    EXPECT_FALSE(store->isVisibilityUpdateScheduled());
    runTask(store->sendVisibilityUpdate());
    EXPECT_FALSE(store->visibilityError());
    EXPECT_EQ(server.connectionCount(), 1); // the publish of SetUp only
}

TEST_F(VisibilityTest, HidingAndShowingWithinTheWaitSendsNothing) {
    store->setDelays({20ms, 20ms, 200ms});
    hide({left});
    EXPECT_TRUE(store->isVisibilityUpdateScheduled());
    hide({left}, false);
    EXPECT_FALSE(store->isVisibilityUpdateScheduled()); // the wait is cancelled: nothing left to send
    EXPECT_FALSE(store->isSendingVisibility());
    EXPECT_TRUE(publishes().isEmpty());
}

TEST_F(VisibilityTest, AHiddenSourceIsSentRecordedAndSaved) {
    watchSendEnds();
    hide({left});
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 1 && idle(); }));
    ASSERT_EQ(sendEnds.size(), 1u);
    EXPECT_EQ(sendEnds[0].recorded, TextSet{left});
    EXPECT_EQ(sentSources(publishes()[0]), std::set<std::string>{right});
    EXPECT_EQ(store->project().share->hidden, store->project().hiddenSources);
    EXPECT_FALSE(isShareStale(store->project()));
    EXPECT_FALSE(store->visibilityError());
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(savedFile().share->hidden, TextSet{left});
}

TEST_F(VisibilityTest, AFailedSendIsShownAndChangesNothing) {
    server.setFault(Route::Publish, answering(500));
    store->setDelays({10s, 20ms, 20ms}); // no autosave in between
    watchSendEnds();
    hide({left});
    ASSERT_TRUE(waitFor([&] { return store->visibilityError().has_value() && idle(); }));
    EXPECT_EQ(store->visibilityError(), "Publishing failed: HTTP 500");
    ASSERT_EQ(sendEnds.size(), 1u);
    EXPECT_EQ(sendEnds[0].error, "Publishing failed: HTTP 500");
    EXPECT_TRUE(isShareStale(store->project()));
    EXPECT_FALSE(store->project().share->hidden);
    EXPECT_TRUE(store->isDirty()); // the hiding itself, not saved by the re-send

    // "Send Now" once the server is back clears it.
    server.clearFaults();
    runTask(store->sendVisibilityUpdate());
    EXPECT_FALSE(store->visibilityError());
    EXPECT_FALSE(isShareStale(store->project()));
}

TEST_F(VisibilityTest, AChangeDuringASendIsSentAfterItWithoutAnError) {
    server.setFault(Route::Publish, delayed(300ms));
    QSignalSpy errors(store.get(), &ProjectStore::visibilityErrorChanged);
    hide({left});
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 1; }));
    hide({right}); // while the first request is in flight
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 2 && idle(); }));

    EXPECT_EQ(sentSources(publishes()[0]), std::set<std::string>{right});
    EXPECT_EQ(sentSources(publishes()[1]), std::set<std::string>{});
    EXPECT_EQ(server.answeredCount(), 3); // nothing abandoned: SetUp's publish and both sends
    EXPECT_EQ(errors.count(), 0);
    EXPECT_EQ(store->project().share->hidden, (TextSet{left, right}));
    EXPECT_EQ(savedFile().share->hidden, (TextSet{left, right}));
}

TEST_F(VisibilityTest, SendNowWaitsForTheRunningSend) {
    server.setFault(Route::Publish, delayed(300ms));
    hide({left});
    store->setDelays({20ms, 20ms, 10s}); // only "Send Now" sends from here on
    hide({right});
    auto first = store->sendVisibilityUpdate();
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 1; }));
    hide({right}, false);
    int answeredWhenSecondArrived = -1;
    QObject::connect(&server, &PublishStandIn::requestReceived, [&] {
        if (publishes().size() == 2) answeredWhenSecondArrived = server.answeredCount();
    });
    auto second = store->sendVisibilityUpdate(); // "Send Now" during the send
    runTask(std::move(first));
    runTask(std::move(second));

    ASSERT_EQ(publishes().size(), 2);
    EXPECT_EQ(answeredWhenSecondArrived, 2); // SetUp's publish and the first send
    EXPECT_EQ(sentSources(publishes()[1]), std::set<std::string>{right});
    EXPECT_EQ(store->project().share->hidden, TextSet{left});
    EXPECT_FALSE(store->visibilityError());
}

TEST_F(VisibilityTest, AnotherProjectOpenedDuringASendIsLeftAlone) {
    Project other = fixtures::projectWith({fixtures::flownArray("Other", {"ALL", "B"}, 4)});
    store->setProject(other);
    ASSERT_TRUE(store->writeProject(file("other.qvrig")));
    store->openProject(file("show.qvrig"), false);
    server.setFault(Route::Publish, [] {
        Fault f = delayed(1s);
        f.status = 500;
        return f;
    }());
    hide({left});
    ASSERT_TRUE(waitFor([&] { return publishes().size() == 1; }));
    store->openProject(file("other.qvrig"), false);
    ASSERT_TRUE(waitFor([&] { return idle() && server.answeredCount() == 2; }));
    EXPECT_FALSE(store->visibilityError());
    EXPECT_FALSE(store->isDirty());
    EXPECT_EQ(store->project(), other);
}

TEST_F(VisibilityTest, AnAttachedLinkIsNeverResent) {
    Project p = store->project();
    p.share->fingerprints = {};
    store->setProject(p);
    hide({left});
    EXPECT_FALSE(store->isVisibilityUpdateScheduled());
    runTask(store->sendVisibilityUpdate());
    EXPECT_TRUE(publishes().isEmpty());
}

} // namespace
} // namespace rig::app
