// The publish state of a project's crew view.
#pragma once

#include "base/Date.h"
#include "base/JsonFwd.h"
#include "base/List.h"
#include "base/TextMap.h"
#include "model/Extras.h"
#include "model/Report.h"

#include <optional>
#include <string>

namespace rig {

struct SourceFingerprint {
    Source source;
    std::optional<SourceExtra> extra;

    JsonUnknown unknown{};

    friend bool operator==(const SourceFingerprint& a, const SourceFingerprint& b);
    Json toJson() const;
    static SourceFingerprint fromJson(const Json& j, const JsonPath& path);
};

struct ShareInfo {
    std::string token;
    std::string url;
    Date publishedAt;
    TextMap<SourceFingerprint> fingerprints;
    TextMap<List<std::string>> changes;
    std::optional<TextSet> hidden;

    JsonUnknown unknown{};

    friend bool operator==(const ShareInfo& a, const ShareInfo& b);
    Json toJson() const;
    static ShareInfo fromJson(const Json& j, const JsonPath& path);
};

} // namespace rig
