// SPDX-License-Identifier: Apache-2.0
// Every loader of outside bytes and every picture path, run under shrinking address-space
// budgets (testing/memory_sweep.h): each run must give the result of the unlimited run or a
// refusal with its reason, never a signal, a different result or a leak.
#include "kelvane/testing/memory_sweep.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <plist/plist.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "kelvane/colours/avatar.h"
#include "kelvane/containers/storage.h"
#include "kelvane/images/image_effects.h"
#include "kelvane/images/resize.h"
#include "kelvane/platform/archive/keyed_coder.h"
#include "kelvane/platform/codecs/heif.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/png.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/core/property_list_check.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/graphics/color.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/platform/graphics/pixel_kernels.h"
#include "kelvane/platform/i18n/strings_table.h"
#include "kelvane/platform/types/type_database.h"
#include "kelvane/testing/child_process.h"
#include "kelvane/testing/picture_files.h"
#include "kelvane/testing/property_lists.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane {
namespace {

using platform::ErrorKind;
using platform::Image;
using platform::ImageRef;
using platform::PixelLayout;
using platform::Raster;
using platform::RasterRef;
using platform::ReadFit;
using platform::ReadOptions;
using platform::Result;
using testing::HashBytes;
using testing::kHashStart;
using testing::SweepRun;

constexpr char kChild[] = "memory-sweep";

// A few megapixels, so that the decoded picture and its working copies pass the budgets' steps.
constexpr std::uint32_t kWidth = 2048;
constexpr std::uint32_t kHeight = 1536;
// HEIF's encoders take seconds for a picture of that size: a smaller one, still megabytes once
// decoded.
constexpr std::uint32_t kHeifWidth = 768;
constexpr std::uint32_t kHeifHeight = 512;

// The picture as a GIF of 3-3-2 bit colours.
Data EncodeGIF(const Raster& raster) {
  std::vector<GifColorType> colours(256);
  for (int i = 0; i < 256; ++i) {
    colours[i] = {GifByteType((i >> 5) * 36), GifByteType(((i >> 2) & 7) * 36),
                  GifByteType((i & 3) * 85)};
  }
  testing::GifFrame frame{
      0, 0, int(raster.width()), int(raster.height()), false, NO_TRANSPARENT_COLOR, {}};
  for (std::uint32_t y = 0; y < raster.height(); ++y) {
    for (std::uint32_t x = 0; x < raster.width(); ++x) {
      const std::uint8_t* p = raster.Row(y) + x * 4;
      frame.indexes.push_back(GifPixelType((p[2] >> 5) << 5 | (p[1] >> 5) << 2 | p[0] >> 6));
    }
  }
  return testing::EncodeGIF(frame.width, frame.height, {frame}, colours);
}

// ---- hashes of results, taken in place -------------------------------------------------------

std::uint64_t HashRaster(const Raster& raster, std::uint64_t hash = kHashStart) {
  const std::uint32_t head[3] = {raster.width(), raster.height(), raster.bitmap_info()};
  hash = HashBytes(hash, head, sizeof(head));
  const std::size_t row = std::size_t{raster.width()} * (raster.bits_per_pixel() / 8);
  for (std::uint32_t y = 0; y < raster.height(); ++y) hash = HashBytes(hash, raster.Row(y), row);
  return hash;
}

SweepRun HashImage(const ImageRef& image) {
  if (image == nullptr) return SweepRun::Refused("null (the contract gives no reason)");
  if (image->raster() == nullptr) return SweepRun::Right(kHashStart);
  const double facts[2] = {image->scale(), double(image->orientation())};
  return SweepRun::Right(HashRaster(*image->raster(), HashBytes(kHashStart, facts, sizeof(facts))));
}

SweepRun FromImageResult(const Result<ImageRef>& read) {
  if (!read) return SweepRun::Refused(read.error().message);
  return HashImage(*read);
}

SweepRun FromRasterResult(const Result<RasterRef>& read) {
  if (!read) return SweepRun::Refused(read.error().message);
  return SweepRun::Right(HashRaster(**read));
}

// The same for any order of the entries: tables hash their keys with a per-process seed.
std::uint64_t HashTable(const platform::StringsTable& table) {
  std::uint64_t sum = table.size();
  for (const auto& [key, value] : table) {
    const std::uint64_t k = HashBytes(kHashStart, key.data(), key.size() * 2);
    sum += HashBytes(k, value.data(), value.size() * 2) * 0x9E3779B97F4A7C15ull;
  }
  return sum;
}

// ---- the archived record ---------------------------------------------------------------------

class SweepRecord : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "SweepRecord";
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeInt64("ticket", ticket);
    coder.EncodeString("symbol", symbol);
    coder.EncodeData("blob", blob);
    coder.EncodeValue("fills", fills);
  }
  static platform::CodableRef Decode(platform::KeyedUnarchiver& coder) {
    auto record = std::make_shared<SweepRecord>();
    record->ticket = coder.DecodeInt64("ticket").value_or(-1);
    record->symbol = coder.DecodeString("symbol").value_or(u"");
    record->blob = coder.DecodeData("blob").value_or(Data{});
    if (auto fills = coder.DecodeValue("fills")) record->fills = std::move(*fills);
    return record;
  }

  std::int64_t ticket = 0;
  String symbol;
  Data blob;
  platform::CodedValue fills;
};

bool RegisterRecord() {
  static const bool registered =
      platform::RegisterCodableClass(SweepRecord::kArchiveClassName, {}, SweepRecord::Decode);
  return registered;
}

std::uint64_t HashRecord(const SweepRecord& record) {
  std::uint64_t hash = HashBytes(kHashStart, &record.ticket, sizeof(record.ticket));
  hash = HashBytes(hash, record.symbol.data(), record.symbol.size() * 2);
  hash = HashBytes(hash, record.blob.data(), record.blob.size());
  if (const auto* fills = record.fills.Get<platform::CodedArray>()) {
    for (const platform::CodedValue& fill : *fills) {
      if (const auto* text = fill.Get<String>())
        hash = HashBytes(hash, text->data(), text->size() * 2);
      if (const auto* number = fill.Get<double>()) hash = HashBytes(hash, number, sizeof(*number));
    }
  }
  return hash;
}

// ---- the rows ----------------------------------------------------------------------------------

std::string InputDir() {
  const char* dir = std::getenv(testing::kSweepDirVariable);
  return dir != nullptr ? dir : "";
}

Data ReadInput(const std::string& name) { return testing::FileBytes(InputDir() + "/" + name); }

ImageRef InputImage(const char* name, platform::ImageOrientation orientation) {
  const Result<ImageRef> read = platform::ReadImage(ReadInput(name));
  if (!read) return nullptr;
  return Image::Make((*read)->raster(), 1.0, orientation);
}

using Operation = std::function<SweepRun()>;

// For inputs that are whole: a refusal for anything but memory running out is a wrong result.
SweepRun RefusedForMemory(const platform::Error& error) {
  if (error.message != "memory ran out" && error.message != "out of memory") {
    return SweepRun::Refused("");
  }
  return SweepRun::Refused(error.message);
}

// A strings table's hash; whole inputs, so only memory running out may refuse them.
SweepRun FromTable(const Result<platform::StringsTable>& table) {
  if (!table) return RefusedForMemory(table.error());
  return SweepRun::Right(HashTable(*table));
}

struct Row {
  const char* name;
  // Makes the row's input in the child, before the limit, and returns the operation; an empty
  // function when the input cannot be made.
  std::function<Operation()> make;
  // The file the row needs; a row whose file the parent could not make is skipped.
  const char* input = nullptr;
};

// A row that reads `file` into memory before the limit and runs `op` on its bytes under it.
Row BytesRow(const char* name, const char* file, std::function<SweepRun(const Data&)> op) {
  return {name, [=] { return Operation([bytes = ReadInput(file), op] { return op(bytes); }); },
          file};
}

// A row that runs `op` on the path of `file`, which it opens and reads under the limit.
Row PathRow(const char* name, const char* file, std::function<SweepRun(const std::string&)> op) {
  return {name,
          [=] { return Operation([path = InputDir() + "/" + file, op] { return op(path); }); },
          file};
}

// A row that reads the picture `file` from its bytes with `options`.
Row ReadRow(const char* name, const char* file, ReadOptions options = {}) {
  return BytesRow(name, file, [options](const Data& bytes) {
    return FromImageResult(platform::ReadImage(bytes, options));
  });
}

// The same from the picture's file.
Row ReadFileRow(const char* name, const char* file, ReadOptions options = {}) {
  return PathRow(name, file, [options](const std::string& path) {
    return FromImageResult(platform::ReadImageFile(path, options));
  });
}

// A row that draws the picture `file`, shown with `orientation`, into a new image by `draw`.
Row DrawRow(const char* name, const char* file, platform::ImageOrientation orientation,
            std::function<ImageRef(const ImageRef&)> draw) {
  return {name,
          [=] {
            ImageRef picture = InputImage(file, orientation);
            if (picture == nullptr) return Operation();
            return Operation([picture, draw] { return HashImage(draw(picture)); });
          },
          file};
}

const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      ReadRow("png", "picture.png"),
      ReadRow("png reduced", "picture.png", {600, 600, ReadFit::kInside}),
      ReadFileRow("png file", "picture.png"),
      ReadRow("png interlaced reduced", "interlaced.png", {500, 500, ReadFit::kCover}),
      BytesRow("png raster", "picture.png",
               [](const Data& bytes) { return FromRasterResult(platform::ReadPNG(bytes)); }),
      ReadRow("jpeg", "picture.jpg"),
      ReadFileRow("jpeg file reduced", "picture.jpg", {300, 300, ReadFit::kCover}),
      BytesRow("jpeg raster reduced", "picture.jpg",
               [](const Data& bytes) {
                 return FromRasterResult(platform::ReadJPEG(bytes, {700, 500}));
               }),
      ReadRow("webp", "picture.webp"),
      ReadRow("webp reduced", "picture.webp", {400, 400}),
      ReadRow("gif", "picture.gif"),
      ReadRow("heic", "picture.heic"),
      ReadRow("avif", "picture.avif"),
      {"png encode",
       [] {
         return Operation([raster = testing::TestPicture(kWidth / 2, kHeight / 2, true)] {
           const Result<Data> file = platform::TryEncodePNG(*raster);
           if (!file) return SweepRun::Refused(file.error().message);
           return SweepRun::Right(HashBytes(kHashStart, file->data(), file->size()));
         });
       }},
      {"records",
       [] {
         std::optional<platform::FileHandle> file = platform::FileHandle::Open(
             InputDir() + "/records.bin", platform::FileHandle::Mode::kRead);
         if (!file) return Operation();
         auto shared = std::make_shared<platform::FileHandle>(std::move(*file));
         auto array = std::make_shared<TArray<std::uint64_t>>();
         return Operation([shared, array] {
           shared->Seek(0);
           const Result<std::uint32_t> count = array->TryRead(*shared, 0xFFFFFFFFu);
           if (!count) return SweepRun::Refused(count.error().message);
           return SweepRun::Right(HashBytes(*count, array->Data(), array->Size()));
         });
       },
       "records.bin"},
      // The record's class is registered when the child starts, before the limit.
      BytesRow("keyed archive", "archive.bin",
               [](const Data& bytes) {
                 const Result<platform::CodableRef> root =
                     platform::TryUnarchiveRootObject(bytes, SweepRecord::kArchiveClassName);
                 if (!root) return SweepRun::Refused(root.error().message);
                 const auto* record = dynamic_cast<const SweepRecord*>(root->get());
                 if (record == nullptr) return SweepRun::Refused("");  // another class: wrong
                 return SweepRun::Right(HashRecord(*record));
               }),
      BytesRow("property list check", "table.plist",
               [](const Data& bytes) {
                 const Result<platform::PropertyListShape> shape =
                     platform::CheckBinaryPropertyList(bytes);
                 if (!shape) return SweepRun::Refused(shape.error().message);
                 const std::uint64_t facts[3] = {shape->objects, shape->expanded_bytes,
                                                 std::uint64_t(shape->depth)};
                 return SweepRun::Right(HashBytes(kHashStart, facts, sizeof(facts)));
               }),
      BytesRow("strings table, property list", "table.plist",
               [](const Data& bytes) { return FromTable(platform::LoadStringsTable(bytes)); }),
      PathRow(
          "strings table, text", "table.strings",
          [](const std::string& path) { return FromTable(platform::LoadStringsTableFile(path)); }),
      {"shared-mime-info",
       [] {
         const std::vector<std::string> dirs = {InputDir() + "/share"};
         return Operation([dirs] {
           const std::shared_ptr<const platform::TypeDatabase> db =
               platform::TypeDatabase::WithSharedMimeInfo(dirs, nullptr);
           // Null is the contract's word for memory running out; a database with types
           // missing is a wrong result (below).
           if (db == nullptr) return SweepRun::Refused("null: memory ran out");
           std::uint64_t hash = kHashStart;
           for (const std::u16string_view tag : {u"sw7", u"sw1234", u"sw4999", u"png"}) {
             const std::optional<String> type =
                 db->PreferredIdentifierForTag(platform::TagClass::kFilenameExtension, tag);
             if (!type) return SweepRun::Refused("");  // a tag that is there: wrong
             hash = HashBytes(hash, type->data(), type->size() * 2);
           }
           return SweepRun::Right(hash);
         });
       },
       "share/mime/globs2"},
      {"initials avatar",
       [] {
         // The fonts are found once per process, as an application has done long before: the
         // sweep is of the avatar's drawing, at a size the engine has not met, so that each step
         // matches the font again. fontconfig's matching writes through an allocation that
         // failed, on threads of Pango's own: under a limit the text code starts only with
         // room for it (and refuses below), and returns once those threads are done, so that
         // the avatar's surface cannot take what they need. (Pango's thread itself comes from GLib,
         // which stops the process when it cannot start one; the steps' threads reuse stacks the C
         // library kept from the threads below, so that is not what is swept.)
         if (Avatar::AvatarLogin(u"jdoe", u"John", u"Doe", {40, 40}, Avatar::kClipNone) ==
             nullptr) {
           return Operation();
         }
         // Pango's threads end just after their work: the steps are forked once they have.
         for (int wait = 0; wait < 500 && testing::internal::ThreadCount() > 1; ++wait) {
           ::usleep(10'000);
         }
         return Operation([] {
           return HashImage(
               Avatar::AvatarLogin(u"jdoe", u"John", u"Doe", {900, 900}, Avatar::kClipCircle));
         });
       },
       nullptr},
      DrawRow("picture avatar", "small.jpg", platform::kOrientationRight,
              [colour = platform::Color::RGB(0.2, 0.4, 0.6, 1)](const ImageRef& picture) {
                return Avatar::Avatar(picture, Avatar::kModeFill, colour, {700, 500},
                                      Avatar::kClipRounded);
              }),
      DrawRow("resize oriented", "small.png", platform::kOrientationLeftMirrored,
              [](const ImageRef& picture) {
                return Resize::resizedImage(*picture, {600, 800}, 3);
              }),
      DrawRow("resize enlarged", "small.jpg", platform::kOrientationUp,
              [](const ImageRef& picture) {
                return Resize::resizedImage(*picture, {1400, 1000}, 3);
              }),
      {"resample oriented",
       [] {
         RasterRef source = testing::TestPicture(kWidth, kHeight, true);
         auto target = std::make_shared<std::vector<std::uint8_t>>(std::size_t{900} * 1200 * 4);
         return Operation([source, target] {
           const PixelLayout layout{900, 1200, 900 * 4, platform::kWorkingBitmapInfo,
                                    platform::ColorSpace::kRGB};
           if (!platform::ResampleOriented(source->view(), {layout, target->data()},
                                           platform::kOrientationRight,
                                           platform::EnlargeFilter::kCubic)) {
             return SweepRun::Refused("false (the contract gives no reason)");
           }
           return SweepRun::Right(HashBytes(kHashStart, target->data(), target->size()));
         });
       }},
      {"compress to jpeg",
       [] {
         ImageRef picture = InputImage("small.png", platform::kOrientationDown);
         if (picture == nullptr) return Operation();
         return Operation([picture] {
           const std::optional<Data> file = Resize::compressToJPEG(*picture, 0.8, 700, nullptr);
           if (!file) return SweepRun::Refused("nullopt (the contract gives no reason)");
           return SweepRun::Right(HashBytes(kHashStart, file->data(), file->size()));
         });
       },
       "small.png"},
      DrawRow("light effect", "small.jpg", platform::kOrientationUp,
              &UIImageEffects::imageByApplyingLightEffectToImage),
      {"blur with mask and tint",
       [] {
         ImageRef picture = InputImage("small.png", platform::kOrientationRight);
         ImageRef mask = InputImage("interlaced.png", platform::kOrientationUp);
         if (picture == nullptr || mask == nullptr) return Operation();
         return Operation([picture, mask, tint = platform::Color::RGB(0.9, 0.1, 0.3, 0.5)] {
           return HashImage(
               UIImageEffects::imageByApplyingBlurToImage(picture, 12, tint, 1.8, mask));
         });
       },
       "small.png"},
  };
  return rows;
}

// The child: the row the parent named, "nothing" for the baseline.
[[maybe_unused]] const bool kSweepChild = testing::ChildProcess(kChild, [] {
  const char* name = std::getenv(testing::kSweepRowVariable);
  if (name == nullptr) return testing::kSweepNoInput;
  // Avatars and effects draw at the screen's scale: one scale whatever the machine says.
  const platform::ScopedScreenOverrides scale(platform::ScreenOverrides{.scale = 1.0});
  RegisterRecord();
  if (std::string_view(name) == "nothing") {
    return testing::RunSweep([] { return SweepRun::Right(kHashStart); });
  }
  for (const Row& row : Rows()) {
    if (row.name != std::string_view(name)) continue;
    Operation op = row.make();
    if (!op) return testing::kSweepNoInput;
    return testing::RunSweep(op);
  }
  return testing::kSweepNoInput;
});

// ---- the parent --------------------------------------------------------------------------------

void WriteFile(const std::string& path, const Data& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Data Bytes(std::string_view text) { return Data(text.begin(), text.end()); }

// Writes every row's input file into `dir`.
void MakeInputs(const std::string& dir) {
  const RasterRef translucent = testing::TestPicture(kWidth, kHeight, true);
  const RasterRef opaque = testing::TestPicture(kWidth, kHeight, false);
  WriteFile(dir + "/picture.png", platform::EncodePNG(*translucent).value_or(Data{}));
  WriteFile(dir + "/interlaced.png",
            testing::InterlacedPNG(*testing::TestPicture(1200, 900, false)));
  // The drawing rows' pictures: a megapixel, as their work is several passes over it.
  const RasterRef small = testing::TestPicture(kWidth / 2, kHeight / 2, true);
  WriteFile(dir + "/small.png", platform::EncodePNG(*small).value_or(Data{}));
  WriteFile(dir + "/small.jpg", platform::EncodeJPEG(*small, 0.85).value_or(Data{}));
  WriteFile(dir + "/picture.jpg", platform::EncodeJPEG(*opaque, 0.85).value_or(Data{}));
  WriteFile(dir + "/picture.webp",
            testing::EncodeWebP(testing::StraightRGBA(*translucent), kWidth, kHeight, false, 80));
  WriteFile(dir + "/picture.gif", EncodeGIF(*opaque));
#if KELVANE_WITH_HEIF
  // The fastest settings the encoders have: the file is an input, not a subject.
  const Data heif = testing::StraightRGBA(*testing::TestPicture(kHeifWidth, kHeifHeight, false));
  for (const auto& [name, format] : {std::pair{"picture.heic", heif_compression_HEVC},
                                     std::pair{"picture.avif", heif_compression_AV1}}) {
    const Data file = testing::EncodeHEIF(format, heif, kHeifWidth, kHeifHeight, 1, 70, true);
    if (!file.empty()) WriteFile(dir + "/" + name, file);
  }
#endif

  // A record of a million 8-byte items.
  TArray<std::uint64_t> records;
  for (std::uint64_t i = 0; i < 1'000'000; ++i) (void)records.Add(i * 0x9E3779B97F4A7C15ull);
  Data record_bytes;
  records.Save(&record_bytes);
  WriteFile(dir + "/records.bin", record_bytes);

  // An archived record with a large blob and many small values.
  RegisterRecord();
  SweepRecord record;
  record.ticket = 4711;
  record.symbol = u"EURUSD";
  record.blob = testing::RandomBytes(3u << 20, 3);
  platform::CodedArray fills;
  for (int i = 0; i < 20000; ++i) {
    fills.emplace_back(double(i) * 0.25);
    platform::CodedValue& fill = fills.emplace_back();
    fill.value.emplace<String>(u"fill ");
    for (const char c : std::to_string(i)) std::get<String>(fill.value).push_back(char16_t(c));
  }
  record.fills = std::move(fills);
  WriteFile(dir + "/archive.bin", platform::ArchiveRootObject(record).value_or(Data{}));

  // A strings table of 10000 entries, as a binary property list and as text.
  plist_t dict = plist_new_dict();
  std::string text;
  for (int i = 0; i < 10000; ++i) {
    const std::string key = "key." + std::to_string(i);
    const std::string value = "The value of entry " + std::to_string(i) + " \xC3\xA9t\xC3\xA9";
    plist_dict_set_item(dict, key.c_str(), plist_new_string(value.c_str()));
    text += "\"" + key + "\" = \"" + value + "\";\n";
  }
  WriteFile(dir + "/table.plist", testing::WrittenByLibplist(dict));
  WriteFile(dir + "/table.strings", Bytes(text));

  // A shared-mime-info folder of 5000 globs.
  std::string globs = "# globs2\n";
  for (int i = 0; i < 5000; ++i) {
    globs += "50:application/x-sweep-" + std::to_string(i) + ":*.sw" + std::to_string(i) + "\n";
  }
  WriteFile(dir + "/share/mime/globs2", Bytes(globs));
  WriteFile(dir + "/share/mime/aliases",
            Bytes("application/x-sweep-alias application/x-sweep-7\n"));
  WriteFile(dir + "/share/mime/subclasses",
            Bytes("application/x-sweep-7 application/octet-stream\n"));
}

std::string Mebibytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f MiB", double(bytes) / (1 << 20));
  return text;
}

std::string Describe(int status) {
  // By the statuses' numbers, kSweepRight to kSweepNoInput.
  static const char* const kNames[] = {"the right result", "refused with a reason", "a leak",
                                       "a wrong result", "no input"};
  static_assert(testing::kSweepNoInput == 4);
  if (status >= 0 && status <= testing::kSweepNoInput) return kNames[status];
  return status > 128 ? "signal " + std::to_string(status - 128)
                      : "exit status " + std::to_string(status);
}

TEST(MemorySweep, EveryLoaderAndPicturePathRefusesOrSucceedsUnderEveryLimit) {
  if constexpr (testing::kUnderSanitizer) {
    GTEST_SKIP() << "the sanitizers reserve terabytes of address space: an address-space "
                    "limit cannot be set under them";
  }
  const testing::TempDir dir;
  const std::string folder = dir.path().string();
  MakeInputs(folder);

  int status = 0;
  const std::vector<testing::SweepStep> baseline =
      testing::RunSweepChild(kChild, "nothing", folder, &status);
  ASSERT_FALSE(baseline.empty()) << Describe(status);
  std::printf("[ sweep    ] the child maps %s before its operation\n",
              Mebibytes(baseline[0].mapped).c_str());

  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    if (row.input != nullptr && !std::filesystem::exists(folder + "/" + row.input)) {
      std::printf("[ sweep    ] %s: skipped, the engines cannot write %s here\n", row.name,
                  row.input);
      continue;
    }
    const std::vector<testing::SweepStep> steps =
        testing::RunSweepChild(kChild, row.name, folder, &status);

    ASSERT_FALSE(steps.empty()) << "the child could not run the sweep: " << Describe(status);
    const testing::SweepStep& unlimited = steps[0];
    ASSERT_EQ(unlimited.status, testing::kSweepRight)
        << "without a limit: " << Describe(unlimited.status) << " " << unlimited.reason
        << " (bytes leaked per run: " << unlimited.leaked << ")";
    EXPECT_EQ(steps.size(), std::size_t{testing::kSweepSteps} + 1);
    std::string limits;
    std::string refusal;
    for (std::size_t i = 1; i < steps.size(); ++i) {
      const testing::SweepStep& step = steps[i];
      const bool refused = step.status == testing::kSweepRefused;
      char budget[24];
      std::snprintf(budget, sizeof(budget), " %.1f%s", double(step.budget) / (1 << 20),
                    refused ? "r" : "");
      limits += budget;
      if (refused && refusal.empty()) refusal = step.reason;
      EXPECT_THAT(step.status, ::testing::AnyOf(testing::kSweepRight, testing::kSweepRefused))
          << "with " << Mebibytes(step.budget) << " over " << Mebibytes(step.mapped) << ": "
          << Describe(step.status) << " " << step.reason
          << " (bytes leaked per run: " << step.leaked << ")";
    }
    // The limits above what was mapped, "r" after those under which some run was refused.
    std::printf("[ sweep    ] %s: takes %s; limits +[%s ] MiB; \"%s\"\n", row.name,
                Mebibytes(unlimited.peak - unlimited.mapped).c_str(), limits.c_str(),
                refusal.c_str());
    std::fflush(stdout);
  }
}

}  // namespace
}  // namespace kelvane
