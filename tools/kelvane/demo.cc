// SPDX-License-Identifier: Apache-2.0
// `kelvane demo`: the library's capabilities step by step, in a scratch folder whose pictures
// stay for the reader to open.
#include <unistd.h>

#include <iostream>
#include <system_error>
#include <vector>

#include "kelvane/version.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

struct DemoStep {
  const char* name;
  int (*run)(DemoContext& context);
};

// In the order they run: later steps use the facts earlier ones leave (the records file for
// md5, the landscape for the effects and the gallery).
constexpr DemoStep kSteps[] = {
    {"records", DemoRecords},
    {"secret", DemoSecret},
    {"archive", DemoArchive},
    {"param", DemoParam},
    {"md5", DemoMd5},
    {"locale", DemoLocale},
    {"number", DemoNumber},
    {"time", DemoTime},
    {"strings", DemoStrings},
    {"net", DemoRuntime},
    {"palette", DemoPalette},
    {"url", DemoUrl},
    {"mime", DemoMime},
    {"image", DemoImage},
    {"image operations", DemoImageOperations},
    {"effects", DemoImageEffects},
    {"text", DemoText},
    {"fonts", DemoInterface},
    {"avatar", DemoGallery},
};

int RunDemo() {
  std::error_code error;
  std::filesystem::path dir = std::filesystem::temp_directory_path(error);
  if (error) dir = "/tmp";
  dir /= "kelvane-demo-" + std::to_string(::getpid());
  std::filesystem::create_directories(dir, error);
  if (error) throw Failure(dir.string() + ": " + Reason(error.message()));

  DemoContext context{std::cout, dir, {}};
  std::cout << "Kelvane " << KELVANE_VERSION_STRING << " demo (scratch folder "
            << Printable(dir.string()) << ")\n";
  int status = 0;
  for (const DemoStep& step : kSteps) {
    std::cout << "\n== " << step.name << '\n';
    try {
      status = step.run(context);
    } catch (const std::exception& e) {  // the scratch folder is tidied all the same
      status = Fail(ExceptionReason(e));
    }
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
    if (pictures) std::cout << " The pictures it drew are in " << Printable(dir.string()) << ".";
    std::cout << '\n';
  }
  return status;
}

}  // namespace

void AddDemo(Tool& tool) {
  tool.Runs(tool.app.add_subcommand("demo", "show what the library does, step by step"), RunDemo);
}

}  // namespace kelvane::cli
