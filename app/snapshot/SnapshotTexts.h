// The snapshot mode's inputs and result lines as text: the step and file lists read from the
// environment, the lines it writes into its result files. Pure functions.
#pragma once

#include "PublishChanges.h"
#include "analysis/RigDXF.h"

#include <QList>
#include <QSizeF>
#include <QString>
#include <QUrl>

#include <optional>
#include <vector>

namespace rig::app {

// A capture step: "crew", "phone", "full" or a source identifier; none is the overview.
using SnapshotStep = std::optional<QString>;
using SnapshotSteps = std::vector<SnapshotStep>;

// The overview and three source identifiers of the sample show.
SnapshotSteps defaultSnapshotSteps();

// RIG_STEPS: split at "|", empty pieces dropped, exactly "overview" is the overview; every
// other piece stays as it is. Absent: the default steps.
SnapshotSteps parseSnapshotSteps(const std::optional<QString>& value);

// RIG_FILES: split at ":", empty pieces dropped, in order, each a local file (relative paths
// taken from the current folder).
QList<QUrl> parseSnapshotFiles(const QString& value);

// The shortest text that reads back as `value`, always with a fractional part ("0.0",
// "12.5", "1e+16").
QString snapshotNumberText(double value);

// accessory.txt: "drops true footprints height h 0.0 size (420.0, 180.0)".
QString accessoryText(const RigDXF::Options& options, QSizeF size);

// RIG_TEST_HEIGHT: the whole value as one decimal number; nothing for blanks around it,
// anything left over, or a value that is not finite.
std::optional<double> parseTestHeight(const QString& value);

// The change map as a debug listing: `["id": ["a", "b"]]`, `[:]` when empty; quotes,
// backslashes and control characters escaped.
QString changeMapDebugText(const ChangeMap& changes);

// Non-overlapping occurrences of `pattern` (not empty) in `text`.
qsizetype countOccurrences(const QString& text, const QString& pattern);

// publish.txt's last line, without its line break, from what the server keeps for the link:
// "after visibility: CS sources=0 leakedMotor=false keptTestMotor=true".
QString visibilityResultLine(const QString& answer);

// Where the publish check reads what the server keeps for a link: the server address read as
// the publish requests read it (publishUrl), "/api/rig/" and the token. Nothing when that
// makes no address a publish would take.
std::optional<QUrl> linkDocumentUrl(const QString& server, const QString& token);

// state.txt: "sources: 7\nerror: -\n".
QString snapshotStateText(qsizetype sources, const std::optional<QString>& error);

} // namespace rig::app
