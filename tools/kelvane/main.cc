// SPDX-License-Identifier: Apache-2.0
// The kelvane command-line tool: one subcommand per capability of the library, and `demo`,
// which walks a newcomer through them.
//
// Exit status: 0 on success, 1 when the command failed, 2 for a command line that does not parse
// or does not make sense (no command at all included); every failure is one line
// "kelvane: what: reason" on standard error. Help and --version go to standard output with
// status 0. The man page states the same (man_page.cc).
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/text/utf8.h"
#include "kelvane/version.h"
#include "tools/kelvane/command.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/docs.h"
#include "tools/kelvane/files.h"
#include "tools/kelvane/messages.h"
#include "tools/kelvane/usage.h"

namespace kelvane::cli {

void PrintError(std::string_view message) noexcept {
  // One line, whatever the message holds, and nothing a terminal would act on.
  try {
    std::cerr << "kelvane: " + Printable(message) + '\n';
  } catch (const std::bad_alloc&) {
    // No room to escape the message: the reason everything stopped is the one to give.
    static constexpr std::string_view kLine = "kelvane: out of memory\n";
    std::cerr.write(kLine.data(), static_cast<std::streamsize>(kLine.size()));
  }
}

int Fail(std::string_view message) {
  PrintError(message);
  return kExitFailure;
}

std::string_view ExceptionReason(const std::exception& e) noexcept {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr) return "out of memory";
  return e.what();
}

String Text(std::string_view bytes, std::string_view refusal) {
  std::optional<String> text = StringFromUtf8(bytes);
  if (text) return std::move(*text);
  // The bridge answers nothing both for bytes that are not UTF-8 and when memory ran out.
  if (IsUtf8(bytes)) throw std::bad_alloc();
  throw UsageError(std::string(refusal));
}

std::string Utf8(std::u16string_view text) {
  // Made here rather than through the strict bridge, whose empty answer would not tell an
  // unpaired surrogate (shown as U+FFFD) from memory running out (a failure).
  std::string out;
  out.reserve(text.size());
  const auto put = [&out](char32_t code) {
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | code >> 6));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | code >> 12));
      out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | code >> 18));
      out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      put(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      put(0xFFFD);
    } else {
      put(unit);
    }
  }
  return out;
}

std::string HexBytes(const void* bytes, std::size_t size, std::size_t limit) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::string out;
  const std::size_t n = std::min(size, limit);
  out.reserve(n * 2 + 3);
  for (std::size_t i = 0; i < n; ++i) {
    out.push_back(kDigits[p[i] >> 4]);
    out.push_back(kDigits[p[i] & 15]);
  }
  if (size > n) out += "...";
  return out;
}

namespace {

int Usage(std::string_view message) {
  PrintError(message);
  return kExitUsage;
}

// The options of the tool itself, given before the subcommand.
struct ToolOptions {
  bool version = false;
  // Large pictures are split into bands over the worker pool; this keeps every band on the
  // tool's own thread (it holds for the whole run).
  std::optional<platform::KeepOnThisThread> one_thread;
  // The build's: where to write the man page and the bash completion (no group: --help does not
  // list them, nor do the man page and the completion).
  std::string man_page, completion;
};

void AddToolOptions(CLI::App& app, ToolOptions& o) {
  app.add_flag("--version", o.version, "print the version and exit");
  app.add_flag_callback(
         "--one-thread", [&o] { o.one_thread.emplace(); },
         "keep picture work on one thread (no bands on the worker pool)")
      ->trigger_on_parse();
  app.add_option("--write-man-page", o.man_page)->group("");
  app.add_option("--write-bash-completion", o.completion)->group("");
}

// The man page's date: the day of SOURCE_DATE_EPOCH, so that a build can be reproduced; none
// without it.
std::string ManPageDate() {
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch == nullptr || *epoch == 0) return "";
  char* end = nullptr;
  const std::time_t seconds = static_cast<std::time_t>(std::strtoll(epoch, &end, 10));
  std::tm day{};
  char text[16];
  if (*end != 0 || ::gmtime_r(&seconds, &day) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%d", &day) == 0) {
    throw UsageError("SOURCE_DATE_EPOCH: '" + std::string(epoch) + "' is not seconds since 1970");
  }
  return text;
}

void WriteText(const std::string& path, const std::string& text) {
  WriteOutput(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// Parses the command line, which runs the chosen subcommand from its callback.
int Run(Tool& tool, ToolOptions& o, int argc, char** argv) {
  CLI::App& app = tool.app;
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    app.parse(argc, argv);
    if (o.version) {
      std::cout << "kelvane " << KELVANE_VERSION_STRING << '\n';
      return 0;
    }
    if (!o.man_page.empty() || !o.completion.empty()) {
      const std::vector<CommandEntry> commands = DescribeCommands(app);
      if (!o.man_page.empty()) {
        WriteText(o.man_page, ManPage(commands, KELVANE_VERSION_STRING, ManPageDate()));
      }
      if (!o.completion.empty()) WriteText(o.completion, BashCompletion(commands));
      return 0;
    }
    if (app.get_subcommands().empty()) {
      std::cerr << app.help();
      return kExitUsage;
    }
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    return Usage(ParseErrorLine(app, args, e));
  } catch (const UsageError& e) {
    return Usage(OfCommand(ParsedPath(app), e.what()));
  } catch (const std::exception& e) {
    return Fail(ExceptionReason(e));
  }
  return tool.status;
}

}  // namespace
}  // namespace kelvane::cli

int main(int argc, char** argv) {
  using namespace kelvane::cli;
  // Whatever escapes a command, its handler or the tool's own set-up (memory running out while a
  // failure is being worded, say) still ends in one line and status 1, never in an abort.
  try {
    CheckedStandardOutput standard_output;
    CLI::App app{"kelvane: the general utility library of a trading client, from the command line",
                 "kelvane"};
    // Set before the subcommands are added, which take it over.
    app.set_help_flag("-h,--help", "print this help and exit");
    app.require_subcommand(0, 1);
    Tool tool{app};
    ToolOptions options;
    AddToolOptions(app, options);
    for (void (*add)(Tool&) :
         {AddRecords, AddMd5,    AddHex,   AddParam,  AddLocale, AddTime,   AddStrings, AddPalette,
          AddNumber,  AddColour, AddUrl,   AddMime,   AddUti,    AddSecret, AddCert,    AddArchive,
          AddImage,   AddText,   AddFonts, AddAvatar, AddScreen, AddNet,    AddDemo}) {
      add(tool);
    }
    int status = Run(tool, options, argc, argv);
    // What was printed counts only once it is out: a full disk or a closed pipe is a failure
    // too. One failure, one line: a command that failed already said why.
    if (const std::string lost = standard_output.Finish(); !lost.empty() && status == 0) {
      status = Fail("standard output: " + Reason(lost));
    }
    return status;
  } catch (const std::exception& e) {
    return Fail(ExceptionReason(e));
  } catch (...) {
    return Fail("an unexpected failure");
  }
}
