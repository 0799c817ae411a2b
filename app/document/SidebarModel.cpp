#include "SidebarModel.h"

#include "base/Number.h"
#include "base/Text.h"

#include <utility>

namespace rig::app {

std::string sidebarLabel(const Source& source) {
    if (source.groups.size() == 1) return bidiIsolated(source.groups.front());
    const std::vector<std::string_view> groups = groupPathWithoutAll(source);
    std::string label;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        if (i > 0) label += " › ";
        label += bidiIsolated(groups[i]);
    }
    return label;
}

std::vector<SidebarSection> sidebarSections(const Project& project) {
    std::vector<SidebarSection> sections;
    const auto& sources = project.report.sources;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        std::string label = sidebarLabel(sources[i]);
        if (!sections.empty() && textEqual(sections.back().label, label)) {
            sections.back().sources.push_back(i);
        } else {
            sections.push_back({std::move(label), {i}});
        }
    }
    return sections;
}

std::string sourceSubtitle(const Source& source) {
    std::vector<std::pair<std::string, std::int64_t>> counts;
    for (const Enclosure& enclosure : source.enclosures) {
        std::string type = enclosure.type;
        if (type.ends_with("_C")) type.resize(type.size() - 2);
        bool found = false;
        for (auto& [known, count] : counts) {
            if (textEqual(known, type)) {
                ++count;
                found = true;
                break;
            }
        }
        if (!found) counts.emplace_back(std::move(type), 1);
    }
    std::string text;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        if (i > 0) text += " + ";
        text += integerText(counts[i].second);
        text += "× ";
        text += bidiIsolated(singleLine(counts[i].first));
    }
    text += source.isFlown() ? " · flown" : " · stacked";
    return text;
}

SourceIssueLevels::SourceIssueLevels(const std::vector<Issue>& issues) {
    for (const Issue& issue : issues) {
        if (!issue.sourceID) continue;
        const auto [at, added] = levels_.try_emplace(*issue.sourceID, issue.level);
        if (!added && int(issue.level) > int(at->second)) at->second = issue.level;
    }
}

std::optional<Issue::Level> SourceIssueLevels::highest(std::string_view sourceID) const {
    const auto at = levels_.find(sourceID);
    if (at == levels_.end()) return std::nullopt;
    return at->second;
}

IssueMark issueMark(std::optional<Issue::Level> level) {
    if (level == Issue::Level::error) return IssueMark::error;
    if (level == Issue::Level::warning) return IssueMark::warning;
    return IssueMark::none;
}

} // namespace rig::app
