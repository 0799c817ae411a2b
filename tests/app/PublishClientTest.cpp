// The publish client against the stand-in: the requests it sends, and every way a request
// can go wrong ending in a clear PublishError, with nothing sent where it must not be.
#include "support/PublishTesting.h"

#include "analysis/CrewDoc.h"
#include "support/ProjectFixtures.h"

#include "PublishStandIn.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using testing::publishFailure;
using testing::runTask;
using testing::standInKey;
using testserver::Fault;
using testserver::PublishStandIn;
using testserver::Route;
using Kind = PublishError::Kind;

CrewDoc testDoc(const std::string& name = "Arena") {
    Project p = fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"})});
    p.name = name;
    return CrewDoc::build(p, {}, fixtures::testDate(), false);
}

Fault answering(int status, QByteArray body = {}, QByteArray challenge = {}) {
    Fault f;
    f.status = status;
    f.body = std::move(body);
    if (!challenge.isEmpty()) f.headers = {{"WWW-Authenticate", challenge}};
    return f;
}

const Route allRoutes[] = {Route::Publish, Route::List, Route::Delete, Route::Upload};

// One request of the route's kind.
QCoro::Task<void> send(PublishClient& c, Route route, QString server, QString key) {
    switch (route) {
    case Route::Publish:
        co_await c.publishCrewDoc(testDoc(), {}, server, key);
        break;
    case Route::List:
        co_await c.listServerLinks(server, key);
        break;
    case Route::Delete:
        co_await c.deleteServerLink("tok", server, key);
        break;
    default:
        co_await c.uploadFile("tok", "rigging-points.csv", "Rigging points (CSV)", "a;b\n", server, key);
    }
}

class PublishClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    QString base() const { return server.baseUrl(); }
    std::optional<PublishError> failure(Route route, const QString& address,
                                        const QString& key = standInKey) {
        return publishFailure(send(client, route, address, key));
    }

    PublishStandIn server{standInKey};
    PublishClient client;
};

TEST_F(PublishClientTest, PublishUpdateUploadDeleteAndListAsTheServerExpectsThem) {
    const CrewDoc doc = testDoc();
    const PublishResponse a = runTask(client.publishCrewDoc(doc, {}, base(), standInKey));
    ASSERT_EQ(server.tokens().size(), 1);
    const QString token = server.tokens()[0];
    EXPECT_EQ(a, (PublishResponse{token.toStdString(), (base() + "/c/" + token).toStdString()}));
    EXPECT_EQ(server.link(token)->doc.toStdString(), doc.encode()); // unchanged as "doc"
    EXPECT_EQ(server.requests()[0].header("content-type"), "application/json");
    EXPECT_EQ(server.requests()[0].header("authorization"), "Bearer " + standInKey.toUtf8());
    EXPECT_EQ(QJsonDocument::fromJson(server.requests()[0].body).object().keys(), QStringList{"doc"});

    // An update sends the token and keeps the link.
    const CrewDoc renamed = testDoc("Arena, second night");
    EXPECT_EQ(runTask(client.publishCrewDoc(renamed, token, base(), standInKey)), a);
    EXPECT_EQ(QJsonDocument::fromJson(server.requests().last().body)["token"].toString(), token);
    EXPECT_EQ(server.link(token)->doc.toStdString(), renamed.encode());
    const PublishResponse b = runTask(client.publishCrewDoc(doc, {}, base(), standInKey));

    // Binary data under the file's name with its label; the address loses blanks and slashes.
    const QByteArray pdf("%PDF-1.4 not really\x00\x01", 21);
    const QString blanks = " \t" + QString(QChar(0x3000)) + base() + "///" + QChar(0x00a0);
    runTask(client.uploadFile(token, "rigging-points.pdf", "Rigging points (PDF)", pdf, blanks, standInKey));
    EXPECT_EQ(server.requests().last().query, "label=Rigging%20points%20(PDF)");
    EXPECT_EQ(server.requests().last().header("content-type"), QByteArray());
    EXPECT_EQ(server.link(token)->files.at("rigging-points.pdf").label, "Rigging points (PDF)");
    EXPECT_EQ(server.link(token)->files.at("rigging-points.pdf").data, pdf);

    runTask(client.deleteServerLink(token, base(), standInKey));
    const std::vector<ServerLink> links = runTask(client.listServerLinks(base(), standInKey));
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].token, b.token);
    // A token is one path segment; a prefix in the address stays.
    EXPECT_TRUE(publishFailure(client.deleteServerLink("a/b c?d#e", base() + "/pre//", standInKey)));
    QStringList sent;
    for (const auto& r : server.requests()) sent << QString(r.method + " " + r.path);
    const QString at = "/api/rig/" + token;
    EXPECT_EQ(sent, QStringList({"POST /api/rig", "POST /api/rig", "POST /api/rig",
                                 "PUT " + at + "/files/rigging-points.pdf", "DELETE " + at, "GET /api/rig",
                                 "DELETE /pre/api/rig/a%2Fb%20c%3Fd%23e"}));

    // The key is sent as typed; the server's header parser may drop the trailing blank.
    server.setKey(" qvr spaced");
    runTask(client.listServerLinks(base(), " qvr spaced "));
    EXPECT_TRUE(server.requests().last().header("authorization").startsWith("Bearer  qvr spaced"));
}

TEST_F(PublishClientTest, AnswersOtherThan200GiveTheProtocolTexts) {
    const QByteArray basic = "Basic realm=\"rig\"";
    struct Case {
        Route route;
        Fault answer;
        QString text;
    };
    const std::vector<Case> cases = {
        {Route::Publish, answering(401), "The server did not accept the publish key (HTTP 401)."},
        // Statuses the network layer handles itself (challenges, proxies) are still answers.
        {Route::Publish, answering(401, R"({"error":"Invalid publish key"})", basic),
         "The server did not accept the publish key (Invalid publish key)."},
        {Route::List, answering(401, "", basic), "Could not load links (HTTP 401)."},
        {Route::Publish, answering(407, R"({"error":"Proxy"})"), "Publishing failed: Proxy"},
        {Route::Publish, answering(304), "Publishing failed: HTTP 304"},
        {Route::Publish, answering(500, R"({"error":"Disk <b>full</b>"})"),
         "Publishing failed: Disk <b>full</b>"},
        // Only an object of texts carries a message.
        {Route::Publish, answering(500, R"({"error":"Disk full","code":5})"), "Publishing failed: HTTP 500"},
        {Route::Publish, answering(500, R"(["error"])"), "Publishing failed: HTTP 500"},
        // Success is 200 and nothing else.
        {Route::Publish, answering(201, R"({"token":"t","url":"u"})"), "Publishing failed: HTTP 201"},
        {Route::List, answering(404, R"({"error":"x"})"), "Could not load links (HTTP 404)."},
        {Route::Delete, answering(204), "Could not delete the link."},
        {Route::Upload, answering(201), "Upload of rigging-points.csv failed (HTTP 201)."},
        {Route::Upload, answering(407), "Upload of rigging-points.csv failed (HTTP 407)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString() + " / " + c.answer.body.toStdString());
        server.setFault(c.route, c.answer);
        const auto e = failure(c.route, base());
        ASSERT_TRUE(e);
        EXPECT_EQ(e->kind(), Kind::Server);
        EXPECT_EQ(e->message(), c.text);
    }
}

TEST_F(PublishClientTest, SuccessAnswersAreReadStrictly) {
    auto links = [](QByteArray sources, QByteArray rest) {
        return R"({"links":[{"token":"a","url":"u","name":"","report":"r.pdf","sources":)" + sources +
               R"(,"createdAt":1.5,)" + rest + "}]";
    };
    const std::pair<Route, QByteArray> wrongForm[] = {
        {Route::Publish, R"({"token":"abc"})"},
        {Route::Publish, R"({"token":"","url":"http://x/c/"})"},
        {Route::Publish, R"({"token":"abc","url":""})"},
        {Route::Publish, R"({"token":5,"url":"http://x/c/5"})"},
        {Route::Publish, "<html>gateway</html>"},
        {Route::Publish, ""},
        {Route::List, links("1", R"("updatedAt":"NaN")") + "}"},
        {Route::List, links("1.5", R"("updatedAt":2)") + "}"},
        {Route::List, links("1", R"("other":2)") + "}"},
        {Route::List, R"({"links":{}})"},
        {Route::List, R"({})"},
    };
    for (const auto& [route, body] : wrongForm) {
        SCOPED_TRACE(body.toStdString());
        server.setFault(route, answering(200, body));
        const auto e = failure(route, base());
        ASSERT_TRUE(e);
        EXPECT_EQ(e->kind(), Kind::Decoding);
        EXPECT_FALSE(e->message().isEmpty());
    }
    // Keys beyond the expected ones are no reason to refuse.
    server.setFault(Route::List,
                    answering(200, links("3", R"("updatedAt":1700000000000,"x":[1])") + R"(,"y":1})"));
    const std::vector<ServerLink> expected = {{"a", "u", "", "r.pdf", 3, 1.5, 1700000000000.0}};
    EXPECT_EQ(runTask(client.listServerLinks(base(), standInKey)), expected);
}

TEST_F(PublishClientTest, BrokenConnectionsRedirectsAndSlowServersFailClearly) {
    PublishStandIn elsewhere(standInKey);
    ASSERT_TRUE(elsewhere.start());
    Fault closed, garbage, slow, redirect;
    closed.close = true;
    garbage.garbage = true;
    slow.delay = 3000ms;
    redirect.redirect = QUrl(elsewhere.baseUrl() + "/api/rig"); // never followed: the key stays home
    const Fault huge = answering(200, QByteArray(PublishClient::maxAnswerBytes + 1, 'x'));
    client.setTimeouts({300ms, 300ms, 300ms});
    struct Case {
        Fault fault;
        Kind kind;
        QString text; // empty: the network layer's own
    };
    for (const Case& c :
         {Case{closed, Kind::Transport, ""}, Case{garbage, Kind::Transport, ""},
          Case{huge, Kind::Transport, "The server’s answer is too large."},
          Case{slow, Kind::TimedOut, "The request timed out."}, Case{redirect, Kind::Server, ""}}) {
        for (const Route route : allRoutes) {
            SCOPED_TRACE(c.text.toStdString() + " " + std::to_string(int(route)));
            server.setFault(route, c.fault);
            const auto e = failure(route, base());
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind(), c.kind) << e->message().toStdString();
            EXPECT_FALSE(e->message().isEmpty());
            EXPECT_TRUE(c.text.isEmpty() || e->message() == c.text) << e->message().toStdString();
        }
        server.clearFaults();
    }
    EXPECT_EQ(elsewhere.connectionCount(), 0);

    // The time-out counts from the last data: an answer in eight pieces, longer in all than
    // the time-out, passes when the gaps are well inside it.
    client.setTimeouts({1000ms, 1000ms, 1000ms});
    for (const auto apart : {200ms, 3000ms}) {
        Fault trickling = answering(200, R"({"links":[)" + QByteArray(4000, ' ') + "]}");
        trickling.trickle = apart;
        server.setFault(Route::List, trickling);
        if (apart < 1000ms) {
            EXPECT_TRUE(runTask(client.listServerLinks(base(), standInKey)).empty());
        } else {
            const auto e = failure(Route::List, base());
            EXPECT_EQ(e ? e->message() : "", "The request timed out.");
        }
    }

    const QString gone = base();
    server.stop();
    const auto e = failure(Route::List, gone);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind(), Kind::Transport);
}

TEST_F(PublishClientTest, BadAddressesKeysAndTokensSendNothing) {
    const QString port = QString::number(server.port());
    const QString http = "http://127.0.0.1:" + port;
    const QString noKey = "Add the publish key in Settings (Ctrl+,) first.";
    const QString badKey = "The publish key contains invalid characters.";
    struct Case {
        QString address;
        QString key;
        Kind kind;
        QString text;
    };
    std::vector<Case> cases = {
        {base(), "", Kind::NoKey, noKey},
        {"not an address", "", Kind::NoKey, noKey},
        {base(), "qvr_x\r\nX-Injected: 1", Kind::Server, badKey},
        {base(), "qvr\tx", Kind::Server, badKey},
        {base(), QString("qvr_") + QChar(0x7f), Kind::Server, badKey},
    };
    // clang-format off
    const QStringList addresses = {
        "", "127.0.0.1:" + port, "localhost/api", "/api", "ftp://127.0.0.1:" + port, "file:///tmp",
        "mailto:crew@example.com", "http://", "http:///api", "http://127.0.0.1:99999", http + "\n",
        http + "/?next=1", http + "/#top", http + "/a b", "http://[::1"};
    // clang-format on
    for (const QString& address : addresses)
        cases.push_back({address, standInKey, Kind::Server, "Invalid server address."});
    for (const Case& c : cases) {
        for (const Route route : allRoutes) {
            SCOPED_TRACE(c.address.toStdString() + " " + c.key.toStdString() + " " +
                         std::to_string(int(route)));
            const auto e = failure(route, c.address, c.key);
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind(), c.kind);
            EXPECT_EQ(e->message(), c.text);
        }
    }
    for (const char* token : {"..", ".", ""}) {
        const auto e = publishFailure(client.deleteServerLink(token, base(), standInKey));
        EXPECT_EQ(e ? e->message() : "", "The link has no valid token.");
    }
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST_F(PublishClientTest, ARequestWhoseClientGoesAwayEndsAsCancelled) {
    Fault slow;
    slow.delay = 10000ms;
    server.setFault(Route::List, slow);
    auto doomed = std::make_unique<PublishClient>();
    QCoro::Task<std::vector<ServerLink>> task = doomed->listServerLinks(base(), standInKey);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests().empty(); }, 10000));
    doomed.reset();
    const auto e = publishFailure(std::move(task));
    EXPECT_EQ(e ? e->kind() : Kind::Server, Kind::Cancelled);
}

} // namespace
} // namespace rig::app
