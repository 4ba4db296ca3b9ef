#include "cli/mistyped_option.h"

#include <algorithm>

namespace kelvora {

namespace {

// Edits (insertions, deletions, changes, swaps of neighbours) from `a` to `b`.
size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min(
          {d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

// The one of `names` most like `given`, if it is like enough to be meant.
std::string nearestOf(const std::string& given, const std::vector<std::string>& names) {
  const auto nearest =
      std::min_element(names.begin(), names.end(), [&given](const auto& a, const auto& b) {
        return editDistance(given, a) < editDistance(given, b);
      });
  if (nearest == names.end() ||
      editDistance(given, *nearest) > std::max<size_t>(2, given.size() / 4))
    return "";
  return *nearest;
}

std::vector<std::string> longNames(const CLI::App& command) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command.get_options())
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
  return names;
}

}  // namespace

std::string mistypedOption(const CLI::App& app, const std::vector<std::string>& words) {
  const CLI::App* command = &app;
  for (const std::string& word : words) {
    if (command == &app) {
      std::vector<std::string> commands;
      for (const CLI::App* sub : app.get_subcommands({})) {
        commands.push_back(sub->get_name());
        if (sub->get_name() == word) command = sub;
      }
      if (command != &app) continue;
      if (!word.empty() && word[0] != '-') {
        std::string message = word + " is no command of kelvora-cli";
        const std::string nearest = nearestOf(word, commands);
        if (!nearest.empty()) message += ": did you mean " + nearest + "?";
        return message;
      }
    }
    if (word.rfind("--", 0) != 0 || word.size() < 3) continue;
    const std::string given = word.substr(0, word.find('='));
    std::vector<std::string> names = longNames(*command);
    if (command != &app)
      for (const std::string& name : longNames(app)) names.push_back(name);
    if (std::find(names.begin(), names.end(), given) != names.end()) continue;
    std::string message = given + " is no option of " +
                          (command == &app ? std::string("kelvora-cli") : command->get_name());
    const std::string nearest = nearestOf(given, names);
    if (!nearest.empty()) message += ": did you mean " + nearest + "?";
    return message;
  }
  return "";
}

}  // namespace kelvora
