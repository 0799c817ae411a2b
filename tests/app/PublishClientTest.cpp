// The publish client against the stand-in: the requests, and every way one can go wrong
// ending in a clear PublishError. Then the publish settings and their keyring writes.
#include "support/PublishTesting.h"

#include "analysis/CrewDoc.h"
#include "support/AppTesting.h"
#include "support/JsonTesting.h"
#include "support/ProjectFixtures.h"

#include <QTest>

#include <gtest/gtest.h>

namespace rig::app {
namespace {

using namespace std::chrono_literals;
using namespace testing;
using testserver::Fault;
using testserver::Route;
using Kind = PublishError::Kind;

CrewDoc testDoc() {
    return CrewDoc::build(fixtures::projectWith({fixtures::flownArray("Main L", {"ALL", "Main"})}), {},
                          fixtures::testDate(), false);
}

const Route allRoutes[] = {Route::Publish, Route::List, Route::Delete, Route::Upload};

QCoro::Task<void> send(PublishClient& c, Route route, QString server, QString key) {
    if (route == Route::Publish) co_await c.publishCrewDoc(testDoc(), {}, server, key);
    if (route == Route::List) co_await c.listServerLinks(server, key);
    if (route == Route::Delete) co_await c.deleteServerLink("tok", server, key);
    if (route == Route::Upload)
        co_await c.uploadFile("tok", "rigging-points.csv", "CSV", "a;b\n", server, key);
}

class PublishClientTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    QString base() const { return server.baseUrl(); }
    std::optional<PublishError> failure(Route route, const QString& at, const QString& key = standInKey) {
        return publishFailure(send(client, route, at, key));
    }

    testserver::PublishStandIn server{standInKey};
    PublishClient client;
};

TEST_F(PublishClientTest, PublishUpdateUploadDeleteAndListAsTheServerExpectsThem) {
    const CrewDoc doc = testDoc();
    const PublishResponse a = runTask(client.publishCrewDoc(doc, {}, base(), standInKey));
    const QString token = server.tokens().value(0);
    EXPECT_EQ(a, (PublishResponse{token.toStdString(), (base() + "/c/" + token).toStdString()}));
    EXPECT_EQ(server.link(token)->doc.toStdString(), doc.encode());
    EXPECT_EQ(runTask(client.publishCrewDoc(doc, token, base(), standInKey)), a); // an update
    const PublishResponse b = runTask(client.publishCrewDoc(doc, {}, base(), standInKey));

    // Binary data under the file's name with its label; the address loses blanks and slashes.
    const QByteArray pdf("%PDF-1.4 not really\x00\x01", 21);
    const QString blanks = " \t" + QString(QChar(0x3000)) + base() + "///" + QChar(0x00a0);
    runTask(client.uploadFile(token, "rigging-points.pdf", "Rigging points (PDF)", pdf, blanks, standInKey));
    EXPECT_EQ(server.link(token)->files.at("rigging-points.pdf").label, "Rigging points (PDF)");
    EXPECT_EQ(server.link(token)->files.at("rigging-points.pdf").data, pdf);

    runTask(client.deleteServerLink(token, base(), standInKey));
    const std::vector<ServerLink> links = runTask(client.listServerLinks(base(), standInKey));
    ASSERT_EQ(links.size(), 1u); // the update kept its link
    EXPECT_EQ(links[0].token, b.token);
    // A token is one path segment; a prefix in the address stays.
    EXPECT_TRUE(publishFailure(client.deleteServerLink("a/b c?d#e", base() + "/pre//", standInKey)));
    EXPECT_EQ(server.requests().last().path, "/pre/api/rig/a%2Fb%20c%3Fd%23e");
}

TEST_F(PublishClientTest, EveryFailedAnswerEndsInAClearError) {
    testserver::PublishStandIn elsewhere(standInKey);
    ASSERT_TRUE(elsewhere.start());
    Fault closed, garbage, redirect, challenged = answering(401, R"({"error":"Invalid publish key"})");
    closed.close = true;
    garbage.garbage = true;
    redirect.redirect = QUrl(elsewhere.baseUrl() + "/api/rig");         // never followed: the key stays home
    challenged.headers = {{"WWW-Authenticate", "Basic realm=\"rig\""}}; // handled by the network layer
    Fault trickling = answering(200, R"({"links":[)" + QByteArray(4000, ' ') + "]}");
    trickling.trickle = 3000ms; // the time-out also counts between pieces of the answer
    const PublishTimeouts shortWait{500ms, 500ms, 500ms};
    const QByteArray badLinks =
        R"({"links":[{"token":"a","url":"u","name":"","report":"r.pdf","sources":1.5,)"
        R"("createdAt":1,"updatedAt":2}]})";
    const std::optional<Route> all;
    const auto deep = [](const Json& answer) {
        return QByteArray::fromStdString(test::withNestedArrays(answer, 1'000'000));
    };
    const QString tooDeep = "The server’s answer could not be read: it is nested more than 512 levels deep.";
    const std::vector<std::tuple<std::optional<Route>, Fault, Kind, QString>> cases = {
        {Route::Publish, answering(401), Kind::Server,
         "The server did not accept the publish key (HTTP 401)."},
        {Route::Publish, challenged, Kind::Server,
         "The server did not accept the publish key (Invalid publish key)."},
        {Route::Publish, answering(500, R"({"error":"Disk <b>full</b>"})"), Kind::Server,
         "Publishing failed: Disk <b>full</b>"},
        // A server's text is the message, cut short.
        {Route::Publish, answering(401, R"({"error":")" + QByteArray(201, 'e') + R"("})"), Kind::Server,
         "The server did not accept the publish key (" + QString(200, 'e') + QChar(0x2026) + ")."},
        {Route::Publish, answering(201, R"({"token":"t","url":"u"})"), Kind::Server,
         "Publishing failed: HTTP 201"},
        {Route::List, answering(404, R"({"error":"x"})"), Kind::Server, "Could not load links (HTTP 404)."},
        {Route::Delete, answering(204), Kind::Server, "Could not delete the link."},
        {Route::Upload, answering(407), Kind::Server, "Upload of rigging-points.csv failed (HTTP 407)."},
        {Route::Publish, answering(200, R"({"token":"","url":"https://x/c/"})"), Kind::Decoding,
         "The server’s answer could not be read: the link is empty."},
        {Route::Publish, answering(200, R"({"token":"abc","url":""})"), Kind::Decoding,
         "The server’s answer could not be read: the link is empty."},
        {Route::Publish, answering(200, R"({"token":"abc"})"), Kind::Decoding, ""},
        {Route::Publish, answering(200, R"({"token":5,"url":"http://x/c/5"})"), Kind::Decoding, ""},
        {Route::Publish, answering(200, "<html>gateway</html>"), Kind::Decoding, ""},
        {Route::List, answering(200, badLinks), Kind::Decoding, ""},
        {Route::List, answering(200, R"({"links":{}})"), Kind::Decoding, ""},
        {Route::List, answering(200, R"({})"), Kind::Decoding, ""},
        // Nested deeper than any answer: refused before anything is built, wherever it sits.
        {Route::Publish,
         answering(200, deep(Json::object({{"token", "t"}, {"url", "u"}, {"x", test::nestedPlace}}))),
         Kind::Decoding, tooDeep},
        {Route::List, answering(200, deep(Json::object({{"links", Json::array({test::nestedPlace})}}))),
         Kind::Decoding, tooDeep},
        {Route::List, answering(200, QByteArray::fromStdString(test::nestedArrays(513))), Kind::Decoding,
         tooDeep},
        {all, closed, Kind::Transport, ""},
        {all, garbage, Kind::Transport, ""},
        {all, answering(200, QByteArray(PublishClient::maxAnswerBytes + 1, 'x')), Kind::Transport,
         "The server’s answer is too large."},
        {all, answering(std::nullopt, {}, 3000ms), Kind::TimedOut, "The request timed out."},
        {all, trickling, Kind::TimedOut, "The request timed out."},
        {all, redirect, Kind::Server, ""},
    };
    for (const auto& [only, fault, kind, text] : cases) {
        // Only the rows about the time-out wait less than usual: a large answer on a busy
        // machine may pause longer than that.
        client.setTimeouts(kind == Kind::TimedOut ? shortWait : PublishTimeouts());
        for (const Route route : allRoutes) {
            if (only && route != *only) continue;
            SCOPED_TRACE(fault.body.left(40).toStdString() + " " + std::to_string(int(route)));
            server.setFault(route, fault);
            const auto e = failure(route, base());
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind(), kind) << e->message().toStdString();
            EXPECT_FALSE(e->message().isEmpty());
            EXPECT_TRUE(text.isEmpty() || e->message() == text) << e->message().toStdString();
        }
        server.clearFaults();
    }
    EXPECT_EQ(elsewhere.connectionCount(), 0);

    // Gaps well inside the time-out pass, however long the whole answer takes; keys beyond
    // the expected ones are no reason to refuse.
    client.setTimeouts({2000ms, 2000ms, 2000ms});
    trickling.body = R"({"links":[{"token":"a","url":"u","name":"","report":"r.pdf","sources":3,)"
                     R"("createdAt":1.5,"updatedAt":17e11,"x":[1]}],"y":1})";
    trickling.trickle = 500ms;
    server.setFault(Route::List, trickling);
    const std::vector<ServerLink> expected = {{"a", "u", "", "r.pdf", 3, 1.5, 17e11}};
    EXPECT_EQ(runTask(client.listServerLinks(base(), standInKey)), expected);

    // A server dripping its answer is cut off at the deadline, counted from the start; an
    // upload's deadline grows with its size.
    client.setTimeouts({60s, 60s, 60s, 500ms, 1000});
    trickling.trickle = 1000ms;
    for (const Route route : allRoutes) {
        server.setFault(route, trickling);
        const auto e = failure(route, base());
        EXPECT_EQ(e ? e->message() : "", "The request timed out.") << int(route);
    }
    Fault slowAccept = answering(200, R"({"ok":true})");
    slowAccept.trickle = 200ms;
    server.setFault(Route::Upload, slowAccept);
    runTask(client.uploadFile("tok", "big.pdf", "Big", QByteArray(64 * 1024, 'x'), base(), standInKey));

    // A request whose client goes away ends as cancelled.
    server.setFault(Route::List, answering(std::nullopt, {}, 10000ms));
    server.clearRequests();
    auto doomed = std::make_unique<PublishClient>();
    QCoro::Task<std::vector<ServerLink>> task = doomed->listServerLinks(base(), standInKey);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !server.requests().empty(); }, 30000));
    doomed.reset();
    const auto e = publishFailure(std::move(task));
    EXPECT_EQ(e ? e->kind() : Kind::Server, Kind::Cancelled);
}

TEST_F(PublishClientTest, BadAddressesKeysAndTokensSendNothing) {
    const QString http = "http://127.0.0.1:" + QString::number(server.port());
    std::vector<std::tuple<QString, QString, Kind, QString>> cases = {
        {base(), "", Kind::NoKey, "Add the publish key in Settings (Ctrl+,) first."},
        {base(), "qvr_x\r\nX-Injected: 1", Kind::Server, "The publish key contains invalid characters."},
    };
    // Exactly http and https: "ftp:" and schemes that merely begin with "http" are no address.
    const QString port = QString::number(server.port());
    for (const QString& address :
         QStringList{"", http.mid(7), "localhost/api", "foo/api", "/api", "ftp://127.0.0.1:" + port,
                     "httpx://127.0.0.1:" + port, "https-evil://127.0.0.1:" + port, "file:///tmp",
                     "mailto:crew@example.com", "http://", "http:///api", "http://127.0.0.1:99999",
                     http + "\n", http + "/?next=1", http + "/#top", http + "/a b", "http://[::1"})
        cases.emplace_back(address, standInKey, Kind::Server, "Invalid server address.");
    // The key never travels unencrypted beyond the local network.
    for (const QString& address : QStringList{"http://0.0.0.0:1", "http://[::]:1"})
        cases.emplace_back(address, standInKey, Kind::Server,
                           "The server address must begin with https:// (the publish key is never sent "
                           "unencrypted).");
    for (const auto& [address, key, kind, text] : cases) {
        for (const Route route : allRoutes) {
            SCOPED_TRACE(address.toStdString() + " " + key.toStdString() + " " + std::to_string(int(route)));
            const auto e = failure(route, address, key);
            ASSERT_TRUE(e);
            EXPECT_EQ(e->kind(), kind);
            EXPECT_EQ(e->message(), text);
        }
    }
    for (const char* token : {"..", ".", ""}) {
        const auto e = publishFailure(client.deleteServerLink(token, base(), standInKey));
        EXPECT_EQ(e ? e->message() : "", "The link has no valid token.");
        EXPECT_TRUE(publishFailure(client.uploadFile(token, "a.csv", "A", "a", base(), standInKey)));
    }
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST(PublishAddresses, PlainHttpOnlyWithinTheLocalNetworkAndCrewLinksWithoutHiddenCharacters) {
    using enum ServerTransport;
    const std::vector<std::pair<const char*, ServerTransport>> servers = {
        {"https://crew.example.com", encrypted},
        {"  HTTPS://8.8.8.8/prefix/ ", encrypted},
        {"http://127.0.0.1:8080", localNetwork},
        {"http://127.255.0.9", localNetwork},
        {"http://[::1]:9", localNetwork},
        {"http://10.1.2.3", localNetwork},
        {"http://172.16.0.1", localNetwork},
        {"http://172.31.255.254", localNetwork},
        {"http://192.168.1.20:8080", localNetwork},
        {"http://[fc00::1]", localNetwork},
        {"http://[fdff:ffff::1]", localNetwork},
        {"http://rig.local/", localNetwork},
        {"http://RIG.LOCAL", localNetwork},
        {"http://[::ffff:192.168.0.1]", localNetwork},
        {"http://localhost:8080", localNetwork},
        {"http://172.15.255.255", unencrypted},
        {"http://172.32.0.1", unencrypted},
        {"http://192.169.0.1", unencrypted},
        {"http://11.0.0.1", unencrypted},
        {"http://[fe80::1]", unencrypted},
        {"http://[fbff::1]", unencrypted},
        {"http://[::ffff:8.8.8.8]", unencrypted},
        {"http://local", unencrypted},
        {"http://rig.local.example.com", unencrypted},
        {"http://rig.example.com", unencrypted},
        {"http://0.0.0.0", unencrypted},
        {"ftp://rig.local", invalid},
        {"", invalid},
    };
    for (const auto& [server, expected] : servers) EXPECT_EQ(serverTransport(server), expected) << server;

    for (const char* link : {"https://crew.example.com/c/abc", "http://192.168.1.20:8080/c/abc",
                             "https://rig.example/c/%C3%A9t%C3%A9", "https://rig.example/c/été"})
        EXPECT_TRUE(crewLinkUrl(QString::fromUtf8(link))) << link;
    for (const char* link :
         {"javascript:alert(1)//", "http://rig.example.com/c/abc", "https:///c/abc", "https://x/c/a b",
          "https://x/c/a\tb", "https://x/c/a\x7f", "https://x/c/a\u0085", "https://x/c/a\u061c",
          "https://x/c/a\u2066b\u2069", "https://x/c/a\u2029", "https://x/c/\U000E0041", "https://x/c/%0A",
          "https://x/c/%E2%80%8F", "https://x/c/a\u00ad"})
        EXPECT_FALSE(crewLinkUrl(QString::fromUtf8(link))) << link;
}

TEST(PublishSettings, TheServerAsTypedAndTheKeyInTheKeyringWrittenOneAtATime) {
    TempAppPaths paths;
    MemorySecretStore keyring;
    auto reopened = [&] {
        return std::make_unique<PublishSettings>(std::make_unique<MemorySecretStore>(keyring));
    };
    for (const QString typed : {"  https://rig.example/prefix//  ", ""}) {
        reopened()->setServer(typed);
        EXPECT_EQ(reopened()->server(), typed); // untrimmed; a stored empty address stays empty
    }
    EXPECT_EQ(keyring.writeCount(), 0); // loading writes nothing back

    auto s = reopened();
    ASSERT_TRUE(s->generatePublishKey());
    EXPECT_EQ(reopened()->key(), s->key());
    // 0xfb 0xff 0xbf encodes to "+/+/" in standard Base64.
    auto fill = [](std::span<unsigned char> out) {
        for (std::size_t i = 0; i < out.size(); ++i) out[i] = "\xfb\xff\xbf"[i % 3];
        return true;
    };
    EXPECT_EQ(makePublishKey(fill), "qvr_" + QString("-_").repeated(16)); // URL-safe, 32 characters

    s->setKey("  key with blanks ");
    EXPECT_FALSE(s->generatePublishKey([](std::span<unsigned char>) { return false; }));
    EXPECT_EQ(keyring.stored("publishKey"), QString("  key with blanks ")); // kept as typed
    s->setKey("");
    EXPECT_FALSE(keyring.stored("publishKey").has_value()); // the item is removed

    // A key typed before the stored one arrives wins; keyring writes run one at a time.
    DeferredSecretStore& deferred = *new DeferredSecretStore; // owned by the settings
    PublishSettings late{std::unique_ptr<SecretStore>(&deferred)};
    int written = 0;
    QObject::connect(&late, &PublishSettings::keyWritten, [&] { ++written; });
    for (const char* typed : {"q", "qv", "qvr"}) late.setKey(typed);
    deferred.pendingRead({QString("qvr_stored")});
    EXPECT_TRUE(late.isKeyLoaded());
    EXPECT_EQ(late.key(), "qvr");
    ASSERT_EQ(deferred.writes.size(), 1u); // the first write runs, the rest wait
    deferred.finishWrite();
    ASSERT_EQ(deferred.writes.size(), 1u); // only the newest waiting value is written
    EXPECT_EQ(deferred.writes.front().first, "qvr");

    // The end of the program: the keyring answers later, from the event loop.
    QTimer::singleShot(50, [&] { deferred.finishWrite(); });
    EXPECT_TRUE(late.finishWrites(20s));
    EXPECT_EQ(written, 1);
    late.setKey("qvr_never_answered");
    EXPECT_FALSE(late.finishWrites(100ms)); // bounded

    // A failed write is kept until a write succeeds; the key in use stays as assigned.
    deferred.finishWrite("Cannot create an item in a locked collection");
    EXPECT_EQ(
        late.keyWriteError(),
        "The key could not be stored in the system keyring: Cannot create an item in a locked collection");
    EXPECT_EQ(late.key(), "qvr_never_answered");
    late.setKey("qvr_again");
    deferred.finishWrite();
    EXPECT_FALSE(late.keyWriteError());

    // A keyring that cannot be read is not a missing key.
    keyring.setFailures("the keyring is locked", std::nullopt);
    auto locked = reopened();
    EXPECT_TRUE(locked->isKeyLoaded());
    EXPECT_EQ(locked->keyReadError(),
              "The key could not be read from the system keyring: the keyring is locked");
    locked->setKey("qvr_chosen"); // a deliberate replacement ends the doubt
    EXPECT_FALSE(locked->keyReadError());
}

} // namespace
} // namespace rig::app
