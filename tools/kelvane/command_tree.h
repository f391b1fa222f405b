// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/command_tree.h
//
// The tool's command line as data, read back from the CLI11 App tree the tool parses with: every
// command with its options, arguments and subcommands. The man page, the bash completion and the
// messages about unknown words are made from it, so that none of them can name what the parser
// does not take, or leave out what it does.
//
// What the tree does not say by itself, the options say through their type names and validators:
// a value named FILE or PATH is a file (DIR a folder), a validator named "range" gives the range
// of a number, one named "choice" the words an option takes (its description, ", " between
// them), and any other described validator the form of the value ("WxH").
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace kelvane::cli {

enum class ValueKind { kNone, kText, kFile, kFolder, kChoice };

struct OptionEntry {
  std::vector<std::string> names;  // "-o", "--output"; an argument: its one name, "IN"
  bool positional = false;
  ValueKind value = ValueKind::kNone;  // kNone: a flag
  std::string argument;                // the value as the man page names it: "WxH", "FLOAT", "FILE"
  std::vector<std::string> choices;    // with kChoice, the words taken
  std::string help;
  // Facts the help text leaves to the parser, in words: "from 0 to 1", "default: 0.9",
  // "required", "repeatable", "needs --radius", "exactly one of --size, --ratio".
  std::vector<std::string> notes;
  bool required = false;
  bool repeatable = false;  // takes several values (a positional FILE..., a list option)
};

struct CommandEntry {
  std::vector<std::string> path;  // {} for the tool itself, {"image", "resize"}
  std::string help;
  std::vector<OptionEntry> options;      // the help option first, then in the order added
  std::vector<OptionEntry> positionals;  // in the order they fill
  std::vector<std::string> subcommands;  // names, in the order added
  bool needs_subcommand = false;
};

// Every command of `app`, the tool itself first, each followed by its own subcommands (depth
// first, in the order added). Options without a group, which --help does not show, are left out.
std::vector<CommandEntry> DescribeCommands(CLI::App& app);

// True when `option` takes a value; false for a flag.
bool TakesValue(const CLI::Option& option);

// "image resize"; "kelvane image resize" with the tool's name.
std::string JoinPath(const std::vector<std::string>& path);
std::string CommandLine(const std::vector<std::string>& path);

}  // namespace kelvane::cli
