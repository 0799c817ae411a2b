// What the sidebar shows of a project: sections of consecutive sources with one heading,
// the summary line of a source and its issue mark. Pure functions.
#pragma once

#include "analysis/Issues.h"
#include "base/Text.h"
#include "model/Project.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace rig::app {

// The heading of a source: a one-entry group path as it is (also "ALL"), otherwise the
// entries other than "ALL" joined with " › "; an empty path gives "". These texts are shown
// as they are, so each name in them is isolated (bidiIsolated).
std::string sidebarLabel(const Source& source);

struct SidebarSection {
    std::string label;
    std::vector<std::size_t> sources; // indexes into the report's sources, in report order
};

// Consecutive sources with equal headings form one section; a heading that comes back
// after another starts a further section. Sources are never reordered.
std::vector<SidebarSection> sidebarSections(const Project& project);

// "3× K2 + 1× KARA · flown": cabinets counted per type ("_C" dropped from the end of a type)
// in order of first appearance, then " · flown" or " · stacked". One line: a type's line
// breaks are shown as spaces.
std::string sourceSubtitle(const Source& source);

// The highest level among the issues of each source, gathered in one pass over the issues.
class SourceIssueLevels {
public:
    SourceIssueLevels() = default;
    explicit SourceIssueLevels(const std::vector<Issue>& issues);
    // None when the source has no issue.
    std::optional<Issue::Level> highest(std::string_view sourceID) const;

private:
    std::unordered_map<std::string, Issue::Level, TextHash, TextEqualTo> levels_;
};

// The sidebar's mark for a source: red for an error, orange for a warning, none below.
enum class IssueMark { none, warning, error };
IssueMark issueMark(std::optional<Issue::Level> level);

} // namespace rig::app
