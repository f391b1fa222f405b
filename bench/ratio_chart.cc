// SPDX-License-Identifier: Apache-2.0
// bench/ratio_chart: draws every pair of a `make bench` run against its goal, as one PNG drawn
// with the library's own surfaces and text.
//
//   ratio_chart RATIOS OUT.png [SUBTITLE]
//
// RATIOS holds the lines the benchmark programs append (bench/ratio.h: program, label, ratio,
// goal, tab-separated). Each pair is a bar of ours / peer on a logarithmic axis from 1/32 to 4,
// green when within its goal ("<= N", or "throughput >= N" for 1 / N), red past it, with the goal
// as a tick; the pairs are grouped by program in the order they ran.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "kelvane/colours/color_cache.h"
#include "kelvane/platform/fonts/font.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_file.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/text/text_drawing.h"
#include "kelvane/text/utf8.h"

namespace {

using namespace kelvane;
using platform::Rect;

struct Pair {
  std::string program, label, goal_text;
  double ratio = 0;
  double goal = NAN;  // the bound of "<= N", not a number when the goal says none
};

std::vector<Pair> ReadPairs(const char* path) {
  std::ifstream in(path);
  std::vector<Pair> pairs;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    for (std::size_t start = 0;;) {
      const std::size_t tab = line.find('\t', start);
      fields.push_back(line.substr(start, tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    if (fields.size() != 4) continue;
    Pair pair{fields[0], fields[1], fields[3]};
    pair.ratio = std::strtod(fields[2].c_str(), nullptr);
    // "<= N" bounds the ratio; "throughput >= N" bounds it by 1 / N.
    const auto number_after = [&](const char* mark) -> double {
      const std::size_t at = pair.goal_text.find(mark);
      if (at == std::string::npos) return NAN;
      const char* from = pair.goal_text.c_str() + at + std::strlen(mark);
      char* end = nullptr;
      const double value = std::strtod(from, &end);
      return end != from ? value : NAN;
    };
    if (const double bound = number_after("<="); !std::isnan(bound)) {
      pair.goal = bound;
    } else if (const double least = number_after("throughput >="); least > 0) {
      pair.goal = 1 / least;
    }
    if (std::isfinite(pair.ratio) && pair.ratio > 0) pairs.push_back(pair);
  }
  return pairs;
}

constexpr double kWidth = 960, kMargin = 16, kLabelWidth = 430, kRow = 15, kHeader = 22;
constexpr double kAxisLeft = kMargin + kLabelWidth + 10, kAxisWidth = kWidth - kAxisLeft - 60;
constexpr double kLowest = -5, kHighest = 2;  // log2 of the axis ends, 1/32 and 4

double AxisX(double ratio) {
  const double at = std::clamp(std::log2(ratio), kLowest, kHighest);
  return kAxisLeft + (at - kLowest) / (kHighest - kLowest) * kAxisWidth;
}

void Text(const std::string& text, Rect rect, double points, std::uint32_t rgb, bool bold = false,
          int alignment = 0) {
  const platform::FontRef font =
      bold ? platform::Font::BoldSystem(points) : platform::Font::System(points);
  (void)NSTools::DrawInRect(StringFromUtf8(text).value_or(String()), rect, font,
                            Create::ColorForRGB(rgb),
                            /*lineBreakMode=*/4, alignment);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: ratio_chart RATIOS OUT.png [SUBTITLE]\n";
    return 2;
  }
  const std::vector<Pair> pairs = ReadPairs(argv[1]);
  if (pairs.empty()) {
    std::cerr << argv[1] << ": no measured pairs\n";
    return 1;
  }
  std::size_t groups = 0;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (i == 0 || pairs[i].program != pairs[i - 1].program) ++groups;
  }
  const double top = kMargin + 58;
  const double height = top + groups * kHeader + pairs.size() * kRow + 40;
  std::size_t within = 0, judged = 0;
  for (const Pair& p : pairs) {
    if (std::isnan(p.goal)) continue;
    ++judged;
    if (p.ratio <= p.goal) ++within;
  }

  const platform::ImageRenderer renderer({kWidth, height}, {2.0, true});
  const platform::ImageRef chart = renderer.Image([&](platform::GraphicsContext& c) {
    c.SetFillColor(Create::ColorForRGB(0xFFFFFF));
    c.FillRect({0, 0, kWidth, height});
    Text("Kelvane against its peers: ours / peer per pair (time, or peak memory where named)",
         {kMargin, kMargin, kWidth - 2 * kMargin, 18}, 14, 0x1B1F24, true);
    Text(std::to_string(within) + " of " + std::to_string(judged) +
             " pairs within their goal (tick); green within, red past it; logarithmic axis" +
             (argc > 3 ? std::string("; ") + argv[3] : std::string()),
         {kMargin, kMargin + 20, kWidth - 2 * kMargin, 14}, 10, 0x57606A);
    // The axis: a line at each power of two, 1 drawn darker.
    const double bottom = height - 34;
    for (int e = static_cast<int>(kLowest); e <= static_cast<int>(kHighest); ++e) {
      const double x = AxisX(std::ldexp(1.0, e));
      c.SetFillColor(Create::ColorForRGB(e == 0 ? 0x57606A : 0xD8DEE4));
      c.FillRect({x - (e == 0 ? 0.75 : 0.25), top - 6, e == 0 ? 1.5 : 0.5, bottom - top + 6});
      const std::string name = e >= 0 ? std::to_string(1 << e) : "1/" + std::to_string(1 << -e);
      Text(name, {x - 20, bottom + 4, 40, 12}, 9, 0x57606A, false, 1);
      Text(name, {x - 20, top - 20, 40, 12}, 9, 0x57606A, false, 1);
    }
    double y = top;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      const Pair& p = pairs[i];
      if (i == 0 || p.program != pairs[i - 1].program) {
        Text(p.program, {kMargin, y + 6, kLabelWidth, 14}, 11, 0x1B1F24, true);
        y += kHeader;
      }
      if (i % 2 == 0) {
        c.SetFillColor(Create::ColorForRGB(0xF4F6F8));
        c.FillRect({kMargin, y, kWidth - 2 * kMargin, kRow});
      }
      Text(p.label, {kMargin + 8, y + 2, kLabelWidth - 8, 12}, 9, 0x24292F);
      const bool judged_pair = !std::isnan(p.goal);
      const bool ok = judged_pair && p.ratio <= p.goal;
      const double end = AxisX(p.ratio);
      c.SetFillColor(Create::ColorForRGB(!judged_pair ? 0x8C959F : ok ? 0x2DA44E : 0xCF222E));
      c.FillRect({kAxisLeft, y + 3, std::max(1.0, end - kAxisLeft), kRow - 6});
      if (judged_pair) {
        const double g = AxisX(p.goal);
        c.SetFillColor(Create::ColorForRGB(0x1B1F24));
        c.FillRect({g - 1, y + 1, 2, kRow - 2});
      }
      char number[32];
      std::snprintf(number, sizeof number, "%.2f", p.ratio);
      Text(number, {end + 4, y + 2, 50, 12}, 9, ok || !judged_pair ? 0x24292F : 0xCF222E,
           judged_pair && !ok);
      y += kRow;
    }
  });
  if (chart == nullptr) {
    std::cerr << argv[2] << ": the chart could not be drawn\n";
    return 1;
  }
  const platform::Status written = platform::WritePNGFile(*chart, argv[2]);
  if (!written.ok()) {
    std::cerr << argv[2] << ": " << written.error().message << "\n";
    return 1;
  }
  std::cout << "wrote " << argv[2] << " (" << pairs.size() << " pairs, " << within << " of "
            << judged << " within their goal)\n";
  return 0;
}
