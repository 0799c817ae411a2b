// The toolbar's publish button against the publish-server stand-in.
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include "export/PublishClient.h"
#include "export/PublishSettings.h"
#include "shell/BusyIndicator.h"
#include "shell/PublishButton.h"
#include "shell/QtText.h"

#include "PublishStandIn.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using testing::standInKey;
using testing::waitFor;
using testserver::PublishStandIn;
using testserver::Route;

const QString untouched = QStringLiteral("clipboard before the press");

class PublishButtonTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        settings = std::make_unique<PublishSettings>(std::make_unique<MemorySecretStore>());
        settings->setServer(server.baseUrl());
        settings->setKey(standInKey);
        store = testing::makeStore();
        store->setDelays({1h, 1h, 1h});
        store->setPublishing(settings.get(), &client);
        store->setDownloadUploader([this](Project, QString token) -> QCoro::Task<void> {
            uploadedTokens.push_back(token);
            co_return;
        });
        Project show = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 4)});
        store->setProject(show);
        button = std::make_unique<PublishButton>(*store);
        button->show();
        QApplication::clipboard()->setText(untouched);
    }

    void pressAndWait() {
        QSignalSpy finished(&button->controller(), &PublishController::finished);
        button->button()->click();
        ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    }

    QString file(const QString& name) const { return QDir(files.path()).filePath(name); }

    testing::TempAppPaths paths;
    testing::FakePrompts prompts; // any panel or prompt would fail the test
    QTemporaryDir files;
    PublishStandIn server{standInKey};
    PublishClient client;
    std::unique_ptr<PublishSettings> settings;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<PublishButton> button;
    QStringList uploadedTokens;
};

TEST_F(PublishButtonTest, TextsFollowThePublishState) {
    EXPECT_EQ(button->label(), "Publish");
    EXPECT_EQ(button->toolTip(), "Publish the crew view and copy the link.");
    Project published = store->project();
    published.share =
        ShareInfo{"tok", "https://crew.example/c/tok", fixtures::testDate(), {}, {}, std::nullopt};
    store->setProject(published);
    EXPECT_EQ(button->label(), "Update link");
    EXPECT_EQ(button->toolTip(), "Updates https://crew.example/c/tok – the link is copied to the clipboard.");
}

TEST_F(PublishButtonTest, AnUntitledProjectGetsItsLinkStoredAndCopiedWithoutASave) {
    server.setFault(Route::Publish, [] {
        testserver::Fault f;
        f.delay = 200ms;
        return f;
    }());
    QSignalSpy finished(&button->controller(), &PublishController::finished);
    button->button()->click();
    // While the request runs: the progress in place of the label, no second press.
    EXPECT_TRUE(button->controller().isBusy());
    EXPECT_EQ(button->label(), "");
    EXPECT_FALSE(button->button()->isEnabled());
    EXPECT_TRUE(button->progress()->isVisible());
    EXPECT_EQ(button->toolTip(), "Publish the crew view and copy the link.");
    button->button()->click();
    button->controller().press();
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_EQ(server.requests(Route::Publish).size(), 1);
    ASSERT_TRUE(store->project().share.has_value());
    const QString link = toQ(store->project().share->url);
    EXPECT_EQ(link, server.baseUrl() + "/c/" + server.tokens()[0]);
    EXPECT_EQ(QApplication::clipboard()->text(), link);
    EXPECT_EQ(uploadedTokens, QStringList{server.tokens()[0]});
    EXPECT_TRUE(store->isDirty());
    EXPECT_FALSE(store->filePath().has_value());
    EXPECT_EQ(button->label(), "Update link");
    EXPECT_TRUE(button->button()->isEnabled());
}

TEST_F(PublishButtonTest, ASavedProjectHasTheRecordInItsFileAfterThePress) {
    ASSERT_TRUE(store->writeProject(file("show.qvrig")));
    pressAndWait();
    EXPECT_FALSE(store->isDirty());
    const Project saved = Project::fromText(testing::readText(file("show.qvrig")).toStdString());
    ASSERT_TRUE(saved.share.has_value());
    EXPECT_EQ(saved.share, store->project().share);
    EXPECT_EQ(QApplication::clipboard()->text(), toQ(saved.share->url));

    // The second press updates the same link.
    pressAndWait();
    EXPECT_EQ(server.tokens().size(), 1);
    EXPECT_EQ(server.requests(Route::Publish).size(), 2);
}

TEST_F(PublishButtonTest, WithoutAKeyTheMessageAndNothingElse) {
    settings->setKey(QString());
    const Project before = store->project();
    pressAndWait();
    EXPECT_EQ(store->errorMessage(), "Add the publish key in Settings (Ctrl+,) first.");
    EXPECT_EQ(QApplication::clipboard()->text(), untouched);
    EXPECT_EQ(store->project(), before);
    EXPECT_EQ(button->label(), "Publish");
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_TRUE(uploadedTokens.isEmpty());
}

TEST_F(PublishButtonTest, APressRunsToItsEndWhenTheButtonGoesAway) {
    testserver::Fault slow;
    slow.delay = 300ms;
    server.setFault(Route::Publish, slow);
    PublishController& controller = button->controller();
    QSignalSpy finished(&controller, &PublishController::finished);
    button->button()->click();
    button.reset(); // the window's content changed
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_TRUE(store->project().share.has_value());
    EXPECT_EQ(QApplication::clipboard()->text(), toQ(store->project().share->url));

    // A new button on the same store shows the published state at once.
    PublishButton again(*store);
    EXPECT_EQ(again.label(), "Update link");
    EXPECT_EQ(&again.controller(), &controller);
}

TEST_F(PublishButtonTest, AnotherProjectOpenedDuringThePressGetsNothing) {
    testserver::Fault slow;
    slow.delay = 300ms;
    server.setFault(Route::Publish, slow);
    Project other = fixtures::projectWith({fixtures::groundStack("Subs", {"ALL", "Subs"})});
    ASSERT_TRUE(testing::writeText(file("other.qvrig"), QByteArray::fromStdString(other.fileText())));

    QSignalSpy finished(&button->controller(), &PublishController::finished);
    button->button()->click();
    prompts.answerSave(Prompts::SaveAnswer::dontSave);
    store->openProject(file("other.qvrig"), true);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(store->project().share.has_value());
    EXPECT_FALSE(store->isDirty());
    EXPECT_TRUE(uploadedTokens.isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(), untouched);
    EXPECT_EQ(Project::fromText(testing::readText(file("other.qvrig")).toStdString()), other);
    ASSERT_TRUE(store->errorMessage().has_value());
}

} // namespace
} // namespace rig::app
