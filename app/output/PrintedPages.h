// The one step both printed documents take, for the export commands and the download files
// alike: the crew document of each and its page in a print mode.
#pragma once

#include "analysis/CrewDoc.h"
#include "base/Date.h"
#include "model/Project.h"

#include <QString>
#include <QStringList>

namespace rig::app {

// The crew document of a PDF. The rigging points (`crew` false) include the sources hidden
// from the crew and, once published, the crew link and its QR code; the crew sheets leave
// hidden sources out and carry neither. No changes are marked.
CrewDoc exportCrewDoc(const Project& project, bool crew, Date now);
// The crew page of that document in its print mode ("print-crew" or "rigger"), split off.
QString exportPdfPage(const Project& project, bool crew, Date now);
// The pages the printer prints side by side and joins into that PDF: the crew sheets of a large
// show in parts, one per core; the rigging points, a table running on from page to page, whole.
QStringList exportPdfPages(const Project& project, bool crew, Date now);

} // namespace rig::app
