#include "PublishChanges.h"

#include "base/Text.h"

#include <set>
#include <vector>

namespace rig::app {

namespace {

const SourceExtra& noExtra() {
    static const SourceExtra empty;
    return empty;
}

bool sameMotor(const PointExtra& a, const PointExtra& b) {
    if (!a.motor || !b.motor) return !a.motor && !b.motor;
    return textEqual(a.motor->name, b.motor->name);
}

std::vector<std::string> pointChanges(const SourceExtra& before, const SourceExtra& now) {
    std::set<std::string, TextLess> roles;
    for (const auto& [role, extra] : before.points) roles.insert(role);
    for (const auto& [role, extra] : now.points) roles.insert(role);

    std::vector<std::string> out;
    const PointExtra none;
    for (const std::string& role : roles) {
        const PointExtra* a = before.points.get(role);
        const PointExtra* b = now.points.get(role);
        const PointExtra& old = a ? *a : none;
        const PointExtra& cur = b ? *b : none;
        if (old.delta != cur.delta) out.push_back(role + (cur.delta ? " Delta added" : " Delta removed"));
        if (!sameMotor(old, cur)) out.push_back(role + " motor → " + (cur.motor ? cur.motor->name : "none"));
    }
    return out;
}

} // namespace

ChangeMap publishChangeSummary(const Project& project) {
    ChangeMap result;
    if (!project.share || project.share->fingerprints.empty()) return result;
    const auto& fingerprints = project.share->fingerprints;
    for (const Source& source : project.report.sources) {
        const std::string id = source.id();
        const SourceFingerprint* published = fingerprints.get(id);
        if (published == nullptr) {
            result.set(id, List<std::string>{"new source"});
            continue;
        }
        std::vector<std::string> texts = Project::diff(published->source, source);
        const SourceExtra* now = project.extras.get(id);
        for (std::string& t :
             pointChanges(published->extra ? *published->extra : noExtra(), now ? *now : noExtra()))
            texts.push_back(std::move(t));
        if (!texts.empty()) result.set(id, List<std::string>(std::move(texts)));
    }
    return result;
}

bool isShareStale(const Project& project) {
    if (!project.share || project.share->fingerprints.empty()) return false;
    const TextSet empty;
    const TextSet& published = project.share->hidden ? *project.share->hidden : empty;
    const TextSet& current = project.hiddenSources ? *project.hiddenSources : empty;
    return !(published == current);
}

TextMap<SourceFingerprint> publishFingerprints(const Project& project) {
    TextMap<SourceFingerprint> out;
    for (const Source& source : project.report.sources) {
        const std::string id = source.id();
        std::optional<SourceExtra> extra;
        if (const SourceExtra* e = project.extras.get(id)) extra = *e;
        out.set(id, SourceFingerprint{source, std::move(extra)});
    }
    return out;
}

Project publishedState(const Project& project) {
    Project state = project;
    if (!project.share) return state;
    const auto& fingerprints = project.share->fingerprints;
    std::vector<Source> sources;
    for (const Source& source : project.report.sources) {
        if (const SourceFingerprint* f = fingerprints.get(source.id())) sources.push_back(f->source);
    }
    state.report.sources = List<Source>(std::move(sources));
    TextMap<SourceExtra> extras;
    for (const auto& [id, f] : fingerprints) {
        if (f.extra) extras.set(id, *f.extra);
    }
    state.extras = std::move(extras);
    return state;
}

} // namespace rig::app
