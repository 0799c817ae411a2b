#include "export/PublishClient.h"

#include "analysis/CrewDoc.h"
#include "base/Json.h"
#include "base/Number.h"
#include "base/Text.h"
#include "shell/QtText.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrlQuery>

#include <coroutine>
#include <memory>
#include <utility>

namespace rig::app {

// --- Errors and texts ---------------------------------------------------------------------

PublishError::PublishError(Kind kind, QString message)
    : kind_(kind), message_(std::move(message)), utf8_(message_.toUtf8()) {}

PublishError PublishError::noKey() {
    return {Kind::NoKey, publishText::noKey};
}

QString publishErrorText(const std::exception& e) {
    if (const auto* p = dynamic_cast<const PublishError*>(&e)) return p->message();
    return toQ(e.what());
}

bool isPublishCancellation(const std::exception& e) {
    const auto* p = dynamic_cast<const PublishError*>(&e);
    return p != nullptr && p->kind() == PublishError::Kind::Cancelled;
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

// --- Addresses ------------------------------------------------------------------------------

std::optional<QUrl> publishUrl(const QString& server, const QString& path) {
    QString base = toQ(trimWhite(toStd(server)));
    while (base.endsWith(u'/')) base.chop(1);
    const QUrl url(base + path, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return std::nullopt;
    if (url.scheme() != u"http" && url.scheme() != u"https") return std::nullopt;
    if (url.host().isEmpty() || url.hasQuery() || url.hasFragment()) return std::nullopt;
    return url;
}

std::optional<QString> tokenSegment(const QString& token) {
    if (token.isEmpty() || token == u"." || token == u"..") return std::nullopt;
    return QString::fromLatin1(QUrl::toPercentEncoding(token));
}

namespace {

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

// Sends one request and resumes the awaiting coroutine from the event loop once the answer
// is complete, no data has moved for the time-out, the answer grows too large or the reply is destroyed with
// its network object. The resumption never touches the reply or its owner.
class Exchange {
public:
    Exchange(QNetworkAccessManager* network, QNetworkRequest request, QByteArray verb, QByteArray body,
             std::chrono::milliseconds timeout)
        : network_(network), request_(std::move(request)), verb_(std::move(verb)), body_(std::move(body)),
          timeout_(timeout) {}

    bool await_ready() const noexcept { return false; }

    void await_suspend(std::coroutine_handle<> waiting) {
        auto state = state_;
        state->waiting = waiting;
        QNetworkReply* reply = body_.isNull() ? network_->sendCustomRequest(request_, verb_)
                                              : network_->sendCustomRequest(request_, verb_, body_);

        auto* timer = new QTimer(reply);
        timer->setSingleShot(true);
        QObject::connect(timer, &QTimer::timeout, reply, [state, reply] {
            state->timedOut = true;
            reply->abort();
        });
        timer->start(timeout_);
        // Like the platform's request time-out: the wait counts from the last data that moved.
        auto progress = [timer](qint64, qint64) { timer->start(); };
        QObject::connect(reply, &QNetworkReply::uploadProgress, timer, progress);
        QObject::connect(reply, &QNetworkReply::downloadProgress, timer, progress);

        QObject::connect(reply, &QIODevice::readyRead, reply, [state, reply] {
            if (state->result.body.size() + reply->bytesAvailable() > PublishClient::maxAnswerBytes) {
                state->tooLarge = true;
                reply->abort();
                return;
            }
            state->result.body += reply->readAll();
        });
        QObject::connect(reply, &QNetworkReply::finished, reply, [state, reply] {
            if (state->done) return;
            if (!state->timedOut && !state->tooLarge) {
                const QByteArray rest = reply->readAll();
                if (state->result.body.size() + rest.size() > PublishClient::maxAnswerBytes) {
                    state->tooLarge = true;
                } else {
                    state->result.body += rest;
                }
            }
            settle(*state, reply);
            reply->deleteLater();
            resumeLater(state);
        });
        // The network object went away with the reply still open.
        QObject::connect(reply, &QObject::destroyed, QCoreApplication::instance(), [state] {
            if (state->done) return;
            state->result.error = PublishError(PublishError::Kind::Cancelled, publishText::cancelled);
            resumeLater(state);
        });
    }

    HttpResult await_resume() { return std::move(state_->result); }

private:
    struct State {
        std::coroutine_handle<> waiting;
        bool done = false;
        bool timedOut = false;
        bool tooLarge = false;
        HttpResult result;
    };

    static void settle(State& state, QNetworkReply* reply) {
        using Kind = PublishError::Kind;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (state.timedOut) {
            state.result.error = PublishError(Kind::TimedOut, publishText::timedOut);
        } else if (state.tooLarge) {
            state.result.error = PublishError(Kind::Transport, publishText::tooLarge);
        } else if (status.isValid() && isHttpStatusError(reply->error())) {
            state.result.status = status.toInt();
        } else if (reply->error() == QNetworkReply::OperationCanceledError) {
            state.result.error = PublishError(Kind::Cancelled, publishText::cancelled);
        } else {
            state.result.error = PublishError(Kind::Transport, reply->errorString());
        }
        if (state.result.error) state.result.body.clear();
    }

    static void resumeLater(const std::shared_ptr<State>& state) {
        state->done = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [state] { state->waiting.resume(); }, Qt::QueuedConnection);
    }

    QNetworkAccessManager* network_;
    QNetworkRequest request_;
    QByteArray verb_;
    QByteArray body_;
    std::chrono::milliseconds timeout_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

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

QCoro::Task<PublishResponse> sendPublish(QNetworkAccessManager* network, QNetworkRequest request,
                                         QByteArray body, std::chrono::milliseconds timeout) {
    HttpResult r = co_await Exchange(network, std::move(request), "POST", std::move(body), timeout);
    if (r.error) throw *r.error;
    if (r.status != 200) {
        const std::optional<std::string> message =
            serverErrorMessage(std::string_view(r.body.constData(), std::size_t(r.body.size())));
        throw PublishError::server(publishText::publishRefused(
            r.status, message ? shownName(*message) : "HTTP " + decimal(r.status)));
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

QCoro::Task<std::vector<ServerLink>> sendList(QNetworkAccessManager* network, QNetworkRequest request,
                                              std::chrono::milliseconds timeout) {
    HttpResult r = co_await Exchange(network, std::move(request), "GET", QByteArray(), timeout);
    if (r.error) throw *r.error;
    if (r.status != 200) throw PublishError::server(publishText::listFailed(r.status));
    try {
        co_return decodeServerLinks(std::string_view(r.body.constData(), std::size_t(r.body.size())));
    } catch (const PublishDecodeError& e) {
        throw PublishError(PublishError::Kind::Decoding, toQ(e.what()));
    }
}

QCoro::Task<void> sendDelete(QNetworkAccessManager* network, QNetworkRequest request,
                             std::chrono::milliseconds timeout) {
    HttpResult r = co_await Exchange(network, std::move(request), "DELETE", QByteArray(), timeout);
    if (r.error) throw *r.error;
    if (r.status != 200) throw PublishError::server(publishText::deleteFailed);
}

QCoro::Task<void> sendUpload(QNetworkAccessManager* network, QNetworkRequest request, QByteArray data,
                             QString name, std::chrono::milliseconds timeout) {
    if (data.isNull()) data = QByteArray(""); // an empty file is still a body
    HttpResult r = co_await Exchange(network, std::move(request), "PUT", std::move(data), timeout);
    if (r.error) throw *r.error;
    if (r.status != 200) throw PublishError::server(publishText::uploadFailed(name, r.status));
}

} // namespace

// --- Client ---------------------------------------------------------------------------------------

PublishClient::PublishClient(QObject* parent) : QObject(parent), network_(new QNetworkAccessManager(this)) {}

PublishClient::~PublishClient() = default;

PublishClient& PublishClient::shared() {
    static PublishClient* client = new PublishClient;
    return *client;
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
        return sendPublish(network_, std::move(request), QByteArray::fromStdString(body), timeouts_.publish);
    } catch (const PublishError& e) {
        return fail<PublishResponse>(e);
    }
}

QCoro::Task<std::vector<ServerLink>> PublishClient::listServerLinks(QString server, QString key) {
    try {
        checkKey(key);
        return sendList(network_, makeRequest(urlOrThrow(server, "/api/rig"), key), timeouts_.links);
    } catch (const PublishError& e) {
        return fail<std::vector<ServerLink>>(e);
    }
}

QCoro::Task<void> PublishClient::deleteServerLink(QString token, QString server, QString key) {
    try {
        checkKey(key);
        const QUrl url = urlOrThrow(server, "/api/rig/" + tokenOrThrow(token));
        return sendDelete(network_, makeRequest(url, key), timeouts_.links);
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
        return sendUpload(network_, makeRequest(url, key), std::move(data), name, timeouts_.upload);
    } catch (const PublishError& e) {
        return failVoid(e);
    }
}

} // namespace rig::app
