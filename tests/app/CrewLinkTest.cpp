// The crew link rows and the existing links sheet against the publish-server stand-in.
#include "pages/ExistingLinksSheet.h"
#include "pages/ShareRow.h"

#include "export/PublishChanges.h"
#include "export/PublishClient.h"
#include "export/PublishSettings.h"
#include "export/QRCode.h"
#include "pages/WebLinks.h"
#include "shell/DateText.h"
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
const std::string right = "ALL/Main/Main R";

Project twoArrays() {
    Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 4),
                                       fixtures::flownArray("Main R", {"ALL", "Main"}, 4),
                                       fixtures::flownArray("Out", {"ALL", "Out"}, 4)});
    p.name = "Arena";
    return p;
}

Fault answering(int status, QByteArray body = {}) {
    Fault f;
    f.status = status;
    f.body = std::move(body);
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
        if (!sheet) return nullptr;
        EXPECT_TRUE(waitFor([&] { return !sheet->isLoading(); }));
        return sheet;
    }

    static QPushButton* rowButton(QWidget* linkRow, const char* name) {
        return linkRow->findChild<QPushButton*>(QString::fromLatin1(name));
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

TEST_F(CrewLinkTest, NeverPublished) {
    EXPECT_TRUE(shown(row->firstPublishHint()));
    EXPECT_TRUE(shown(row->existingLinksButton()));
    EXPECT_FALSE(shown(row->linkBlock()));
    EXPECT_FALSE(shown(row->hiddenRow()));
    EXPECT_FALSE(shown(row->publishedRow()));
    EXPECT_FALSE(shown(row->attachedNote()));
    EXPECT_FALSE(shown(row->changedNote()));
    EXPECT_FALSE(shown(row->errorRow()));
    EXPECT_FALSE(row->showLinks());
}

TEST_F(CrewLinkTest, HiddenSourcesAndShowAll) {
    Project p = store->project();
    p.setHidden({left}, true);
    p.setHidden({"ALL/Gone/Nothing"}, true); // names no source: not counted
    store->setProject(p);
    EXPECT_TRUE(shown(row->hiddenRow()));
    EXPECT_EQ(row->hiddenCountLabel()->text(), QStringLiteral("1 source"));
    p.setHidden({right, "ALL/Out/Out"}, true);
    store->setProject(p);
    EXPECT_EQ(row->hiddenCountLabel()->text(), QStringLiteral("3 sources"));
    store->setProject(twoArrays()); // saved state, for the dirty flag below
    ASSERT_TRUE(store->writeProject(paths.file("show.qvrig")));
    p = store->project();
    p.setHidden({"ALL/Gone/Nothing"}, true);
    store->setProject(p);
    EXPECT_FALSE(shown(row->hiddenRow()));
    p.setHidden({left}, true);
    store->setProject(p);
    ASSERT_TRUE(store->writeProject(paths.file("show.qvrig")));
    row->showAllButton()->click();
    EXPECT_FALSE(store->project().hiddenSources.has_value());
    EXPECT_FALSE(shown(row->hiddenRow()));
    EXPECT_TRUE(store->isDirty());
}

TEST_F(CrewLinkTest, PublishedLinkQRAndChanges) {
    publish();
    const ShareInfo share = *store->project().share;
    const QString url = toQ(share.url);
    EXPECT_TRUE(shown(row->linkBlock()));
    EXPECT_FALSE(shown(row->firstPublishHint()));
    EXPECT_EQ(row->linkLabel()->text(), url);
    EXPECT_TRUE(row->linkLabel()->isLink());
    ASSERT_TRUE(row->qrImage().has_value());
    EXPECT_EQ(*row->qrImage(), *makeQRImage(url, 10));
    EXPECT_TRUE(shown(reinterpret_cast<QWidget*>(row->qrView())));
    EXPECT_EQ(row->publishedLabel()->text(), formatShortDateTime(share.publishedAt));
    EXPECT_FALSE(shown(row->attachedNote()));
    EXPECT_FALSE(shown(row->changedNote()));

    QTest::mouseClick(row->linkLabel(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(url));

    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    row->copyLinkButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), url);
    row->copyQRCode();
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32),
              row->qrImage()->convertToFormat(QImage::Format_RGB32));

    // Share ▸ Email: a draft with the name as subject and the link in the message.
    row->shareByEmail();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(QUrlQuery(opened[1].query(QUrl::FullyEncoded))
                    .queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded)
                    .startsWith(QStringLiteral("Arena \u2013 speaker rigging\n") + url));

    Project p = store->project();
    p.report.sources.edit()[0].pickups.mut(0).load = 999.0;
    store->setProject(p);
    EXPECT_TRUE(shown(row->changedNote()));
    EXPECT_EQ(row->changedLabel()->text(),
              QStringLiteral(
                  "1 source changed since then \u2013 press Update link (toolbar) so the crew sees it."));
    p.report.sources.edit()[1].pickups.mut(0).load = 998.0;
    store->setProject(p);
    EXPECT_TRUE(row->changedLabel()->text().startsWith(QStringLiteral("2 sources changed since then")));
}

TEST_F(CrewLinkTest, SendNowAfterAFailedResend) {
    publish();
    Project p = store->project();
    p.setHidden({left}, true);
    store->setProject(p);
    server.setFault(Route::Publish, answering(500, R"({"error":"Disk full"})"));
    runTask(store->sendVisibilityUpdate());
    ASSERT_TRUE(store->visibilityError().has_value());
    EXPECT_TRUE(shown(row->errorRow()));
    EXPECT_EQ(row->errorLabel()->text(), visibilityErrorText(*store->visibilityError()));
    EXPECT_TRUE(row->errorLabel()->text().contains(QStringLiteral("Disk full")));

    server.clearFaults();
    const int before = int(server.requests(Route::Publish).size());
    row->sendNowButton()->click();
    EXPECT_TRUE(row->sendNowButton()->isEnabled()); // not blocked while it runs
    ASSERT_TRUE(waitFor([&] { return !store->visibilityError(); }));
    EXPECT_EQ(int(server.requests(Route::Publish).size()), before + 1);
    EXPECT_FALSE(shown(row->errorRow()));
    EXPECT_EQ(store->project().share->hidden, store->project().hiddenSources);
}

TEST_F(CrewLinkTest, AnErrorWhileNotStaleShowsNoRow) {
    publish();
    Project p = store->project();
    p.setHidden({left}, true);
    store->setProject(p);
    server.setFault(Route::Publish, answering(500));
    runTask(store->sendVisibilityUpdate());
    ASSERT_TRUE(shown(row->errorRow()));
    row->showAllButton()->click(); // back to what the crew view holds
    EXPECT_TRUE(store->visibilityError().has_value());
    EXPECT_FALSE(shown(row->errorRow()));
}

TEST_F(CrewLinkTest, HostileLinkIsNeverOpened) {
    Project p = store->project();
    ShareInfo share;
    share.token = "tok";
    share.url = "file:///etc/passwd";
    share.publishedAt = fixtures::testDate();
    p.share = share;
    store->setProject(p);
    EXPECT_TRUE(shown(row->linkBlock()));
    EXPECT_TRUE(shown(row->attachedNote()));
    EXPECT_FALSE(row->linkLabel()->isLink());
    EXPECT_FALSE(row->shareButton()->isEnabled());
    EXPECT_TRUE(row->qrImage().has_value()); // made from the text all the same
    QTest::mouseClick(row->linkLabel(), Qt::LeftButton);
    row->shareByEmail();
    EXPECT_TRUE(opened.empty());
    row->copyLinkButton()->click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("file:///etc/passwd"));

    // Markup from the server stays text, in the tool tip too.
    share.url = "<img src=\"file:///etc/x.png\"><b>link</b>";
    p.share = share;
    store->setProject(p);
    EXPECT_EQ(row->linkLabel()->text(), toQ(share.url));
    EXPECT_EQ(QTextDocumentFragment::fromHtml(row->linkLabel()->toolTip()).toPlainText(), toQ(share.url));
}

TEST_F(CrewLinkTest, LongLinkShortenedInTheMiddle) {
    Project p = store->project();
    ShareInfo share;
    share.token = "tok";
    share.url = "https://rig.example.com/c/" + std::string(400, 'a') + "END";
    share.publishedAt = fixtures::testDate();
    p.share = share;
    store->setProject(p);
    row->resize(700, 400);
    QCoreApplication::processEvents();
    const QString shownText = row->linkLabel()->shownText();
    EXPECT_TRUE(shownText.startsWith(QStringLiteral("https://rig.example.com/c/")))
        << shownText.toStdString();
    EXPECT_TRUE(shownText.endsWith(QStringLiteral("END"))) << shownText.toStdString();
    EXPECT_TRUE(shownText.contains(QStringLiteral("\u2026")));
    QTest::mouseClick(row->linkLabel(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), toQ(share.url));
}

// --- The links sheet ------------------------------------------------------------------------------

TEST_F(CrewLinkTest, SheetListsAndUses) {
    publish();
    const std::string own = store->project().share->token;
    const QString other = server.addLink(R"({"name":"","report":"Old show.pdf","sources":[{}]})");
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(row->showLinks());
    EXPECT_FALSE(sheet->error().has_value());
    ASSERT_EQ(sheet->links().size(), 2u);
    QList<QWidget*> rows = sheet->rows();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0]->findChild<QLabel*>(QStringLiteral("title"))->text(), QStringLiteral("Arena"));
    EXPECT_NE(rows[0]->findChild<QLabel*>(QStringLiteral("thisProject")), nullptr);
    EXPECT_FALSE(rowButton(rows[0], "use")->isEnabled());
    EXPECT_EQ(rows[1]->findChild<QLabel*>(QStringLiteral("title"))->text(), QStringLiteral("Untitled"));
    EXPECT_EQ(rows[1]->findChild<QLabel*>(QStringLiteral("thisProject")), nullptr);
    EXPECT_TRUE(rows[1]
                    ->findChild<QLabel*>(QStringLiteral("detail"))
                    ->text()
                    .endsWith(QStringLiteral(" \u00b7 1 sources \u00b7 Old show.pdf")));
    EXPECT_TRUE(rowButton(rows[1], "use")->isEnabled());

    rowButton(rows[1], "open")->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), toQ(sheet->links()[1].url));
    EXPECT_TRUE(row->showLinks()); // stays open

    ASSERT_TRUE(store->writeProject(paths.file("show.qvrig")));
    rowButton(rows[1], "use")->click();
    EXPECT_TRUE(waitFor([&] { return !row->showLinks(); }));
    const ShareInfo& share = *store->project().share;
    EXPECT_EQ(toQ(share.token), other);
    EXPECT_TRUE(share.fingerprints.empty());
    EXPECT_TRUE(share.changes.empty());
    EXPECT_FALSE(share.hidden.has_value());
    EXPECT_TRUE(store->isDirty());
    EXPECT_TRUE(shown(row->attachedNote()));
    EXPECT_NE(share.token, own);
    EXPECT_TRUE(server.requests(Route::Delete).isEmpty());
}

TEST_F(CrewLinkTest, SheetDeletesWithConfirmation) {
    FakePrompts prompts;
    publish();
    const std::string own = store->project().share->token;
    server.addLink(R"({"name":"Old","report":"r.pdf","sources":[]})");
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);

    // "Cancel" sends nothing.
    prompts.answerDeletion(false, [&] { EXPECT_TRUE(sheet->confirmDelete().has_value()); });
    sheet->rows()[1]->findChild<QToolButton*>(QStringLiteral("delete"))->click();
    EXPECT_FALSE(sheet->confirmDelete().has_value());
    EXPECT_TRUE(server.requests(Route::Delete).isEmpty());
    EXPECT_EQ(prompts.last(FakePrompts::Kind::deletion).text, QStringLiteral("Delete this link?"));
    EXPECT_EQ(prompts.last(FakePrompts::Kind::deletion).detail,
              toQ(sheet->links()[1].url) +
                  QStringLiteral("\nAnyone who has it will see \u201cThis link is no longer active\u201d."));

    // Another link: the project's record stays.
    const int lists = int(server.requests(Route::List).size());
    prompts.answerDeletion(true);
    sheet->rows()[1]->findChild<QToolButton*>(QStringLiteral("delete"))->click();
    ASSERT_TRUE(waitFor([&] { return sheet->links().size() == 1u && !sheet->isLoading(); }));
    EXPECT_EQ(int(server.requests(Route::List).size()), lists + 1);
    EXPECT_EQ(store->project().share->token, own);

    // The project's own link: the record goes once the server confirms.
    prompts.answerDeletion(true);
    sheet->rows()[0]->findChild<QToolButton*>(QStringLiteral("delete"))->click();
    ASSERT_TRUE(waitFor([&] { return sheet->links().empty() && !sheet->isLoading(); }));
    EXPECT_FALSE(store->project().share.has_value());
    EXPECT_TRUE(server.tokens().isEmpty());
    EXPECT_TRUE(shown(row->firstPublishHint()));
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
        Project p = store->project();
        p.share.reset();
        store->setProject(p);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(asking);
        EXPECT_NE(sheet->rows()[0]->findChild<QLabel*>(QStringLiteral("thisProject")), nullptr);
    });
    asking->findChild<QToolButton*>(QStringLiteral("delete"))->click();
    // Afterwards the rows follow the project, and the link asked about is the one deleted.
    EXPECT_EQ(sheet->rows()[0]->findChild<QLabel*>(QStringLiteral("thisProject")), nullptr);
    ASSERT_TRUE(waitFor([&] { return sheet->links().size() == 1u && !sheet->isLoading(); }));
    ASSERT_EQ(server.requests(Route::Delete).size(), 1);
    EXPECT_TRUE(server.requests(Route::Delete)[0].path.endsWith(QByteArray::fromStdString(oldToken)));
}

TEST_F(CrewLinkTest, SheetShowsFailuresInPlace) {
    FakePrompts prompts;
    server.addLink(R"({"name":"Old","report":"r.pdf","sources":[]})");
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->links().size(), 1u);

    server.setFault(Route::Delete, answering(404));
    const int lists = int(server.requests(Route::List).size());
    prompts.answerDeletion(true);
    sheet->rows()[0]->findChild<QToolButton*>(QStringLiteral("delete"))->click();
    ASSERT_TRUE(waitFor([&] { return sheet->error().has_value(); }));
    EXPECT_EQ(*sheet->error(), QStringLiteral("Could not delete the link."));
    auto* error = sheet->findChild<QLabel*>(QStringLiteral("error"));
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), QStringLiteral("Could not delete the link."));
    EXPECT_EQ(error->textFormat(), Qt::PlainText);
    EXPECT_EQ(sheet->links().size(), 1u);
    EXPECT_EQ(int(server.requests(Route::List).size()), lists); // no reload
    sheet->close();
    EXPECT_TRUE(waitFor([&] { return !row->showLinks(); }));

    // No key: nothing is sent, the text says what to do.
    settings->setKey(QString());
    sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->error(), std::optional<QString>(publishText::noKey));
    EXPECT_TRUE(sheet->links().empty());
    EXPECT_FALSE(sheet->findChild<QWidget*>(QStringLiteral("loading"))->isVisible());
}

TEST_F(CrewLinkTest, SheetServerTextsAndImpossibleTimes) {
    server.setFault(Route::List,
                    answering(200,
                              R"({"links":[{"token":"t1","url":"https://x.example/c/t1","name":"<b>Big</b>",)"
                              R"("report":"r.pdf","sources":2,"createdAt":0,"updatedAt":1e300}]})"));
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->rows().size(), 1);
    QWidget* linkRow = sheet->rows()[0];
    auto* title = linkRow->findChild<QLabel*>(QStringLiteral("title"));
    EXPECT_EQ(title->text(), QStringLiteral("<b>Big</b>"));
    EXPECT_EQ(title->textFormat(), Qt::PlainText);
    EXPECT_EQ(linkRow->findChild<QLabel*>(QStringLiteral("detail"))->text(),
              QStringLiteral("Updated ? \u00b7 2 sources \u00b7 r.pdf"));
    const Project before = store->project();
    rowButton(linkRow, "use")->click();
    EXPECT_TRUE(row->showLinks()); // refused: the sheet stays
    ASSERT_TRUE(sheet->error().has_value());
    EXPECT_TRUE(sheet->error()->startsWith(QStringLiteral("The server\u2019s answer could not be read: ")));
    EXPECT_EQ(store->project(), before);
}

TEST_F(CrewLinkTest, ClosingTheSheetDropsItsLoad) {
    Fault slow;
    slow.delay = std::chrono::milliseconds(600);
    server.setFault(Route::List, slow);
    server.addLink(R"({"name":"Old","report":"r.pdf","sources":[]})");
    row->existingLinksButton()->click();
    QPointer<ExistingLinksSheet> sheet = row->linksSheet();
    ASSERT_TRUE(sheet);
    QSignalSpy finished(sheet.data(), &ExistingLinksSheet::loadFinished);
    EXPECT_TRUE(sheet->isLoading());
    ASSERT_TRUE(waitFor([&] { return server.requests(Route::List).size() == 1; }));
    sheet->close();
    EXPECT_FALSE(row->showLinks());
    // The sheet is gone (deleted on close) before the answer comes; nothing may touch it.
    ASSERT_TRUE(waitFor([&] { return sheet.isNull(); }));
    ASSERT_TRUE(waitFor([&] { return server.answeredCount() >= 1; }));
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
}

TEST_F(CrewLinkTest, ADeletionOutlivesTheSheet) {
    FakePrompts prompts;
    publish();
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    Fault slow;
    slow.delay = std::chrono::milliseconds(400);
    server.setFault(Route::Delete, slow);
    prompts.answerDeletion(true);
    sheet->rows()[0]->findChild<QToolButton*>(QStringLiteral("delete"))->click();
    ASSERT_TRUE(waitFor([&] { return server.requests(Route::Delete).size() == 1; }));
    const int lists = int(server.requests(Route::List).size());
    sheet->close();
    ASSERT_TRUE(waitFor([&] { return !store->project().share.has_value(); }));
    QTest::qWait(100);
    EXPECT_EQ(int(server.requests(Route::List).size()), lists); // no reload for a closed sheet
}

TEST_F(CrewLinkTest, EscapeClosesTheSheet) {
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    QTest::keyClick(sheet, Qt::Key_Return); // only Escape and "Close" close it
    QCoreApplication::processEvents();
    EXPECT_TRUE(row->showLinks());
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return !row->showLinks(); }));
}

} // namespace
} // namespace rig::app
