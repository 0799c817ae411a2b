// The four files a crew link offers for download beside the crew view, made from the
// project with the same builders as the File-menu exports and uploaded to the link.
#pragma once

#include "analysis/RigDXF.h"
#include "model/Project.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <QCoroTask>

#include <functional>
#include <vector>

namespace rig::app {

class PublishClient;

// Prints finished pages (one, or the parts of one document) to a PDF file; true once the file is
// written.
using PdfMaker = std::function<QCoro::Task<bool>(QStringList pages, QString target, bool landscape)>;

struct DownloadFile {
    QString name;  // the file name on the server
    QString label; // what the crew page offers it as
};

// In upload order: rigging-points.pdf, crew-sheets.pdf, rigging-points.csv, rigging-points.dxf.
const std::vector<DownloadFile>& downloadFiles();

// Makes the four files (the two PDFs in a private temporary folder, removed again however
// the call ends) and uploads them one after the other to the link `token`. The first failure
// ends the call with a PublishError; files already uploaded stay on the server.
QCoro::Task<void> uploadDownloads(Project project, QString token, QString server, QString key,
                                  PdfMaker makePdf, PublishClient& client, RigDXF::Options dxfOptions);

// At a start: the folders of runs whose program ended before the run did go, with their PDFs.
void removeLeftDownloadFolders();

} // namespace rig::app
