// The kelvane command-line tool: one subcommand per capability of the library, and `demo`,
// which walks a newcomer through them.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <system_error>
#include <vector>

#include <stdexcept>

#include "kelvane/text/utf8.h"
#include "kelvane/version.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {

std::vector<Command>& Commands() {
  static std::vector<Command> commands;
  return commands;
}

int Fail(std::string_view message) {
  std::cerr << "kelvane: " << message << '\n';
  return 1;
}

String Text(std::string_view bytes) {
  std::optional<String> text = StringFromUtf8(bytes);
  if (!text) throw std::invalid_argument("an argument is not UTF-8 text");
  return std::move(*text);
}

std::string Utf8(std::u16string_view text) {
  return Utf8FromString(text).value_or("\xEF\xBF\xBD");
}

std::optional<std::uint32_t> ParseRGB(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  std::uint32_t rgb = 0;
  for (const char c : text) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    rgb = rgb << 4 | static_cast<std::uint32_t>(digit);
  }
  return rgb;
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

std::string VersionText() { return KELVANE_VERSION_STRING; }

int RunDemo() {
  std::error_code error;
  std::filesystem::path dir = std::filesystem::temp_directory_path(error);
  if (error) dir = "/tmp";
  dir /= "kelvane-demo-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir, error);
  if (error) return Fail("cannot create " + dir.string() + ": " + error.message());

  std::vector<Command> steps;
  for (const Command& command : Commands()) {
    if (command.demo != nullptr) steps.push_back(command);
  }
  std::stable_sort(steps.begin(), steps.end(),
                   [](const Command& a, const Command& b) { return a.demo_order < b.demo_order; });

  DemoContext context{std::cout, dir, {}};
  std::cout << "Kelvane " << VersionText() << " demo (scratch folder " << dir.string() << ")\n";
  int status = 0;
  for (const Command& step : steps) {
    std::cout << "\n== " << step.name << '\n';
    status = step.demo(context);
    if (status != 0) break;
  }
  // The pictures stay for the reader to open; everything else (the scratch secret store and its
  // key among it) goes.
  bool pictures = false;
  std::vector<std::filesystem::path> scratch;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
    const std::string extension = entry.path().extension().string();
    if (entry.is_regular_file(error) && (extension == ".png" || extension == ".jpg")) {
      pictures = true;
    } else {
      scratch.push_back(entry.path());
    }
  }
  for (const auto& path : scratch) std::filesystem::remove_all(path, error);
  if (!pictures) std::filesystem::remove(dir, error);
  if (status == 0) {
    std::cout << "\nDemo finished.";
    if (pictures) std::cout << " The pictures it drew are in " << dir.string() << ".";
    std::cout << '\n';
  }
  return status;
}

}  // namespace
}  // namespace kelvane::cli

int main(int argc, char** argv) {
  using kelvane::cli::Commands;
  CLI::App app{"kelvane: the general utility library of a trading client, from the command line"};
  app.require_subcommand(0, 1);
  bool version = false;
  app.add_flag("--version", version, "print the library version and exit");
  CLI::App* demo = app.add_subcommand("demo", "show what the library does, step by step");

  std::vector<std::pair<CLI::App*, int (*)()>> subcommands;
  for (const auto& command : Commands()) {
    // A command may contribute only a demo step.
    if (command.add != nullptr && command.run != nullptr) {
      subcommands.emplace_back(command.add(app), command.run);
    }
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  if (version) {
    std::cout << "kelvane " << kelvane::cli::VersionText() << '\n'
              << reinterpret_cast<const char*>(KelvaneVersionString);
    return 0;
  }
  try {
    if (demo->parsed()) return kelvane::cli::RunDemo();
    for (const auto& [sub, run] : subcommands) {
      if (sub->parsed()) return run();
    }
  } catch (const std::exception& e) {
    return kelvane::cli::Fail(e.what());
  }
  std::cout << app.help();
  return 0;
}
