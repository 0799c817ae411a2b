// The toolbar's publish button against the publish-server stand-in.
#include "support/FakePrompts.h"
#include "support/ProjectFixtures.h"
#include "support/PublishTesting.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include "export/PublishClient.h"
#include "export/PublishSettings.h"
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

// One press at a time; the link reaches the clipboard even when the button goes away meanwhile.
TEST_F(PublishButtonTest, APressRunsOnceToItsEndAndCopiesTheLink) {
    testserver::Fault slow;
    slow.delay = 300ms;
    server.setFault(Route::Publish, slow);
    PublishController& controller = button->controller();
    QSignalSpy finished(&controller, &PublishController::finished);
    button->button()->click();
    EXPECT_TRUE(controller.isBusy());
    EXPECT_FALSE(button->button()->isEnabled());
    button->button()->click();
    controller.press();
    button.reset(); // the window's content changed
    ASSERT_TRUE(finished.wait(20000));

    EXPECT_EQ(server.requests(Route::Publish).size(), 1);
    ASSERT_TRUE(store->project().share.has_value());
    const QString link = toQ(store->project().share->url);
    EXPECT_EQ(link, server.baseUrl() + "/c/" + server.tokens()[0]);
    EXPECT_EQ(QApplication::clipboard()->text(), link);
    EXPECT_EQ(uploadedTokens, QStringList{server.tokens()[0]});
    EXPECT_FALSE(store->filePath().has_value()) << "an untitled project is not saved";
    EXPECT_EQ(&PublishButton(*store).controller(), &controller) << "one publish per store";
}

TEST_F(PublishButtonTest, NoKeyOrAnotherProjectOpenedMeanwhileLeaveTheClipboardAlone) {
    settings->setKey(QString());
    const Project before = store->project();
    QSignalSpy finished(&button->controller(), &PublishController::finished);
    button->button()->click();
    ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    EXPECT_EQ(store->errorMessage(), "Add the publish key in Settings (Ctrl+,) first.");
    EXPECT_EQ(store->project(), before);
    EXPECT_TRUE(server.requests().isEmpty());

    settings->setKey(standInKey);
    testserver::Fault slow;
    slow.delay = 300ms;
    server.setFault(Route::Publish, slow);
    Project other = fixtures::projectWith({fixtures::groundStack("Subs", {"ALL", "Subs"})});
    ASSERT_TRUE(testing::writeText(file("other.qvrig"), QByteArray::fromStdString(other.fileText())));
    button->button()->click();
    prompts.answerSave(Prompts::SaveAnswer::dontSave);
    store->openProject(file("other.qvrig"), true);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(store->project().share.has_value());
    EXPECT_EQ(Project::fromText(testing::readText(file("other.qvrig")).toStdString()), other);
    EXPECT_TRUE(uploadedTokens.isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(), untouched);
}

} // namespace
} // namespace rig::app
