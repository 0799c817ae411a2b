#include "PublishStandIn.h"

#include "CrewPage.h"
#include "analysis/CrewDoc.h"
#include "base/Json.h"

#include <QDateTime>
#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

namespace rig::testserver {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// End of the JSON value starting at `i` in text that is known to be valid JSON.
qsizetype skipValue(const QByteArray& text, qsizetype i) {
    int depth = 0;
    bool inString = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
                if (depth == 0) return i + 1;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (depth == 0) return i;
            if (--depth == 0) return i + 1;
        } else if (depth == 0 && (c == ',' || isBlank(c))) {
            return i;
        }
    }
    return i;
}

// The top-level members of a JSON object, each value as its raw text. Nothing when the
// text is not a JSON object.
std::optional<std::map<QString, QByteArray>> rawMembers(const QByteArray& text) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    std::map<QString, QByteArray> out;
    qsizetype i = text.indexOf('{') + 1;
    while (true) {
        while (i < text.size() && (isBlank(text[i]) || text[i] == ',')) ++i;
        if (i >= text.size() || text[i] == '}') break;
        const qsizetype keyEnd = skipValue(text, i);
        const QJsonDocument key = QJsonDocument::fromJson("[" + text.mid(i, keyEnd - i) + "]");
        i = keyEnd;
        while (i < text.size() && (isBlank(text[i]) || text[i] == ':')) ++i;
        const qsizetype valueEnd = skipValue(text, i);
        out[key.array().at(0).toString()] = text.mid(i, valueEnd - i);
        i = valueEnd;
    }
    return out;
}

QByteArray errorBody(const QString& message) {
    return QJsonDocument(QJsonObject{{"error", message}}).toJson(QJsonDocument::Compact);
}

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 413:
        return "Payload Too Large";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

QByteArray htmlEscaped(const QByteArray& text) {
    return QString::fromUtf8(text).toHtmlEscaped().toUtf8();
}

} // namespace

QByteArray RecordedRequest::header(const QByteArray& name) const {
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    }
    return {};
}

// The crew page in crew mode, as a phone shows a published link; a document the page cannot
// take is shown as its text.
static QByteArray programCrewPage(const QByteArray& doc) {
    try {
        const rig::CrewDoc crew =
            rig::CrewDoc::decode(std::string_view(doc.constData(), std::size_t(doc.size())));
        return rig::app::crewPage(crew, rig::app::PageMode::crew, false).toUtf8();
    } catch (const rig::JsonDecodeError&) {
        return "<!doctype html><meta charset=\"utf-8\"><title>Crew view</title><pre>" + htmlEscaped(doc) +
               "</pre>";
    }
}

PublishStandIn::PublishStandIn(QString key, QObject* parent)
    : QAbstractHttpServer(parent), key_(std::move(key)), crewPage_(programCrewPage) {}

PublishStandIn::~PublishStandIn() = default;

bool PublishStandIn::start(const QHostAddress& address, quint16 port) {
    tcp_ = new QTcpServer(this);
    if (!tcp_->listen(address, port)) {
        delete tcp_;
        tcp_ = nullptr;
        return false;
    }
    connect(tcp_, &QTcpServer::newConnection, this, [this] { ++connections_; });
    bind(tcp_);
    return true;
}

void PublishStandIn::stop() {
    if (tcp_) tcp_->close();
}

quint16 PublishStandIn::port() const {
    return tcp_ ? tcp_->serverPort() : 0;
}

QString PublishStandIn::baseUrl() const {
    return QStringLiteral("http://127.0.0.1:") + QString::number(port());
}

void PublishStandIn::setFault(Route route, Fault fault) {
    faults_[route] = std::move(fault);
    seen_[route] = 0;
}

QList<RecordedRequest> PublishStandIn::requests(Route route) const {
    QList<RecordedRequest> out;
    for (const RecordedRequest& r : requests_) {
        if (r.route == route) out.append(r);
    }
    return out;
}

QStringList PublishStandIn::tokens() const {
    QStringList out;
    for (const StoredLink& l : links_) out.append(l.token);
    return out;
}

const StoredLink* PublishStandIn::link(const QString& token) const {
    for (const StoredLink& l : links_) {
        if (l.token == token) return &l;
    }
    return nullptr;
}

QString PublishStandIn::addLink(const QByteArray& doc, const QString& token) {
    StoredLink l;
    l.token = token.isEmpty() ? newToken() : token;
    l.doc = doc;
    l.createdAt = l.updatedAt = QDateTime::currentMSecsSinceEpoch();
    links_.append(l);
    return l.token;
}

QString PublishStandIn::newToken() const {
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(bytes.data()), 4);
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

std::optional<Fault> PublishStandIn::takeFault(Route route) {
    auto it = faults_.find(route);
    if (it == faults_.end()) return std::nullopt;
    const int n = seen_[route]++;
    const Fault& f = it->second;
    if (n < f.skip) return std::nullopt;
    if (f.times >= 0 && n - f.skip >= f.times) return std::nullopt;
    return f;
}

bool PublishStandIn::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    RecordedRequest r;
    const QUrl url = request.url();
    r.path = url.path(QUrl::FullyEncoded).toUtf8();
    r.query = url.query(QUrl::FullyEncoded).toUtf8();
    r.headers = request.headers();
    r.body = request.body();
    switch (request.method()) {
    case QHttpServerRequest::Method::Get:
        r.method = "GET";
        break;
    case QHttpServerRequest::Method::Post:
        r.method = "POST";
        break;
    case QHttpServerRequest::Method::Put:
        r.method = "PUT";
        break;
    case QHttpServerRequest::Method::Delete:
        r.method = "DELETE";
        break;
    default:
        r.method = "OTHER";
        break;
    }

    const QList<QByteArray> parts = r.path.split('/');
    // "", "api", "rig", token, "files", name
    if (parts.size() == 3 && parts[1] == "api" && parts[2] == "rig") {
        r.route = r.method == "POST" ? Route::Publish : r.method == "GET" ? Route::List : Route::Other;
    } else if (parts.size() == 4 && parts[1] == "api" && parts[2] == "rig") {
        r.route = r.method == "DELETE" ? Route::Delete : r.method == "GET" ? Route::Document : Route::Other;
    } else if (parts.size() == 6 && parts[1] == "api" && parts[2] == "rig" && parts[4] == "files") {
        r.route = r.method == "PUT" ? Route::Upload : Route::Other;
    } else if (parts.size() == 3 && parts[1] == "c" && r.method == "GET") {
        r.route = Route::CrewPage;
    }

    requests_.append(r);
    emit requestReceived();

    const std::optional<Fault> fault = takeFault(r.route);
    if (fault && fault->delay.count() > 0) {
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(fault->delay, this, [this, guarded, r, fault] {
            if (guarded) respond(guarded, r, fault);
        });
    } else {
        respond(socket, r, fault);
    }
    return true;
}

void PublishStandIn::missingHandler(const QHttpServerRequest&, QTcpSocket* socket) {
    write(socket, {404, errorBody("Not found")});
}

void PublishStandIn::respond(QTcpSocket* socket, const RecordedRequest& request,
                             const std::optional<Fault>& fault) {
    ++answered_;
    if (fault && fault->close) {
        socket->disconnectFromHost();
        return;
    }
    if (fault && fault->garbage) {
        socket->write("SSH-2.0-nonsense \x01\x02\x03\r\nnot an answer at all\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    const Answer a =
        fault && fault->redirect ? Answer{302, {}, "text/plain", {{"Location", fault->redirect->toEncoded()}}}
        : fault && fault->status ? Answer{*fault->status, fault->body, "application/json", fault->headers}
                                 : answer(request);
    if (!fault || fault->trickle.count() <= 0) {
        write(socket, a);
        return;
    }
    // The head at once, then the body in eight pieces, `trickle` apart.
    const QByteArray bytes = encoded(a);
    const qsizetype head = bytes.indexOf("\r\n\r\n") + 4;
    socket->write(bytes.left(head));
    const qsizetype piece = (bytes.size() - head + 7) / 8;
    QPointer<QTcpSocket> guarded(socket);
    for (int i = 0; i < 8; ++i) {
        QTimer::singleShot(fault->trickle * (i + 1), this,
                           [guarded, part = bytes.mid(head + i * piece, piece)] {
                               if (guarded && !part.isEmpty()) guarded->write(part);
                           });
    }
}

PublishStandIn::Answer PublishStandIn::answer(const RecordedRequest& request) {
    const QList<QByteArray> parts = request.path.split('/');
    auto segment = [&](int i) { return QUrl::fromPercentEncoding(parts.value(i)); };

    switch (request.route) {
    case Route::Publish:
    case Route::List:
    case Route::Delete:
    case Route::Upload:
        if (request.header("authorization") != "Bearer " + key_.toUtf8())
            return {401, errorBody("Invalid publish key")};
        break;
    default:
        break;
    }

    switch (request.route) {
    case Route::Publish:
        return publish(request);
    case Route::List:
        return list();
    case Route::Delete: {
        const QString token = segment(3);
        for (qsizetype i = 0; i < links_.size(); ++i) {
            if (links_[i].token == token) {
                links_.removeAt(i);
                return {200, R"({"ok":true})"};
            }
        }
        return {404, errorBody("Unknown link")};
    }
    case Route::Upload: {
        const QString token = segment(3);
        for (StoredLink& l : links_) {
            if (l.token != token) continue;
            const QUrlQuery query(QString::fromUtf8(request.query));
            l.files[segment(5)] = {query.queryItemValue("label", QUrl::FullyDecoded), request.body};
            return {200, R"({"ok":true})"};
        }
        return {404, errorBody("Unknown link")};
    }
    case Route::Document: {
        if (const StoredLink* l = link(segment(3))) return {200, l->doc};
        return {404, errorBody("Unknown link")};
    }
    case Route::CrewPage: {
        const StoredLink* l = link(segment(2));
        if (l == nullptr)
            return {404, "<!doctype html><title>Not found</title><p>This link is no longer active.",
                    "text/html; charset=utf-8"};
        return {200, crewPage_(l->doc), "text/html; charset=utf-8"};
    }
    case Route::Other:
        break;
    }
    return {404, errorBody("Not found")};
}

PublishStandIn::Answer PublishStandIn::publish(const RecordedRequest& request) {
    const std::optional<std::map<QString, QByteArray>> members = rawMembers(request.body);
    if (!members || !members->contains("doc")) return {400, errorBody("The body needs a doc")};
    const QByteArray doc = members->at("doc");
    if (!QJsonDocument::fromJson(doc).isObject()) return {400, errorBody("The doc is not an object")};

    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QString token;
    if (auto it = members->find("token"); it != members->end()) {
        const QJsonValue value = QJsonDocument::fromJson("[" + it->second + "]").array().at(0);
        if (!value.isString()) return {400, errorBody("The token is not a text")};
        token = value.toString();
        StoredLink* found = nullptr;
        for (StoredLink& l : links_) {
            if (l.token == token) found = &l;
        }
        if (found == nullptr) return {404, errorBody("Unknown link")};
        found->doc = doc;
        found->updatedAt = now;
    } else {
        token = addLink(doc);
    }
    const QString base = publicBase_.isEmpty() ? baseUrl() : publicBase_;
    const QJsonObject answer{{"token", token}, {"url", base + "/c/" + token}};
    return {200, QJsonDocument(answer).toJson(QJsonDocument::Compact)};
}

PublishStandIn::Answer PublishStandIn::list() const {
    QJsonArray links;
    for (const StoredLink& l : links_) {
        const QJsonObject doc = QJsonDocument::fromJson(l.doc).object();
        const QString base = publicBase_.isEmpty() ? baseUrl() : publicBase_;
        links.append(QJsonObject{
            {"token", l.token},
            {"url", base + "/c/" + l.token},
            {"name", doc.value("name").toString()},
            {"report", doc.value("report").toString()},
            {"sources", doc.value("sources").toArray().size()},
            {"createdAt", double(l.createdAt)},
            {"updatedAt", double(l.updatedAt)},
        });
    }
    return {200, QJsonDocument(QJsonObject{{"links", links}}).toJson(QJsonDocument::Compact)};
}

QByteArray PublishStandIn::encoded(const Answer& answer) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(answer.status) + " " + reason(answer.status) + "\r\n";
    const bool hasBody = answer.status != 204 && answer.status != 304 && answer.status >= 200;
    for (const auto& [name, value] : answer.headers) out += name + ": " + value + "\r\n";
    if (hasBody) {
        out += "Content-Type: " + answer.contentType + "\r\n";
        out += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    }
    out += "\r\n";
    if (hasBody) out += answer.body;
    return out;
}

void PublishStandIn::write(QTcpSocket* socket, const Answer& answer) {
    socket->write(encoded(answer));
}

} // namespace rig::testserver
