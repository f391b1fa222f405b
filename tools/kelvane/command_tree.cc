// SPDX-License-Identifier: Apache-2.0
#include "tools/kelvane/command_tree.h"

#include <algorithm>

#include "tools/kelvane/checks.h"

namespace kelvane::cli {
namespace {

std::vector<std::string> Split(const std::string& text, std::string_view separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(separator, start)) != std::string::npos;
       start = at + separator.size()) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// "--size" for an option, "IN" for an argument: how other messages name it.
std::string ShortestName(const CLI::Option& option) {
  if (!option.get_lnames().empty()) return "--" + option.get_lnames().front();
  if (!option.get_snames().empty()) return "-" + option.get_snames().front();
  return option.get_name(true, false);
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) out += (out.empty() ? "" : ", ") + name;
  return out;
}

std::string JoinNames(const std::set<CLI::Option*>& options) {
  std::vector<std::string> names;
  for (const CLI::Option* option : options) names.push_back(ShortestName(*option));
  std::sort(names.begin(), names.end());
  return JoinNames(names);
}

OptionEntry Describe(CLI::Option& option, const std::string& group_note) {
  OptionEntry entry;
  entry.positional = option.get_positional() && !option.nonpositional();
  if (entry.positional) {
    entry.names.push_back(option.get_name(true, false));
  } else {
    for (const std::string& name : option.get_snames()) entry.names.push_back("-" + name);
    for (const std::string& name : option.get_lnames()) entry.names.push_back("--" + name);
  }
  entry.help = option.get_description();
  entry.required = option.get_required();
  entry.repeatable = option.get_items_expected_max() >= CLI::detail::expected_max_vector_size;

  if (TakesValue(option)) {
    // The type name comes before the validators' descriptions, which CLI11 joins with ':'.
    const std::string type = option.get_type_name();
    entry.argument = type.substr(0, type.find(':'));
    entry.value = entry.argument == "FILE" || entry.argument == "PATH" ? ValueKind::kFile
                  : entry.argument == "DIR"                            ? ValueKind::kFolder
                                                                       : ValueKind::kText;
    for (int i = 0;; ++i) {
      const CLI::Validator* validator = nullptr;
      try {
        validator = option.get_validator(i);
      } catch (const CLI::OptionNotFound&) {
        break;
      }
      const std::string description = validator->get_description();
      if (description.empty()) continue;
      if (validator->get_name() == kRangeValidator) {
        entry.notes.push_back(description);
      } else if (validator->get_name() == kChoiceValidator) {
        entry.value = ValueKind::kChoice;
        entry.choices = Split(description, ", ");
        entry.argument.clear();
        for (const std::string& choice : entry.choices) {
          entry.argument += (entry.argument.empty() ? "" : "|") + choice;
        }
      } else {
        entry.argument = description;
      }
    }
    if (!option.get_default_str().empty()) {
      entry.notes.push_back("default: " + option.get_default_str());
    }
  }
  if (entry.repeatable && !entry.positional && entry.help.find("repeatable") == std::string::npos) {
    entry.notes.push_back(option.get_delimiter() == ','
                              ? "a list: commas between the values, or the option repeated"
                              : "repeatable");
  }
  if (entry.required) entry.notes.push_back("required");
  if (!group_note.empty()) entry.notes.push_back(group_note);
  if (!option.get_needs().empty()) entry.notes.push_back("needs " + JoinNames(option.get_needs()));
  if (!option.get_excludes().empty()) {
    entry.notes.push_back("not with " + JoinNames(option.get_excludes()));
  }
  return entry;
}

bool Shown(const CLI::Option& option) { return !option.get_group().empty(); }

// The options of an option group: its own copy of the help flag is not one of them.
std::vector<CLI::Option*> GroupOptions(CLI::App& group) {
  return group.get_options(
      [&group](CLI::Option* option) { return option != group.get_help_ptr() && Shown(*option); });
}

void DescribeInto(CLI::App& app, std::vector<std::string> path,
                  std::vector<CommandEntry>& commands) {
  CommandEntry command;
  command.path = path;
  command.help = app.get_description();
  command.needs_subcommand = app.get_require_subcommand_min() > 0;
  CLI::Option* help = app.get_help_ptr();
  if (help != nullptr) command.options.push_back(Describe(*help, ""));
  for (CLI::Option* option : app.get_options()) {
    if (option == help || !Shown(*option)) continue;
    OptionEntry entry = Describe(*option, "");
    (entry.positional ? command.positionals : command.options).push_back(std::move(entry));
  }
  std::vector<CLI::App*> subcommands;
  for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; })) {
    if (!sub->get_name().empty()) {
      subcommands.push_back(sub);
      command.subcommands.push_back(sub->get_name());
      continue;
    }
    // An option group: its options belong to the command, with the group's rule beside each.
    std::vector<std::string> names;
    for (CLI::Option* option : GroupOptions(*sub)) names.push_back(ShortestName(*option));
    std::string note = sub->get_description() + ": " + JoinNames(names);
    if (sub->get_require_option_min() == 1 && sub->get_require_option_max() == 1) {
      note = "exactly one of " + JoinNames(names);
    }
    for (CLI::Option* option : GroupOptions(*sub))
      command.options.push_back(Describe(*option, note));
  }
  commands.push_back(std::move(command));
  for (CLI::App* sub : subcommands) {
    std::vector<std::string> sub_path = path;
    sub_path.push_back(sub->get_name());
    DescribeInto(*sub, std::move(sub_path), commands);
  }
}

}  // namespace

std::vector<CommandEntry> DescribeCommands(CLI::App& app) {
  std::vector<CommandEntry> commands;
  DescribeInto(app, {}, commands);
  return commands;
}

bool TakesValue(const CLI::Option& option) { return option.get_expected_max() != 0; }

std::string JoinPath(const std::vector<std::string>& path) {
  std::string out;
  for (const std::string& word : path) out += (out.empty() ? "" : " ") + word;
  return out;
}

std::string CommandLine(const std::vector<std::string>& path) {
  return path.empty() ? "kelvane" : "kelvane " + JoinPath(path);
}

}  // namespace kelvane::cli
