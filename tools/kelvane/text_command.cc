// SPDX-License-Identifier: Apache-2.0
// `kelvane md5 FILE...`, `kelvane hex encode|decode [TEXT]` and
// `kelvane param STRING --key K [--stop CHARS] [--as text|int32|int64|double]`.
// Demo steps: a value read out of a server line, and the MD5 of the demo's record file.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/i18n/charset.h"
#include "kelvane/text/buffer_copy.h"
#include "kelvane/text/hash.h"
#include "kelvane/text/param_string.h"
#include "kelvane/text/utf8.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/files.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

std::string ReadAll(std::istream& in) {
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- md5 ------------------------------------------------------------------------------------

std::string Hex(const unsigned char digest[16]) {
  return Utf8(*NSTools::stringFromHash(reinterpret_cast<const char*>(digest), 16, false));
}

// The digest of everything `fd` holds from its position, read in 4096-byte chunks; nullopt with
// errno set when a read fails.
std::optional<std::string> Md5Of(int fd) {
  CHashMD5 md5;
  unsigned char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    md5.Update(buffer, static_cast<unsigned int>(n));
  }
  unsigned char digest[16];
  md5.Final(digest);
  return Hex(digest);
}

int RunMd5(const std::vector<std::string>& files) {
  int status = 0;
  for (const std::string& name : files) {
    std::optional<std::string> digest;
    if (name == "-") {
      digest = Md5Of(STDIN_FILENO);
      if (!digest) status = Fail("standard input: " + Reason(std::strerror(errno)));
    } else {
      // A named pipe or a device is refused rather than waited on.
      platform::Result<platform::FileHandle> file = platform::FileHandle::OpenRegular(name);
      if (!file) {
        status = Fail(name + ": " + Reason(file.error().message));
        continue;
      }
      digest = Md5Of(file->Descriptor());
      if (!digest) status = Fail(name + ": " + Reason(std::strerror(errno)));
    }
    if (digest) std::cout << *digest << "  " << Printable(name) << '\n';
  }
  return status;
}

// ---- hex ------------------------------------------------------------------------------------

struct HexOptions {
  std::string text;
  bool lower = false;
};

// TEXT, or all of standard input when it is absent.
std::string HexInput(const std::string& text, const CLI::App* command) {
  if (command->count("TEXT") > 0) return text;
  std::string input = ReadAll(std::cin);
  if (std::cin.bad()) throw Failure("standard input: cannot be read");
  return input;
}

int RunHexEncode(const HexOptions& o, const CLI::App* command) {
  const std::string input = HexInput(o.text, command);
  if (input.empty()) return 0;
  // A piece at a time, so that the text costs a piece's memory, not four times the input's;
  // a piece that cannot be made is a failure, never a partial line that exits 0.
  constexpr std::size_t kPiece = 1 << 16;
  String text;
  for (std::size_t at = 0; at < input.size(); at += kPiece) {
    const std::size_t length = std::min(kPiece, input.size() - at);
    NSTools::FromHash(text, input.data() + at, static_cast<unsigned int>(length), !o.lower);
    const std::optional<std::string> utf8 = text.empty() ? std::nullopt : Utf8FromString(text);
    if (!utf8) throw Failure("hex: out of memory");
    std::cout << *utf8;
  }
  std::cout << '\n';
  return 0;
}

int RunHexDecode(const HexOptions& o, const CLI::App* command) {
  std::string input = HexInput(o.text, command);
  const std::size_t first = input.find_first_not_of(" \t\r\n");
  const std::size_t last = input.find_last_not_of(" \t\r\n");
  input = first == std::string::npos ? "" : input.substr(first, last - first + 1);
  // The library reads a bad digit as "all zero"; here it is refused.
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (!platform::ascii::IsHexDigit(input[i])) {
      throw Failure("hex: not a hexadecimal digit at offset " + std::to_string(i));
    }
  }
  if (input.size() % 2 != 0) throw Failure("hex: odd number of digits");
  // With an even count of digits, no bytes can only mean that memory ran out.
  const std::optional<Data> bytes = NSTools::ToHash(String(input.begin(), input.end()));
  if (!bytes) throw std::bad_alloc();
  std::cout.write(reinterpret_cast<const char*>(bytes->data()),
                  static_cast<std::streamsize>(bytes->size()));
  return 0;
}

// ---- param ----------------------------------------------------------------------------------

struct ParamOptions {
  std::string line;
  std::string key;
  std::optional<std::string> stop;
  std::string as = "text";
};

int RunParam(const ParamOptions& o) {
  const String line = Text(o.line);
  const String key = Text(o.key);
  std::optional<platform::CharacterSet> stop;
  if (o.stop) stop = platform::CharacterSet::FromCharacters(Text(*o.stop));
  const platform::CharacterSet* stop_set = stop ? &*stop : nullptr;
  const auto missing = [&] { return Failure("param: no value for key \"" + o.key + "\""); };
  if (o.as == "text") {
    const std::optional<String> value = NSTools::FindValue(line, key, stop_set);
    if (!value) throw missing();
    std::cout << Utf8(*value) << '\n';
  } else if (o.as == "int32") {
    std::int32_t v = 0;
    if (!NSTools::ReadParam(line, key, stop_set, &v)) throw missing();
    std::cout << v << '\n';
  } else if (o.as == "int64") {
    std::int64_t v = 0;
    if (!NSTools::ReadParam(line, key, stop_set, &v)) throw missing();
    std::cout << v << '\n';
  } else {
    double v = 0;
    if (!NSTools::ReadParam(line, key, stop_set, &v)) throw missing();
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    std::cout << text << '\n';
  }
  return 0;
}

}  // namespace

void AddMd5(Tool& tool) {
  CLI::App* md5 = tool.app.add_subcommand("md5", "print the MD5 digest of files, as md5sum does");
  auto files = std::make_shared<std::vector<std::string>>();
  md5->add_option("FILE", *files, "regular files to hash; - reads standard input")
      ->required()
      ->type_name("FILE");
  tool.Runs(md5, [files] { return RunMd5(*files); });
}

void AddHex(Tool& tool) {
  CLI::App* hex = tool.app.add_subcommand(
      "hex", "bytes to hexadecimal text and back (TEXT, or standard input when absent)");
  hex->require_subcommand(1);
  auto o = std::make_shared<HexOptions>();
  CLI::App* encode = hex->add_subcommand(
      "encode", "print the bytes of TEXT (exactly as given, or all of standard input) as hex");
  encode->add_option("TEXT", o->text, "the bytes to encode");
  encode->add_flag("--lower", o->lower, "lower-case letters (default upper-case)");
  tool.Runs(encode, [o, encode] { return RunHexEncode(*o, encode); });
  CLI::App* decode = hex->add_subcommand(
      "decode", "write the bytes of hex TEXT to standard output; white space around it is ignored");
  decode->add_option("TEXT", o->text, "the hexadecimal text");
  tool.Runs(decode, [o, decode] { return RunHexDecode(*o, decode); });
}

void AddParam(Tool& tool) {
  CLI::App* param = tool.app.add_subcommand("param", "read one value out of a parameter string");
  auto o = std::make_shared<ParamOptions>();
  param->add_option("STRING", o->line, "the parameter string, e.g. \"a=1|b=2|\"")->required();
  param->add_option("--key", o->key, "the key with its separator, e.g. \"b=\"")->required();
  param->add_option("--stop", o->stop,
                    "characters that end a value (without it the value runs to the end)");
  param->add_option("--as", o->as, "how to read the value")
      ->check(OneOf({"text", "int32", "int64", "double"}))
      ->capture_default_str();
  tool.Runs(param, [o] { return RunParam(*o); });
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
  out << "  server= as text:   " << Utf8(NSTools::FindValue(line, u"server=", &bar).value_or(u"?"))
      << '\n';
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
  std::string path = context.facts.records_file.string();
  if (path.empty()) {
    path = (context.work_dir / "sample.txt").string();
    const std::string_view sample = "The quick brown fox jumps over the lazy dog";
    WriteOutput(path,
                std::span(reinterpret_cast<const std::uint8_t*>(sample.data()), sample.size()));
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

}  // namespace kelvane::cli
