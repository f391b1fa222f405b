// SPDX-License-Identifier: Apache-2.0
// The bash completion script, from the command tree: two generated tables (each command's
// subcommands, options and kind of arguments; each option's kind of value) and a fixed function
// that walks the words typed so far through them.
#include <sstream>

#include "tools/kelvane/docs.h"

namespace kelvane::cli {
namespace {

// `text` as one single-quoted shell word.
std::string Quoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Joined(const std::vector<std::string>& words) {
  std::string out;
  for (const std::string& word : words) out += (out.empty() ? "" : " ") + word;
  return out;
}

std::string Words(const std::vector<std::string>& words) { return Quoted(Joined(words)); }

// What a value is, as _kelvane reads it: file, dir, words W..., text; nothing for a flag.
std::string ValueWord(const OptionEntry& option) {
  switch (option.value) {
    case ValueKind::kFile:
      return "file";
    case ValueKind::kFolder:
      return "dir";
    case ValueKind::kChoice:
      return "words " + Joined(option.choices);
    case ValueKind::kText:
      return "text";
    case ValueKind::kNone:
      break;
  }
  return "";
}

constexpr char kFunctions[] = R"(
_kelvane_files()
{
    if declare -F _filedir >/dev/null; then
        _filedir "$@"
    else
        compopt -o filenames 2>/dev/null
        local IFS=$'\n'
        if [[ $1 == -d ]]; then
            COMPREPLY+=($(compgen -d -- "$cur"))
        else
            COMPREPLY+=($(compgen -f -- "$cur"))
        fi
    fi
}

_kelvane()
{
    local cur=${COMP_WORDS[COMP_CWORD]} path='' expect='' word i
    COMPREPLY=()
    # The command typed so far, and whether the word being completed is an option's value.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        # --option=value reaches here as three words when '=' breaks words.
        [[ $word == = && -n $expect ]] && continue
        if [[ -n $expect ]]; then
            expect=''
        elif [[ $word == -?* ]]; then
            [[ $word == *=* ]] || expect=$(_kelvane_value "$path" "$word")
        else
            _kelvane_node "$path"
            [[ " $_kelvane_subs " == *" $word "* ]] && path=${path:+$path }$word
        fi
    done
    [[ $cur == = ]] && cur=''
    case $expect in
        file) _kelvane_files; return 0 ;;
        dir) _kelvane_files -d; return 0 ;;
        words\ *) COMPREPLY=($(compgen -W "${expect#words }" -- "$cur")); return 0 ;;
        ?*) return 0 ;;
    esac
    _kelvane_node "$path"
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$_kelvane_opts" -- "$cur"))
        return 0
    fi
    COMPREPLY=($(compgen -W "$_kelvane_subs" -- "$cur"))
    case $_kelvane_args in
        file) _kelvane_files ;;
        dir) _kelvane_files -d ;;
    esac
    return 0
}
complete -F _kelvane kelvane
)";

}  // namespace

std::string BashCompletion(const std::vector<CommandEntry>& commands) {
  std::ostringstream out;
  out << "# bash completion for kelvane(1)                                  -*- shell-script -*-\n"
      << "# Made by kelvane --write-bash-completion from the options the tool parses; do not "
         "edit.\n\n"
      << "# _kelvane_node PATH sets what the command PATH (\"image resize\") takes: "
         "_kelvane_subs,\n"
      << "# its subcommands; _kelvane_opts, its options; _kelvane_args, file or dir when its\n"
      << "# arguments are file or folder names.\n"
      << "_kelvane_node()\n{\n    case $1 in\n";
  for (const CommandEntry& command : commands) {
    std::vector<std::string> options;
    for (const OptionEntry& option : command.options) {
      options.insert(options.end(), option.names.begin(), option.names.end());
    }
    std::string arguments;
    for (const OptionEntry& argument : command.positionals) {
      if (argument.value == ValueKind::kFile) arguments = "file";
      if (argument.value == ValueKind::kFolder && arguments.empty()) arguments = "dir";
    }
    out << "        " << Quoted(JoinPath(command.path)) << ")\n"
        << "            _kelvane_subs=" << Words(command.subcommands) << '\n'
        << "            _kelvane_opts=" << Words(options) << '\n'
        << "            _kelvane_args=" << Quoted(arguments) << " ;;\n";
  }
  out << "        *) _kelvane_subs='' _kelvane_opts='' _kelvane_args='' ;;\n    esac\n}\n\n"
      << "# _kelvane_value PATH OPTION prints what OPTION of the command PATH takes: file, dir,\n"
      << "# 'words W...' or text; nothing for a flag or an option the command does not have.\n"
      << "_kelvane_value()\n{\n    case $1:$2 in\n";
  for (const CommandEntry& command : commands) {
    for (const OptionEntry& option : command.options) {
      const std::string value = ValueWord(option);
      if (value.empty()) continue;
      std::string patterns;
      for (const std::string& name : option.names) {
        patterns += (patterns.empty() ? "" : " | ") + Quoted(JoinPath(command.path) + ":" + name);
      }
      out << "        " << patterns << ") echo " << Quoted(value) << " ;;\n";
    }
  }
  out << "    esac\n}\n" << kFunctions;
  return out.str();
}

}  // namespace kelvane::cli
