#include "DownloadFiles.h"

#include "PrintedPages.h"
#include "PublishClient.h"
#include "QtText.h"
#include "RiggingPointsCSV.h"
#include "base/Date.h"
#include "base/File.h"
#include "base/Uuid.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace rig::app {

namespace {

constexpr char folderPrefix[] = "rig-downloads-";

QString temporaryBase() {
    // tempPath() is empty when TMPDIR names no folder: never fall back to the working folder.
    QString base = QDir::tempPath();
    if (base.isEmpty()) base = QDir::cleanPath(qEnvironmentVariable("TMPDIR"));
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QStringLiteral("/tmp");
    return base;
}

// A folder only this user can read, removed with everything in it when the guard ends. It is
// named after the program's process, so that what a program ending midway leaves ("Quit Now"
// during a publish) is known as such and removed at a later start.
class PrivateFolder {
public:
    PrivateFolder() {
        const QString base = temporaryBase();
        path_ = QDir(base).filePath(toQ(processFolderName(folderPrefix) + Uuid::random().str()));
        // Missing folders above it are made as usual; a failure shows in the mkdir below.
        QDir().mkpath(base);
        if (::mkdir(QFile::encodeName(path_).constData(), 0700) != 0) {
            const int error = errno;
            throw PublishError(PublishError::Kind::File,
                               QStringLiteral("Cannot create ") + path_ + ": " + toQ(std::strerror(error)));
        }
    }
    ~PrivateFolder() { QDir(path_).removeRecursively(); }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    QString file(const QString& name) const { return QDir(path_).filePath(name); }

private:
    QString path_;
};

QByteArray readBack(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw PublishError(PublishError::Kind::File, QStringLiteral("Cannot read ") +
                                                         QFileInfo(path).fileName() + ": " +
                                                         file.errorString());
    }
    return file.readAll();
}

QByteArray utf8(const std::string& text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

} // namespace

void removeLeftDownloadFolders() {
    removeFoldersOfEndedProcesses(toPath(temporaryBase()), folderPrefix);
}

const std::vector<DownloadFile>& downloadFiles() {
    static const std::vector<DownloadFile> files = {
        {"rigging-points.pdf", "Rigging points (PDF)"},
        {"crew-sheets.pdf", "Crew sheets (PDF)"},
        {"rigging-points.csv", "Rigging points (CSV)"},
        {"rigging-points.dxf", "Rigging points 3D (DXF)"},
    };
    return files;
}

QCoro::Task<void> uploadDownloads(Project project, QString token, QString server, QString key,
                                  PdfMaker makePdf, PublishClient& clientRef, RigDXF::Options dxfOptions) {
    const QPointer<PublishClient> client = &clientRef;
    const PrivateFolder folder;
    const auto& files = downloadFiles();

    // The rigging points with the crew link and its QR code, the crew sheets as the crew sees
    // them: the two PDFs of the export commands.
    const Date now = nowSeconds();
    const QString riggerFile = folder.file(files[0].name);
    if (!co_await makePdf(exportPdfPages(project, false, now), riggerFile, true))
        throw PublishError::server(publishText::pdfFailed);
    const QString crewFile = folder.file(files[1].name);
    if (!co_await makePdf(exportPdfPages(project, true, now), crewFile, false))
        throw PublishError::server(publishText::pdfFailed);

    const QByteArray data[] = {
        readBack(riggerFile),
        readBack(crewFile),
        utf8(riggingPointsCSV(project)),
        utf8(RigDXF::make(project, dxfOptions)),
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!client) throw PublishError(PublishError::Kind::Cancelled, publishText::cancelled);
        co_await client->uploadFile(token, files[i].name, files[i].label, data[i], server, key);
    }
}

} // namespace rig::app
