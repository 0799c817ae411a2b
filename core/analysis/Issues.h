// Results of the project checks (Project::issues, Project::groupedIssues).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig {

struct Issue {
    enum class Level { info = 0, note = 1, check = 2, warning = 3, error = 4 };
    // None outside 0 to 4.
    static std::optional<Level> levelFromRaw(int raw);

    Level level = Level::info;
    std::optional<std::string> sourceID; // none for project-wide results
    std::string text;                    // shown as it is: the names in it are isolated

    // The source identifier (empty when none), "|" and the text.
    std::string id() const;
    friend bool operator==(const Issue& a, const Issue& b);
};

struct IssueGroup {
    Issue::Level level = Issue::Level::info;
    std::string text;
    std::vector<std::string> sources; // source names, in the order of the merged results

    // The level's raw value, "|" and the text.
    std::string id() const;
    friend bool operator==(const IssueGroup& a, const IssueGroup& b);
};

// The check on a source that the report could not be read whole around (a page of it lost),
// also shown on the source's page.
inline constexpr std::string_view possiblyIncompleteText =
    "Possibly incomplete \u2013 part of the report around this source could not be read.";

// The check on a source whose loads are not finite numbers (unreadable in the report, or from a
// damaged file), naming the points by their roles.
std::string unreadableLoadsText(const std::vector<std::string>& roles);

} // namespace rig
