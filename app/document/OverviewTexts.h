// What the overview page shows and changes, as pure functions of the model: file lines,
// the split of the checks, the notes count, the bulk motor assignment, the inventory blocks
// and the author as typed. Numbers never go through the locale.
#pragma once

#include "PageStyle.h"
#include "analysis/Issues.h"
#include "base/Date.h"
#include "model/Project.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rig::app::overview {

// --- Texts -------------------------------------------------------------------------------

inline const QString namePrompt = QStringLiteral("Name from the Soundvision file");
inline const QString importButton = QStringLiteral("Import / Update Files\u2026");
inline const QString importHint =
    QStringLiteral("Or drop files on the window. A new report keeps your motors and Delta settings.");
inline const QString riggingFooter = QStringLiteral(
    "Height of the steel / truss the motors hang from. The rigging PDF and CSV then show the drop (chain "
    "length) down to the hook height (Soundvision Z), and the DXF puts the points on this level. Leave empty "
    "to use the hook height.");
inline const QString noWarnings = QStringLiteral("No warnings \u2013 report, inventory and DXF agree.");
inline const QString chooseMotor = QStringLiteral("Choose\u2026");
inline const QString setOnAllPoints = QStringLiteral("Set on all points without a motor");
inline const QString addMotorsHint = QStringLiteral("Add motors in Settings (Ctrl+,) or on a source page.");

// "Motors & " and the project's Delta name (nothing substituted for an empty name).
QString motorsHeader(const DeltaSpec& delta);

// --- File lines ----------------------------------------------------------------------------

// The value side of a file row: the file name (or "–" in the secondary style when there is
// none) and, only with a name and a detail, the detail followed by " · " and the date.
struct FileLine {
    QString first;
    bool secondary = false; // the dash
    std::optional<QString> second;

    friend bool operator==(const FileLine&, const FileLine&) = default;
};
FileLine fileLine(const std::string& fileName, const std::optional<QString>& detail,
                  const std::optional<QString>& date);

// "Soundvision " + version + " · " + count + " sources".
QString reportDetail(const Project& project);
// count + " lines"; nothing for an empty inventory.
std::optional<QString> inventoryDetail(const Project& project);
// count + " arrays drawn, exact point coordinates"; nothing without DXF data.
std::optional<QString> dxfDetail(const Project& project);

// --- Checks --------------------------------------------------------------------------------

// check, warning and error.
bool isWarning(Issue::Level level);
struct CheckSplit {
    std::vector<IssueGroup> warnings;
    std::vector<IssueGroup> notes;
};
// Keeps the order of the groups within each part.
CheckSplit splitChecks(const std::vector<IssueGroup>& groups);
// One per source name of each note group, one for a group without names.
std::int64_t notesCount(const std::vector<IssueGroup>& notes);
// "Notes (" + count + ")".
QString notesTitle(const std::vector<IssueGroup>& notes);
// The level's symbol name and colour.
QString levelSymbol(Issue::Level level);
style::Tone levelTone(Issue::Level level);

// --- Motors --------------------------------------------------------------------------------

// One point the bulk action writes: its new settings.
struct PointAssignment {
    std::string sourceID;
    std::string role;
    PointExtra extra;

    friend bool operator==(const PointAssignment&, const PointAssignment&) = default;
};
// Every point without a motor (hidden sources included), in report and pickup order,
// with `motor` and its own Delta flag. Points with any motor are left alone; a point named
// twice (two sources with one identifier) is written once.
std::vector<PointAssignment> bulkMotorAssignments(const Project& project, const Motor& motor);

// name + " – " + weight + " kg".
QString motorItem(const Motor& motor);

// The author as typed: empty text means none (the default name shows instead); anything
// else is kept exactly, blanks included.
std::optional<std::string> authorFromText(const QString& text);

// --- Inventory -----------------------------------------------------------------------------

struct InventoryBlockData {
    std::string key; // the category, the block's identity
    QString title;
    std::vector<std::pair<QString, std::int64_t>> items; // product, quantity

    friend bool operator==(const InventoryBlockData&, const InventoryBlockData&) = default;
};
// "Enclosure" → "Enclosures", "Rigging" → "Rigging", "Amplified controller" → "Amplifiers".
const std::vector<std::pair<std::string, QString>>& inventoryCategories();
// One block per category with rows (exact category match), in table order; rows ordered
// by larger quantity first, then product in code-point order (stable).
std::vector<InventoryBlockData> inventoryBlocks(const List<InventoryItem>& inventory);

} // namespace rig::app::overview
