#include "ExistingLinksSheet.h"
#include "ExportCommands.h"
#include "ShareRow.h"

#include "CrewLink.h"
#include "DateText.h"
#include "ProjectStore.h"
#include "PublishClient.h"
#include "PublishSettings.h"
#include "QtText.h"
#include "WebLinks.h"
#include "support/BidiTesting.h"
#include "support/FakePrompts.h"
#include "support/PublishTesting.h"
#include "support/ShownTexts.h"
#include "support/StoreTesting.h"
#include "support/Waiting.h"

#include "PublishStandIn.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QUrlQuery>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using testing::answering;
using testing::waitFor;
using testserver::Route;

QAbstractButton* button(QWidget* linkRow, const char* name) {
    return linkRow->findChild<QAbstractButton*>(QString::fromLatin1(name));
}

// Every row shows its buttons within the list's width, however long its link.
void expectButtonsInSight(ExistingLinksSheet* sheet) {
    // Rows added to a shown list are shown by a queued call, which a busy machine may not have
    // reached yet when the links are in; then their layouts settle.
    QCoreApplication::sendPostedEvents();
    testing::settleLayouts();
    const QWidget* list = sheet->findChild<QScrollArea*>("linkList")->viewport();
    for (QWidget* linkRow : sheet->rows()) {
        for (const char* name : {"open", "use", "delete"}) {
            const QAbstractButton* b = button(linkRow, name);
            const QRect at(b->mapTo(list, QPoint(0, 0)), b->size());
            EXPECT_TRUE(b->isVisibleTo(sheet) && at.left() >= 0 && at.right() < list->width())
                << name << " at " << at.x() << " of " << list->width();
        }
    }
}

class CrewLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        settings.setServer(server.baseUrl());
        settings.setKey(testing::standInKey);
        store->crewLink().setPublishing(&settings, &client);
        store->crewLink().setDownloadUploader([](Project, QString) -> QCoro::Task<void> { co_return; });
        Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"}, 4),
                                           fixtures::flownArray("Main R", {"ALL", "Main"}, 4)});
        p.name = "A & B #1";
        store->setProject(p);
        row.show();
    }
    void TearDown() override { setLinkOpener(previousOpener); }

    bool shown(QWidget* w) const { return w->isVisibleTo(&row); }
    // One of the section's rows, by its name.
    QWidget* part(const char* name) { return row.findChild<QWidget*>(QString::fromLatin1(name)); }
    void change(const std::function<void(Project&)>& edit) {
        Project p = store->project();
        edit(p);
        store->setProject(std::move(p));
        EXPECT_TRUE(testing::changesShown(*store));
    }
    void publish() {
        ASSERT_TRUE(testing::runTask(store->crewLink().publishOpenProject()).has_value());
        ASSERT_TRUE(testing::changesShown(*store));
    }
    ExistingLinksSheet* openSheet() {
        row.existingLinksButton()->click();
        ExistingLinksSheet* sheet = row.linksSheet();
        EXPECT_TRUE(sheet && waitFor([&] { return !sheet->isLoading(); }));
        return sheet;
    }

    testing::TempAppPaths paths;
    testserver::PublishStandIn server{testing::standInKey};
    PublishClient client;
    PublishSettings settings{std::make_unique<MemorySecretStore>()};
    std::unique_ptr<ProjectStore> store = testing::makeStore();
    ShareRow row{*store};
    testing::FakePrompts prompts;
    std::vector<QUrl> opened;
    LinkOpener previousOpener = setLinkOpener([this](const QUrl& url) { opened.push_back(url); });
};

TEST_F(CrewLinkTest, HiddenSourcesPublishAndAFailedResend) {
    // A hidden name that matches no source is not counted; "Show all" is an edit.
    change([](Project& p) { p.setHidden({"ALL/Main/Main L", "ALL/Gone/Nothing"}, true); });
    EXPECT_EQ(row.hiddenCountLabel()->text(), QStringLiteral("1 source"));
    ASSERT_TRUE(store->writeProject(paths.file("show.qvrig")));
    row.showAllButton()->click();
    EXPECT_FALSE(store->project().hiddenSources.has_value());
    EXPECT_TRUE(store->isDirty());

    publish();
    const QString url = toQ(store->project().share->url);
    // Share ▸ Email: "&" and "#" in the name stay text in the draft.
    row.shareByEmail();
    ASSERT_EQ(opened.size(), 1u);
    const QUrlQuery draft(opened[0].query(QUrl::FullyEncoded));
    EXPECT_EQ(opened[0].scheme() + draft.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded),
              QStringLiteral("mailtoA & B #1"));
    EXPECT_EQ(draft.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
              QStringLiteral("A & B #1 \u2013 speaker rigging\n") + url);

    // A failed resend shows only while the crew view is stale.
    change([](Project& p) { p.setHidden({"ALL/Main/Main L"}, true); });
    server.setFault(Route::Publish, answering(500, R"({"error":"Disk full"})"));
    testing::runTask(store->crewLink().sendVisibilityUpdate());
    EXPECT_TRUE(row.errorLabel()->text().contains(QStringLiteral("Disk full")));
    row.showAllButton()->click();
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_FALSE(shown(row.errorRow()));
    change([](Project& p) { p.setHidden({"ALL/Main/Main L"}, true); });
    EXPECT_TRUE(shown(row.errorRow()));
    EXPECT_TRUE(shown(row.sendNowButton()) && !shown(row.newLinkButton()));

    // The server lost the link: the row offers what the failed update's alert offers.
    server.clearFaults();
    testing::runTask(
        client.deleteServerLink(toQ(store->project().share->token), server.baseUrl(), testing::standInKey));
    testing::runTask(store->crewLink().sendVisibilityUpdate());
    ASSERT_TRUE(waitFor([&] { return shown(row.newLinkButton()) && !shown(row.sendNowButton()); }));
    QSignalSpy finished(&store->crewLink(), &CrewLink::pressFinished);
    // A re-send of the lost link that answers after the new link is stored says nothing.
    testserver::Fault late;
    late.delay = std::chrono::seconds(2);
    late.times = 1;
    server.setFault(Route::Publish, late);
    auto lateResend = store->crewLink().sendVisibilityUpdate();
    row.newLinkButton()->click();
    ASSERT_TRUE(waitFor([&] { return finished.size() == 1; }));
    testing::runTask(std::move(lateResend));
    EXPECT_EQ(server.tokens(), QStringList{toQ(store->project().share->token)});
    EXPECT_EQ(store->crewLink().visibilityError(), std::nullopt);
    EXPECT_TRUE(waitFor([&] { return !shown(row.errorRow()); }));
}

TEST_F(CrewLinkTest, HostileAndLongLinks) {
    ShareInfo share{"tok", "file:///etc/passwd", fixtures::testDate(), {}, {}, std::nullopt};
    change([&](Project& p) { p.share = share; });
    QTest::mouseClick(row.linkLabel(), Qt::LeftButton);
    row.shareByEmail();
    EXPECT_TRUE(opened.empty());
    // Markup from the server stays text, in the tool tip too.
    share.url = "<img src=\"file:///etc/x.png\"><b>link</b>";
    change([&](Project& p) { p.share = share; });
    EXPECT_EQ(QTextDocumentFragment::fromHtml(row.linkLabel()->toolTip()).toPlainText(), toQ(share.url));
    // Shortened in the middle for the eye; a click opens all of it.
    share.url = "https://rig.example.com/c/" + std::string(400, 'a') + "END";
    change([&](Project& p) { p.share = share; });
    row.resize(700, 400);
    QCoreApplication::processEvents();
    QTest::mouseClick(row.linkLabel(), Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(), toQ(share.url));

    for (const char* text : {"https://rig.example.com/c/abc", "HTTPS://rig.example.com/c"})
        EXPECT_TRUE(webLinkUrl(QString::fromUtf8(text)).has_value()) << text;
    for (const char* text : {"javascript:alert(1)", "smb://server/share", "rig.example.com/c/abc", "https://",
                             "https://rig.example.com/c/abc\n"})
        EXPECT_FALSE(webLinkUrl(QString::fromUtf8(text)).has_value()) << text;
}

// A project file is no more trusted than the server: its link is shown, offered, copied,
// put into a QR code and printed only when a server's link would have been accepted; the
// file keeps its text.
TEST_F(CrewLinkTest, AStoredLinkIsOfferedOnlyWhenTheServerCouldHaveSentIt) {
    const QString untouched = QStringLiteral("clipboard before");
    const std::vector<std::pair<QString, bool>> links = {
        {"https://rig.example.com/c/abc", true},
        {"http://192.168.1.20:8080/c/abc", true},
        {"javascript:alert(1)//", false},
        {"httpx://rig.example.com/c/abc", false},
        {"https-evil://rig.example.com/c/abc", false},
        {"ftp://rig.example.com/c/abc", false},
        {"file:///etc/passwd", false},
        {"http://rig.example.com/c/abc", false},
        {"https://rig.example.com/c/t\u202Egnp.exe", false},
        {"https://rig.example.com/c/a%0Ab", false},
        {"", false},
        // A user or password part: the link reads as one host and opens another.
        {"https://crew.example.com@evil.example/c/abc", false},
        {"https://:secret@rig.example.com/c/abc", false},
        {"https://crew%40rig.example.com@evil.example/c/abc", false},
        {"https://rig.example.com%40evil.example/c/abc", false},
        {"https://rig.example.com/c/%40abc", true},
        // Up to 2,048 characters; five million ran off the printed page.
        {"https://rig.example.com/c/" + QString(2048 - 26, u'a'), true},
        {"https://rig.example.com/c/" + QString(2049 - 26, u'a'), false},
        {"https://rig.example.com/c/" + QString(5'000'000, u'a'), false},
    };
    for (const auto& [url, valid] : links) {
        SCOPED_TRACE(url.left(80).toStdString());
        Project hostile = testing::showProject();
        hostile.share = ShareInfo{"tok", toStd(url), fixtures::testDate(), {}, {}, std::nullopt};
        const QString file = paths.file("hostile.qvrig");
        ASSERT_TRUE(testing::writeText(file, QByteArray::fromStdString(hostile.fileText())));
        store->openProject(file, false);
        ASSERT_EQ(store->filePath(), file);
        ASSERT_TRUE(testing::changesShown(*store));
        opened.clear();
        QGuiApplication::clipboard()->setText(untouched);

        EXPECT_TRUE(shown(part("linkBlock")));
        EXPECT_EQ(shown(part("badLinkNote")), !valid);
        EXPECT_EQ(row.linkLabel()->isLink(), valid);
        EXPECT_EQ(button(&row, "copyLink")->isEnabled(), valid);
        EXPECT_EQ(button(&row, "share")->isEnabled(), valid);
        EXPECT_EQ(row.qrImage().has_value(), valid);
        QTest::mouseClick(row.linkLabel(), Qt::LeftButton);
        row.shareByEmail();
        EXPECT_EQ(opened.size(), valid ? 2u : 0u);
        row.copyLink();
        EXPECT_TRUE(QGuiApplication::clipboard()->text() == (valid ? url : untouched));
        row.copyQRCode();
        EXPECT_EQ(QGuiApplication::clipboard()->image().isNull(), !valid);
        const CrewDoc rigger = exportCrewDoc(store->project(), false, fixtures::testDate());
        EXPECT_EQ(rigger.link.has_value(), valid);
        EXPECT_EQ(rigger.qr.has_value(), valid);
        EXPECT_EQ(exportPdfPage(store->project(), false, fixtures::testDate()).contains("\"qr\":"), valid);

        // Saved again, the link is the file's own text.
        ASSERT_TRUE(store->writeProject(file));
        EXPECT_EQ(Project::fromText(testing::readText(file).toStdString()).share->url, toStd(url));
    }
}

TEST_F(CrewLinkTest, SheetUsesAndDeletesLinks) {
    publish();
    const std::string own = store->project().share->token;
    const QString longToken(3000, u'k'); // unbroken, far wider than the sheet
    server.addLink(R"({"name":"","report":"Old show.pdf","sources":[{}]})", longToken);
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_TRUE(sheet && sheet->rows().size() == 2);
    QList<QWidget*> rows = sheet->rows();
    EXPECT_FALSE(button(rows[0], "use")->isEnabled()); // the project's own link
    expectButtonsInSight(sheet);
    // The long link wraps and copies whole.
    auto* url = rows[1]->findChild<QTextEdit*>("url");
    ASSERT_NE(url, nullptr);
    url->selectAll();
    url->copy();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), server.baseUrl() + "/c/" + longToken);

    // "Cancel" sends nothing; "Delete" on another link keeps the project's record.
    prompts.answerDeletion(false);
    button(rows[1], "delete")->click();
    EXPECT_TRUE(server.requests(Route::Delete).isEmpty());
    prompts.answerDeletion(true);
    button(rows[1], "delete")->click();
    // The question quotes the start of a long link.
    EXPECT_EQ(prompts.last(testing::FakePrompts::Kind::deletion).detail,
              (server.baseUrl() + "/c/" + longToken).left(200) + QChar(0x2026) +
                  "\nAnyone who has it will see \u201cThis link is no longer active\u201d.");
    ASSERT_TRUE(waitFor([&] { return sheet->links().size() == 1u && !sheet->isLoading(); }));
    EXPECT_EQ(store->project().share->token, own);

    // While the question is open the project loses its link elsewhere and deferred deletions
    // run: the row whose button asked stays alive.
    const QString other =
        server.addLink(R"({"name":"Old","report":"r.pdf","sources":[]})", QString(90, u'o'));
    QPointer<QWidget> asking = sheet->rows()[0];
    prompts.answerDeletion(true, [&] {
        change([](Project& p) { p.share.reset(); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(asking);
    });
    button(asking, "delete")->click();
    ASSERT_TRUE(waitFor([&] { return !sheet->isLoading() && sheet->links().at(0).token == toStd(other); }));
    EXPECT_TRUE(server.requests(Route::Delete).back().path.endsWith(QByteArray::fromStdString(own)));
    expectButtonsInSight(sheet);

    // "Use" attaches the project to the link and closes the sheet.
    ASSERT_TRUE(store->writeProject(paths.file("show.qvrig")));
    button(sheet->rows()[0], "use")->click();
    EXPECT_TRUE(waitFor([&] { return !row.showLinks(); }));
    EXPECT_EQ(toQ(store->project().share->token), other);
    EXPECT_TRUE(store->project().share->fingerprints.empty());
    EXPECT_TRUE(store->isDirty());
}

// A long list comes a block of rows at a time: every link gets its row, in the server's order.
TEST_F(CrewLinkTest, ALongListIsBuiltInOrder) {
    QStringList rows;
    for (int i = 0; i < 230; ++i) rows << "link:" + server.addLink(R"({"name":"","report":"r.pdf"})");
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_TRUE(sheet && waitFor([&] { return sheet->rowsComplete(); }));
    QStringList shown;
    for (QWidget* linkRow : sheet->rows()) shown << linkRow->objectName();
    EXPECT_EQ(shown, rows);
}

TEST_F(CrewLinkTest, SheetShowsFailuresInPlace) {
    server.setFault(
        Route::List,
        answering(200, R"({"links":[{"token":"t1","url":"https://x.example/c/t1","name":"<b>Big</b>\u202E",)"
                       R"("report":"r\u202E.pdf","sources":2,"createdAt":0,"updatedAt":1e300},)"
                       R"({"token":"t2","url":"javascript:alert(1)//","name":"","report":"r.pdf",)"
                       R"("sources":2,"createdAt":0,"updatedAt":1},)"
                       R"({"token":"t3","url":"httpx://x.example/c/t3","name":"","report":"",)"
                       R"("sources":0,"createdAt":0,"updatedAt":1},)"
                       R"({"token":"t4","url":"https-evil://x.example/c/t4","name":"","report":"",)"
                       R"("sources":0,"createdAt":0,"updatedAt":1},)"
                       R"({"token":"t5","url":"","name":"","report":"","sources":0,)"
                       R"("createdAt":0,"updatedAt":1},)"
                       R"({"token":"","url":"https://x.example/c/","name":"","report":"",)"
                       R"("sources":0,"createdAt":0,"updatedAt":1},)"
                       R"({"token":"t7","url":"https://x.example@evil.example/c/t7","name":"",)"
                       R"("report":"","sources":0,"createdAt":0,"updatedAt":1}]})"));
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_TRUE(sheet && sheet->rows().size() == 7);
    // "Open" hands crew links alone to the browser; a link without scheme, host or token is
    // never attached.
    for (QWidget* r : sheet->rows()) button(r, "open")->click();
    EXPECT_EQ(opened, (std::vector<QUrl>{QUrl("https://x.example/c/t1"), QUrl("https://x.example/c/")}));
    prompts.answerDeletion(true);
    button(sheet->rows()[5], "delete")->click();
    EXPECT_TRUE(waitFor([&] { return sheet->error() == publishText::invalidToken; }));
    EXPECT_TRUE(server.requests(Route::Delete).isEmpty());
    for (int i : {2, 3, 4, 5, 6}) {
        button(sheet->rows()[i], "use")->click();
        EXPECT_EQ(sheet->error(), i == 5 ? publishText::invalidToken : publishText::badCrewLink) << i;
    }
    QWidget* linkRow = sheet->rows()[0];
    EXPECT_EQ(linkRow->findChild<QLabel*>("title")->textFormat(), Qt::PlainText);
    // The server's names stand isolated, without their overrides.
    const testing::ShownOverrides shown = testing::shownOverrides(*sheet);
    EXPECT_TRUE(shown.isolated == 2 && shown.loose.isEmpty()) << shown.loose.join(" | ").toStdString();
    // A time that is no date, or a link that is no https address: "Use" is refused, the
    // project stays as it was.
    const Project before = store->project();
    button(linkRow, "use")->click();
    EXPECT_TRUE(sheet->error().value_or(QString()).startsWith(
        QStringLiteral("The server\u2019s answer could not be read: ")));
    button(sheet->rows()[1], "use")->click();
    EXPECT_EQ(sheet->error(), publishText::badCrewLink);
    EXPECT_EQ(store->project(), before);

    server.setFault(Route::Delete, answering(404));
    const auto lists = server.requests(Route::List).size();
    prompts.answerDeletion(true);
    button(linkRow, "delete")->click();
    ASSERT_TRUE(waitFor([&] { return sheet->error() == QStringLiteral("Could not delete the link."); }));
    EXPECT_EQ(server.requests(Route::List).size(), lists); // no reload

    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return !row.showLinks(); }));

    // No key: nothing is sent.
    settings.setKey(QString());
    sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->error(), std::optional<QString>(publishText::noKey));
    EXPECT_EQ(server.requests(Route::List).size(), lists);
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return !row.showLinks(); }));

    // A key the keyring could not give is not a missing key.
    auto unreadable = std::make_unique<MemorySecretStore>();
    unreadable->setFailures("the keyring is locked", std::nullopt);
    PublishSettings locked{std::move(unreadable)};
    store->crewLink().setPublishing(&locked, &client);
    sheet = openSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->error(), "The key could not be read from the system keyring: the keyring is locked");
    EXPECT_EQ(server.requests(Route::List).size(), lists);
    store->crewLink().setPublishing(&settings, &client);

    for (double t : {253402300800000.0, -62135596800001.0, fixtures::notANumber})
        EXPECT_EQ(linkUpdateTime(t), std::nullopt) << t;
}

TEST_F(CrewLinkTest, AClosedSheetDropsLateAnswers) {
    publish();
    const int answered = server.answeredCount();
    server.setFault(Route::List, answering(std::nullopt, {}, 600ms));
    row.existingLinksButton()->click();
    QPointer<ExistingLinksSheet> sheet = row.linksSheet();
    QSignalSpy finished(sheet.data(), &ExistingLinksSheet::loadFinished);
    ExistingLinksSheet kept(*store); // one that outlives its closing
    QSignalSpy keptFinished(&kept, &ExistingLinksSheet::loadFinished);
    kept.show();
    ASSERT_TRUE(waitFor([&] { return server.requests(Route::List).size() == 2; }));
    sheet->close();
    kept.close();
    // Both answers come after the sheets closed, one of them deleted: nothing may touch them.
    ASSERT_TRUE(waitFor([&] { return sheet.isNull() && server.answeredCount() == answered + 2; }));
    server.clearFaults();
    (void)testing::runTask(store->crewLink().listServerLinks()); // a later round trip: the answers are in
    EXPECT_EQ(finished.count() + keptFinished.count(), 0);
    EXPECT_TRUE(kept.links().empty());

    // A deletion still forgets the project's link when its sheet closed meanwhile.
    ExistingLinksSheet* open = openSheet();
    ASSERT_NE(open, nullptr);
    server.setFault(Route::Delete, answering(std::nullopt, {}, 400ms));
    prompts.answerDeletion(true);
    button(open->rows()[0], "delete")->click();
    ASSERT_TRUE(waitFor([&] { return server.requests(Route::Delete).size() == 1; }));
    open->close();
    ASSERT_TRUE(waitFor([&] { return !store->project().share.has_value(); }));
}

// --- What the rows and the sheet say --------------------------------------------------------

TEST_F(CrewLinkTest, TheRowsSayWhatTheCrewSees) {
    using testing::shownTexts;
    row.resize(860, 500);
    const auto texts = [&](QWidget* part) {
        return part->isVisibleTo(&row) ? shownTexts(part) : QStringList();
    };
    const QStringList existing{"Use an Existing Link\u2026",
                               "Re-attach a link the crew already has, or delete old ones."};

    // Never published: how to publish, and the links kept on the server.
    EXPECT_EQ(
        shownTexts(&row),
        QStringList{"Press Publish in the toolbar: the crew view goes online and the link is copied \u2013 "
                    "paste it into WhatsApp. Later updates keep the same link."} +
            existing);
    // Hidden sources of the report are counted, "s" from two on.
    change([](Project& p) { p.setHidden({"ALL/Main/Main L", "ALL/Gone/Nothing"}, true); });
    EXPECT_EQ(texts(part("hiddenRow")), (QStringList{"Hidden from crew", "1 source", "Show All"}));
    change([](Project& p) { p.setHidden({"ALL/Main/Main R"}, true); });
    EXPECT_EQ(texts(part("hiddenRow")), (QStringList{"Hidden from crew", "2 sources", "Show All"}));
    row.showAllButton()->click();
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_EQ(texts(part("hiddenRow")), QStringList());

    // Published: the link and when; no note until a source changes.
    publish();
    const ShareInfo share = *store->project().share;
    std::vector<QString> link;
    for (const testing::PaintedText& t : testing::paintedTexts(row.linkLabel())) link.push_back(t.text);
    EXPECT_EQ(link, std::vector<QString>{toQ(share.url)});
    EXPECT_EQ(texts(part("publishedRow")),
              (QStringList{"Last published", formatShortDateTime(share.publishedAt)}));
    EXPECT_EQ(texts(part("attachedNote")), QStringList());
    EXPECT_EQ(texts(part("changedNote")), QStringList());
    change([](Project& p) { p.report.sources.edit()[0].pickups.mut(0).load = 999.0; });
    EXPECT_EQ(
        texts(part("changedNote")),
        QStringList{"1 source changed since then \u2013 press Update link (toolbar) so the crew sees it."});
    // A load that becomes unreadable is a change too.
    change([](Project& p) { p.report.sources.edit()[1].pickups.mut(0).load = fixtures::notANumber; });
    EXPECT_EQ(
        texts(part("changedNote")),
        QStringList{"2 sources changed since then \u2013 press Update link (toolbar) so the crew sees it."});
    EXPECT_EQ(texts(part("attachedNote")), QStringList());
}

TEST_F(CrewLinkTest, TheSheetShowsEachLinksUpdateTimeAndAnAttachedLinkSaysSo) {
    // Times in milliseconds since 1970, as the server sends them; one sent in seconds reads
    // as a day in January 1970.
    const qint64 updated = 1741944413000; // 2025-03-14 09:26:53 UTC
    server.setFault(
        Route::List,
        answering(200, R"({"links":[{"token":"t1","url":"https://x.example/c/t1","name":"",)"
                       R"("report":"Old show.pdf","sources":1,"createdAt":0,"updatedAt":1741944413000},)"
                       R"({"token":"t2","url":"https://x.example/c/t2","name":"Arena",)"
                       R"("report":"r.pdf","sources":2,"createdAt":0,"updatedAt":1741944413}]})"));
    ExistingLinksSheet* sheet = openSheet();
    ASSERT_TRUE(sheet && sheet->rows().size() == 2);
    const auto rowTexts = [&](int i) {
        QStringList out;
        for (const char* name : {"title", "thisProject", "detail", "url"}) {
            if (auto* label = sheet->rows()[i]->findChild<QLabel*>(name)) out << label->text();
            if (auto* text = sheet->rows()[i]->findChild<QTextEdit*>(name)) out << text->toPlainText();
        }
        return out;
    };
    const QString in2025 = formatShortDateTime(QDateTime::fromMSecsSinceEpoch(updated, Qt::UTC));
    const QString in1970 = formatShortDateTime(QDateTime::fromMSecsSinceEpoch(updated / 1000, Qt::UTC));
    ASSERT_TRUE(in2025.contains("2025") && in1970.contains("1970")) << in2025.toStdString();
    EXPECT_EQ(rowTexts(0),
              (QStringList{"Untitled", "Updated " + in2025 + " \u00b7 1 sources \u00b7 Old show.pdf",
                           "https://x.example/c/t1"}));
    EXPECT_EQ(rowTexts(1), (QStringList{"Arena", "Updated " + in1970 + " \u00b7 2 sources \u00b7 r.pdf",
                                        "https://x.example/c/t2"}));
    // Return on a row's button neither attaches nor deletes: the sheet stays open.
    QApplication::setActiveWindow(sheet);
    for (const char* name : {"use", "delete"}) {
        QAbstractButton* focused = button(sheet->rows()[0], name);
        focused->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(waitFor([&] { return focused->hasFocus(); })) << name;
        QTest::keyClick(focused, Qt::Key_Return);
        QCoreApplication::processEvents();
        ASSERT_TRUE(row.showLinks()) << name;
    }
    EXPECT_FALSE(store->project().share.has_value());
    EXPECT_EQ(prompts.count(testing::FakePrompts::Kind::deletion), 0);

    // "Use": the link with its time becomes the project's, marked attached, not published.
    button(sheet->rows()[0], "use")->click();
    ASSERT_TRUE(waitFor([&] { return !row.showLinks(); }));
    ASSERT_TRUE(testing::changesShown(*store));
    EXPECT_EQ(store->project().share->publishedAt, fixtures::testDate());
    row.resize(860, 500);
    EXPECT_EQ(testing::shownTexts(part("publishedRow")), (QStringList{"Last published", in2025}));
    EXPECT_TRUE(part("attachedNote")->isVisibleTo(&row));
    EXPECT_EQ(
        testing::shownTexts(part("attachedNote")),
        QStringList{
            "Attached to an existing link \u2013 press Update link (toolbar) to send this project to it."});
    // Marked as this project's own when the sheet opens again.
    sheet = openSheet();
    ASSERT_TRUE(sheet && sheet->rows().size() == 2);
    EXPECT_EQ(rowTexts(0).mid(0, 2), (QStringList{"Untitled", "this project"}));
    EXPECT_FALSE(button(sheet->rows()[0], "use")->isEnabled());
    EXPECT_EQ(rowTexts(1).mid(0, 2),
              (QStringList{"Arena", "Updated " + in1970 + " \u00b7 2 sources \u00b7 r.pdf"}));
    QTest::keyClick(sheet, Qt::Key_Escape);
    EXPECT_TRUE(waitFor([&] { return !row.showLinks(); }));
}

} // namespace
} // namespace rig::app
