// The toolbar's publish button: publishes the open project's crew view to a new link, or
// updates the project's link, then the download files, the save and the link on the clipboard
// (the store's publishOpenProject). A press runs to its end even when the button goes away:
// its state lives in a PublishController that belongs to the store.
#pragma once

#include <QPointer>
#include <QWidget>

#include <qcoro6/qcoro/qcorotask.h>

class QStackedLayout;
class QToolButton;

namespace rig::app {

class BusyIndicator;
class ProjectStore;

class PublishController : public QObject {
    Q_OBJECT
public:
    // Made as a child of the store: it lives as long as the store does.
    explicit PublishController(ProjectStore& store);

    // The controller of `store`, made on first use.
    static PublishController& of(ProjectStore& store);

    // True from the start of a press until its last step.
    bool isBusy() const { return busy_; }

    // Starts a press unless one runs; returns at once.
    void press();
    // The press as a task, for callers that wait for it (tests).
    QCoro::Task<void> run();

signals:
    void busyChanged();
    // A press has ended (after the copy, or after a failed publish).
    void finished();

private:
    void setBusy(bool busy);

    ProjectStore& store_;
    bool busy_ = false;
};

class PublishButton : public QWidget {
    Q_OBJECT
public:
    PublishButton(ProjectStore& store, QWidget* parent = nullptr);

    PublishController& controller() const { return controller_; }
    QToolButton* button() const { return button_; }
    // The label now shown: "Publish", "Update link", or empty while busy.
    QString label() const;

private:
    void refresh();

    ProjectStore& store_;
    PublishController& controller_;
    QStackedLayout* layers_ = nullptr;
    QToolButton* button_ = nullptr;
    BusyIndicator* progress_ = nullptr;
};

// Texts of the button.
namespace publishButtonText {
QString label(bool published);
// "Publish the crew view and copy the link." or "Updates <link> – the link is copied to the
// clipboard."; an empty link (one that may not be shown) reads "the crew link".
QString help(const std::optional<QString>& link);
} // namespace publishButtonText

} // namespace rig::app
