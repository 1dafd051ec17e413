#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace ictalscope {

// Whether the file or folder name `name` matches the shell pattern `pattern`, both single path
// components: `*` matches any run of characters, `?` any one, `[abc]`, `[a-z]` one of a set
// and `[!abc]` or `[^abc]` one outside it; `\` takes the character after it as it is. As in the
// shell, a name that begins with "." is matched only by a pattern that begins with ".".
bool MatchesComponent(std::string_view pattern, std::string_view name);

// Whether the component holds a character that makes it a pattern (`*`, `?` or `[`).
bool IsWildcard(std::string_view component);

// The regular files (or links to them) that the shell patterns match, each once, sorted by
// path, as the patterns name them ("exp/control/a.wcp"). Components are separated by "/"; a
// component `**` matches any number of folders, none included, and never enters a folder
// whose name begins with "." or a link to a folder. Files under `excluded` (the output folder of
// the run) are left out. `unmatched`, when given, receives the patterns that matched nothing.
std::vector<std::string> MatchRecordings(const std::vector<std::string>& patterns,
                                         const std::filesystem::path& excluded,
                                         std::vector<std::string>* unmatched = nullptr);

// The deepest folder that holds all the files (absolute, lexically normal).
std::filesystem::path DeepestCommonFolder(const std::vector<std::string>& files);

// The output folder of `file` under `out`: its folder relative to `common`, then its name
// without its extension ("exp/control/cellA/demo.wcp", common "exp": "control/cellA/demo").
std::filesystem::path RelativeOutputFolder(const std::string& file,
                                           const std::filesystem::path& common);

}  // namespace ictalscope
