#include "analysis/Issues.h"

#include "base/Equal.h"
#include "base/Number.h"
#include "base/Text.h"
#include "base/TextMap.h"
#include "model/Project.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace rig {

std::optional<Issue::Level> Issue::levelFromRaw(int raw) {
    if (raw < 0 || raw > 4) return std::nullopt;
    return static_cast<Level>(raw);
}

std::string Issue::id() const {
    return sourceID.value_or("") + "|" + text;
}

bool operator==(const Issue& a, const Issue& b) {
    return a.level == b.level && eq(a.sourceID, b.sourceID) && eq(a.text, b.text);
}

std::string IssueGroup::id() const {
    return integerText(static_cast<int>(level)) + "|" + text;
}

std::string unreadableLoadsText(const std::vector<std::string>& roles) {
    const bool one = roles.size() == 1;
    std::string text = one ? "Unreadable load on " : "Unreadable loads on ";
    for (std::size_t i = 0; i < roles.size(); ++i) text += (i > 0 ? ", " : "") + roles[i];
    return text + (one ? " \u2013 totals that need it are left empty."
                       : " \u2013 totals that need them are left empty.");
}

bool operator==(const IssueGroup& a, const IssueGroup& b) {
    if (a.level != b.level || !eq(a.text, b.text) || a.sources.size() != b.sources.size()) return false;
    for (std::size_t i = 0; i < a.sources.size(); ++i) {
        if (!eq(a.sources[i], b.sources[i])) return false;
    }
    return true;
}

namespace {

Issue::Level issueLevel(ReportWarning::Level level) {
    switch (level) {
    case ReportWarning::Level::error:
        return Issue::Level::error;
    case ReportWarning::Level::warning:
        return Issue::Level::warning;
    case ReportWarning::Level::caution:
        break;
    }
    return Issue::Level::note;
}

// Upper case without blanks, and without one trailing "_C".
std::string modelKey(std::string_view text) {
    std::string key = toUpper(text);
    std::erase(key, ' ');
    if (key.ends_with("_C")) key.resize(key.size() - 2);
    return key;
}

// The printed loads are rounded: their sum may miss the total weight by this much (kg).
constexpr double kLoadSumTolerance = 1.0;

// Collects the results for one source.
struct SourceIssues {
    std::vector<Issue>& out;
    std::string id;
    void add(Issue::Level level, std::string text) { out.push_back(Issue{level, id, std::move(text)}); }
};

// The report's own warnings, negative loads and loads that do not add up.
void loadChecks(const Source& source, SourceIssues& issues) {
    for (const ReportWarning& w : source.warnings) issues.add(issueLevel(w.level), w.text);

    std::vector<std::string> unreadable;
    for (const Pickup& p : source.pickups) {
        if (p.load && !std::isfinite(*p.load)) {
            unreadable.push_back(bidiIsolated(p.role));
        } else if (p.load && *p.load < 0) {
            issues.add(Issue::Level::error, bidiIsolated(p.role) + " load is negative (" + fmt(*p.load) +
                                                " kg) \u2013 the array tips away from this point.");
        }
    }
    if (!unreadable.empty()) issues.add(Issue::Level::warning, unreadableLoadsText(unreadable));

    if (!source.totalWeight || !std::isfinite(*source.totalWeight)) return;
    bool anyLoad = false;
    // Wider than a load, so that absurd loads from a damaged file cannot overflow part way.
    long double wide = 0;
    for (const Pickup& p : source.pickups) {
        // An unreadable load counts as missing: a not-a-number sum would hide the check.
        if (p.load && std::isfinite(*p.load)) {
            anyLoad = true;
            wide += *p.load;
        }
    }
    if (!anyLoad) return;
    if (std::fabs(wide) > std::numeric_limits<double>::max()) {
        // A sum that no number holds is never printed.
        issues.add(Issue::Level::check, "Point loads are too large to add up \u2013 total weight is " +
                                            fmt(*source.totalWeight) + " kg.");
        return;
    }
    const double sum = static_cast<double>(wide);
    if (std::abs(sum - *source.totalWeight) > kLoadSumTolerance) {
        issues.add(Issue::Level::check, "Point loads add up to " + fmt(sum) + " kg but total weight is " +
                                            fmt(*source.totalWeight) + " kg.");
    }
}

// Only when a DXF was imported: the source's drawing and its confirmed points. A DXF that
// gave no array for any source (damaged, or of another show) still counts: it agrees with
// nothing.
void dxfChecks(const Project& project, const Source& source, SourceIssues& issues) {
    if (project.dxf.empty() && project.dxfFile.empty()) return;
    const DXFInfo* info = project.dxf.get(issues.id);
    if (info == nullptr) {
        issues.add(Issue::Level::check,
                   "Not found in the DXF \u2013 no drawing, coordinates from the report (cm).");
        return;
    }
    if (!info->top && project.dxfIncomplete) {
        // Importing it again would not help: the file itself lacks the shape.
        issues.add(Issue::Level::check,
                   "No speaker shape on the map \u2013 the DXF could not be read whole.");
    } else if (!info->top) {
        issues.add(Issue::Level::check, "Import the DXF again to get the speaker shape on the map (project "
                                        "from an older Rig version).");
    }
    for (const Pickup& p : source.pickups) {
        if (p.hasPosition() && !p.fromDXF) {
            issues.add(Issue::Level::check,
                       bidiIsolated(p.role) +
                           " point differs from the DXF by more than 5 cm \u2013 is the DXF from the same "
                           "version?");
        }
    }
}

void sourceChecks(const Project& project, const Source& source, std::vector<Issue>& out) {
    SourceIssues issues{out, source.id()};
    if (source.possiblyIncomplete) {
        issues.add(Issue::Level::warning, std::string(possiblyIncompleteText));
    }
    loadChecks(source, issues);
    if (source.isFlown() && source.enclosures.empty()) {
        issues.add(Issue::Level::check, "No enclosure table read for this source.");
    }
    dxfChecks(project, source, issues);
}

void inventoryChecks(const Project& project, std::vector<Issue>& out) {
    if (project.inventoryIncomplete) {
        out.push_back(Issue{Issue::Level::warning, std::nullopt,
                            "The inventory could not be read whole \u2013 some of its rows may be missing "
                            "or wrong."});
    }
    // An inventory file that gave no row still stands against the report.
    if (project.inventory.empty() && project.inventoryFile.empty()) return;

    // Keyed by canonical text and iterated in code-point order.
    TextMap<std::int64_t> reportCounts;
    for (const Source& s : project.report.sources) {
        for (const Enclosure& e : s.enclosures) ++reportCounts.edit(modelKey(e.type));
    }

    struct Model {
        std::int64_t quantity;
        std::string product;
    };
    TextMap<Model> inventoryModels;
    for (const InventoryItem& row : project.inventory) {
        if (textEqual(row.category, "Enclosure")) {
            inventoryModels.set(modelKey(row.product), Model{row.quantity, row.product});
        }
    }

    for (const auto& [key, model] : inventoryModels) {
        const std::int64_t* count = reportCounts.get(key);
        std::int64_t reported = count ? *count : 0;
        if (reported != model.quantity) {
            out.push_back(Issue{Issue::Level::warning, std::nullopt,
                                bidiIsolated(model.product) + ": inventory " + integerText(model.quantity) +
                                    ", report " + integerText(reported) + "."});
        }
    }
    for (const auto& [key, count] : reportCounts) {
        if (!inventoryModels.contains(key)) {
            out.push_back(Issue{Issue::Level::warning, std::nullopt,
                                bidiIsolated(key) + ": " + integerText(count) +
                                    " in the report, missing from the inventory."});
        }
    }
    for (const InventoryItem& row : project.inventory) {
        if (containsIgnoringCase(row.description, "no product information")) {
            out.push_back(Issue{Issue::Level::info, std::nullopt,
                                bidiIsolated(row.product) +
                                    ": Soundvision has no product information (custom or unknown model)."});
        }
    }
}

} // namespace

std::vector<Issue> Project::issues() const {
    std::vector<Issue> out;
    if (dxfIncomplete) {
        out.push_back(Issue{Issue::Level::warning, std::nullopt,
                            "The DXF could not be read whole \u2013 some of its arrays or points may be "
                            "missing or wrong."});
    }
    for (const Source& s : report.sources) sourceChecks(*this, s, out);
    inventoryChecks(*this, out);
    std::stable_sort(out.begin(), out.end(),
                     [](const Issue& a, const Issue& b) { return a.level > b.level; });
    return out;
}

std::vector<IssueGroup> Project::groupedIssues() const {
    std::vector<Issue> all = issues();
    if (all.empty()) return {};

    // The first source under each identifier names it.
    std::unordered_map<std::string, const std::string*, TextHash, TextEqualTo> names;
    for (const Source& s : report.sources) names.try_emplace(s.id(), &s.name);

    std::vector<IssueGroup> groups;
    std::unordered_map<std::string, std::size_t, TextHash, TextEqualTo> groupIndex; // by IssueGroup::id
    for (const Issue& issue : all) {
        const std::string* name = nullptr;
        if (issue.sourceID) {
            auto found = names.find(*issue.sourceID);
            if (found != names.end()) name = found->second;
        }
        auto [it, isNew] =
            groupIndex.try_emplace(IssueGroup{issue.level, issue.text, {}}.id(), groups.size());
        if (isNew) groups.push_back(IssueGroup{issue.level, issue.text, {}});
        if (name) groups[it->second].sources.push_back(*name);
    }
    return groups;
}

} // namespace rig
