// `kelvane mime PATH...` and `kelvane uti PATH|MIME|ID...`.
// Demo step: the MIME types of three file names.
#include <iostream>
#include <string>
#include <vector>

#include "kelvane/locale/uti.h"
#include "kelvane/platform/types/type_database.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

std::vector<std::string> mime_paths;
std::vector<std::string> uti_args;

CLI::App* AddMime(CLI::App& app) {
  CLI::App* command =
      app.add_subcommand("mime", "print the MIME type of each file name (by its extension)");
  command->add_option("PATH", mime_paths, "file names or paths; the files need not exist")
      ->required();
  return command;
}

int RunMime() {
  for (const std::string& path : mime_paths) {
    const String wide = Text(path);
    std::cout << path << ": " << Utf8(UTIType::MimeFromPath(wide));
    if (const std::optional<String> uti = UTIType::UTIFromPath(wide)) {
      std::cout << " (" << Utf8(*uti) << ')';
    }
    std::cout << '\n';
  }
  return 0;
}

CLI::App* AddUti(CLI::App& app) {
  CLI::App* command = app.add_subcommand(
      "uti", "describe the type of each argument: a type identifier, a MIME type or a path");
  command->add_option("ARG", uti_args, "public.png, image/png or photo.png")->required();
  return command;
}

std::string Join(const std::vector<String>& items) {
  std::string out;
  for (const String& item : items) out += (out.empty() ? "" : " ") + Utf8(item);
  return out.empty() ? "-" : out;
}

int RunUti() {
  const platform::TypeDatabase& database = platform::TypeDatabase::Default();
  int status = 0;
  for (const std::string& arg : uti_args) {
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

const Registrar mime_registrar({"mime", AddMime, RunMime, DemoMime, 610});
const Registrar uti_registrar({"uti", AddUti, RunUti});

}  // namespace
}  // namespace kelvane::cli
