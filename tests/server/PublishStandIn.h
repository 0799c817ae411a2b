// A publish server for tests and for trying the program by hand: the protocol as the
// program relies on it, kept in memory, with per-route fault injection and a record of
// every request received. Runs on the thread that made it.
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <map>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace rig::testserver {

enum class Route {
    Publish,  // POST /api/rig
    List,     // GET /api/rig
    Delete,   // DELETE /api/rig/{token}
    Upload,   // PUT /api/rig/{token}/files/{name}?label=…
    Document, // GET /api/rig/{token}
    CrewPage, // GET /c/{token}
    Other,
};

// What a route does instead of, or before, its real answer.
struct Fault {
    std::optional<int> status; // answer with this status, `body` and `headers` instead
    QByteArray body;
    std::chrono::milliseconds delay{0}; // wait this long before answering
    bool close = false;                 // close the connection without an answer
    bool garbage = false;               // answer with bytes that are not HTTP
    std::optional<QUrl> redirect;       // answer 302 with this location
    int skip = 0;                       // let this many requests of the route through first
    int times = -1;                     // then act on this many (-1: all that follow)
    // Added last, so that tests listing the fields above in order keep working.
    QList<QPair<QByteArray, QByteArray>> headers;
    std::chrono::milliseconds trickle{0}; // send the body in eight pieces this long apart
};

struct RecordedRequest {
    Route route = Route::Other;
    QByteArray method;
    QByteArray path;  // as sent (percent-encoded)
    QByteArray query; // as sent
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    // The first header of that name (any case), or null.
    QByteArray header(const QByteArray& name) const;
};

struct StoredFile {
    QString label;
    QByteArray data;
};

struct StoredLink {
    QString token;
    QByteArray doc; // the "doc" member exactly as sent
    qint64 createdAt = 0;
    qint64 updatedAt = 0;
    std::map<QString, StoredFile> files;
};

class PublishStandIn : public QAbstractHttpServer {
    Q_OBJECT
public:
    explicit PublishStandIn(QString key, QObject* parent = nullptr);
    ~PublishStandIn() override;

    // Port 0 picks a free port. False when the address cannot be bound.
    bool start(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    // Stops listening; connections already open stay.
    void stop();
    quint16 port() const;
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;
    // Crew links are "<public base>/c/<token>"; the base address unless set.
    void setPublicBase(const QString& base) { publicBase_ = base; }
    void setKey(const QString& key) { key_ = key; }
    // Renders the page under /c/{token} from the stored document; the program's crew page in
    // crew mode unless set.
    void setCrewPage(std::function<QByteArray(const QByteArray& doc)> page) { crewPage_ = std::move(page); }

    void setFault(Route route, Fault fault);
    void clearFaults() { faults_.clear(); }

    const QList<RecordedRequest>& requests() const { return requests_; }
    QList<RecordedRequest> requests(Route route) const;
    void clearRequests() { requests_.clear(); }
    // TCP connections accepted so far.
    int connectionCount() const { return connections_; }
    // Requests answered so far (faults that close the connection count too).
    int answeredCount() const { return answered_; }

    // Tokens in creation order, and what is stored under one.
    QStringList tokens() const;
    const StoredLink* link(const QString& token) const;
    // Seeds a link as if published, under `token` when one is given.
    QString addLink(const QByteArray& doc, const QString& token = {});

signals:
    void requestReceived();

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Answer {
        Answer(int status_, QByteArray body_, QByteArray contentType_ = "application/json",
               QList<QPair<QByteArray, QByteArray>> headers_ = {})
            : status(status_), body(std::move(body_)), contentType(std::move(contentType_)),
              headers(std::move(headers_)) {}
        int status;
        QByteArray body;
        QByteArray contentType;
        QList<QPair<QByteArray, QByteArray>> headers;
    };

    std::optional<Fault> takeFault(Route route);
    void respond(QTcpSocket* socket, const RecordedRequest& request, const std::optional<Fault>& fault);
    Answer answer(const RecordedRequest& request);
    Answer publish(const RecordedRequest& request);
    Answer list() const;
    QString newToken() const;
    static QByteArray encoded(const Answer& answer);
    static void write(QTcpSocket* socket, const Answer& answer);

    QString key_;
    QString publicBase_;
    QTcpServer* tcp_ = nullptr;
    int connections_ = 0;
    int answered_ = 0;
    std::function<QByteArray(const QByteArray&)> crewPage_;
    std::map<Route, Fault> faults_;
    std::map<Route, int> seen_;
    QList<RecordedRequest> requests_;
    QList<StoredLink> links_;
};

} // namespace rig::testserver
