// `kelvane md5 FILE...`, `kelvane hex encode|decode [TEXT]` and
// `kelvane param STRING --key K [--stop CHARS] [--as text|int32|int64|double]`.
// Demo steps: a value read out of a server line, and the MD5 of the demo's record file.
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "kelvane/platform/i18n/charset.h"
#include "kelvane/text/buffer_copy.h"
#include "kelvane/text/hash.h"
#include "kelvane/text/param_string.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- md5 ------------------------------------------------------------------------------------

std::vector<std::string> md5_files;

CLI::App* AddMd5(CLI::App& app) {
  CLI::App* md5 = app.add_subcommand("md5", "print the MD5 digest of files, as md5sum does");
  md5->add_option("FILE", md5_files, "files to hash; - reads standard input")->required();
  return md5;
}

std::string Hex(const unsigned char digest[16]) {
  return Utf8(*NSTools::stringFromHash(reinterpret_cast<const char*>(digest), 16, false));
}

// The digest of standard input, read in the same 4096-byte chunks as a file.
std::optional<std::string> Md5OfStandardInput() {
  CHashMD5 md5;
  unsigned char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    md5.Update(buffer, static_cast<unsigned int>(n));
  }
  unsigned char digest[16];
  md5.Final(digest);
  return Hex(digest);
}

int RunMd5() {
  int status = 0;
  for (const std::string& name : md5_files) {
    std::optional<std::string> digest;
    if (name == "-") {
      digest = Md5OfStandardInput();
    } else {
      CHashMD5 md5;
      if (CHash::HashFile(md5, Text(name))) {
        unsigned char bytes[16];
        md5.Final(bytes);
        digest = Hex(bytes);
      }
    }
    if (!digest) {
      status = Fail("md5: " + name + ": cannot read");
      continue;
    }
    std::cout << *digest << "  " << name << '\n';
  }
  return status;
}

// ---- hex ------------------------------------------------------------------------------------

struct HexOptions {
  std::string text;
  bool lower = false;
} hex;
CLI::App* hex_encode = nullptr;
CLI::App* hex_decode = nullptr;

CLI::App* AddHex(CLI::App& app) {
  CLI::App* command = app.add_subcommand(
      "hex", "bytes to hexadecimal text and back (TEXT, or standard input when absent)");
  command->require_subcommand(1);
  hex_encode = command->add_subcommand(
      "encode", "print the bytes of TEXT (exactly as given, or all of standard input) as hex");
  hex_encode->add_option("TEXT", hex.text, "the bytes to encode");
  hex_encode->add_flag("--lower", hex.lower, "lower-case letters (default upper-case)");
  hex_decode = command->add_subcommand(
      "decode", "write the bytes of hex TEXT to standard output; white space around it is ignored");
  hex_decode->add_option("TEXT", hex.text, "the hexadecimal text");
  return command;
}

int RunHex() {
  const bool from_stdin = hex.text.empty();
  std::string input = from_stdin ? ReadAll(std::cin) : hex.text;
  if (hex_encode->parsed()) {
    if (input.empty()) return 0;
    if (input.size() > 0xFFFFFFFFu) return Fail("hex: input too large");
    String text;
    NSTools::FromHash(text, input.data(), static_cast<unsigned int>(input.size()), !hex.lower);
    if (text.empty()) return Fail("hex: out of memory");
    std::cout << Utf8(text) << '\n';
    return 0;
  }
  const std::size_t first = input.find_first_not_of(" \t\r\n");
  const std::size_t last = input.find_last_not_of(" \t\r\n");
  input = first == std::string::npos ? "" : input.substr(first, last - first + 1);
  // The library reads a bad digit as "all zero"; here a bad digit is a usage error.
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(input[i]))) {
      return Fail("hex: not a hexadecimal digit at offset " + std::to_string(i));
    }
  }
  const std::optional<Data> bytes = NSTools::ToHash(String(input.begin(), input.end()));
  if (!bytes) return Fail("hex: odd number of digits");
  std::cout.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
  return std::cout ? 0 : Fail("hex: cannot write");
}

// ---- param ----------------------------------------------------------------------------------

struct ParamOptions {
  std::string line;
  std::string key;
  std::optional<std::string> stop;
  std::string as = "text";
} param;

CLI::App* AddParam(CLI::App& app) {
  CLI::App* command = app.add_subcommand("param", "read one value out of a parameter string");
  command->add_option("STRING", param.line, "the parameter string, e.g. \"a=1|b=2|\"")->required();
  command->add_option("--key", param.key, "the key with its separator, e.g. \"b=\"")->required();
  command->add_option("--stop", param.stop,
                      "characters that end a value (without it the value runs to the end)");
  command->add_option("--as", param.as, "how to read the value")
      ->check(CLI::IsMember({"text", "int32", "int64", "double"}));
  return command;
}

int RunParam() {
  const String line = Text(param.line);
  const String key = Text(param.key);
  std::optional<platform::CharacterSet> stop;
  if (param.stop) stop = platform::CharacterSet::FromCharacters(Text(*param.stop));
  const platform::CharacterSet* stop_set = stop ? &*stop : nullptr;
  if (param.as == "text") {
    const std::optional<String> value = NSTools::FindValue(line, key, stop_set);
    if (!value) return Fail("param: no value for key \"" + param.key + "\"");
    std::cout << Utf8(*value) << '\n';
    return 0;
  }
  bool found = false;
  if (param.as == "int32") {
    std::int32_t v = 0;
    found = NSTools::ReadParam(line, key, stop_set, &v);
    if (found) std::cout << v << '\n';
  } else if (param.as == "int64") {
    std::int64_t v = 0;
    found = NSTools::ReadParam(line, key, stop_set, &v);
    if (found) std::cout << v << '\n';
  } else {
    double v = 0;
    found = NSTools::ReadParam(line, key, stop_set, &v);
    if (found) std::printf("%.17g\n", v);
  }
  return found ? 0 : Fail("param: no value for key \"" + param.key + "\"");
}

int DemoParam(DemoContext& context) {
  std::ostream& out = context.out;
  const String line = u"login=1047|server=demo.example|ratio=1.5|name=\u0418\u0432\u0430\u043D|";
  const platform::CharacterSet bar = platform::CharacterSet::FromCharacters(u"|");
  out << "Server line: " << Utf8(line) << '\n';
  std::int32_t login = 0;
  double ratio = 0;
  if (!NSTools::ReadParam(line, u"login=", &bar, &login) ||
      !NSTools::ReadParam(line, u"ratio=", &bar, &ratio)) {
    return Fail("demo: the sample line lost its values");
  }
  out << "  login=  as int32:  " << login << '\n';
  out << "  ratio=  as double: " << ratio << '\n';
  out << "  server= as text:   "
      << Utf8(NSTools::FindValue(line, u"server=", &bar).value_or(u"?")) << '\n';
  unsigned short name[4];
  (void)NSTools::ReadParam(line, u"name=", &bar, name, sizeof name);
  out << "  name=   into a 4-unit buffer: \"" << Utf8(platform::WStringText(name))
      << "\" (cut to 3 units and the terminator)\n";
  out << "  port=   is absent: "
      << (NSTools::FindValue(line, u"port=", &bar).has_value() ? "found?" : "no value") << '\n';
  return 0;
}

int DemoMd5(DemoContext& context) {
  std::ostream& out = context.out;
  std::string path;
  if (auto fact = context.facts.find("records_file"); fact != context.facts.end()) {
    path = fact->second;
  } else {
    path = (context.work_dir / "sample.txt").string();
    std::ofstream(path) << "The quick brown fox jumps over the lazy dog";
  }
  CHashMD5 md5;
  if (!CHash::HashFile(md5, Text(path))) return Fail("demo: cannot hash " + path);
  unsigned char digest[16];
  md5.Final(digest);
  out << "MD5 of " << path << ":\n  " << Hex(digest) << '\n';
  String upper;
  NSTools::FromHash(upper, reinterpret_cast<const char*>(digest), 16);
  char back[16];
  NSTools::ToHash(upper, back, 16);
  out << "  as upper-case hex " << Utf8(upper)
      << ", decoded back: " << (std::memcmp(back, digest, 16) == 0 ? "identical" : "DIFFERENT")
      << '\n';
  return 0;
}

const Registrar md5_registrar({"md5", AddMd5, RunMd5, DemoMd5, 210});
const Registrar hex_registrar({"hex", AddHex, RunHex});
const Registrar param_registrar({"param", AddParam, RunParam, DemoParam, 200});

}  // namespace
}  // namespace kelvane::cli
