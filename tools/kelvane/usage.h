// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/usage.h
//
// The one line for a command line the tool refuses (exit status 2), in the words of messages.h:
// the first word that names no command or option where it stands, with the nearest spelling the
// tool takes, else the parser's own reason, said of the command it was refusing
// ("image resize: IN is required").
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::cli {

// The words of the command the parser got to: {"image", "resize"}; {} for the tool itself.
std::vector<std::string> ParsedPath(CLI::App& app);

// The first of `args` (the command line after the program's name) that is neither a command nor
// an option where it stands: "image: unknown subcommand 'resise' (did you mean 'resize'?)",
// "image resize: unknown option '--fitt' (did you mean '--fit'?)". Empty when there is none; the
// arguments of a command that has no subcommands are its own to judge.
std::string UnknownWord(CLI::App& app, const std::vector<std::string>& args);

// The line after "kelvane: " for a command line the parser refused with `error`.
std::string ParseErrorLine(CLI::App& app, const std::vector<std::string>& args,
                           const CLI::ParseError& error);

// `message` said of the command `path`: kept when it names its own what ("--ratio: ..."), else
// "image resize: " before it. For the UsageError a command throws.
std::string OfCommand(const std::vector<std::string>& path, std::string_view message);

}  // namespace kelvane::cli
