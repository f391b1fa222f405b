// SPDX-License-Identifier: Apache-2.0
#include "tools/kelvane/usage.h"

#include <algorithm>
#include <optional>

#include "tools/kelvane/command_tree.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

// The subcommand the parser got to; the tool itself when it got to none.
CLI::App* ParsedCommand(CLI::App& app) {
  CLI::App* current = &app;
  for (;;) {
    CLI::App* next = nullptr;
    for (CLI::App* sub : current->get_subcommands()) {
      if (!sub->get_name().empty()) next = sub;
    }
    if (next == nullptr) return current;
    current = next;
  }
}

std::vector<CLI::App*> Subcommands(CLI::App& app) {
  return app.get_subcommands([](CLI::App* sub) { return !sub->get_name().empty(); });
}

std::vector<std::string> SubcommandNames(CLI::App& app) {
  std::vector<std::string> names;
  for (CLI::App* sub : Subcommands(app)) names.push_back(sub->get_name());
  return names;
}

std::string List(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : ", ") + word;
  return out;
}

// Every spelling of the options --help lists for `app`, those of its option groups included.
std::vector<std::string> OptionNames(CLI::App& app) {
  std::vector<std::string> names;
  const auto add = [&names](CLI::App& from) {
    for (const CLI::Option* option : from.get_options()) {
      if (option->get_group().empty() || !option->nonpositional()) continue;
      for (const std::string& name : option->get_snames()) names.push_back("-" + name);
      for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    }
  };
  add(app);
  for (CLI::App* group :
       app.get_subcommands([](CLI::App* sub) { return sub->get_name().empty(); })) {
    add(*group);
  }
  return names;
}

// "-x", "--name" or "--name=value": a word the parser reads as an option. A negative number is
// a value.
bool LooksLikeOption(const std::string& word) {
  if (word.size() < 2 || word[0] != '-') return false;
  const char next = word[1] == '-' && word.size() > 2 ? word[2] : word[1];
  return !(next >= '0' && next <= '9') && next != '.';
}

std::string Quoted(std::string_view word) { return "'" + Printable(word) + "'"; }

std::string Said(const std::vector<std::string>& path, const std::string& reason) {
  return path.empty() ? reason : JoinPath(path) + ": " + reason;
}

std::string UnknownOption(CLI::App& app, const std::vector<std::string>& path,
                          const std::string& name) {
  std::string line = Said(path, "unknown option " + Quoted(name));
  if (const std::optional<std::string> near = NearestSpelling(name, OptionNames(app))) {
    return line + " (did you mean " + Quoted(*near) + "?)";
  }
  // An option of a command further up, given after its subcommand.
  std::size_t depth = path.size();
  for (CLI::App* parent = app.get_parent(); parent != nullptr; parent = parent->get_parent()) {
    --depth;
    const std::vector<std::string> names = OptionNames(*parent);
    if (std::find(names.begin(), names.end(), name) != names.end()) {
      return line + " (an option of " + Quoted(CommandLine({path.begin(), path.begin() + depth})) +
             ": give it before " + Quoted(path[depth]) + ")";
    }
  }
  return line;
}

}  // namespace

std::vector<std::string> ParsedPath(CLI::App& app) {
  std::vector<std::string> path;
  for (CLI::App* command = ParsedCommand(app); command != &app; command = command->get_parent()) {
    path.insert(path.begin(), command->get_name());
  }
  return path;
}

std::string UnknownWord(CLI::App& app, const std::vector<std::string>& args) {
  CLI::App* command = &app;
  std::vector<std::string> path;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--") break;  // only arguments follow
    if (LooksLikeOption(word)) {
      const bool long_form = word[1] == '-';
      const std::string name = long_form ? word.substr(0, word.find('=')) : word.substr(0, 2);
      const CLI::Option* option = command->get_option_no_throw(name);
      if (option == nullptr) return UnknownOption(*command, path, name);
      // A value given in the next word is not a word of the command line's own.
      const bool value_attached = long_form ? name.size() < word.size() : word.size() > 2;
      if (TakesValue(*option) && !value_attached) ++i;
      continue;
    }
    const std::vector<std::string> names = SubcommandNames(*command);
    if (names.empty()) continue;  // an argument of the command
    const auto found = std::find(names.begin(), names.end(), word);
    if (found != names.end()) {
      command = Subcommands(*command)[static_cast<std::size_t>(found - names.begin())];
      path.push_back(word);
      continue;
    }
    // A command with arguments of its own beside its subcommands (none here yet) takes the word.
    if (!command->get_options([](CLI::Option* o) { return o->get_positional(); }).empty()) {
      continue;
    }
    std::string line = Said(path, "unknown subcommand " + Quoted(word));
    if (const std::optional<std::string> near = NearestSpelling(word, names)) {
      return line + " (did you mean " + Quoted(*near) + "?)";
    }
    return line + " (one of " + List(names) + ")";
  }
  return {};
}

std::string ParseErrorLine(CLI::App& app, const std::vector<std::string>& args,
                           const CLI::ParseError& error) {
  // The parser may trip over a word it does not know only later, on a requirement it seems to
  // leave unmet: the unknown word is the news.
  if (std::string unknown = UnknownWord(app, args); !unknown.empty()) return unknown;
  CLI::App& command = *ParsedCommand(app);
  const std::vector<std::string> path = ParsedPath(app);
  const std::string what = error.what();
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr &&
      what.find("subcommand") != std::string::npos) {
    return Said(path, "a subcommand is required: " + List(SubcommandNames(command)));
  }
  // CLI11 names its extras in reverse, under the command's name.
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    // The words left over, in the order they were given.
    const std::vector<std::string> extras = app.remaining(true);
    std::vector<bool> used(args.size(), false);
    for (const std::string& extra : extras) {
      std::size_t i = 0;
      while (i < args.size() && (used[i] || args[i] != extra)) ++i;
      if (i < args.size()) used[i] = true;
    }
    std::vector<std::string> ordered;
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (used[i]) ordered.push_back(Quoted(args[i]));
    }
    if (ordered.empty()) {
      for (const std::string& extra : extras) ordered.push_back(Quoted(extra));
    }
    return Said(path, (ordered.size() == 1 ? "unexpected argument " : "unexpected arguments ") +
                          List(ordered));
  }
  // "--size: 1 required TEXT:WxH missing": an option given last, without its value.
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr && NamesWhat(what) &&
      what.find(" missing") != std::string::npos) {
    return what.substr(0, what.find(": ")) + ": the value is missing";
  }
  return OfCommand(path, what);
}

std::string OfCommand(const std::vector<std::string>& path, std::string_view message) {
  if (NamesWhat(message)) {
    const std::size_t colon = message.find(": ");
    return std::string(message.substr(0, colon + 2)) + Reason(message.substr(colon + 2));
  }
  return Said(path, Reason(message));
}

}  // namespace kelvane::cli
