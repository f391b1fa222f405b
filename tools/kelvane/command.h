// SPDX-License-Identifier: Apache-2.0
// tools/kelvane/command.h
//
// How a subcommand joins the kelvane tool. Each capability lives in its own file and exposes one
// Add function (commands.h) that adds its subcommands to the tool, with the options bound to a
// struct of their own and the work started from the subcommand's callback once the whole command
// line is parsed and checked.
//
// Failures: a command returns its exit status (0, or 1 after printing one line with Fail), or
// throws Failure (exit 1) or UsageError (exit 2); main prints either as one "kelvane: " line.
// Memory running out anywhere is a failure too: std::bad_alloc ends the command with
// "kelvane: out of memory" and exit status 1, never with a result made of what was left.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

#include "kelvane/platform/core/string.h"

namespace kelvane::cli {

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A failure the command cannot get past: a file that cannot be read or written, a picture that
// does not decode, a library operation that gave nothing. The message is the whole line after
// "kelvane: ", usually "PATH: reason".
class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Options that parse but do not make sense together (--min above --size, two outputs, ...). The
// message is the whole line after "kelvane: ".
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The tool being assembled: the command-line parser and the exit status the command that ran
// leaves behind.
struct Tool {
  CLI::App& app;
  int status = 0;

  // Makes `sub` run `run` from its callback; its result becomes the tool's exit status.
  void Runs(CLI::App* sub, std::function<int()> run) {
    sub->callback([this, run = std::move(run)] { status = run(); });
  }
};

// Facts one demo step leaves for a later one.
struct DemoFacts {
  std::filesystem::path records_file;  // the records step's file of price ticks
  std::filesystem::path picture_file;  // the image operations step's landscape, as a PNG
};

// What the steps of `kelvane demo` share: where to print, a scratch folder (the pictures in it
// stay, the rest is removed afterwards) and the facts of earlier steps.
struct DemoContext {
  std::ostream& out;
  std::filesystem::path work_dir;
  DemoFacts facts;
};

// Prints "kelvane: <message>" on standard error and returns the failure exit status 1. For
// commands that go on after a failure (several files, one failing). The message is "what:
// reason"; a reason from the library or the system goes through Reason() (messages.h) first.
int Fail(std::string_view message);
// Prints "kelvane: <message>" on standard error, as Fail() does, for a warning the command goes
// on after. Control characters in the message are printed escaped (Printable(), messages.h).
// When memory runs out for the escaping, the line says "out of memory" instead. Never throws.
void PrintError(std::string_view message) noexcept;

// The reason a caught exception gives for the "kelvane: " line: "out of memory" for
// std::bad_alloc, else its what(); valid while `e` is.
std::string_view ExceptionReason(const std::exception& e) noexcept;

// Text between the command line and the library: UTF-8 outside, UTF-16 inside, converted with
// the library's strict bridge (kelvane/text/utf8.h).
// The UTF-16 of an argument. Throws UsageError(`refusal`) when the bytes are not UTF-8: a
// malformed name must not reach a file or the store patched. Throws std::bad_alloc when memory
// ran out, which is never taken for malformed text.
String Text(std::string_view bytes, std::string_view refusal = "an argument is not UTF-8 text");
// The UTF-8 of a text for printing: each unpaired surrogate unit prints as U+FFFD, the rest as
// it is. Throws std::bad_alloc when memory runs out: a text that cannot be made is never printed
// as something else.
std::string Utf8(std::u16string_view text);

// Formats bytes as lower-case hex, `limit` bytes at most (then "...").
std::string HexBytes(const void* bytes, std::size_t size, std::size_t limit = 64);

}  // namespace kelvane::cli
