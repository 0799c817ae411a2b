// The toolbar's publish button: publishes the open project's crew view to a new link, or
// updates the project's link, then the download files, the save and the link on the clipboard
// (the crew link's press). A press runs to its end even when the button goes away: its state
// lives in the store's crew link.
#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class QStackedLayout;
class QToolButton;

namespace rig::app {

class BusyIndicator;
class ProjectStore;

class PublishButton : public QWidget {
    Q_OBJECT
public:
    PublishButton(ProjectStore& store, QWidget* parent = nullptr);

    QToolButton* button() const { return button_; }
    // The label now shown: "Publish", "Update link", or empty while busy.
    QString label() const;

private:
    void refresh();

    ProjectStore& store_;
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
