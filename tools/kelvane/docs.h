// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/docs.h
//
// The man page kelvane(1) and the bash completion script, both made from the command tree
// (command_tree.h), that is from the very option definitions the tool parses with. The build runs
// the tool once it is linked (`kelvane --write-man-page FILE`, `kelvane --write-bash-completion
// FILE`, options --help does not show) and installs what it wrote.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/kelvane/command_tree.h"

namespace kelvane::cli {

// The man page in roff, ASCII only (other characters as \[uXXXX]). `commands` starts with the
// tool itself, as DescribeCommands() gives them; `date` (YYYY-MM-DD, or empty) goes into the
// title line.
std::string ManPage(const std::vector<CommandEntry>& commands, std::string_view version,
                    std::string_view date);

// The bash completion script: the subcommands at each level, the options of the command being
// typed, the words a choice option takes, and file or folder names where a value or an argument
// is one.
std::string BashCompletion(const std::vector<CommandEntry>& commands);

// Text for roff: backslashes as \e, every hyphen as \- (so that option names copy as typed), other
// than ASCII as \[uXXXX], line breaks and tabs as spaces, other control characters dropped.
std::string RoffEscaped(std::string_view text);

}  // namespace kelvane::cli
