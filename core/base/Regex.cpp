#include "base/Regex.h"

#include "base/Text.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <map>
#include <memory>

namespace rig {

namespace {

// Compiled patterns are immutable; each thread keeps its own cache so nothing mutable
// is shared. A pattern that does not compile is remembered as null.
const icu::RegexPattern* compiled(std::string_view pattern) {
    thread_local std::map<std::string, std::unique_ptr<icu::RegexPattern>, std::less<>> cache;
    auto it = cache.find(pattern);
    if (it != cache.end()) return it->second.get();
    if (cache.size() > 256) cache.clear();
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    icu::UnicodeString p =
        icu::UnicodeString::fromUTF8(icu::StringPiece(pattern.data(), static_cast<int32_t>(pattern.size())));
    std::unique_ptr<icu::RegexPattern> re(icu::RegexPattern::compile(p, 0, parseError, status));
    if (U_FAILURE(status)) re.reset();
    const icu::RegexPattern* raw = re.get();
    cache.emplace(std::string(pattern), std::move(re));
    return raw;
}

} // namespace

std::optional<std::vector<std::string>> firstMatch(std::string_view pattern, std::string_view text) {
    const icu::RegexPattern* re = compiled(pattern);
    if (re == nullptr) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString input =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    std::unique_ptr<icu::RegexMatcher> m(re->matcher(input, status));
    if (U_FAILURE(status) || !m) return std::nullopt;
    if (!m->find(status) || U_FAILURE(status)) return std::nullopt;
    std::vector<std::string> out;
    int32_t groups = m->groupCount();
    out.reserve(static_cast<std::size_t>(groups) + 1);
    for (int32_t g = 0; g <= groups; ++g) {
        UErrorCode gs = U_ZERO_ERROR;
        int32_t start = m->start(g, gs);
        if (U_FAILURE(gs) || start < 0) {
            out.emplace_back();
            continue;
        }
        int32_t end = m->end(g, gs);
        std::string s;
        input.tempSubStringBetween(start, end).toUTF8String(s);
        out.push_back(trimWhite(s));
    }
    return out;
}

} // namespace rig
