#include "model/Share.h"

#include "base/Equal.h"
#include "base/Json.h"

namespace rig {

bool operator==(const SourceFingerprint& a, const SourceFingerprint& b) {
    return a.source == b.source && eq(a.extra, b.extra);
}

Json SourceFingerprint::toJson() const {
    JsonObjectWriter w;
    w.put("source", source).opt("extra", extra).keep(unknown);
    return w.take();
}

SourceFingerprint SourceFingerprint::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    SourceFingerprint f;
    f.source = o.req<Source>("source");
    f.extra = o.opt<SourceExtra>("extra");
    f.unknown = o.unknown();
    return f;
}

bool operator==(const ShareInfo& a, const ShareInfo& b) {
    return eq(a.token, b.token) && eq(a.url, b.url) && a.publishedAt == b.publishedAt &&
           a.fingerprints == b.fingerprints && a.changes == b.changes && eq(a.hidden, b.hidden);
}

Json ShareInfo::toJson() const {
    JsonObjectWriter w;
    w.put("token", token)
        .put("url", url)
        .put("publishedAt", publishedAt)
        .put("fingerprints", fingerprints)
        .put("changes", changes)
        .opt("hidden", hidden)
        .keep(unknown);
    return w.take();
}

ShareInfo ShareInfo::fromJson(const Json& j, const JsonPath& path) {
    JsonObjectReader o(j, path);
    ShareInfo s;
    s.token = o.req<std::string>("token");
    s.url = o.req<std::string>("url");
    s.publishedAt = o.req<Date>("publishedAt");
    s.fingerprints = o.req<TextMap<SourceFingerprint>>("fingerprints");
    s.changes = o.req<TextMap<List<std::string>>>("changes");
    s.hidden = o.opt<TextSet>("hidden");
    s.unknown = o.unknown();
    return s;
}

} // namespace rig
