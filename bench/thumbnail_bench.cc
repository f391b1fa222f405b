// SPDX-License-Identifier: Apache-2.0
// Pictures from phones, against libvips' thumbnail (the fastest thumbnailer there is): the same
// JPEG file read to the same pixel size, shrink-on-load on both sides, decode included and no
// encode, on one thread (KeepOnThisThread; VIPS_CONCURRENCY 1) and on every core.
//   - thumbnails of a 6000 x 4000 JPEG to 256 and to 1000 pixels on the longer side;
//   - a picture avatar of 128 points at scale 3 (384 pixels, fill, circle clip) from a
//     4032 x 3024 JPEG, against vips_thumbnail cropped to 384 x 384 (which draws no clip);
//   - the peak memory of each job in a process of its own (its resident set's high-water
//     mark), ours against libvips';
//   - WebP and HEIC decoding against the bare libraries, when the library reads them.
// The files are made at start-up in a scratch folder with the library's own JPEG encoder
// (quality 0.9, smooth gradients with grain, as a camera gives) and removed at exit.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vips/vips.h>
#include <webp/decode.h>
#include <webp/encode.h>
#if KELVANE_WITH_HEIF
#include <libheif/heif.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/photo_pixels.h"
#include "bench/ratio.h"
#include "kelvane/colours/avatar.h"
#include "kelvane/platform/codecs/heif.h"
#include "kelvane/platform/codecs/jpeg.h"
#include "kelvane/platform/codecs/webp.h"
#include "kelvane/platform/device/screen.h"
#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/graphics/image_file.h"

extern char** environ;

namespace {

using namespace kelvane;

struct Files {
  std::filesystem::path dir;
  std::string large, phone;  // 6000 x 4000 and 4032 x 3024 JPEGs
};

void WriteJPEG(const std::string& path, int width, int height) {
  std::vector<std::uint8_t> pixels = bench::PhotoPixels(width, height);
  for (std::size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 255;
  const platform::RasterRef raster = platform::Raster::Make(
      platform::PixelLayout::Working(width, height, std::size_t(width) * 4, true),
      std::move(pixels));
  const auto data = platform::EncodeJPEG(*raster, 0.9);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data->data()), std::streamsize(data->size()));
}

// Set in a child of BM_PeakMemory: the folder of the parent's files, which the child only reads.
const char* g_parent_dir = nullptr;

const Files& TheFiles() {
  static const Files files = [] {
    Files f;
    f.dir = g_parent_dir != nullptr ? std::filesystem::path(g_parent_dir)
                                    : std::filesystem::temp_directory_path() /
                                          ("kelvane-thumbnail-bench-" + std::to_string(getpid()));
    f.large = (f.dir / "large.jpg").string();
    f.phone = (f.dir / "phone.jpg").string();
    if (g_parent_dir == nullptr) {
      std::filesystem::create_directories(f.dir);
      WriteJPEG(f.large, 6000, 4000);
      WriteJPEG(f.phone, 4032, 3024);
      std::atexit([] { std::filesystem::remove_all(TheFiles().dir); });
    }
    return f;
  }();
  return files;
}

void StartVips(bool one_thread) {
  static const bool started = [] {
    if (VIPS_INIT("thumbnail_bench") != 0) std::abort();
    vips_cache_set_max(0);  // every iteration does the work again
    return true;
  }();
  (void)started;
  vips_concurrency_set(one_thread ? 1 : 0);
}

// ---- the jobs, each once -------------------------------------------------------------------

bool OursThumbnail(const std::string& path, std::uint32_t side) {
  platform::Result<platform::ImageRef> image =
      platform::ReadImageFile(path, {side, side, platform::ReadFit::kInside});
  benchmark::DoNotOptimize(image);
  return image.ok();
}

bool VipsThumbnail(const std::string& path, int side, bool crop) {
  VipsImage* out = nullptr;
  const int failed = crop ? vips_thumbnail(path.c_str(), &out, side, "height", side, "crop",
                                           VIPS_INTERESTING_CENTRE, nullptr)
                          : vips_thumbnail(path.c_str(), &out, side, nullptr);
  if (failed != 0) return false;
  std::size_t size = 0;
  void* pixels = vips_image_write_to_memory(out, &size);  // the lazy pipeline runs here
  benchmark::DoNotOptimize(pixels);
  g_free(pixels);
  g_object_unref(out);
  return pixels != nullptr;
}

bool OursAvatar(const std::string& path) {
  static const platform::ScopedScreenOverrides scale3(platform::ScreenOverrides{.scale = 3.0});
  platform::Result<platform::ImageRef> picture =
      platform::ReadImageFile(path, {384, 384, platform::ReadFit::kCover});
  if (!picture) return false;
  platform::ImageRef avatar =
      Avatar::Avatar(*picture, Avatar::kModeFill, nullptr, {128, 128}, Avatar::kClipCircle);
  benchmark::DoNotOptimize(avatar);
  return avatar != nullptr;
}

bool RunJob(const std::string& job) {
  const Files& f = TheFiles();
  if (job == "ours-256") return OursThumbnail(f.large, 256);
  if (job == "ours-1000") return OursThumbnail(f.large, 1000);
  if (job == "ours-avatar") return OursAvatar(f.phone);
  StartVips(true);
  if (job == "vips-256") return VipsThumbnail(f.large, 256, false);
  if (job == "vips-1000") return VipsThumbnail(f.large, 1000, false);
  if (job == "vips-avatar") return VipsThumbnail(f.phone, 384, true);
  return false;
}

const char* const kJobs[] = {"ours-256",  "vips-256",    "ours-1000",
                             "vips-1000", "ours-avatar", "vips-avatar"};

// ---- time ----------------------------------------------------------------------------------

// range(0): 1 one thread, 0 every core.
void BM_ThumbnailOurs(benchmark::State& state) {
  const std::uint32_t side = static_cast<std::uint32_t>(state.range(1));
  const std::string& path = TheFiles().large;
  std::optional<platform::KeepOnThisThread> keep;
  if (state.range(0) == 1) keep.emplace();
  for (auto _ : state) {
    if (!OursThumbnail(path, side)) state.SkipWithError("read failed");
  }
}

void BM_ThumbnailVips(benchmark::State& state) {
  const std::string& path = TheFiles().large;
  StartVips(state.range(0) == 1);
  for (auto _ : state) {
    if (!VipsThumbnail(path, static_cast<int>(state.range(1)), false)) {
      state.SkipWithError(vips_error_buffer());
    }
  }
}

void BM_AvatarOurs(benchmark::State& state) {
  std::optional<platform::KeepOnThisThread> keep;
  if (state.range(0) == 1) keep.emplace();
  for (auto _ : state) {
    if (!OursAvatar(TheFiles().phone)) state.SkipWithError("avatar failed");
  }
}

void BM_AvatarVips(benchmark::State& state) {
  StartVips(state.range(0) == 1);
  for (auto _ : state) {
    if (!VipsThumbnail(TheFiles().phone, 384, true)) state.SkipWithError(vips_error_buffer());
  }
}

// ---- peak memory ---------------------------------------------------------------------------

// The job once in a child process (this program again, with --job): the high-water mark of its
// resident set in kilobytes, as the counter peak_kb. The child reads it from /proc (VmHWM, its
// own address space's), as the maximum that wait4 reports also holds the parent's from before
// the exec.
void BM_PeakMemory(benchmark::State& state) {
  const char* job = kJobs[state.range(0)];
  const Files& f = TheFiles();
  long peak = 0;
  for (auto _ : state) {
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    std::string flag = "--job", name = job, dir = f.dir.string();
    char* argv[] = {self.data(), flag.data(), name.data(), dir.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, environ) != 0) {
      state.SkipWithError("spawn failed");
      break;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the job failed");
      break;
    }
    std::ifstream(f.dir / (name + ".peak")) >> peak;
  }
  state.counters["peak_kb"] = static_cast<double>(peak);
}

// ---- WebP and HEIC decoding -------------------------------------------------------------------

// A 2048 x 1536 photo as the engines' own encoders write it at quality 90: `heic` false gives
// lossy WebP, true HEIC (empty when this build reads no HEIF).
const std::vector<std::uint8_t>& Encoded(bool heic) {
  static const auto encode = [](bool as_heic) {
    constexpr int w = 2048, h = 1536;
    const std::vector<std::uint8_t> bgra = bench::PhotoPixels(w, h);
    std::vector<std::uint8_t> file;
    if (!as_heic) {
      std::uint8_t* out = nullptr;
      const std::size_t size = WebPEncodeBGRA(bgra.data(), w, h, w * 4, 90, &out);
      file.assign(out, out + size);
      WebPFree(out);
      return file;
    }
#if KELVANE_WITH_HEIF
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_image_create(w, h, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, w, h, 8);
    int stride = 0;
    std::uint8_t* rgb = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const std::uint8_t* p = &bgra[(std::size_t(y) * w + x) * 4];
        std::uint8_t* q = rgb + std::size_t(y) * stride + x * 3;
        q[0] = p[2];
        q[1] = p[1];
        q[2] = p[0];
      }
    }
    heif_encoder_set_lossy_quality(encoder, 90);
    heif_context_encode_image(context, image, encoder, nullptr, nullptr);
    heif_writer writer{1, [](heif_context*, const void* data, size_t size, void* to) {
                         auto* bytes = static_cast<const std::uint8_t*>(data);
                         static_cast<std::vector<std::uint8_t>*>(to)->assign(bytes, bytes + size);
                         return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    heif_context_write(context, &writer, &file);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
#endif
    return file;
  };
  if (heic) {
    static const std::vector<std::uint8_t> file = encode(true);
    return file;
  }
  static const std::vector<std::uint8_t> file = encode(false);
  return file;
}

void BM_WebPOurs(benchmark::State& state) {
  const std::vector<std::uint8_t>& file = Encoded(false);
  for (auto _ : state) {
    platform::Result<platform::RasterRef> raster = platform::ReadWebP(file);
    if (!raster) state.SkipWithError(raster.error().message.c_str());
    benchmark::DoNotOptimize(raster);
  }
}

// The bare library: its own allocation of the pixels, B, G, R, A as ours.
void BM_WebPLibwebp(benchmark::State& state) {
  const std::vector<std::uint8_t>& file = Encoded(false);
  for (auto _ : state) {
    int w = 0, h = 0;
    std::uint8_t* pixels = WebPDecodeBGRA(file.data(), file.size(), &w, &h);
    if (pixels == nullptr) state.SkipWithError("libwebp refused the file");
    benchmark::DoNotOptimize(pixels);
    WebPFree(pixels);
  }
}

#if KELVANE_WITH_HEIF
void BM_HEICOurs(benchmark::State& state) {
  const std::vector<std::uint8_t>& file = Encoded(true);
  for (auto _ : state) {
    platform::Result<platform::RasterRef> raster = platform::ReadHEIF(file);
    if (!raster) state.SkipWithError(raster.error().message.c_str());
    benchmark::DoNotOptimize(raster);
  }
}

// The bare library: the primary picture decoded to interleaved RGB.
void BM_HEICLibheif(benchmark::State& state) {
  const std::vector<std::uint8_t>& file = Encoded(true);
  for (auto _ : state) {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    heif_context_read_from_memory_without_copy(context, file.data(), file.size(), nullptr);
    heif_context_get_primary_image_handle(context, &handle);
    const heif_error error = heif_decode_image(handle, &image, heif_colorspace_RGB,
                                               heif_chroma_interleaved_RGB, nullptr);
    if (error.code != heif_error_Ok) state.SkipWithError(error.message);
    benchmark::DoNotOptimize(image);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
  }
}
BENCHMARK(BM_HEICOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HEICLibheif)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace

BENCHMARK(BM_ThumbnailOurs)
    ->ArgsProduct({{1, 0}, {256, 1000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ThumbnailVips)
    ->ArgsProduct({{1, 0}, {256, 1000}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_AvatarOurs)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AvatarVips)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WebPOurs)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WebPLibwebp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PeakMemory)
    ->DenseRange(0, 5)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--job") == 0) {
    // A child of BM_PeakMemory, on one thread as libvips' is.
    g_parent_dir = argv[3];
    const kelvane::platform::KeepOnThisThread keep;
    if (!RunJob(argv[2])) return 1;
    std::ifstream status("/proc/self/status");
    long peak = 0;
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmHWM:", 0) == 0) peak = std::strtol(line.c_str() + 6, nullptr, 10);
    }
    std::ofstream(std::filesystem::path(argv[3]) / (std::string(argv[2]) + ".peak")) << peak;
    return peak > 0 ? 0 : 1;
  }
  using kelvane::bench::Ratio;
  for (const char* threads : {"1", "0"}) {
    const std::string t = threads;
    const std::string where = t == "1" ? ", one thread" : ", every core";
    for (const char* side : {"256", "1000"}) {
      Ratio(std::string("thumbnail 6000 x 4000 JPEG to ") + side + where,
            "BM_ThumbnailOurs/" + t + "/" + side + "/real_time",
            "BM_ThumbnailVips/" + t + "/" + side + "/real_time", "<= 0.7");
    }
    Ratio("avatar 384 px fill, circle, from 4032 x 3024" + where,
          "BM_AvatarOurs/" + t + "/real_time", "BM_AvatarVips/" + t + "/real_time", "<= 0.7");
  }
  const char* const memory_labels[] = {"thumbnail to 256", "thumbnail to 1000", "avatar 384 px"};
  for (int i = 0; i < 3; ++i) {
    Ratio(std::string(memory_labels[i]) + ", peak memory",
          "BM_PeakMemory/" + std::to_string(2 * i) + "/iterations:1/real_time",
          "BM_PeakMemory/" + std::to_string(2 * i + 1) + "/iterations:1/real_time", "<= 1.0",
          "peak_kb");
  }
  Ratio("WebP 2048 x 1536 decode vs libwebp", "BM_WebPOurs/real_time", "BM_WebPLibwebp/real_time",
        "<= 1.05");
  Ratio("HEIC 2048 x 1536 decode vs libheif", "BM_HEICOurs/real_time", "BM_HEICLibheif/real_time",
        "<= 1.05");
  return kelvane::bench::Main(argc, argv);
}
