#include "support/PublishTesting.h"

#include "analysis/CrewDoc.h"
#include "export/CrewPage.h"
#include "export/PublishClient.h"
#include "support/ProjectFixtures.h"

#include "PublishStandIn.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace rig::app {
namespace {

using testing::publishFailure;
using testing::runTask;
using testing::standInKey;
using testserver::Fault;
using testserver::PublishStandIn;
using testserver::Route;
using Kind = PublishError::Kind;

CrewDoc testDoc(const std::string& name = "Arena") {
    Project p = fixtures::projectWith(
        {fixtures::flownArray("Main L", {"ALL", "Main"}), fixtures::flownArray("Main R", {"ALL", "Main"})});
    p.name = name;
    return CrewDoc::build(p, {}, fixtures::testDate(), false);
}

class PublishClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }

    QString base() const { return server.baseUrl(); }

    PublishResponse publish(const std::optional<QString>& token = std::nullopt) {
        return runTask(client.publishCrewDoc(testDoc(), token, base(), standInKey));
    }

    PublishStandIn server{standInKey};
    PublishClient client;
};

TEST_F(PublishClientTest, FirstPublishSendsOnlyTheDocumentAndGetsANewLink) {
    const CrewDoc doc = testDoc();
    const PublishResponse answer = runTask(client.publishCrewDoc(doc, std::nullopt, base(), standInKey));
    ASSERT_EQ(server.tokens().size(), 1);
    EXPECT_EQ(answer.token, server.tokens()[0].toStdString());
    EXPECT_EQ(QString::fromStdString(answer.url), base() + "/c/" + server.tokens()[0]);
    // The document travels unchanged as "doc".
    EXPECT_EQ(server.link(server.tokens()[0])->doc.toStdString(), doc.encode());

    ASSERT_EQ(server.requests().size(), 1);
    const auto& r = server.requests()[0];
    EXPECT_EQ(r.method, "POST");
    EXPECT_EQ(r.path, "/api/rig");
    EXPECT_EQ(r.header("content-type"), "application/json");
    EXPECT_EQ(r.header("authorization"), "Bearer " + standInKey.toUtf8());
    const QJsonObject body = QJsonDocument::fromJson(r.body).object();
    EXPECT_EQ(body.keys(), QStringList{"doc"});
}

TEST_F(PublishClientTest, APublishedLinkOpensTheCrewPage) {
    const PublishResponse link = publish();
    QNetworkAccessManager browser;
    std::unique_ptr<QNetworkReply> page(browser.get(QNetworkRequest(QUrl(QString::fromStdString(link.url)))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->isFinished(); }, 20000));
    EXPECT_EQ(page->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    EXPECT_TRUE(page->header(QNetworkRequest::ContentTypeHeader).toString().startsWith("text/html"));
    const QString html = QString::fromUtf8(page->readAll());
    EXPECT_TRUE(html.startsWith(crewTemplate().left(15))); // the program's page, filled in
    EXPECT_TRUE(html.contains("\"crew\""));
    EXPECT_TRUE(html.contains("Main L"));

    runTask(client.deleteServerLink(QString::fromStdString(link.token), base(), standInKey));
    std::unique_ptr<QNetworkReply> gone(browser.get(QNetworkRequest(QUrl(QString::fromStdString(link.url)))));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gone->isFinished(); }, 20000));
    EXPECT_EQ(gone->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);
}

TEST_F(PublishClientTest, UpdateSendsTheTokenAndKeepsTheLink) {
    const PublishResponse first = publish();
    const CrewDoc renamed = testDoc("Arena, second night");
    const PublishResponse second =
        runTask(client.publishCrewDoc(renamed, QString::fromStdString(first.token), base(), standInKey));
    EXPECT_EQ(second, first);
    EXPECT_EQ(server.tokens().size(), 1);
    EXPECT_EQ(server.link(server.tokens()[0])->doc.toStdString(), renamed.encode());
    const QJsonObject body = QJsonDocument::fromJson(server.requests().last().body).object();
    EXPECT_EQ(body.value("token").toString().toStdString(), first.token);
}

TEST_F(PublishClientTest, LinksAreListedInCreationOrderAndDeleted) {
    EXPECT_TRUE(runTask(client.listServerLinks(base(), standInKey)).empty());
    const PublishResponse a = publish();
    const PublishResponse b = publish();
    std::vector<ServerLink> links = runTask(client.listServerLinks(base(), standInKey));
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].token, a.token);
    EXPECT_EQ(links[1].token, b.token);
    EXPECT_EQ(links[0].url, a.url);
    EXPECT_EQ(links[0].name, "Arena");
    EXPECT_EQ(links[0].sources, 2);
    EXPECT_GT(links[0].updatedAt, 1.6e12); // milliseconds

    runTask(client.deleteServerLink(QString::fromStdString(a.token), base(), standInKey));
    EXPECT_EQ(server.requests().last().method, "DELETE");
    EXPECT_EQ(server.requests().last().path, QByteArray("/api/rig/") + a.token.c_str());
    links = runTask(client.listServerLinks(base(), standInKey));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].token, b.token);
}

TEST_F(PublishClientTest, UploadPutsTheFileUnderItsNameWithItsLabel) {
    const PublishResponse link = publish();
    const QByteArray pdf("%PDF-1.4 not really\x00\x01", 21);
    runTask(client.uploadFile(QString::fromStdString(link.token), "rigging-points.pdf",
                              "Rigging points (PDF)", pdf, "  " + base() + "///", standInKey));
    const auto& r = server.requests().last();
    EXPECT_EQ(r.method, "PUT");
    EXPECT_EQ(r.path, QByteArray("/api/rig/") + link.token.c_str() + "/files/rigging-points.pdf");
    EXPECT_EQ(r.query, "label=Rigging%20points%20(PDF)");
    EXPECT_EQ(r.header("content-type"), QByteArray());
    EXPECT_EQ(r.header("authorization"), "Bearer " + standInKey.toUtf8());
    const auto* stored = server.link(QString::fromStdString(link.token));
    ASSERT_EQ(stored->files.count("rigging-points.pdf"), 1u);
    EXPECT_EQ(stored->files.at("rigging-points.pdf").label, "Rigging points (PDF)");
    EXPECT_EQ(stored->files.at("rigging-points.pdf").data, pdf);
}

// One request of each kind, for tables that try them all.
struct Request {
    const char* name;
    Route route;
    std::function<QCoro::Task<void>(PublishClient&, QString server, QString key)> send;
};

QCoro::Task<void> discard(QCoro::Task<PublishResponse> t) {
    co_await std::move(t);
}
QCoro::Task<void> discard(QCoro::Task<std::vector<ServerLink>> t) {
    co_await std::move(t);
}

const std::vector<Request>& allRequests() {
    static const std::vector<Request> requests = {
        {"publish", Route::Publish,
         [](PublishClient& c, QString s, QString k) {
             return discard(c.publishCrewDoc(testDoc(), {}, s, k));
         }},
        {"list", Route::List,
         [](PublishClient& c, QString s, QString k) { return discard(c.listServerLinks(s, k)); }},
        {"delete", Route::Delete,
         [](PublishClient& c, QString s, QString k) { return c.deleteServerLink("tok", s, k); }},
        {"upload", Route::Upload,
         [](PublishClient& c, QString s, QString k) {
             return c.uploadFile("tok", "rigging-points.csv", "Rigging points (CSV)", "a;b\n", s, k);
         }},
    };
    return requests;
}

TEST_F(PublishClientTest, AnswersOtherThan200GiveTheProtocolTexts) {
    struct Case {
        Route route;
        int status;
        QByteArray body;
        QString text;
        QList<QPair<QByteArray, QByteArray>> headers = {};
    };
    const QList<QPair<QByteArray, QByteArray>> bearerChallenge = {
        {"WWW-Authenticate", "Bearer realm=\"rig\""}};
    const QList<QPair<QByteArray, QByteArray>> basicChallenge = {{"WWW-Authenticate", "Basic realm=\"rig\""}};
    const std::vector<Case> cases = {
        {Route::Publish, 401, "", "The server did not accept the publish key (HTTP 401)."},
        {Route::Publish, 401, R"({"error":"Invalid publish key"})",
         "The server did not accept the publish key (Invalid publish key)."},
        {Route::Publish, 401, R"({"error":"Invalid publish key"})",
         "The server did not accept the publish key (Invalid publish key).", bearerChallenge},
        {Route::Publish, 401, R"({"error":"Invalid publish key"})",
         "The server did not accept the publish key (Invalid publish key).", basicChallenge},
        {Route::List, 401, "", "Could not load links (HTTP 401).", basicChallenge},
        // Statuses the network layer maps to errors of its own are still answers.
        {Route::Publish, 407, R"({"error":"Proxy"})", "Publishing failed: Proxy"},
        {Route::List, 407, "", "Could not load links (HTTP 407)."},
        {Route::Publish, 304, "", "Publishing failed: HTTP 304"},
        {Route::Upload, 407, "", "Upload of rigging-points.csv failed (HTTP 407)."},
        {Route::Publish, 500, R"({"error":"Disk <b>full</b>"})", "Publishing failed: Disk <b>full</b>"},
        {Route::Publish, 500, R"({"error":"Disk full","code":5})", "Publishing failed: HTTP 500"},
        {Route::Publish, 500, R"({"message":"Disk full"})", "Publishing failed: HTTP 500"},
        {Route::Publish, 500, R"(["error"])", "Publishing failed: HTTP 500"},
        {Route::Publish, 404, R"({"error":"Unknown link"})", "Publishing failed: Unknown link"},
        {Route::Publish, 201, R"({"token":"t","url":"u"})", "Publishing failed: HTTP 201"},
        {Route::Publish, 204, "", "Publishing failed: HTTP 204"},
        {Route::List, 404, R"({"error":"x"})", "Could not load links (HTTP 404)."},
        {Route::List, 401, "", "Could not load links (HTTP 401)."},
        {Route::Delete, 204, "", "Could not delete the link."},
        {Route::Delete, 404, "", "Could not delete the link."},
        {Route::Upload, 413, "", "Upload of rigging-points.csv failed (HTTP 413)."},
        {Route::Upload, 201, "", "Upload of rigging-points.csv failed (HTTP 201)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " / " + c.body.toStdString());
        Fault f;
        f.status = c.status;
        f.body = c.body;
        f.headers = c.headers;
        server.setFault(c.route, f);
        for (const Request& r : allRequests()) {
            if (r.route != c.route) continue;
            const auto e = publishFailure(r.send(client, base(), standInKey));
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind(), Kind::Server) << e->message().toStdString();
            EXPECT_EQ(e->message(), c.text);
        }
        server.clearFaults();
    }
}

TEST_F(PublishClientTest, AWrongKeyIsRefusedByTheServer) {
    const auto e = publishFailure(client.publishCrewDoc(testDoc(), {}, base(), "qvr_wrong"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message(), "The server did not accept the publish key (Invalid publish key).");
}

TEST_F(PublishClientTest, SuccessAnswersOfTheWrongFormAreDecodingFailures) {
    struct Case {
        Route route;
        QByteArray body;
    };
    const std::vector<Case> cases = {
        {Route::Publish, R"({"token":"abc"})"},
        {Route::Publish, R"({"token":"","url":"http://x/c/"})"},
        {Route::Publish, R"({"token":"abc","url":""})"},
        {Route::Publish, R"({"token":5,"url":"http://x/c/5"})"},
        {Route::Publish, "<html>gateway</html>"},
        {Route::Publish, ""},
        {Route::List,
         R"({"links":[{"token":"a","url":"u","name":"n","report":"r","sources":1,"createdAt":1}]})"},
        {Route::List,
         R"({"links":[{"token":"a","url":"u","name":"n","report":"r","sources":1.5,"createdAt":1,"updatedAt":2}]})"},
        {Route::List,
         R"({"links":[{"token":"a","url":"u","name":"n","report":"r","sources":1,"createdAt":"NaN","updatedAt":2}]})"},
        {Route::List, R"({"links":{}})"},
        {Route::List, R"({})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.toStdString());
        Fault f;
        f.status = 200;
        f.body = c.body;
        server.setFault(c.route, f);
        for (const Request& r : allRequests()) {
            if (r.route != c.route) continue;
            const auto e = publishFailure(r.send(client, base(), standInKey));
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind(), Kind::Decoding);
            EXPECT_FALSE(e->message().isEmpty());
        }
    }
}

TEST_F(PublishClientTest, AnEmptyListAndExtraKeysAreFine) {
    Fault f;
    f.status = 200;
    f.body = R"({"links":[{"token":"a","url":"u","name":"","report":"r.pdf","sources":3,"createdAt":1.5,)"
             R"("updatedAt":1700000000000,"extra":[1]}],"more":true})";
    server.setFault(Route::List, f);
    const auto links = runTask(client.listServerLinks(base(), standInKey));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0], (ServerLink{"a", "u", "", "r.pdf", 3, 1.5, 1700000000000.0}));
}

TEST_F(PublishClientTest, BrokenConnectionsAreTransportFailures) {
    struct Case {
        const char* name;
        Fault fault;
        Kind kind;
    };
    Fault closed;
    closed.close = true;
    Fault garbage;
    garbage.garbage = true;
    Fault huge;
    huge.status = 200;
    huge.body = QByteArray(PublishClient::maxAnswerBytes + 1, 'x');
    Fault slow;
    slow.delay = std::chrono::milliseconds(3000);
    client.setTimeouts(
        {std::chrono::milliseconds(300), std::chrono::milliseconds(300), std::chrono::milliseconds(300)});
    for (const Case& c : {Case{"closed", closed, Kind::Transport}, Case{"garbage", garbage, Kind::Transport},
                          Case{"huge", huge, Kind::Transport}, Case{"slow", slow, Kind::TimedOut}}) {
        for (const Request& r : allRequests()) {
            SCOPED_TRACE(std::string(c.name) + " " + r.name);
            server.setFault(r.route, c.fault);
            const auto e = publishFailure(r.send(client, base(), standInKey));
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind(), c.kind) << e->message().toStdString();
            EXPECT_FALSE(e->message().isEmpty());
            if (c.kind == Kind::TimedOut) {
                EXPECT_EQ(e->message(), "The request timed out.");
            }
            if (std::string(c.name) == "huge") {
                EXPECT_EQ(e->message(), "The server’s answer is too large.");
            }
        }
        server.clearFaults();
    }
}

TEST_F(PublishClientTest, TheTimeOutCountsFromTheLastDataReceived) {
    // Gaps well inside the time-out, eight of them well beyond it.
    client.setTimeouts(
        {std::chrono::milliseconds(1000), std::chrono::milliseconds(1000), std::chrono::milliseconds(1000)});
    struct Case {
        std::chrono::milliseconds apart;
        bool timesOut;
    };
    for (const Case& c :
         {Case{std::chrono::milliseconds(200), false}, Case{std::chrono::milliseconds(3000), true}}) {
        SCOPED_TRACE(c.apart.count());
        Fault slow;
        slow.status = 200;
        slow.body = R"({"links":[)" + QByteArray(4000, ' ') + "]}"; // longer in all than the time-out
        slow.trickle = c.apart;
        server.setFault(Route::List, slow);
        if (c.timesOut) {
            const auto e = publishFailure(client.listServerLinks(base(), standInKey));
            ASSERT_TRUE(e);
            EXPECT_EQ(e->message(), "The request timed out.");
        } else {
            EXPECT_TRUE(runTask(client.listServerLinks(base(), standInKey)).empty());
        }
    }
}

TEST_F(PublishClientTest, NoServerListeningIsATransportFailure) {
    const QString gone = base();
    server.stop();
    const auto e = publishFailure(client.listServerLinks(gone, standInKey));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), Kind::Transport);
}

TEST_F(PublishClientTest, RedirectsAreNotFollowedAndTheKeyStaysHome) {
    PublishStandIn elsewhere(standInKey);
    ASSERT_TRUE(elsewhere.start());
    for (const Request& r : allRequests()) {
        SCOPED_TRACE(r.name);
        Fault f;
        f.redirect = QUrl(elsewhere.baseUrl() + "/api/rig");
        server.setFault(r.route, f);
        const auto e = publishFailure(r.send(client, base(), standInKey));
        ASSERT_TRUE(e);
        EXPECT_EQ(e->kind(), Kind::Server);
        EXPECT_TRUE(e->message().contains("302") || e->message() == publishText::deleteFailed)
            << e->message().toStdString();
    }
    EXPECT_EQ(elsewhere.connectionCount(), 0);
    EXPECT_TRUE(elsewhere.requests().empty());
}

TEST_F(PublishClientTest, InvalidAddressesSendNothing) {
    const QString port = QString::number(server.port());
    const QStringList addresses = {
        "",
        "127.0.0.1:" + port,
        "localhost/api",
        "foo/api",
        "/api",
        "ftp://127.0.0.1:" + port,
        "file:///tmp",
        "mailto:crew@example.com",
        "http://",
        "http:///api",
        "http://127.0.0.1:99999",
        "http://127.0.0.1:" + port + "\n",
        "http://127.0.0.1:" + port + "/?next=1",
        "http://127.0.0.1:" + port + "/#top",
        "http://127.0.0.1:" + port + "/a b",
        "http://[::1",
    };
    for (const QString& address : addresses) {
        for (const Request& r : allRequests()) {
            SCOPED_TRACE(address.toStdString() + " " + r.name);
            const auto e = publishFailure(r.send(client, address, standInKey));
            ASSERT_TRUE(e);
            EXPECT_EQ(e->message(), "Invalid server address.");
        }
    }
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(PublishClientTest, AddressesAreTrimmedOfBlanksAndTrailingSlashesOnly) {
    const QString nbsp = QString(QChar(0x00a0));
    const QString ideographic = QString(QChar(0x3000));
    struct Case {
        QString address;
        QByteArray path;
    };
    for (const Case& c :
         {Case{" \t" + base() + "///" + nbsp, "/api/rig"}, Case{ideographic + base() + "/", "/api/rig"},
          Case{base() + "/prefix/", "/prefix/api/rig"}, Case{base() + "/a/b//", "/a/b/api/rig"}}) {
        SCOPED_TRACE(c.address.toStdString());
        server.clearRequests();
        try {
            runTask(client.listServerLinks(c.address, standInKey));
        } catch (const PublishError&) {
            // The stand-in knows no prefix; only the path it was asked for matters here.
        }
        ASSERT_EQ(server.requests().size(), 1);
        EXPECT_EQ(server.requests()[0].path, c.path);
    }
}

TEST_F(PublishClientTest, KeysAreCheckedBeforeAnythingIsSent) {
    struct Case {
        QString key;
        QString server;
        Kind kind;
        QString text;
    };
    const std::vector<Case> cases = {
        {"", base(), Kind::NoKey, "Add the publish key in Settings (Ctrl+,) first."},
        {"", "not an address", Kind::NoKey, "Add the publish key in Settings (Ctrl+,) first."},
        {"qvr_x\r\nX-Injected: 1", base(), Kind::Server, "The publish key contains invalid characters."},
        {"qvr_x\n", base(), Kind::Server, "The publish key contains invalid characters."},
        {"qvr\tx", base(), Kind::Server, "The publish key contains invalid characters."},
        {QString("qvr_") + QChar(0x7f), base(), Kind::Server, "The publish key contains invalid characters."},
    };
    for (const Case& c : cases) {
        for (const Request& r : allRequests()) {
            SCOPED_TRACE(c.key.toStdString() + " " + r.name);
            const auto e = publishFailure(r.send(client, c.server, c.key));
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind(), c.kind);
            EXPECT_EQ(e->message(), c.text);
        }
    }
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(PublishClientTest, KeysWithBlanksAreSentAsTheyAre) {
    // Only the address is trimmed; the server's header parser may drop the trailing blank.
    server.setKey(" qvr spaced");
    runTask(client.listServerLinks(base(), " qvr spaced "));
    EXPECT_TRUE(server.requests().last().header("authorization").startsWith("Bearer  qvr spaced"));
}

TEST_F(PublishClientTest, TokensAreOnePathSegment) {
    struct Case {
        QString token;
        QByteArray path; // empty: refused before sending
    };
    const std::vector<Case> cases = {
        {"AbC-_09", "/api/rig/AbC-_09"},
        {"a/b c?d#e", "/api/rig/a%2Fb%20c%3Fd%23e"},
        {"..", ""},
        {".", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.token.toStdString());
        server.clearRequests();
        const auto e = publishFailure(client.deleteServerLink(c.token, base(), standInKey));
        ASSERT_TRUE(e);
        if (c.path.isEmpty()) {
            EXPECT_EQ(e->message(), "The link has no valid token.");
            EXPECT_TRUE(server.requests().empty());
        } else {
            EXPECT_EQ(e->message(), "Could not delete the link."); // unknown to the stand-in
            ASSERT_EQ(server.requests().size(), 1);
            EXPECT_EQ(server.requests()[0].path, c.path);
        }
    }
}

TEST_F(PublishClientTest, ARequestWhoseClientGoesAwayEndsAsCancelled) {
    Fault slow;
    slow.delay = std::chrono::milliseconds(10000);
    server.setFault(Route::List, slow);
    auto doomed = std::make_unique<PublishClient>();
    QCoro::Task<std::vector<ServerLink>> task = doomed->listServerLinks(base(), standInKey);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests().empty(); }, 10000));
    doomed.reset();
    const auto e = publishFailure(std::move(task));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), Kind::Cancelled);
}

} // namespace
} // namespace rig::app
