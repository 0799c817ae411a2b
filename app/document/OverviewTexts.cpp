#include "OverviewTexts.h"

#include "QtText.h"
#include "SourceTexts.h"
#include "base/Number.h"
#include "base/Text.h"

#include <algorithm>

namespace rig::app::overview {

namespace {

const QString dot = QStringLiteral(" \u00b7 ");

QString count(std::int64_t n) {
    return toQ(integerText(n));
}

} // namespace

QString motorsHeader(const DeltaSpec& delta) {
    return QStringLiteral("Motors & ") + shownName(delta.name);
}

FileLine fileLine(const std::string& fileName, const std::optional<QString>& detail,
                  const std::optional<QString>& date) {
    FileLine line;
    if (fileName.empty()) {
        line.first = QStringLiteral("\u2013");
        line.secondary = true;
        return line;
    }
    line.first = shownName(fileName);
    if (detail) line.second = date ? *detail + dot + *date : *detail;
    return line;
}

QString reportDetail(const Project& project) {
    return QStringLiteral("Soundvision ") + shownName(project.report.info.version) + dot +
           count(std::int64_t(project.report.sources.size())) + QStringLiteral(" sources");
}

std::optional<QString> inventoryDetail(const Project& project) {
    if (project.inventory.empty()) return std::nullopt;
    return count(std::int64_t(project.inventory.size())) + QStringLiteral(" lines");
}

std::optional<QString> dxfDetail(const Project& project) {
    if (project.dxf.empty()) return std::nullopt;
    return count(std::int64_t(project.dxf.size())) + QStringLiteral(" arrays drawn, exact point coordinates");
}

bool isWarning(Issue::Level level) {
    return level == Issue::Level::check || level == Issue::Level::warning || level == Issue::Level::error;
}

CheckSplit splitChecks(const std::vector<IssueGroup>& groups) {
    CheckSplit split;
    for (const IssueGroup& g : groups) (isWarning(g.level) ? split.warnings : split.notes).push_back(g);
    return split;
}

std::int64_t notesCount(const std::vector<IssueGroup>& notes) {
    std::int64_t n = 0;
    for (const IssueGroup& g : notes) n += g.sources.empty() ? 1 : std::int64_t(g.sources.size());
    return n;
}

QString notesTitle(const std::vector<IssueGroup>& notes) {
    return QStringLiteral("Notes (") + count(notesCount(notes)) + QStringLiteral(")");
}

QString levelSymbol(Issue::Level level) {
    switch (level) {
    case Issue::Level::error:
        return QStringLiteral("exclamationmark.octagon.fill");
    case Issue::Level::warning:
        return QStringLiteral("exclamationmark.triangle.fill");
    case Issue::Level::check:
        return QStringLiteral("exclamationmark.circle");
    case Issue::Level::note:
    case Issue::Level::info:
        break;
    }
    return QStringLiteral("info.circle");
}

style::Tone levelTone(Issue::Level level) {
    switch (level) {
    case Issue::Level::error:
        return style::Tone::red;
    case Issue::Level::warning:
        return style::Tone::orange;
    case Issue::Level::check:
        return style::Tone::yellow;
    case Issue::Level::note:
    case Issue::Level::info:
        break;
    }
    return style::Tone::secondary;
}

std::vector<PointAssignment> bulkMotorAssignments(const Project& project, const Motor& motor) {
    // Worked out on a running copy, as the writes will be, so a point met twice is written once.
    Project running = project;
    std::vector<PointAssignment> out;
    for (const Source& source : project.report.sources) {
        const std::string id = source.id();
        for (const Pickup& pickup : source.pickups) {
            PointExtra extra = running.extra(id, pickup.role);
            if (extra.motor) continue;
            extra.motor = motor;
            running.setExtra(id, pickup.role, extra);
            out.push_back({id, pickup.role, extra});
        }
    }
    return out;
}

QString motorItem(const Motor& motor) {
    return sourcetext::motorMenuItem(motor);
}

std::optional<std::string> authorFromText(const QString& text) {
    if (text.isEmpty()) return std::nullopt;
    return toStd(text);
}

const std::vector<std::pair<std::string, QString>>& inventoryCategories() {
    static const std::vector<std::pair<std::string, QString>> table{
        {"Enclosure", QStringLiteral("Enclosures")},
        {"Rigging", QStringLiteral("Rigging")},
        {"Amplified controller", QStringLiteral("Amplifiers")},
    };
    return table;
}

std::vector<InventoryBlockData> inventoryBlocks(const List<InventoryItem>& inventory) {
    std::vector<InventoryBlockData> blocks;
    for (const auto& [key, title] : inventoryCategories()) {
        std::vector<const InventoryItem*> rows;
        for (const InventoryItem& item : inventory) {
            if (item.category == key) rows.push_back(&item);
        }
        if (rows.empty()) continue;
        std::stable_sort(rows.begin(), rows.end(), [](const InventoryItem* a, const InventoryItem* b) {
            if (a->quantity != b->quantity) return a->quantity > b->quantity;
            return a->product < b->product; // UTF-8 bytes: code-point order
        });
        InventoryBlockData block{key, title, {}};
        for (const InventoryItem* item : rows)
            block.items.emplace_back(shownName(item->product), item->quantity);
        blocks.push_back(std::move(block));
    }
    return blocks;
}

} // namespace rig::app::overview
