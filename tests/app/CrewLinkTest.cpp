// The crew link rows and the existing links sheet against the publish-server stand-in.
#include "pages/ExistingLinksSheet.h"
#include "pages/ShareRow.h"

#include "export/PublishClient.h"
#include "export/PublishSettings.h"
#include "export/QRCode.h"
#include "pages/WebLinks.h"
#include "shell/ProjectStore.h"
#include "shell/QtText.h"
#include "support/FakePrompts.h"
#include "support/PublishTesting.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include "PublishStandIn.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocumentFragment>
#include <QToolButton>
#include <QUrlQuery>

#include <gtest/gtest.h>

#include <memory>

namespace rig::app {
namespace {

using testing::FakePrompts;
using testing::runTask;
using testing::standInKey;
using testing::waitFor;
using testserver::Fault;
using testserver::PublishStandIn;
using testserver::Route;

const std::string left = "ALL/Main/Main L";

Project twoArrays() {
    Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 4),
                                       fixtures::flownArray("Main R", {"ALL", "Main"}, 4),
                                       fixtures::flownArray("Out", {"ALL", "Out"}, 4)});
    p.name = "Arena";
    return p;
}

Fault answering(std::optional<int> status, QByteArray body = {}, int delayMs = 0) {
    Fault f;
    f.status = status;
    f.body = std::move(body);
    f.delay = std::chrono::milliseconds(delayMs);
    return f;
}

class CrewLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        settings = std::make_unique<PublishSettings>(std::make_unique<MemorySecretStore>());
        settings->setServer(server.baseUrl());
        settings->setKey(standInKey);
        store = testing::makeStore();
        store->setPublishing(settings.get(), &client);
        store->setDownloadUploader([](Project, QString) -> QCoro::Task<void> { co_return; });
        store->setProject(twoArrays());
        row = std::make_unique<ShareRow>(*store);
        row->resize(860, 400);
        row->show();
        previousOpener = setLinkOpener([this](const QUrl& url) { opened.push_back(url); });
    }
    void TearDown() override {
        row.reset();
        setLinkOpener(previousOpener);
    }

    bool shown(QWidget* w) const { return w->isVisibleTo(row.get()); }
    void change(const std::function<void(Project&)>& edit) {
        Project p = store->project();
        edit(p);
        store->setProject(std::move(p));
    }

    // Publishes the open project as the toolbar button does.
    void publish() {
        ASSERT_TRUE(runTask(store->publishOpenProject()).has_value());
        ASSERT_TRUE(store->project().share.has_value());
    }

    // Opens the links sheet from its button and waits for its first load.
    ExistingLinksSheet* openSheet() {
        row->existingLinksButton()->click();
        ExistingLinksSheet* sheet = row->linksSheet();
        EXPECT_NE(sheet, nullptr);
        EXPECT_TRUE(sheet && waitFor([&] { return !sheet->isLoading(); }));
        return sheet;
    }

    static QAbstractButton* button(QWidget* linkRow, const char* name) {
        return linkRow->findChild<QAbstractButton*>(QString::fromLatin1(name));
    }
    static QString text(QWidget* linkRow, const char* name) {
        return linkRow->findChild<QLabel*>(QString::fromLatin1(name))->text();
    }

    testing::TempAppPaths paths;
    PublishStandIn server{standInKey};
    PublishClient client;
    std::unique_ptr<PublishSettings> settings;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<ShareRow> row;
    std::vector<QUrl> opened;
    LinkOpener previousOpener;
};

TEST_F(CrewLinkTest, RowsFollowHiddenSourcesAndThePublish) {
    EXPECT_TRUE(shown(row->firstPublishHint()));
    EXPECT_FALSE(shown(row->linkBlock()));
    EXPECT_FALSE(shown(row->hiddenRow()));

    // A hidden name that matches no source is not counted.
    change([](Project& p) { p.setHidden({left, "ALL/Gone/Nothing"}, true); });
    EXPECT_EQ(row->hiddenCountLabel()->text(), QStringLiteral("1 source"));
    change([](Project& p) { p.setHidden({"ALL/Main/Main R", "ALL/Out/Out"}, true); });
    EXPECT_EQ(row->hiddenCountLabel()->text(), QStringLiteral("3 sources"));
    ASSERT_TRUE(store->writeProject(paths.file("show.qvrig")));
    row->showAllButton()->click();
    EXPECT_FALSE(store->project().hiddenSources.has_value());
    EXPECT_FALSE(shown(row->hiddenRow()));
    EXPECT_TRUE(store->isDirty());

    change([](Project& p) { p.name = "A & B #1"; });
    publish();
    const QString url = toQ(store->project().share->url);
    EXPECT_FALSE(shown(row->firstPublishHint()));
    EXPECT_EQ(row->linkLabel()->text(), url);
    ASSERT_TRUE(row->qrImage().has_value());
    EXPECT_EQ(*row->qrImage(), *makeQRImage(url, 10));
    EXPECT_FALSE(shown(row->attachedNote()));
    EXPECT_FALSE(shown(row->changedNote()));

    QTest::mouseClick(row->linkLabel(), Qt::LeftButton);
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    row->copyLinkButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), url);
    row->copyQRCode();
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
              row->qrImage()->convertToFormat(QImage::Format_RGB32));
    // Share ▸ Email: "&" and "#" in the name stay text in the draft.
    row->shareByEmail();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(url));
    EXPECT_EQ(opened[1].scheme(), QStringLiteral("mailto"));
    const QUrlQuery draft(opened[1].query(QUrl::FullyEncoded));
    EXPECT_EQ(draft.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("A & B #1"));
    EXPECT_EQ(draft.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
              QStringLiteral("A & B #1 \u2013 speaker rigging\n") + url);

    change([](Project& p) { p.report.sources.edit()[0].pickups.mut(0).load = 999.0; });
    EXPECT_TRUE(shown(row->changedNote()));
    EXPECT_EQ(row->changedLabel()->text(),
              QStringLiteral(
                  "1 source changed since then \u2013 press Update link (toolbar) so the crew sees it."));
    change([](Project& p) { p.report.sources.edit()[1].pickups.mut(0).load = 998.0; });
    EXPECT_TRUE(row->changedLabel()->text().startsWith(QStringLiteral("2 sources changed since then")));
}

TEST_F(CrewLinkTest, AFailedResendShowsWhileStaleUntilSent) {
    publish();
    change([](Project& p) { p.setHidden({left}, true); });
    server.setFault(Route::Publish, answering(500, R"({"error":"Disk full"})"));
    runTask(store->sendVisibilityUpdate());
    ASSERT_TRUE(store->visibilityError().has_value());
    EXPECT_TRUE(shown(row->errorRow()));
    EXPECT_TRUE(row->errorLabel()->text().startsWith(QStringLiteral("Hidden sources not sent: ")));
    EXPECT_TRUE(row->errorLabel()->text().contains(QStringLiteral("Disk full")));
    // Back to what the crew view holds: nothing to send, no row.
    row->showAllButton()->click();
    EXPECT_TRUE(store->visibilityError().has_value());
    EXPECT_FALSE(shown(row->errorRow()));
    change([](Project& p) { p.setHidden({left}, true); });
    EXPECT_TRUE(shown(row->errorRow()));

    server.clearFaults();
    const auto before = server.requests(Route::Publish).size();
    row->sendNowButton()->click();
    ASSERT_TRUE(waitFor([&] { return !store->visibilityError(); }));
    EXPECT_EQ(server.requests(Route::Publish).size(), before + 1);
    EXPECT_FALSE(shown(row->errorRow()));
    EXPECT_EQ(store->project().share->hidden, store->project().hiddenSources);
}

TEST_F(CrewLinkTest, HostileAndLongLinks) {
    ShareInfo share;
    share.token = "tok";
    share.url = "file:///etc/passwd";
    share.publishedAt = fixtures::testDate();
    change([&](Project& p) { p.share = share; });
    EXPECT_TRUE(shown(row->attachedNote()));
    EXPECT_FALSE(row->linkLabel()->isLink());
    EXPECT_FALSE(row->shareButton()->isEnabled());
    QTest::mouseClick(row->linkLabel(), Qt::LeftButton);
    row->shareByEmail();
    EXPECT_TRUE(opened.empty());
    row->copyLinkButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("file:///etc/passwd"));

    // Markup from the server stays text, in the tool tip too.
    share.url = "<img src=\"file:///etc/x.png\"><b>link</b>";
    change([&](Project& p) { p.share = share; });
    EXPECT_EQ(QTextDocumentFragment::fromHtml(row->linkLabel()->toolTip()).toPlainText(), toQ(share.url));

    share.url = "https://rig.example.com/c/" + std::string(400, 'a') + "END";
    change([&](Project& p) { p.share = share; });
    row->resize(700, 400);
    QCoreApplication::processEvents();
    const QString shownText = row->linkLabel()->shownText();
    EXPECT_TRUE(shownText.startsWith(QStringLiteral("https://rig.example.com/c/")))
        << shownText.toStdString();
    EXPECT_TRUE(shownText.contains(QStringLiteral("\u2026")) && shownText.endsWith(QStringLiteral("END")))
        << shownText.toStdString();
    QTest::mouseClick(row->linkLabel(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), toQ(share.url));
}

TEST_F(CrewLinkTest, SheetListsUsesAndDeletes) {
    FakePrompts prompts;
    publish();
    const std::string own = store->project().share->token;
    server.addLink(R"({"name":"","report":"Old show.pdf","sources":[{}]})");
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    QList<QWidget*> rows = sheet->rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(text(rows[0], "title"), QStringLiteral("Arena"));
    EXPECT_NE(rows[0]->findChild<QLabel*>(QStringLiteral("thisProject")), nullptr);
    EXPECT_FALSE(button(rows[0], "use")->isEnabled());
    EXPECT_EQ(text(rows[1], "title"), QStringLiteral("Untitled"));
    EXPECT_EQ(rows[1]->findChild<QLabel*>(QStringLiteral("thisProject")), nullptr);
    EXPECT_TRUE(text(rows[1], "detail").endsWith(QStringLiteral(" \u00b7 1 sources \u00b7 Old show.pdf")));
    button(rows[1], "open")->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), toQ(sheet->links()[1].url));

    // "Cancel" sends nothing; "Delete" on another link keeps the project's record.
    prompts.answerDeletion(false);
    button(rows[1], "delete")->click();
    EXPECT_TRUE(server.requests(Route::Delete).isEmpty());
    EXPECT_EQ(prompts.last(FakePrompts::Kind::deletion).detail,
              toQ(sheet->links()[1].url) +
                  QStringLiteral("\nAnyone who has it will see \u201cThis link is no longer active\u201d."));
    prompts.answerDeletion(true);
    button(rows[1], "delete")->click();
    ASSERT_TRUE(waitFor([&] { return sheet->links().size() == 1u && !sheet->isLoading(); }));
    EXPECT_EQ(store->project().share->token, own);

    // The project's own link: the record goes once the server confirms.
    const QString other = server.addLink(R"({"name":"Old","report":"r.pdf","sources":[]})");
    prompts.answerDeletion(true);
    button(sheet->rows()[0], "delete")->click();
    ASSERT_TRUE(waitFor(
        [&] { return !store->project().share && sheet->links().size() == 1u && !sheet->isLoading(); }));
    EXPECT_TRUE(shown(row->firstPublishHint()));

    // "Use" attaches the project to the link and closes the sheet.
    ASSERT_TRUE(store->writeProject(paths.file("show.qvrig")));
    button(sheet->rows()[0], "use")->click();
    EXPECT_TRUE(waitFor([&] { return !row->showLinks(); }));
    const ShareInfo& share = *store->project().share;
    EXPECT_EQ(toQ(share.token), other);
    EXPECT_TRUE(share.fingerprints.empty());
    EXPECT_FALSE(share.hidden.has_value());
    EXPECT_TRUE(store->isDirty());
    EXPECT_TRUE(shown(row->attachedNote()));
    EXPECT_EQ(server.requests(Route::Delete).size(), 2);
}

TEST_F(CrewLinkTest, SheetKeepsItsRowsWhileAskingToDelete) {
    FakePrompts prompts;
    publish();
    server.addLink(R"({"name":"Old","report":"r.pdf","sources":[]})");
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->rows().size(), 2);
    const std::string oldToken = sheet->links()[1].token;
    QPointer<QWidget> asking = sheet->rows()[1];
    // While the question is open the project loses its link elsewhere and the question's
    // event loop runs deferred deletions: the row whose button asked stays.
    prompts.answerDeletion(true, [&] {
        change([](Project& p) { p.share.reset(); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(asking);
    });
    button(asking, "delete")->click();
    // Afterwards the rows follow the project, and the link asked about is the one deleted.
    EXPECT_EQ(sheet->rows()[0]->findChild<QLabel*>(QStringLiteral("thisProject")), nullptr);
    ASSERT_TRUE(waitFor([&] { return sheet->links().size() == 1u && !sheet->isLoading(); }));
    ASSERT_EQ(server.requests(Route::Delete).size(), 1);
    EXPECT_TRUE(server.requests(Route::Delete)[0].path.endsWith(QByteArray::fromStdString(oldToken)));
}

TEST_F(CrewLinkTest, SheetShowsFailuresInPlace) {
    FakePrompts prompts;
    server.setFault(Route::List,
                    answering(200,
                              R"({"links":[{"token":"t1","url":"https://x.example/c/t1","name":"<b>Big</b>",)"
                              R"("report":"r.pdf","sources":2,"createdAt":0,"updatedAt":1e300}]})"));
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->rows().size(), 1);
    QWidget* linkRow = sheet->rows()[0];
    EXPECT_EQ(linkRow->findChild<QLabel*>(QStringLiteral("title"))->textFormat(), Qt::PlainText);
    EXPECT_EQ(text(linkRow, "detail"), QStringLiteral("Updated ? \u00b7 2 sources \u00b7 r.pdf"));
    // A time that is no date: "Use" is refused, the project stays as it was.
    const Project before = store->project();
    button(linkRow, "use")->click();
    EXPECT_TRUE(row->showLinks());
    ASSERT_TRUE(sheet->error().has_value());
    EXPECT_TRUE(sheet->error()->startsWith(QStringLiteral("The server\u2019s answer could not be read: ")));
    EXPECT_EQ(store->project(), before);

    server.setFault(Route::Delete, answering(404));
    const auto lists = server.requests(Route::List).size();
    prompts.answerDeletion(true);
    button(linkRow, "delete")->click();
    ASSERT_TRUE(waitFor([&] { return sheet->error() == QStringLiteral("Could not delete the link."); }));
    auto* error = sheet->findChild<QLabel*>(QStringLiteral("error"));
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->textFormat(), Qt::PlainText);
    EXPECT_EQ(sheet->links().size(), 1u);
    EXPECT_EQ(server.requests(Route::List).size(), lists); // no reload

    // Only Escape and "Close" close it.
    QTest::keyClick(sheet, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_TRUE(row->showLinks());
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return !row->showLinks(); }));

    // No key: nothing is sent, the text says what to do.
    settings->setKey(QString());
    sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->error(), std::optional<QString>(publishText::noKey));
    EXPECT_TRUE(sheet->links().empty());
    EXPECT_FALSE(sheet->findChild<QWidget*>(QStringLiteral("loading"))->isVisible());
}

TEST_F(CrewLinkTest, AClosedSheetDropsLateAnswers) {
    FakePrompts prompts;
    publish();
    server.setFault(Route::List, answering(std::nullopt, {}, 600));
    row->existingLinksButton()->click();
    QPointer<ExistingLinksSheet> sheet = row->linksSheet();
    ASSERT_TRUE(sheet);
    QSignalSpy finished(sheet.data(), &ExistingLinksSheet::loadFinished);
    ASSERT_TRUE(waitFor([&] { return server.requests(Route::List).size() == 1; }));
    sheet->close();
    EXPECT_FALSE(row->showLinks());
    // Deleted on close before the answer comes; nothing may touch it.
    ASSERT_TRUE(waitFor([&] { return sheet.isNull() && server.answeredCount() >= 1; }));
    QTest::qWait(100);
    EXPECT_EQ(finished.count(), 0);

    // The same with the sheet kept alive: its state stays as it was.
    ExistingLinksSheet kept(*store);
    QSignalSpy keptFinished(&kept, &ExistingLinksSheet::loadFinished);
    kept.show();
    ASSERT_TRUE(waitFor([&] { return server.requests(Route::List).size() == 2; }));
    kept.close();
    ASSERT_TRUE(waitFor([&] { return server.answeredCount() >= 2; }));
    QTest::qWait(100);
    EXPECT_EQ(keptFinished.count(), 0);
    EXPECT_TRUE(kept.links().empty());

    // A deletion still forgets the project's link when its sheet closed meanwhile.
    server.clearFaults();
    ExistingLinksSheet* open = openSheet();
    ASSERT_NE(open, nullptr);
    server.setFault(Route::Delete, answering(std::nullopt, {}, 400));
    prompts.answerDeletion(true);
    button(open->rows()[0], "delete")->click();
    ASSERT_TRUE(waitFor([&] { return server.requests(Route::Delete).size() == 1; }));
    const auto lists = server.requests(Route::List).size();
    open->close();
    ASSERT_TRUE(waitFor([&] { return !store->project().share.has_value(); }));
    QTest::qWait(100);
    EXPECT_EQ(server.requests(Route::List).size(), lists); // no reload for a closed sheet
}

} // namespace
} // namespace rig::app
