// ICU-syntax regular expressions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rig {

// The first match of `pattern` in `text`: the whole match, then each capture group, each
// trimmed of the import's white space; a group that took no part gives "". None when the
// pattern does not compile or does not match. Options: none ("^"/"$" anchor the whole text).
std::optional<std::vector<std::string>> firstMatch(std::string_view pattern, std::string_view text);

} // namespace rig
