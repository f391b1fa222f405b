// tools/kelvane/command.h
//
// How a subcommand joins the kelvane tool: each capability lives in its own file and registers
// one Command with a static Registrar, so adding a capability never touches main.cc.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/platform/core/string.h"

namespace kelvane::cli {

// What the steps of `kelvane demo` share: where to print, a scratch folder that is removed
// afterwards, and named facts one step leaves for a later one (the record file's path, ...).
struct DemoContext {
  std::ostream& out;
  std::filesystem::path work_dir;
  std::map<std::string, std::string> facts;
};

struct Command {
  std::string_view name;
  // Adds the subcommand to `app`, binding its options to the command's own state; null for a
  // command that only contributes a demo step.
  CLI::App* (*add)(CLI::App& app);
  // Runs the subcommand after a successful parse; the process exit status. Null with `add`.
  int (*run)();
  // One step of `kelvane demo`, or null. Steps run in ascending demo_order.
  int (*demo)(DemoContext& context) = nullptr;
  int demo_order = 0;
};

std::vector<Command>& Commands();

struct Registrar {
  explicit Registrar(const Command& command) { Commands().push_back(command); }
};

// Prints "kelvane: <message>" on standard error and returns the failure exit status 1.
int Fail(std::string_view message);

// Text between the command line and the library: UTF-8 outside, UTF-16 inside, converted with
// the library's strict bridge (kelvane/text/utf8.h).
// The UTF-16 of an argument. Throws std::invalid_argument, which main prints as one line, when
// the bytes are not UTF-8: a malformed name must not reach a file or the store patched.
String Text(std::string_view bytes);
// The UTF-8 of a text for printing. A text that has none (it holds an unpaired surrogate) prints
// as one U+FFFD.
std::string Utf8(std::u16string_view text);

// A colour written as six hexadecimal digits RRGGBB (an optional leading '#'), or nullopt.
std::optional<std::uint32_t> ParseRGB(std::string_view text);

// Formats bytes as lower-case hex, `limit` bytes at most (then "...").
std::string HexBytes(const void* bytes, std::size_t size, std::size_t limit = 64);

}  // namespace kelvane::cli
