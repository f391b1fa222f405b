// SPDX-License-Identifier: Apache-2.0
#include "soak/soak_support.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>

namespace kelvane::soak {
namespace {

bool ParseDouble(const std::string& text, double* out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *out);
  return ec == std::errc() && ptr == end && std::isfinite(*out);
}

bool ParseUnsigned(const std::string& text, std::uint64_t* out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *out);
  return ec == std::errc() && ptr == end;
}

}  // namespace

std::string Usage() {
  return "usage: kelvane_soak [--seconds N] [--threads N] [--warmup N] [--max-growth PERCENT]\n"
         "                    [--seed N] [--trim] [--leak-kb-per-second N]\n"
         "  --seconds N        length of the run (60)\n"
         "  --threads N        worker threads (8)\n"
         "  --warmup N         seconds before the first memory sample (20% of the run, >= 5)\n"
         "  --max-growth P     RSS growth after the warm-up that fails the run, percent (2)\n"
         "  --seed N           of the workers' random choices\n"
         "  --trim             malloc_trim before the two samples the verdict compares\n"
         "  --leak-kb-per-second N  keep N KiB a second on purpose (a check of the verdict)\n";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& name = args[i];
    if (name == "--trim") {
      options.trim = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
      return std::nullopt;
    }
    const std::string& value = args[++i];
    double number = 0;
    std::uint64_t count = 0;
    bool good = false;
    if (name == "--seconds") {
      good = ParseDouble(value, &number) && number > 0;
      options.seconds = number;
    } else if (name == "--warmup") {
      good = ParseDouble(value, &number) && number > 0;
      options.warmup = number;
    } else if (name == "--max-growth") {
      good = ParseDouble(value, &number) && number >= 0;
      options.max_growth_percent = number;
    } else if (name == "--threads") {
      good = ParseUnsigned(value, &count) && count >= 1 && count <= 256;
      options.threads = static_cast<int>(count);
    } else if (name == "--seed") {
      good = ParseUnsigned(value, &options.seed);
    } else if (name == "--leak-kb-per-second") {
      good = ParseUnsigned(value, &count) && count <= (1u << 20);
      options.leak_kb_per_second = count;
    } else {
      *error = "unknown option " + name;
      return std::nullopt;
    }
    if (!good) {
      *error = "bad value for " + name + ": " + value;
      return std::nullopt;
    }
  }
  return options;
}

double WarmupSeconds(double seconds) noexcept { return std::max(5.0, seconds * 0.2); }

std::optional<std::uint64_t> ResidentBytes() noexcept {
  // statm: total program size, then resident pages.
  std::FILE* file = std::fopen("/proc/self/statm", "r");
  if (file == nullptr) return std::nullopt;
  unsigned long long size = 0, resident = 0;
  const int read = std::fscanf(file, "%llu %llu", &size, &resident);
  std::fclose(file);
  if (read != 2) return std::nullopt;
  return static_cast<std::uint64_t>(resident) * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

std::uint64_t HeapInUseBytes() noexcept {
  const struct mallinfo2 info = ::mallinfo2();
  return info.uordblks + info.hblkhd;
}

MemoryVerdict JudgeMemory(std::uint64_t warm, std::uint64_t final, std::uint64_t max,
                          double limit_percent) noexcept {
  MemoryVerdict verdict;
  verdict.warm = warm;
  verdict.final = final;
  verdict.max = std::max({max, warm, final});
  verdict.growth_percent =
      (static_cast<double>(final) - static_cast<double>(warm)) / static_cast<double>(warm) * 100.0;
  verdict.passed = verdict.growth_percent <= limit_percent;
  return verdict;
}

std::string MiB(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

}  // namespace kelvane::soak
