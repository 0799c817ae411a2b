// The sheet with the crew links kept on the publish server: open one in the browser,
// attach one to the project (the next "Update link" sends this project to it), or delete
// one. It talks to the server only through the store's list and delete actions and changes
// only the project's publish record.
#pragma once

#include "PublishProtocol.h"
#include "RowBlocks.h"
#include "ToneLabel.h"
#include "model/Project.h"

#include <QDialog>
#include <QString>

#include <QCoroTask>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace rig::app {

class DeferredDeletion;
class ProjectStore;

namespace style {
class ToneLabel;
}

// The update time in the user's short date style, or "?" when it is out of range.
QString linkDateText(double updatedAt);
// "Updated " + date + " · " + sources + " sources · " + report.
QString linkDetailText(const ServerLink& link);
// The link's name, or "Untitled" for an empty one.
QString linkTitle(const ServerLink& link);

class ExistingLinksSheet : public QDialog {
    Q_OBJECT
public:
    static constexpr int sheetWidth = 720;
    static constexpr int sheetHeight = 520;

    explicit ExistingLinksSheet(ProjectStore& store, QWidget* parent = nullptr);
    ~ExistingLinksSheet() override;

    // Loads the list (the sheet does it when it is shown, and after every deletion). A load
    // ends loaded (list replaced, error cleared) or failed (error set, list kept). Closing
    // the sheet drops a load under way.
    QCoro::Task<void> loadLinks();
    // "Use": attaches the link to the project and closes the sheet.
    void useLink(const ServerLink& link);
    // The trash button: asks, and on "Delete" starts the deletion and returns.
    void askToDelete(ServerLink link);
    // Deletes the link on the server; the project forgets it when it was its own (also after
    // the sheet closed); then the list is loaded again. Failures end in the error text.
    QCoro::Task<void> deleteLink(ServerLink link);
    // "Open": the link in the web browser (web links only).
    void openLink(const ServerLink& link);

    const std::vector<ServerLink>& links() const { return links_; }
    bool isLoading() const { return loading_; }
    std::optional<QString> error() const { return error_; }
    // The link whose deletion is being asked about.
    std::optional<ServerLink> confirmDelete() const { return confirmDelete_; }

    // The row widgets built so far, in list order. A long list is built a block of rows at a
    // time, each block in its own pass of the event loop.
    QList<QWidget*> rows() const;
    // Every row of the list shown is built.
    bool rowsComplete() const;

signals:
    // A load or a deletion changed the shown state.
    void stateChanged();
    // A load has ended (loaded or failed); not after the sheet closed.
    void loadFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void setLoading(bool loading);
    void showState();
    void rebuildRows();
    // The next block of rows; false once none is left.
    bool buildRows();
    QWidget* linkRow(const ServerLink& link, bool first, bool own);

    ProjectStore& store_;
    std::vector<ServerLink> links_;
    bool loading_ = true;
    std::optional<QString> error_;
    std::optional<ServerLink> confirmDelete_;
    bool started_ = false;
    bool closed_ = false;
    // What the rows were built from.
    std::vector<ServerLink> shownLinks_;
    std::optional<std::string> shownOwnToken_;
    bool rowsBuilt_ = false;

    QProgressBar* progress_;
    style::ToneLabel* errorLabel_;
    QWidget* list_;
    QVBoxLayout* listLayout_;
    QList<QWidget*> rows_;
    std::vector<QWidget*> blocks_;
    DeferredDeletion* oldBlocks_;
    BlockBuilder builder_;
    QPushButton* close_;
};

} // namespace rig::app
