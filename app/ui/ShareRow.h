// The overview's "Crew link" rows: the sources hidden from the crew, the link with its QR
// code, share and copy actions, when it was published and what changed since, a failed
// re-send of the hidden sources with "Send Now" (or, once the server has lost the link, with
// what the failed update's alert offers), and the way to the links kept on the server.
// Everything is read from the store once its changes are to be shown; only user actions write.
#pragma once

#include "FormLayout.h"
#include "model/Project.h"

#include <QImage>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>

class QLabel;
class QPushButton;

namespace rig::app {

class ExistingLinksSheet;
class LinkLabel;
class ProjectStore;
class QRView;

// Sources of the report hidden from the crew (identifiers of no source are not counted).
std::int64_t hiddenSourceCount(const Project& project);
// n + " source", with "s" unless n is 1.
QString sourceCountText(std::int64_t n);
// m + " source(s) changed since then – press Update link (toolbar) so the crew sees it."
QString changedSinceText(std::int64_t m);
// The message shared with the link: the project's name + " – speaker rigging".
QString shareMessage(const Project& project);
// "Hidden sources not sent: " + the error.
QString visibilityErrorText(const QString& error);

class ShareRow : public form::FormRows {
    Q_OBJECT
public:
    // The QR code's module size on screen.
    static constexpr double qrFactor = 10;
    static constexpr int qrSide = 140;

    explicit ShareRow(ProjectStore& store, QWidget* parent = nullptr);
    ~ShareRow() override;

    // Re-reads the store and shows or hides rows in place.
    void refresh();

    // --- Actions, as their buttons do them --------------------------------------------------
    // "Show All": no source hidden any more.
    void showAll();
    // "Copy Link": the link alone on the clipboard, as plain text.
    void copyLink();
    // "Copy QR Code": the QR image alone on the clipboard.
    void copyQRCode();
    // "Send Now": the hidden sources to the crew view at once.
    void sendNow();
    // "Publish Under a New Link": in place of "Send Now" after a re-send found the link gone
    // from the server, as the failed update's alert offers it.
    void publishUnderNewLink();
    // "Share…" ▸ "Email…": a mail draft with the project's name as subject.
    void shareByEmail();
    // "Use an Existing Link…": the links sheet, window-modal; returns at once.
    void openLinksSheet();

    // --- State, for the page and tests ------------------------------------------------------
    // The links sheet is open.
    bool showLinks() const;
    ExistingLinksSheet* linksSheet() const;
    // The QR image shown, or none.
    std::optional<QImage> qrImage() const { return qrImage_; }

    QLabel* hiddenCountLabel() const;
    QPushButton* showAllButton() const { return showAll_; }
    LinkLabel* linkLabel() const { return link_; }
    QWidget* errorRow() const { return errorRow_; }
    QLabel* errorLabel() const;
    QPushButton* sendNowButton() const { return sendNow_; }
    QPushButton* newLinkButton() const { return newLink_; }
    QPushButton* existingLinksButton() const { return existingLinks_; }

signals:
    void showLinksChanged();

private:
    void buildLinkBlock();
    QWidget* buildQRColumn();
    void buildErrorRow();
    void buildFirstPublishHint();
    void buildExistingLinksRow();

    ProjectStore& store_;
    QPointer<ExistingLinksSheet> sheet_;
    std::optional<QString> qrText_;
    std::optional<QImage> qrImage_;

    QWidget* hiddenRow_;
    style::ToneLabel* hiddenCount_;
    QPushButton* showAll_;
    QWidget* linkRow_;
    LinkLabel* link_;
    QPushButton* share_;
    QPushButton* copyLink_;
    QWidget* qrColumn_;
    QRView* qr_;
    QWidget* badLinkRow_;
    QWidget* publishedRow_;
    style::ToneLabel* published_;
    QWidget* attachedRow_;
    QWidget* changedRow_;
    style::ToneLabel* changed_;
    QWidget* errorRow_;
    style::ToneLabel* error_;
    QPushButton* sendNow_;
    QPushButton* newLink_;
    QWidget* hintRow_;
    QPushButton* existingLinks_;
};

// The crew link: one line shortened in the middle, opened in the web browser when clicked
// if it is a link; otherwise shown as plain text.
class LinkLabel : public QWidget {
    Q_OBJECT
public:
    explicit LinkLabel(QWidget* parent = nullptr);

    QString text() const { return text_; }
    // `link`: the caller has found the text to be a link a click may open; false shows it
    // as plain text, whatever it is.
    void setText(const QString& text, bool link);
    // True when a click opens the text.
    bool isLink() const { return link_; }
    // The text as drawn at the current width.
    QString shownText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString text_;
    bool link_ = false;
};

// The QR code on a white rounded square, drawn without smoothing.
class QRView : public QWidget {
    Q_OBJECT
public:
    explicit QRView(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    QImage image() const { return image_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

} // namespace rig::app
