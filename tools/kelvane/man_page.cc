// SPDX-License-Identifier: Apache-2.0
// kelvane(1), from the command tree. The commands, their arguments and options come from the
// tree; the prose around them (what the tool is for, exit statuses, environment, files) is
// written here, beside the code whose behaviour it states (main.cc for the exit statuses).
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tools/kelvane/docs.h"

namespace kelvane::cli {
namespace {

// A line of running text: escaped, and kept from reading as a request when it starts with a dot
// or a quote.
std::string TextLine(std::string_view text) {
  std::string line = RoffEscaped(text);
  if (!line.empty() && (line.front() == '.' || line.front() == '\'')) line.insert(0, "\\&");
  return line + '\n';
}

std::string Bold(std::string_view text) { return "\\fB" + RoffEscaped(text) + "\\fR"; }
std::string Italic(std::string_view text) { return "\\fI" + RoffEscaped(text) + "\\fR"; }

// An option's value: a list of choices may break after each '|', where a narrow terminal needs
// it (\: is a break point that prints nothing).
std::string Argument(const OptionEntry& option) {
  std::string argument = Italic(option.argument);
  if (option.value != ValueKind::kChoice) return argument;
  for (std::size_t at = 0; (at = argument.find('|', at)) != std::string::npos; at += 3) {
    argument.insert(at + 1, "\\:");
  }
  return argument;
}

// A help text as a sentence: a capital first letter and a full stop. A first word that is a name
// ("public.png", "--at") keeps its letters.
std::string Sentence(std::string text) {
  const std::string first = text.substr(0, text.find_first_of(" ,;:"));
  const bool word = std::all_of(first.begin(), first.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '\'';
  });
  if (word && !text.empty() && text[0] >= 'a' && text[0] <= 'z') {
    text[0] = static_cast<char>(text[0] - 'a' + 'A');
  }
  if (!text.empty() && text.back() != '.') text += '.';
  return text;
}

std::string Join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (const std::string& item : items) {
    if (!out.empty()) out += separator;
    out += item;
  }
  return out;
}

// "\fB\-o\fR, \fB\-\-output\fR \fIFILE\fR"; "\fIFILE\fR..." for an argument.
std::string OptionTag(const OptionEntry& option) {
  if (option.positional) return Italic(option.names.front()) + (option.repeatable ? "..." : "");
  std::vector<std::string> names;
  for (const std::string& name : option.names) names.push_back(Bold(name));
  std::string tag = Join(names, ", ");
  if (option.value != ValueKind::kNone) tag += " " + Argument(option);
  return tag;
}

// The help text and, in brackets, what the parser holds the value to: in the help text's own
// brackets when it ends in some.
std::string OptionText(const OptionEntry& option) {
  std::string text = option.help;
  if (!option.notes.empty()) {
    const std::string notes = Join(option.notes, "; ");
    if (!text.empty() && text.back() == ')') {
      text.insert(text.size() - 1, "; " + notes);
    } else {
      text += (text.empty() ? "(" : " (") + notes + ")";
    }
  }
  return Sentence(text);
}

void WriteOption(std::ostream& out, const OptionEntry& option) {
  out << ".TP\n" << OptionTag(option) << '\n' << TextLine(OptionText(option));
}

// The synopsis of one command: its arguments in the order they fill, then the options it
// requires, then [OPTIONS] when it takes others.
void WriteSynopsis(std::ostream& out, const CommandEntry& command) {
  out << ".B " << RoffEscaped(CommandLine(command.path)) << '\n';
  std::vector<std::string> words;
  bool optional_options = false;
  for (std::size_t i = 1; i < command.options.size(); ++i) {  // [0] is the help option
    const OptionEntry& option = command.options[i];
    if (!option.required) {
      optional_options = true;
      continue;
    }
    words.push_back(Bold(option.names.back()) +
                    (option.value == ValueKind::kNone ? "" : " " + Argument(option)));
  }
  if (optional_options) words.push_back("[" + Italic("OPTIONS") + "]");
  for (const OptionEntry& argument : command.positionals) {
    const std::string word = OptionTag(argument);
    words.push_back(argument.required ? word : "[" + word + "]");
  }
  if (!command.subcommands.empty()) {
    const std::string word = Italic("COMMAND") + " ...";
    words.push_back(command.needs_subcommand ? word : "[" + word + "]");
  }
  if (!words.empty()) out << Join(words, " ") << '\n';
}

void WriteCommand(std::ostream& out, const CommandEntry& command) {
  out << ".SS \"" << RoffEscaped(CommandLine(command.path)) << "\"\n.PP\n";
  WriteSynopsis(out, command);
  out << ".PP\n" << TextLine(Sentence(command.help));
  if (!command.subcommands.empty()) {
    std::vector<std::string> names;
    for (const std::string& name : command.subcommands) names.push_back(Bold(name));
    out << "Its commands, each described below: " << Join(names, ", ") << ".\n";
  }
  for (const OptionEntry& argument : command.positionals) WriteOption(out, argument);
  for (std::size_t i = 1; i < command.options.size(); ++i) WriteOption(out, command.options[i]);
}

constexpr char kDescription[] = R"(.SH DESCRIPTION
Each capability of the library is a command of its own, listed under
.B COMMANDS
below with its arguments and options;
.B kelvane demo
runs through them all.
.B kelvane
.I COMMAND
.B \-\-help
prints the same for one command.
.PP
Files are read only when they are regular files (a named pipe or a device is refused at once,
not waited on), up to 256 MiB (512 MiB for pictures).
Files are written whole or not at all: to a temporary file beside the target, renamed over it
once complete; a device or a pipe is written in place.
A command that writes a file says so on standard output, with the file's size, unless what it
wrote went to standard output itself.
Pictures are written upright, as PNG when the file's name ends in .png and as JPEG when it ends
in .jpg or .jpeg (or has no extension); a name with any other extension is refused before any
work is done.
.PP
Every failure is one line on standard error, in the form
.RI "kelvane: " what ": " reason ,
naming the file, the option or the command.
An unknown command or option is named with the nearest spelling the tool takes.
)";

constexpr char kExitStatus[] = R"(.SH "EXIT STATUS"
.TP
.B 0
Success, help and
.B \-\-version
included.
.TP
.B 1
The command failed: a file could not be read or written, a picture did not decode, standard
output could not be written, memory ran out, the library gave nothing
.RB ( "url ip" :
the text is no numeric address).
.TP
.B 2
The command line does not parse or does not make sense: no command, an unknown command or
option, a missing or surplus argument, a value out of range, options that do not go together,
an output file of a kind the command does not write.
)";

constexpr char kEnvironment[] = R"(.SH ENVIRONMENT
.TP
.BR LANGUAGE ", " LC_ALL ", " LC_MESSAGES ", " LANG
The preferred languages
.RB ( LANGUAGE
is a colon list;
.B C
and
.B POSIX
mean none), unless
.B \-\-lang
gives them.
.TP
.BR LC_ALL ", " LC_TIME ", " LANG
The current locale, for formatting (en\-US when unset), unless
.B \-\-locale
gives it.
.TP
.B TZ
The device's time zone, else the system's, unless
.B \-\-tz
gives it.
.TP
.B KELVANE_SCREEN
The screen as
.IR WIDTH x HEIGHT @ SCALE ,
in points; else the first connected display the kernel lists, else a 390 x 844 phone at scale 3.
.B screen
and
.B avatar
refuse a value they cannot read.
.TP
.B KELVANE_IDIOM
.B phone
or
.BR tablet ;
phone when unset.
.TP
.B KELVANE_MAIN_BUNDLE
The main bundle's folder; else the executable's folder.
.TP
.B KELVANE_BUNDLE_PATH
A colon list of folders holding bundles found by identifier, searched before
.I kelvane/bundles
in
.B XDG_DATA_HOME
(default \[ti]/.local/share) and each of
.BR XDG_DATA_DIRS .
.TP
.B KELVANE_KEYCHAIN
The secure store's file; else
.IR $XDG_DATA_HOME/kelvane/keychain.db ,
else
.IR \[ti]/.local/share/kelvane/keychain.db .
.SH FILES
.TP
.I \[ti]/.local/share/kelvane/keychain.db
The secure store of
.BR "kelvane secret" ,
and beside it its key,
.IR keychain.db.key ;
both mode 0600.
)";

}  // namespace

std::string RoffEscaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte == '\\') {
        out += "\\e";
      } else if (byte == '-') {
        out += "\\-";
      } else if (byte == '\n' || byte == '\t') {
        out += ' ';  // a text runs on; a new line of its own would be a new paragraph or request
      } else if (byte >= 0x20 && byte != 0x7F) {
        out += static_cast<char>(byte);
      }
      ++i;
      continue;
    }
    // A UTF-8 sequence; the texts are the tool's own, so a broken one is only skipped.
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    char32_t code = length == 4 ? byte & 0x07 : length == 3 ? byte & 0x0F : byte & 0x1F;
    bool whole = length > 1 && i + length <= text.size();
    for (std::size_t k = 1; whole && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      whole = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (whole) {
      char escape[16];
      std::snprintf(escape, sizeof escape, "\\[u%04X]", static_cast<unsigned>(code));
      out += escape;
    }
    i += whole ? length : 1;
  }
  return out;
}

std::string ManPage(const std::vector<CommandEntry>& commands, std::string_view version,
                    std::string_view date) {
  std::ostringstream out;
  const CommandEntry& tool = commands.front();
  std::string summary = tool.help;
  if (summary.rfind("kelvane: ", 0) == 0) summary.erase(0, 9);

  out << ".\\\" Made by kelvane --write-man-page from the options the tool parses; do not edit.\n"
      << ".TH KELVANE 1 \"" << date << "\" \"kelvane " << RoffEscaped(version)
      << "\" \"User Commands\"\n"
      // No hyphenation, no stretched spaces: option names stay whole, as they are typed.
      << ".nh\n.ad l\n"
      << ".SH NAME\nkelvane \\- " << RoffEscaped(summary) << '\n'
      << ".SH SYNOPSIS\n";
  // A command is needed, though the parser takes none so that --version can stand alone: bare
  // kelvane is a usage error (main.cc).
  CommandEntry synopsis = tool;
  synopsis.needs_subcommand = true;
  WriteSynopsis(out, synopsis);
  out << kDescription << ".SH OPTIONS\n";
  for (const OptionEntry& option : tool.options) WriteOption(out, option);
  out << ".PP\nEvery command takes " << Bold("-h") << " and " << Bold("--help") << ".\n"
      << ".SH COMMANDS\n";
  std::vector<std::string> names;
  for (const std::string& name : tool.subcommands) names.push_back(Bold(name));
  out << "The commands, each described below: " << Join(names, ", ") << ".\n";
  for (std::size_t i = 1; i < commands.size(); ++i) WriteCommand(out, commands[i]);
  out << kExitStatus << kEnvironment;
  return out.str();
}

}  // namespace kelvane::cli
