#include "PrintedPages.h"

#include "CrewPage.h"
#include "PublishAddresses.h"
#include "QRCode.h"
#include "QtText.h"

#include <QThread>

namespace rig::app {

CrewDoc exportCrewDoc(const Project& project, bool crew, Date now) {
    CrewDoc doc = CrewDoc::build(project, {}, now, !crew);
    if (!crew && storedCrewLink(project)) {
        doc.link = project.share->url;
        // Without an image the link still shows.
        if (const auto qr = makeQRDataUrl(toQ(project.share->url), 8)) doc.qr = toStd(*qr);
    }
    return doc;
}

QString exportPdfPage(const Project& project, bool crew, Date now) {
    return crewPage(exportCrewDoc(project, crew, now), crew ? PageMode::printCrew : PageMode::rigger, false);
}

QStringList exportPdfPages(const Project& project, bool crew, Date now) {
    if (!crew) return {exportPdfPage(project, crew, now)};
    const CrewDoc doc = exportCrewDoc(project, crew, now);
    return crewSheetParts(doc, crewSheetPartCount(doc.sources.size(), QThread::idealThreadCount()));
}

} // namespace rig::app
