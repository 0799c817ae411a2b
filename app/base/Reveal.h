// Showing a written file to the user in the file manager.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

namespace rig::app {

class Reveal {
public:
    virtual ~Reveal() = default;
    // Selects `file` in the file manager. Never fails visibly.
    virtual void reveal(const QString& file) = 0;
};

// The desktop's file manager through org.freedesktop.FileManager1.ShowItems on the session
// bus; where no file manager answers, the file's folder is opened instead. Nothing while
// opening in other programs is turned off (setOpeningOutside).
class DesktopReveal : public QObject, public Reveal {
    Q_OBJECT
public:
    using FolderOpener = std::function<void(const QUrl& folder)>;

    // The default opener hands the folder to QDesktopServices.
    explicit DesktopReveal(QObject* parent = nullptr);
    DesktopReveal(QDBusConnection bus, FolderOpener openFolder, QObject* parent = nullptr);

    void reveal(const QString& file) override;

private:
    void openFolderOf(const QString& file);

    QDBusConnection bus_;
    FolderOpener openFolder_;
};

} // namespace rig::app
