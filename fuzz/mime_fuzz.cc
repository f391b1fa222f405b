// SPDX-License-Identifier: Apache-2.0
// The type database's reader of shared-mime-info files on untrusted bytes. The input is split at
// its first two zero bytes into mime/globs2, mime/aliases and mime/subclasses of a scratch
// folder. Nothing may crash or hang, and every answer stays consistent: an identifier given for
// a tag names a type the database knows, and a dynamic identifier is the "dyn.mime." form.
// Inputs go up to 1 MiB, the most the database reads of one file.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/i18n/unicode.h"
#include "kelvane/platform/types/type_database.h"

namespace {

using kelvane::fuzzing::Check;
using kelvane::platform::TagClass;
using kelvane::platform::TypeDatabase;

const std::string& Folder() {
  static const std::string folder = [] {
    char name[] = "/tmp/kelvane-mime-fuzz-XXXXXX";
    Check(mkdtemp(name) != nullptr);
    const std::string path = name;
    Check(mkdir((path + "/mime").c_str(), 0700) == 0);
    return path;
  }();
  return folder;
}

void Write(const std::string& file, std::string_view bytes) {
  std::ofstream out(Folder() + "/mime/" + file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Asks the database about `tag` and checks what it answers.
void Ask(const TypeDatabase& db, TagClass tag_class, std::string_view utf8) {
  kelvane::String tag;
  if (!kelvane::platform::Utf8ToUtf16(utf8, tag)) return;
  const auto identifier = db.PreferredIdentifierForTag(tag_class, tag);
  const auto* type = db.TypeForTag(tag_class, tag);
  Check(identifier.has_value() == (type != nullptr));
  if (!identifier) return;
  Check(type->identifier() == *identifier);
  Check(db.TypeWithIdentifier(*identifier) != nullptr);
  Check(db.ConformsTo(*identifier, *identifier));
  if (type->isDynamic()) Check(identifier->rfind(u"dyn.mime.", 0) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first = input.find('\0');
  const std::size_t second = first == std::string_view::npos ? first : input.find('\0', first + 1);
  const std::string_view globs = input.substr(0, first);
  const std::string_view aliases = first == std::string_view::npos
                                       ? std::string_view()
                                       : input.substr(first + 1, second - first - 1);
  const std::string_view subclasses =
      second == std::string_view::npos ? std::string_view() : input.substr(second + 1);
  Write("globs2", globs);
  Write("aliases", aliases);
  Write("subclasses", subclasses);
  const auto db = TypeDatabase::WithSharedMimeInfo({Folder()});
  Check(db != nullptr);
  // The fields of the lines, as extensions (after "*.") and as MIME types: every one of a small
  // input, and about kAsked spread over a large one, whose building is what is under test.
  constexpr std::size_t kAsked = 8192;
  const std::size_t stride = 1 + size / (kAsked * 16);
  std::size_t start = 0;
  for (std::size_t n = 0; start < input.size(); ++n) {
    std::size_t end = input.find_first_of(std::string_view(":\n \0", 4), start);
    if (end == std::string_view::npos) end = input.size();
    std::string_view field = input.substr(start, end - start);
    if (n % stride == 0 && !field.empty() && field.size() < 256) {
      Ask(*db, TagClass::kMIMEType, field);
      if (field.substr(0, 2) == "*.") field.remove_prefix(2);
      Ask(*db, TagClass::kFilenameExtension, field);
    }
    start = end + 1;
  }
  return 0;
}
