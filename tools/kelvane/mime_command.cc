// SPDX-License-Identifier: Apache-2.0
// `kelvane mime PATH...` and `kelvane uti PATH|MIME|ID...`.
// Demo step: the MIME types of three file names.
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelvane/locale/uti.h"
#include "kelvane/platform/types/type_database.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

int RunMime(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) {
    const String wide = Text(path);
    std::cout << Printable(path) << ": " << Utf8(UTIType::MimeFromPath(wide));
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

struct UtiOptions {
  std::vector<std::string> args;
  std::vector<std::string> data_dirs;
};

// The database made from the shared-mime-info under `data_dirs`, after the compiled table.
// Throws Failure naming the first file that could not be read, or read only in part, and why.
std::shared_ptr<const platform::TypeDatabase> LoadTypeDatabase(
    const std::vector<std::string>& data_dirs) {
  for (const std::string& dir : data_dirs) {
    std::error_code error;
    if (!std::filesystem::is_directory(std::filesystem::path(dir) / "mime", error)) {
      throw Failure(dir + ": holds no shared-mime-info database (no mime folder)");
    }
  }
  std::vector<platform::TypeDatabase::SkippedFile> skipped;
  auto database = platform::TypeDatabase::WithSharedMimeInfo(data_dirs, &skipped);
  if (database == nullptr) throw std::bad_alloc();
  if (!skipped.empty()) {
    throw Failure(skipped.front().path + ": " + Reason(skipped.front().error.message));
  }
  return database;
}

bool ConformsToAny(const platform::TypeDatabase& database, std::u16string_view uti,
                   const std::vector<String>& parents) {
  for (const String& parent : parents) {
    if (database.ConformsTo(uti, parent)) return true;
  }
  return false;
}

int RunUti(const UtiOptions& o) {
  std::shared_ptr<const platform::TypeDatabase> owned;
  if (!o.data_dirs.empty()) owned = LoadTypeDatabase(o.data_dirs);
  const platform::TypeDatabase& database = owned ? *owned : platform::TypeDatabase::Default();
  int status = 0;
  for (const std::string& arg : o.args) {
    const String wide = Text(arg);
    // An identifier names itself; then a MIME type; anything else is read as a path.
    std::optional<String> uti;
    const char* read_as = "identifier";
    if (database.TypeWithIdentifier(wide) != nullptr) {
      uti = wide;
    } else if ((uti = database.PreferredIdentifierForTag(platform::kUTTagClassMIMEType, wide))) {
      read_as = "MIME type";
    } else {
      const std::u16string_view extension = NSTools::PathExtension(wide);
      if (!extension.empty()) {
        uti = database.PreferredIdentifierForTag(platform::kUTTagClassFilenameExtension, extension);
      }
      read_as = "path";
    }
    const platform::TypeRef type = uti ? database.TypeWithIdentifier(*uti) : nullptr;
    if (type == nullptr) {
      status = Fail("uti: " + arg + ": no known type");
      continue;
    }
    std::cout << Printable(arg) << " (" << read_as << "): " << Utf8(type->identifier())
              << (type->isDynamic() ? " (from shared-mime-info)" : "") << '\n'
              << "  conforms to: " << Join(type->parents()) << '\n'
              << "  extensions:  " << Join(type->filenameExtensions()) << '\n'
              << "  MIME types:  " << Join(type->mimeTypes()) << '\n'
              << "  document: " << (ConformsToAny(database, *uti, UTIType::UTIdoc()) ? "yes" : "no")
              << ", image: "
              << (ConformsToAny(database, *uti, UTIType::UTIAllowedImages()) ? "yes" : "no")
              << ", video: " << (database.ConformsTo(*uti, platform::kUTTypeMovie) ? "yes" : "no")
              << '\n';
  }
  return status;
}

}  // namespace

void AddMime(Tool& tool) {
  CLI::App* command =
      tool.app.add_subcommand("mime", "print the MIME type of each file name (by its extension)");
  auto paths = std::make_shared<std::vector<std::string>>();
  command->add_option("PATH", *paths, "file names or paths; the files need not exist")
      ->required()
      ->type_name("PATH");
  tool.Runs(command, [paths] { return RunMime(*paths); });
}

void AddUti(Tool& tool) {
  CLI::App* command = tool.app.add_subcommand(
      "uti", "describe the type of each argument: a type identifier, a MIME type or a path");
  auto o = std::make_shared<UtiOptions>();
  command->add_option("ARG", o->args, "public.png, image/png or photo.png")->required();
  command
      ->add_option("--data-dir", o->data_dirs,
                   "answer from the shared-mime-info under DIR/mime instead of the installed "
                   "databases (repeatable; the compiled table still comes first)")
      ->type_name("DIR")
      ->allow_extra_args(false);  // one folder each time, so `--data-dir DIR A B` leaves A, B
  tool.Runs(command, [o] { return RunUti(*o); });
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
