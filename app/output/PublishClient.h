// The program's side of the publish server: publish a crew document, list and delete
// links, upload a download file. Every request carries the publish key as a bearer token,
// so redirects are never followed and addresses are parsed strictly. Main thread only.
#pragma once

#include "PublishAddresses.h"
#include "PublishProtocol.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

#include <QCoroTask>

#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QNetworkAccessManager;

namespace rig {
struct CrewDoc;
}

namespace rig::app {

struct PublishChannel;

// A failed publish, list, delete or upload. message() is the text shown to the user.
class PublishError : public std::exception {
public:
    enum class Kind {
        Server,    // the protocol's own failures (texts below and the server's messages)
        NoKey,     // no publish key set
        Transport, // the connection failed; the network layer's description
        TimedOut,  // no data moved for the request's time-out
        Decoding,  // a 200 answer of the wrong form
        Encoding,  // the request body could not be written
        File,      // a download file could not be made or read
        Cancelled, // the request was abandoned (its client went away); never shown
    };

    PublishError(Kind kind, QString message);
    static PublishError server(QString message) { return {Kind::Server, std::move(message)}; }
    static PublishError noKey();
    // The server answered with this HTTP status instead of 200.
    static PublishError refused(int status, QString message);

    Kind kind() const { return kind_; }
    const QString& message() const { return message_; }
    // The status of a refused request; 0 for every other failure.
    int status() const { return status_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    Kind kind_;
    QString message_;
    QByteArray utf8_;
    int status_ = 0;
};

// The text shown for a failed request: a PublishError's own message, else what().
QString publishErrorText(const std::exception& e);
// Whether the failure is a request abandoned with its client (never shown).
bool isPublishCancellation(const std::exception& e);
// Whether the server refused the request with "404 Not Found": for a publish that named a
// link, the server does not know that link (any more).
bool isNotFound(const std::exception& e);

// The protocol's texts.
namespace publishText {
inline const QString noKey = QStringLiteral("Add the publish key in Settings (Ctrl+,) first.");
inline const QString invalidAddress = QStringLiteral("Invalid server address.");
inline const QString invalidKey = QStringLiteral("The publish key contains invalid characters.");
inline const QString invalidToken = QStringLiteral("The link has no valid token.");
inline const QString timedOut = QStringLiteral("The request timed out.");
inline const QString tooLarge = QStringLiteral("The server’s answer is too large.");
inline const QString cancelled = QStringLiteral("The request was cancelled.");
inline const QString notPublished = QStringLiteral("Not published yet.");
inline const QString deleteFailed = QStringLiteral("Could not delete the link.");
inline const QString pdfFailed = QStringLiteral("Could not make the PDF files.");
inline const QString httpsRequired = QStringLiteral(
    "The server address must begin with https:// (the publish key is never sent unencrypted).");
inline const QString badCrewLink =
    QStringLiteral("The server’s answer could not be read: the crew link is not a valid https address.");
// "The server did not accept the publish key (…)." for 401, "Publishing failed: …" else.
QString publishRefused(int status, const QString& message);
QString listFailed(int status);
QString uploadFailed(const QString& name, int status);
} // namespace publishText

// How long a request may take. The first three count from the last data received; the
// deadline counts from the start, so a server dripping its answer cannot hold a request for
// ever. An upload's deadline grows by its size at `uploadBytesPerSecond`.
struct PublishTimeouts {
    std::chrono::milliseconds publish{30000};
    std::chrono::milliseconds links{20000}; // list and delete
    std::chrono::milliseconds upload{60000};
    std::chrono::milliseconds deadline{120000};
    qint64 uploadBytesPerSecond = 50000;
};

class PublishClient : public QObject {
    Q_OBJECT
public:
    // Answers larger than this are refused.
    static constexpr qint64 maxAnswerBytes = 16 * 1024 * 1024;

    explicit PublishClient(QObject* parent = nullptr);
    // Requests still under way end with PublishError::Kind::Cancelled.
    ~PublishClient() override;

    PublishTimeouts timeouts() const { return timeouts_; }
    void setTimeouts(PublishTimeouts timeouts) { timeouts_ = timeouts; }

    // POST /api/rig with {"token"?, "doc"}. Success is status 200 with a token and a link.
    QCoro::Task<PublishResponse> publishCrewDoc(const CrewDoc& doc, std::optional<QString> token,
                                                QString server, QString key);
    // GET /api/rig: the server's links in its order.
    QCoro::Task<std::vector<ServerLink>> listServerLinks(QString server, QString key);
    // DELETE /api/rig/{token}.
    QCoro::Task<void> deleteServerLink(QString token, QString server, QString key);
    // PUT /api/rig/{token}/files/{name}?label=…; the body is the file.
    QCoro::Task<void> uploadFile(QString token, QString name, QString label, QByteArray data, QString server,
                                 QString key);

private:
    PublishChannel channel(std::chrono::milliseconds idle, std::chrono::milliseconds deadline) const;

    QNetworkAccessManager* network_;
    PublishTimeouts timeouts_;
    std::shared_ptr<bool> gone_ = std::make_shared<bool>(false);
};

} // namespace rig::app
