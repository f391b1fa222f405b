// SPDX-License-Identifier: Apache-2.0
// Every path that saves a file, under a failing disk and under a killed process.
#include "kelvane/testing/save_faults.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "kelvane/containers/archive.h"
#include "kelvane/containers/storage.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane {
namespace {

using platform::internal::FileFault;
using testing::SavePath;

// The size of `bytes` and a hash of them.
std::string TextOf(const Data& bytes) {
  const std::string text(bytes.begin(), bytes.end());
  return std::to_string(text.size()) + " bytes, hash " +
         std::to_string(std::hash<std::string>()(text));
}

// The file's TextOf, or "(none)" when there is no file.
std::string FileText(const std::string& path) {
  const platform::Result<Data> bytes = platform::ReadRegularFile(path, 64 << 20);
  return bytes ? TextOf(*bytes) : "(none)";
}

// A picture whose pixels differ with `generation`.
platform::ImageRef Picture(unsigned generation) {
  const std::uint32_t side = 96;
  std::vector<std::uint8_t> pixels(side * side * 4);
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 255 : i * 31 + generation * 57);
  }
  return platform::Image::Make(platform::Raster::Make(
      platform::PixelLayout::Working(side, side, side * 4, false), std::move(pixels)));
}

// Ticks of `generation` as a record file's items.
struct Tick {
  std::uint32_t time;
  std::uint32_t volume;  // no padding: the file holds every byte of an item
  double price;
};
TArray<Tick> Ticks(unsigned generation) {
  TArray<Tick> ticks;
  for (std::uint32_t i = 0; i < 4000 + generation % 7; ++i) {
    const Tick tick{i, generation, 1.08 + generation * 1e-4 + i * 1e-6};
    EXPECT_TRUE(ticks.Add(&tick));
  }
  return ticks;
}
platform::Status SaveTicks(const TArray<Tick>& ticks, const std::string& path) {
  return platform::WriteFileWholeWith(path, [&](platform::FileHandle& file) -> platform::Status {
    if (!ticks.Write(&file)) return platform::Error::FromErrno(errno);
    return std::monostate();
  });
}

// A keyed archive of a note.
class Note : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "SaveFaultsNote";
  explicit Note(String t) : text(std::move(t)) {}
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeString("text", text);
  }
  String text;
};
Data ArchivedNote(unsigned generation) {
  static const bool registered = platform::RegisterCodableClass(
      std::string(Note::kArchiveClassName), {}, [](platform::KeyedUnarchiver& coder) {
        return platform::CodableRef(std::make_shared<Note>(coder.DecodeString("text").value()));
      });
  EXPECT_TRUE(registered);
  return Archive::archive(Note(String(5000, static_cast<char16_t>(u'a' + generation % 26))))
      .value();
}

// One way of saving a file: generation n of its content saved at a path, and the bytes that save
// writes (unset for the JPEG picture, which the kill test leaves out).
struct FileSave {
  std::string name;
  std::function<platform::Status(unsigned, const std::string&)> save;
  std::function<Data(unsigned)> bytes;
};

const FileSave kFileSaves[] = {
    {"keyed archive",
     [](unsigned n, const std::string& path) {
       return platform::WriteFileWhole(path, ArchivedNote(n));
     },
     ArchivedNote},
    {"PNG picture",
     [](unsigned n, const std::string& path) { return platform::WritePNGFile(*Picture(n), path); },
     [](unsigned n) { return platform::PNGData(*Picture(n)).value(); }},
    {"JPEG picture",
     [](unsigned n, const std::string& path) {
       return platform::WriteJPEGFile(*Picture(n), 0.8, path);
     },
     nullptr},
    {"record file", [](unsigned n, const std::string& path) { return SaveTicks(Ticks(n), path); },
     [](unsigned n) {
       Data bytes;
       Ticks(n).Save(&bytes);
       return bytes;
     }},
};

TEST(SaveFaults, EveryFailingFileCallLeavesTheOldFileOrTheNewWithTheReason) {
  const testing::TempDir folder;
  const std::string file = folder.File("saved");
  for (const FileSave& row : kFileSaves) {
    // Generation 1 saved over generation 0.
    SavePath path{
        row.name,
        [&] { ASSERT_TRUE(row.save(0, file).ok()); },
        [&] { return row.save(1, file); },
        [&] { return FileText(file); },
    };
    path.prepare();
    path.before = path.content();
    EXPECT_TRUE(path.save().ok()) << path.name;
    path.after = path.content();
    EXPECT_NE(path.before, path.after) << path.name;
    for (const FileFault fault :
         {FileFault::kNoSpace, FileFault::kIo, FileFault::kInterrupted, FileFault::kShortWrite}) {
      const testing::FaultWalk walk = testing::WalkSaveFaults(path, folder.path(), fault);
      // A save makes at least its open, one write, its sync, its close and its rename; a short
      // write meets only the writes.
      EXPECT_GE(walk.runs, fault == FileFault::kShortWrite ? 1u : 5u) << path.name;
      std::printf("%-14s %-12s %3u runs: %3u failed with the reason, %3u recovered\n",
                  path.name.c_str(), testing::FaultName(fault), walk.runs, walk.failed,
                  walk.succeeded);
    }
  }
}

TEST(SaveFaults, AKilledSaveLeavesTheLastGenerationOrTheNextNeverAMix) {
  const testing::TempDir folder;
  const std::string path = folder.File("saved");
  for (const FileSave& row : kFileSaves) {
    if (!row.bytes) continue;
    const testing::KillOutcome outcome = testing::KillSaves(
        row.name, testing::KillsPerPath(), std::chrono::milliseconds(30), 20261208,
        [&] { ASSERT_TRUE(row.save(0, path).ok()); }, [&](unsigned n) { return row.save(n, path); },
        [&](unsigned n) { return TextOf(row.bytes(n)); }, [&] { return FileText(path); });
    const std::size_t left = testing::Names(folder.path()).size() - 1;
    std::printf(
        "%-12s %3u kills: %3u found the last generation, %3u the next; %zu temporary files left\n",
        row.name.c_str(), outcome.kills, outcome.old_content, outcome.new_content, left);
    std::filesystem::remove_all(folder.path());
    std::filesystem::create_directory(folder.path());
  }
}

}  // namespace
}  // namespace kelvane
