#include "batch/experiment_glob.h"

#include <algorithm>
#include <optional>
#include <set>
#include <system_error>

namespace ictalscope {

namespace fs = std::filesystem;

namespace {

// The set at pattern[at] (just past the "["): whether `c` is in it, and where the pattern goes
// on after the "]". A "[" without its "]" is an ordinary character: nullopt.
struct SetMatch {
  bool matched;
  size_t next;
};
std::optional<SetMatch> MatchSet(std::string_view pattern, size_t at, char c) {
  bool negated = false;
  if (at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^')) {
    negated = true;
    ++at;
  }
  bool matched = false;
  bool first = true;
  while (at < pattern.size()) {
    char low = pattern[at];
    if (low == ']' && !first) return SetMatch{matched != negated, at + 1};
    first = false;
    if (low == '\\' && at + 1 < pattern.size()) low = pattern[++at];
    ++at;
    char high = low;
    if (at + 1 < pattern.size() && pattern[at] == '-' && pattern[at + 1] != ']') {
      high = pattern[at + 1];
      if (high == '\\' && at + 2 < pattern.size()) {
        high = pattern[at + 2];
        ++at;
      }
      at += 2;
    }
    const auto u = [](char x) { return static_cast<unsigned char>(x); };
    if (u(low) <= u(c) && u(c) <= u(high)) matched = true;
  }
  return std::nullopt;
}

bool Match(std::string_view pattern, size_t p, std::string_view name, size_t n) {
  // Backtracking over the last "*" only: the classic linear-time wildcard match.
  size_t star_p = std::string_view::npos;
  size_t star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (c == '*') {
        star_p = ++p;
        star_n = n;
        continue;
      }
      if (c == '?') {
        ++p;
        ++n;
        continue;
      }
      if (c == '[') {
        if (const std::optional<SetMatch> set = MatchSet(pattern, p + 1, name[n])) {
          if (set->matched) {
            p = set->next;
            ++n;
            continue;
          }
        } else if (name[n] == '[') {
          ++p;
          ++n;
          continue;
        }
      } else {
        const bool escaped = c == '\\' && p + 1 < pattern.size();
        const char literal = escaped ? pattern[p + 1] : c;
        if (literal == name[n]) {
          p += escaped ? 2 : 1;
          ++n;
          continue;
        }
      }
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p;
    n = ++star_n;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string Unescaped(std::string_view component) {
  std::string text;
  for (size_t i = 0; i < component.size(); ++i) {
    if (component[i] == '\\' && i + 1 < component.size()) ++i;
    text += component[i];
  }
  return text;
}

std::vector<std::string> Components(std::string_view pattern) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= pattern.size()) {
    const size_t slash = std::min(pattern.find('/', start), pattern.size());
    if (slash > start) parts.emplace_back(pattern.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

bool IsRegularFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

// The names in the folder (prefix "" is the current one), sorted.
std::vector<std::string> Entries(const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(prefix.empty() ? fs::path(".") : fs::path(prefix), error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

class Expansion {
 public:
  explicit Expansion(std::vector<std::string> components) : parts_(std::move(components)) {}

  // Matches parts_[index..] below the folder `prefix` ("" or ending in "/").
  void From(const std::string& prefix, size_t index, std::vector<std::string>& found) const {
    if (index == parts_.size()) return;
    const std::string& part = parts_[index];
    const bool last = index + 1 == parts_.size();
    if (part == "**") {
      // "**" last stands for "**/*".
      if (last) {
        AnyDepth(prefix, found, true);
      } else {
        AnyDepth(prefix, found, false, index + 1);
      }
      return;
    }
    if (!IsWildcard(part)) {
      Step(prefix + Unescaped(part), last, index, found);
      return;
    }
    for (const std::string& name : Entries(prefix)) {
      if (MatchesComponent(part, name)) Step(prefix + name, last, index, found);
    }
  }

 private:
  void Step(const std::string& path, bool last, size_t index,
            std::vector<std::string>& found) const {
    if (last) {
      if (IsRegularFile(path)) found.push_back(path);
    } else if (IsFolder(path)) {
      From(path + "/", index + 1, found);
    }
  }

  // The folder `prefix` and every folder below it: each file (all_files) or the rest of the
  // pattern from `next`.
  void AnyDepth(const std::string& prefix, std::vector<std::string>& found, bool all_files,
                size_t next = 0) const {
    if (!all_files) From(prefix, next, found);
    for (const std::string& name : Entries(prefix)) {
      if (name.front() == '.') continue;
      const std::string path = prefix + name;
      std::error_code error;
      const fs::file_status link = fs::symlink_status(path, error);
      if (error) continue;
      if (fs::is_directory(link)) {
        AnyDepth(path + "/", found, all_files, next);
      } else if (all_files && IsRegularFile(path)) {
        found.push_back(path);
      }
    }
  }

  std::vector<std::string> parts_;
};

fs::path Normal(const std::string& path) { return fs::absolute(path).lexically_normal(); }

bool IsUnder(const fs::path& path, const fs::path& folder) {
  auto p = path.begin();
  for (auto f = folder.begin(); f != folder.end(); ++f, ++p) {
    if (f->empty()) continue;  // the trailing "" of "dir/"
    if (p == path.end() || *p != *f) return false;
  }
  return true;
}

}  // namespace

bool IsWildcard(std::string_view component) {
  for (size_t i = 0; i < component.size(); ++i) {
    if (component[i] == '\\') {
      ++i;
    } else if (component[i] == '*' || component[i] == '?' || component[i] == '[') {
      return true;
    }
  }
  return false;
}

bool MatchesComponent(std::string_view pattern, std::string_view name) {
  if (!name.empty() && name.front() == '.' && (pattern.empty() || pattern.front() != '.')) {
    return false;
  }
  return Match(pattern, 0, name, 0);
}

std::vector<std::string> MatchRecordings(const std::vector<std::string>& patterns,
                                         const fs::path& excluded,
                                         std::vector<std::string>* unmatched) {
  const fs::path excluded_normal = fs::absolute(excluded).lexically_normal();
  std::vector<std::string> files;
  std::set<fs::path> seen;
  for (const std::string& pattern : patterns) {
    const std::string prefix = !pattern.empty() && pattern.front() == '/' ? "/" : "";
    std::vector<std::string> found;
    Expansion(Components(pattern)).From(prefix, 0, found);
    bool any = false;
    for (const std::string& file : found) {
      const fs::path normal = Normal(file);
      if (IsUnder(normal, excluded_normal)) continue;
      any = true;
      if (seen.insert(normal).second) files.push_back(file);
    }
    if (!any && unmatched != nullptr) unmatched->push_back(pattern);
  }
  std::sort(files.begin(), files.end());
  return files;
}

fs::path DeepestCommonFolder(const std::vector<std::string>& files) {
  if (files.empty()) return {};
  fs::path common = Normal(files.front()).parent_path();
  for (const std::string& file : files) {
    const fs::path folder = Normal(file).parent_path();
    fs::path shared;
    for (auto a = common.begin(), b = folder.begin();
         a != common.end() && b != folder.end() && *a == *b; ++a, ++b) {
      shared /= *a;
    }
    common = shared;
  }
  return common;
}

fs::path RelativeOutputFolder(const std::string& file, const fs::path& common) {
  const fs::path normal = Normal(file);
  const fs::path folder = normal.parent_path().lexically_relative(common);
  return folder == "." ? normal.stem() : folder / normal.stem();
}

}  // namespace ictalscope
