// `kelvane mime PATH...` and `kelvane uti PATH|MIME|ID...`.
// Demo step: the MIME types of three file names.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "kelvane/locale/uti.h"
#include "kelvane/platform/types/type_database.h"
#include "tools/kelvane/commands.h"

namespace kelvane::cli {
namespace {

int RunMime(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const String wide = Text(path);
    std::cout << path << ": " << Utf8(UTIType::MimeFromPath(wide));
    if (const std::optional<String> uti = UTIType::UTIFromPath(wide)) {
      std::cout << " (" << Utf8(*uti) << ')';
    }
    std::cout << '\n';
  }
  return 0;
}

std::string Join(const std::vector<String>& items) {
  std::string out;
  for (const String& item : items) out += (out.empty() ? "" : " ") + Utf8(item);
  return out.empty() ? "-" : out;
}

int RunUti(const std::vector<std::string>& args) {
  const platform::TypeDatabase& database = platform::TypeDatabase::Default();
  int status = 0;
  for (const std::string& arg : args) {
    const String wide = Text(arg);
    // An identifier names itself; then a MIME type; anything else is read as a path.
    std::optional<String> uti;
    const char* read_as = "identifier";
    if (database.TypeWithIdentifier(wide) != nullptr) {
      uti = wide;
    } else if ((uti = UTIType::UTIFromMIME(wide))) {
      read_as = "MIME type";
    } else {
      uti = UTIType::UTIFromPath(wide);
      read_as = "path";
    }
    const platform::TypeRef type = uti ? database.TypeWithIdentifier(*uti) : nullptr;
    if (type == nullptr) {
      status = Fail("uti: " + arg + ": no known type");
      continue;
    }
    std::cout << arg << " (" << read_as << "): " << Utf8(type->identifier())
              << (type->isDynamic() ? " (from shared-mime-info)" : "") << '\n'
              << "  conforms to: " << Join(type->parents()) << '\n'
              << "  extensions:  " << Join(type->filenameExtensions()) << '\n'
              << "  MIME types:  " << Join(type->mimeTypes()) << '\n'
              << "  document: " << (UTIType::UTIConformsTo(*uti, UTIType::UTIdoc()) ? "yes" : "no")
              << ", image: "
              << (UTIType::UTIConformsTo(*uti, UTIType::UTIAllowedImages()) ? "yes" : "no")
              << ", video: " << (UTIType::IsVideo(*uti) ? "yes" : "no") << '\n';
  }
  return status;
}

}  // namespace

void AddMime(Tool& tool) {
  CLI::App* command =
      tool.app.add_subcommand("mime", "print the MIME type of each file name (by its extension)");
  auto paths = std::make_shared<std::vector<std::string>>();
  command->add_option("PATH", *paths, "file names or paths; the files need not exist")->required();
  tool.Runs(command, [paths] { return RunMime(*paths); });
}

void AddUti(Tool& tool) {
  CLI::App* command = tool.app.add_subcommand(
      "uti", "describe the type of each argument: a type identifier, a MIME type or a path");
  auto args = std::make_shared<std::vector<std::string>>();
  command->add_option("ARG", *args, "public.png, image/png or photo.png")->required();
  tool.Runs(command, [args] { return RunUti(*args); });
}

int DemoMime(DemoContext& context) {
  std::ostream& out = context.out;
  out << "MIME types of file names:\n";
  for (std::u16string_view name : {u"Statement-2024.PDF", u"chart.png", u"backup.7z"}) {
    out << "  " << Utf8(name) << " -> " << Utf8(UTIType::MimeFromPath(name)) << " ("
        << Utf8(UTIType::UTIFromPath(name).value_or(u"?")) << ")\n";
  }
  out << "  accepted document types: " << UTIType::UTIdoc().size() << ", the first "
      << Utf8(UTIType::UTIdoc().front()) << '\n';
  return 0;
}

}  // namespace kelvane::cli
