#include "PublishClient.h"

#include "QtText.h"
#include "analysis/CrewDoc.h"
#include "base/Json.h"
#include "base/Number.h"
#include "base/Text.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrlQuery>

#include <QCoroNetworkReply>
#include <QCoroTimer>

#include <algorithm>
#include <memory>
#include <utility>

namespace rig::app {

// --- Errors and texts ---------------------------------------------------------------------

PublishError::PublishError(Kind kind, QString message)
    : kind_(kind), message_(std::move(message)), utf8_(message_.toUtf8()) {}

PublishError PublishError::noKey() {
    return {Kind::NoKey, publishText::noKey};
}

PublishError PublishError::refused(int status, QString message) {
    PublishError error(Kind::Server, std::move(message));
    error.status_ = status;
    return error;
}

QString publishErrorText(const std::exception& e) {
    if (const auto* p = dynamic_cast<const PublishError*>(&e)) return p->message();
    return toQ(e.what());
}

bool isPublishCancellation(const std::exception& e) {
    const auto* p = dynamic_cast<const PublishError*>(&e);
    return p != nullptr && p->kind() == PublishError::Kind::Cancelled;
}

bool isNotFound(const std::exception& e) {
    const auto* p = dynamic_cast<const PublishError*>(&e);
    return p != nullptr && p->status() == 404;
}

namespace publishText {

QString publishRefused(int status, const QString& message) {
    if (status == 401) return QStringLiteral("The server did not accept the publish key (") + message + ").";
    return QStringLiteral("Publishing failed: ") + message;
}

QString listFailed(int status) {
    return QStringLiteral("Could not load links (HTTP ") + toQ(integerText(status)) + ").";
}

QString uploadFailed(const QString& name, int status) {
    return QStringLiteral("Upload of ") + name + " failed (HTTP " + toQ(integerText(status)) + ").";
}

} // namespace publishText

// What a request needs of its client, taken before anything is sent.
struct PublishChannel {
    QNetworkAccessManager* network;
    std::shared_ptr<const bool> clientGone;
    std::chrono::milliseconds idle;     // from the last data received
    std::chrono::milliseconds deadline; // from the start
};

namespace {

using Channel = PublishChannel;

// --- One HTTP exchange ------------------------------------------------------------------------

struct HttpResult {
    std::optional<PublishError> error; // set when there is no HTTP answer to look at
    int status = 0;
    QByteArray body;
};

// Errors of the network layer (no usable answer) as opposed to HTTP statuses Qt maps to
// errors (4xx and 5xx), which come with the status and the body.
bool isHttpStatusError(QNetworkReply::NetworkError e) {
    switch (e) {
    case QNetworkReply::NoError:
    case QNetworkReply::ProtocolInvalidOperationError:    // 400, 418
    case QNetworkReply::ProxyAuthenticationRequiredError: // 407
        return true;
    default:
        return (int(e) >= 201 && int(e) <= 299) || (int(e) >= 401 && int(e) <= 499);
    }
}

// Why a request was ended before its answer was complete. Qt reports each of these, and its
// own transfer time-out, as a cancel: the one who aborted says which it was.
struct Ending {
    bool deadline = false;
    bool tooLarge = false;
    bool clientGone = false;
};

// The reply's answer, or why there is none. Reads the reply only.
HttpResult settle(QNetworkReply& reply, const Ending& ending, QByteArray body) {
    using Kind = PublishError::Kind;
    HttpResult result;
    const QVariant status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (ending.clientGone) {
        result.error = PublishError(Kind::Cancelled, publishText::cancelled);
    } else if (ending.tooLarge) {
        result.error = PublishError(Kind::Transport, publishText::tooLarge);
    } else if (ending.deadline || reply.error() == QNetworkReply::OperationCanceledError) {
        // Nobody else aborts: a cancel we did not ask for is the transfer time-out.
        result.error = PublishError(Kind::TimedOut, publishText::timedOut);
    } else if (status.isValid() && isHttpStatusError(reply.error())) {
        result.status = status.toInt();
        result.body = std::move(body);
    } else {
        result.error = PublishError(Kind::Transport, reply.errorString());
    }
    return result;
}

// Sends one request and waits for the whole answer, at most `maxAnswerBytes` of it. Touches
// the network object only before the first wait.
QCoro::Task<HttpResult> exchange(Channel channel, QNetworkRequest request, QByteArray verb, QByteArray body) {
    request.setTransferTimeout(int(channel.idle.count()));
    QNetworkReply* reply = body.isNull() ? channel.network->sendCustomRequest(request, verb)
                                         : channel.network->sendCustomRequest(request, verb, body);
    auto ending = std::make_shared<Ending>();
    auto answer = std::make_shared<QByteArray>();

    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    QObject::connect(deadline, &QTimer::timeout, reply, [ending, reply] {
        ending->deadline = true;
        reply->abort();
    });
    deadline->start(channel.deadline);
    QObject::connect(reply, &QIODevice::readyRead, reply, [ending, answer, reply] {
        if (answer->size() + reply->bytesAvailable() > PublishClient::maxAnswerBytes) {
            ending->tooLarge = true;
            reply->abort();
            return;
        }
        *answer += reply->readAll();
    });

    co_await reply;
    ending->clientGone = *channel.clientGone;
    if (reply->isOpen() && !ending->deadline && !ending->tooLarge && !ending->clientGone) {
        const QByteArray rest = reply->readAll();
        if (answer->size() + rest.size() > PublishClient::maxAnswerBytes) {
            ending->tooLarge = true;
        } else {
            *answer += rest;
        }
    }
    HttpResult result = settle(*reply, *ending, std::move(*answer));
    reply->deleteLater();
    // `finished` may come from inside an abort, even in the client's destructor: go on from
    // the event loop, with nothing of the reply left to touch.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    co_return result;
}

// --- Requests ------------------------------------------------------------------------------------

bool hasControlCharacters(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return true;
    }
    return false;
}

// The key rules every request shares; throws before anything is sent.
void checkKey(const QString& key) {
    if (key.isEmpty()) throw PublishError::noKey();
    if (hasControlCharacters(key)) throw PublishError::server(publishText::invalidKey);
}

QUrl urlOrThrow(const QString& server, const QString& path) {
    std::optional<QUrl> url = publishUrl(server, path);
    if (!url) throw PublishError::server(publishText::invalidAddress);
    if (transportOf(*url) == ServerTransport::unencrypted)
        throw PublishError::server(publishText::httpsRequired);
    return *url;
}

QString tokenOrThrow(const QString& token) {
    std::optional<QString> segment = tokenSegment(token);
    if (!segment) throw PublishError::server(publishText::invalidToken);
    return *segment;
}

QNetworkRequest makeRequest(const QUrl& url, const QString& key) {
    QNetworkRequest request(url);
    // A redirect would carry the key to wherever the server points.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setRawHeader("authorization", "Bearer " + key.toUtf8());
    return request;
}

// At most this many characters of a server's error text go into the message.
constexpr std::size_t serverMessageLength = 200;

QString decimal(int status) {
    return toQ(integerText(status));
}

// The coroutines below take everything by value and touch no client after they suspend.

template <class T>
QCoro::Task<T> fail(PublishError error) {
    throw error;
    co_return T();
}

QCoro::Task<void> failVoid(PublishError error) {
    throw error;
    co_return;
}

QCoro::Task<PublishResponse> sendPublish(Channel channel, QNetworkRequest request, QByteArray body) {
    HttpResult r = co_await exchange(channel, std::move(request), "POST", std::move(body));
    if (r.error) throw *r.error;
    if (r.status != 200) {
        const std::optional<std::string> message =
            serverErrorMessage(std::string_view(r.body.constData(), std::size_t(r.body.size())));
        // The server's own words, a sentence or two of them: an answer may hold megabytes.
        throw PublishError::refused(
            r.status, publishText::publishRefused(
                          r.status, message ? shownName(messagePiece(*message, serverMessageLength))
                                            : "HTTP " + decimal(r.status)));
    }
    PublishResponse answer;
    try {
        answer = decodePublishResponse(std::string_view(r.body.constData(), std::size_t(r.body.size())));
    } catch (const PublishDecodeError& e) {
        throw PublishError(PublishError::Kind::Decoding, toQ(e.what()));
    }
    // Both go into the project and into later request paths.
    if (answer.token.empty() || answer.url.empty()) {
        throw PublishError(PublishError::Kind::Decoding,
                           QStringLiteral("The server’s answer could not be read: the link is empty."));
    }
    co_return answer;
}

QCoro::Task<std::vector<ServerLink>> sendList(Channel channel, QNetworkRequest request) {
    HttpResult r = co_await exchange(channel, std::move(request), "GET", QByteArray());
    if (r.error) throw *r.error;
    if (r.status != 200) throw PublishError::server(publishText::listFailed(r.status));
    try {
        co_return decodeServerLinks(std::string_view(r.body.constData(), std::size_t(r.body.size())));
    } catch (const PublishDecodeError& e) {
        throw PublishError(PublishError::Kind::Decoding, toQ(e.what()));
    }
}

QCoro::Task<void> sendDelete(Channel channel, QNetworkRequest request) {
    HttpResult r = co_await exchange(channel, std::move(request), "DELETE", QByteArray());
    if (r.error) throw *r.error;
    if (r.status != 200) throw PublishError::server(publishText::deleteFailed);
}

QCoro::Task<void> sendUpload(Channel channel, QNetworkRequest request, QByteArray data, QString name) {
    if (data.isNull()) data = QByteArray(""); // an empty file is still a body
    HttpResult r = co_await exchange(channel, std::move(request), "PUT", std::move(data));
    if (r.error) throw *r.error;
    if (r.status != 200) throw PublishError::server(publishText::uploadFailed(name, r.status));
}

} // namespace

// --- Client ---------------------------------------------------------------------------------------

PublishClient::PublishClient(QObject* parent) : QObject(parent), network_(new QNetworkAccessManager(this)) {}

PublishClient::~PublishClient() {
    // Every request ends with its `finished`, never with its reply silently deleted.
    *gone_ = true;
    for (QNetworkReply* reply : network_->findChildren<QNetworkReply*>()) reply->abort();
}

PublishChannel PublishClient::channel(std::chrono::milliseconds idle,
                                      std::chrono::milliseconds deadline) const {
    return PublishChannel{network_, gone_, idle, deadline};
}

QCoro::Task<PublishResponse> PublishClient::publishCrewDoc(const CrewDoc& doc, std::optional<QString> token,
                                                           QString server, QString key) {
    try {
        checkKey(key);
        QNetworkRequest request = makeRequest(urlOrThrow(server, "/api/rig"), key);
        request.setRawHeader("content-type", "application/json");
        std::string body;
        try {
            body = encodePublishBody(doc, token ? std::optional(toStd(*token)) : std::nullopt);
        } catch (const JsonEncodeError& e) {
            throw PublishError(PublishError::Kind::Encoding, toQ(e.what()));
        }
        return sendPublish(channel(timeouts_.publish, timeouts_.deadline), std::move(request),
                           QByteArray::fromStdString(body));
    } catch (const PublishError& e) {
        return fail<PublishResponse>(e);
    }
}

QCoro::Task<std::vector<ServerLink>> PublishClient::listServerLinks(QString server, QString key) {
    try {
        checkKey(key);
        return sendList(channel(timeouts_.links, timeouts_.deadline),
                        makeRequest(urlOrThrow(server, "/api/rig"), key));
    } catch (const PublishError& e) {
        return fail<std::vector<ServerLink>>(e);
    }
}

QCoro::Task<void> PublishClient::deleteServerLink(QString token, QString server, QString key) {
    try {
        checkKey(key);
        const QUrl url = urlOrThrow(server, "/api/rig/" + tokenOrThrow(token));
        return sendDelete(channel(timeouts_.links, timeouts_.deadline), makeRequest(url, key));
    } catch (const PublishError& e) {
        return failVoid(e);
    }
}

QCoro::Task<void> PublishClient::uploadFile(QString token, QString name, QString label, QByteArray data,
                                            QString server, QString key) {
    try {
        checkKey(key);
        QUrl url = urlOrThrow(server, "/api/rig/" + tokenOrThrow(token) + "/files/" +
                                          QString::fromLatin1(QUrl::toPercentEncoding(name)));
        QUrlQuery query;
        query.addQueryItem(QStringLiteral("label"), label);
        url.setQuery(query);
        // A slow line still gets a large file through: the deadline grows with the size.
        const qint64 rate = std::max<qint64>(timeouts_.uploadBytesPerSecond, 1);
        const auto deadline = timeouts_.deadline + std::chrono::milliseconds(data.size() * 1000 / rate);
        return sendUpload(channel(timeouts_.upload, deadline), makeRequest(url, key), std::move(data), name);
    } catch (const PublishError& e) {
        return failVoid(e);
    }
}

} // namespace rig::app
