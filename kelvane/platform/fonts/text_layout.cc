// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/fonts/text_layout.h"

#include <cairo.h>
#include <fcntl.h>
#include <pango/pangocairo.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kelvane/platform/fonts/internal/checked_text.h"
#include "kelvane/platform/fonts/internal/font_access.h"
#include "kelvane/platform/fonts/internal/text_engine.h"
#include "kelvane/platform/graphics/context.h"
#include "kelvane/platform/graphics/image_surfaces.h"
#include "kelvane/platform/graphics/internal/cairo_access.h"
#include "kelvane/platform/graphics/internal/drawing_failed.h"

namespace kelvane::platform {
namespace {

constexpr double kScale = PANGO_SCALE;
constexpr double kDefaultPointSize = 12.0;

int ToPango(double points) {
  const double units = std::round(points * kScale);
  return units >= INT32_MAX ? INT32_MAX : units <= INT32_MIN ? INT32_MIN : static_cast<int>(units);
}

// Metrics not hinted and positions not rounded: a text measures the same at every scale, and
// what is measured is what is drawn. False when the options could not be set (memory ran out):
// a context with hinted metrics would measure other sizes.
bool SetUnhinted(PangoContext* context) {
  cairo_font_options_t* options = cairo_font_options_create();
  if (cairo_font_options_status(options) != CAIRO_STATUS_SUCCESS) return false;
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  pango_cairo_context_set_font_options(context, options);
  cairo_font_options_destroy(options);
  pango_context_set_round_glyph_positions(context, FALSE);
  // The context keeps a copy, which is Cairo's error object when copying failed.
  const cairo_font_options_t* kept = pango_cairo_context_get_font_options(context);
  return kept != nullptr &&
         cairo_font_options_status(const_cast<cairo_font_options_t*>(kept)) == CAIRO_STATUS_SUCCESS;
}

PangoContext* MakeContext(PangoFontMap* map) {
  PangoContext* context = pango_font_map_create_context(map);
  if (context != nullptr && !SetUnhinted(context)) {
    g_object_unref(context);
    return nullptr;
  }
  return context;
}

// One thread's engine objects. Pango's font maps are per thread already; the layouts are
// reused so that measuring allocates little. Objects that could not be made (memory ran out)
// are made again on the thread's next call, rather than the thread going on without text.
struct ThreadEngine {
  PangoContext* measuring = nullptr;
  PangoLayout* layout = nullptr;
  PangoContext* drawing = nullptr;
  std::string utf8;
  std::vector<std::uint32_t> offsets;  // UTF-16 index -> UTF-8 byte offset, one past the end too

  ThreadEngine() = default;
  ~ThreadEngine() {
    if (layout) g_object_unref(layout);
    if (measuring) g_object_unref(measuring);
    if (drawing) g_object_unref(drawing);
  }
  ThreadEngine(const ThreadEngine&) = delete;
  ThreadEngine& operator=(const ThreadEngine&) = delete;

  // Makes what is missing; true when everything is there.
  bool Ready() noexcept {
    if (layout != nullptr) return true;
    PangoFontMap* map = pango_cairo_font_map_get_default();
    if (map == nullptr) return false;
    if (measuring == nullptr) measuring = MakeContext(map);
    if (drawing == nullptr) drawing = MakeContext(map);
    if (measuring == nullptr || drawing == nullptr) return false;
    layout = pango_layout_new(measuring);
    return layout != nullptr;
  }
};

// The thread's engine, when it is there and the engine has room to work.
ThreadEngine* Engine() {
  thread_local ThreadEngine engine;
  return internal::TextEngineHasRoom() && engine.Ready() ? &engine : nullptr;
}

// The longest a call waits for the engine's font matching to end, and then for the threads that
// did it to be gone.
constexpr auto kFontJobsWait = std::chrono::seconds(2);
constexpr auto kThreadsEndWait = std::chrono::milliseconds(100);

// The threads of this process, read from /proc/self/stat without allocating; -1 when unknown.
int ThreadCount() noexcept {
  char text[1024];
  const int fd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const ssize_t length = ::read(fd, text, sizeof(text) - 1);
  ::close(fd);
  if (length <= 0) return -1;
  text[length] = '\0';
  // The second field, the command's name, may hold spaces and ends at the last ')'; the count
  // is the twentieth.
  const char* at = std::strrchr(text, ')');
  if (at == nullptr) return -1;
  int field = 2;
  for (const char* p = at + 1; *p != '\0'; ++p) {
    if (*p == ' ' && ++field == 20) return std::atoi(p + 1);
  }
  return -1;
}

// The engine for one call that lays out or draws text. Pango matches and sorts the faces for a
// font it has not met on two threads of its own, each holding a reference to the font map until
// its work is done, and goes on as soon as either answer is in: the other thread may still be at
// work when the call returns. fontconfig writes through allocations that failed there, so where
// allocations can fail, the call returns only once the font map is back at the references it had
// and the threads it started are gone: an allocation of the caller's right after cannot take
// what they need, and the next call's threads can start on their stacks. (Room for new stacks is
// checked before the engine gets the text: TextEngineHasRoom.)
class EngineCall {
 public:
  EngineCall() : engine_(Engine()) {
    if (engine_ != nullptr && internal::AllocationsCanFail()) {
      map_ = G_OBJECT(pango_context_get_font_map(engine_->measuring));
      at_rest_ = g_atomic_int_get(&map_->ref_count);
      threads_ = ThreadCount();
    }
  }
  ~EngineCall() {
    if (map_ == nullptr) return;
    using Clock = std::chrono::steady_clock;
    const auto done = Clock::now() + kFontJobsWait;
    while (g_atomic_int_get(&map_->ref_count) > at_rest_ && Clock::now() < done) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    // Threads of the application may come and go meanwhile: this wait is short.
    const auto gone = Clock::now() + kThreadsEndWait;
    while (threads_ > 0 && ThreadCount() > threads_ && Clock::now() < gone) {
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }
  EngineCall(const EngineCall&) = delete;
  EngineCall& operator=(const EngineCall&) = delete;

  ThreadEngine* get() const noexcept { return engine_; }

 private:
  ThreadEngine* engine_;
  GObject* map_ = nullptr;
  gint at_rest_ = 0;
  int threads_ = -1;
};

// UTF-16 -> UTF-8, unpaired surrogates as U+FFFD, with the byte offset of every unit. Combining
// marks past kMaxCombiningMarks in a row are left out: their units get the offset of what follows.
void ToUtf8(const String& text, std::string& out, std::vector<std::uint32_t>& offsets) {
  out.clear();
  offsets.assign(text.size() + 1, 0);
  std::size_t marks = 0;  // in a row, before this character
  for (std::size_t i = 0; i < text.size(); ++i) {
    offsets[i] = static_cast<std::uint32_t>(out.size());
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      offsets[++i] = static_cast<std::uint32_t>(out.size());  // inside the pair: its start
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (!g_unichar_ismark(c)) {
      marks = 0;
    } else if (++marks > kMaxCombiningMarks) {
      continue;
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  offsets[text.size()] = static_cast<std::uint32_t>(out.size());
}

// True when a piece of text may end before `c` (after `before`) without parting one
// user-perceived character: `c` is no mark, joiner, format character, emoji modifier, regional
// indicator or Hangul jamo, and `before` is no joiner.
bool BeginsCharacter(gunichar before, gunichar c) {
  if (before == 0x200D || g_unichar_ismark(c) || g_unichar_type(c) == G_UNICODE_FORMAT) {
    return false;
  }
  const bool modifier = c >= 0x1F3FB && c <= 0x1F3FF;
  const bool indicator = c >= 0x1F1E6 && c <= 0x1F1FF;
  const bool jamo =
      (c >= 0x1100 && c <= 0x11FF) || (c >= 0xA960 && c <= 0xA97F) || (c >= 0xD7B0 && c <= 0xD7FF);
  return !modifier && !indicator && !jamo;
}

// The engine breaks the lines of a paragraph by shaping again, for each line, what is left of
// the item the line begins in, and an item runs on as long as its font and script do: a long
// paragraph cost its lines times its length, and a long word broken a character to a line far
// more. Items are kept short by starting a new one every so often, with an attribute that
// changes nothing (font fallback, which is on anyway) over every other piece. A piece ends after
// a white space (a space, a line break) once it holds kPieceBytes, or before any whole character
// once it holds kMaxPieceBytes: only inside a word that long, where the kerning or ligature of
// the two characters around the end is lost.
constexpr std::size_t kPieceBytes = 48;
constexpr std::size_t kMaxPieceBytes = 128;

// The byte offsets where pieces end, in order (the text's end is not one).
std::vector<std::uint32_t> PieceEnds(const std::string& utf8) {
  std::vector<std::uint32_t> ends;
  std::size_t start = 0;
  gunichar before = 0;
  for (const char* p = utf8.data(); p < utf8.data() + utf8.size(); p = g_utf8_next_char(p)) {
    const auto at = static_cast<std::size_t>(p - utf8.data());
    const gunichar c = g_utf8_get_char(p);
    const std::size_t held = at - start;
    if ((held >= kPieceBytes && g_unichar_isspace(before)) ||
        (held >= kMaxPieceBytes && BeginsCharacter(before, c))) {
      ends.push_back(static_cast<std::uint32_t>(at));
      start = at;
    }
    before = c;
  }
  return ends;
}

// An attachment character as laid out: where its image goes relative to the baseline.
struct PlacedAttachment {
  std::uint32_t byte = 0;
  ImageRef image;
  double rise = 0;
};

void Insert(PangoAttrList* list, PangoAttribute* attribute, std::uint32_t start,
            std::uint32_t end) {
  attribute->start_index = start;
  attribute->end_index = end;
  pango_attr_list_insert(list, attribute);
}

PangoAlignment AlignmentOf(int alignment) {
  switch (alignment) {
    case kTextAlignmentCenter:
      return PANGO_ALIGN_CENTER;
    case kTextAlignmentRight:
      return PANGO_ALIGN_RIGHT;
    default:
      return PANGO_ALIGN_LEFT;
  }
}

enum class Wrapping { kOneLine, kWithin };

// CheckLayoutLimits without its message.
bool WithinLimits(const String& text) {
  return text.size() <= kMaxLayoutUnits && CountLayoutParagraphs(text) <= kMaxLayoutParagraphs;
}

// Fills `layout` with the text and the attributes of its runs. Colours are set only for
// drawing; `attachments` (when given) receives the attachment characters. False for text past
// the limits (the layout untouched) and for a run whose font (the default one) cannot be made.
bool Fill(ThreadEngine& engine, PangoLayout* layout, const AttributedString& text,
          Wrapping wrapping, double width, bool with_colours,
          std::vector<PlacedAttachment>* attachments) {
  if (!WithinLimits(text.string())) return false;
  ToUtf8(text.string(), engine.utf8, engine.offsets);
  pango_layout_set_text(layout, engine.utf8.data(), static_cast<int>(engine.utf8.size()));
  const std::vector<std::uint32_t> piece_ends = PieceEnds(engine.utf8);

  const auto& runs = text.runs();
  FontRef base = runs.empty() ? nullptr : runs.front().attributes.font;
  FontRef fallback;  // the default font, made only when a run has none
  auto font_or_default = [&](const FontRef& font) -> const FontRef& {
    if (font != nullptr) return font;
    if (fallback == nullptr) fallback = Font::System(kDefaultPointSize);
    return fallback;
  };
  const FontRef& layout_font = font_or_default(base);
  if (layout_font == nullptr) return false;  // no default font could be made
  pango_layout_set_font_description(layout, internal::DescriptionOf(*layout_font));

  PangoAttrList* list = pango_attr_list_new();
  // Unset until the runs' attributes are all in: a failure on the way leaves the list to it.
  struct ListRelease {
    PangoAttrList* list;
    ~ListRelease() { pango_attr_list_unref(list); }
  } release{list};
  // The pieces' attributes go in with the runs', in the order of their starts, so that each is
  // appended to the list rather than sorted into it.
  std::size_t next_piece = 0;
  auto add_pieces_to = [&](std::size_t byte) {
    for (; next_piece < piece_ends.size() && piece_ends[next_piece] <= byte; ++next_piece) {
      if (next_piece % 2 == 0) continue;  // every other piece: [end of the one before, its end)
      Insert(list, pango_attr_fallback_new(TRUE), piece_ends[next_piece - 1],
             piece_ends[next_piece]);
    }
  };
  for (const auto& run : runs) {
    const auto start = engine.offsets[run.range.location];
    const auto end = engine.offsets[run.range.location + run.range.length];
    add_pieces_to(start);
    const TextAttributes& a = run.attributes;
    const FontRef& font = font_or_default(a.font);
    if (font == nullptr) return false;
    if (font != layout_font) {
      Insert(list, pango_attr_font_desc_new(internal::DescriptionOf(*font)), start, end);
    }
    if (a.baseline_offset && *a.baseline_offset != 0) {
      Insert(list, pango_attr_rise_new(ToPango(*a.baseline_offset)), start, end);
    }
    if (with_colours && a.foreground_color != nullptr) {
      if (const auto rgba = a.foreground_color->RGBA()) {
        auto channel = [](double v) {
          return static_cast<guint16>(std::clamp(v, 0.0, 1.0) * 65535.0 + 0.5);
        };
        Insert(list,
               pango_attr_foreground_new(channel(rgba->red), channel(rgba->green),
                                         channel(rgba->blue)),
               start, end);
        Insert(list, pango_attr_foreground_alpha_new(std::max<guint16>(1, channel(rgba->alpha))),
               start, end);
      }
    }
    if (a.attachment != nullptr && a.attachment->image != nullptr) {
      const Size size = a.attachment->image->size();
      PangoRectangle box{0, -ToPango(size.height), ToPango(size.width), ToPango(size.height)};
      for (std::size_t i = run.range.location; i < run.range.location + run.range.length; ++i) {
        if (text.string()[i] != kAttachmentCharacter) continue;
        const auto byte = engine.offsets[i];
        Insert(list, pango_attr_shape_new(&box, &box), byte, byte + 3);  // U+FFFC: 3 bytes
        if (attachments != nullptr) {
          attachments->push_back({byte, a.attachment->image, a.baseline_offset.value_or(0)});
        }
      }
    }
  }
  add_pieces_to(engine.utf8.size());
  if (piece_ends.size() % 2 == 1) {  // the last piece, from the last end to the text's end
    Insert(list, pango_attr_fallback_new(TRUE), piece_ends.back(),
           static_cast<std::uint32_t>(engine.utf8.size()));
  }
  pango_layout_set_attributes(layout, list);

  const ParagraphStyle style =
      runs.empty() ? ParagraphStyle{}
                   : runs.front().attributes.paragraph_style.value_or(ParagraphStyle{});
  const bool natural =
      style.alignment == kTextAlignmentNatural || style.alignment == kTextAlignmentJustified;
  pango_layout_set_auto_dir(layout, natural);
  pango_layout_set_alignment(layout, AlignmentOf(style.alignment));
  pango_layout_set_justify(layout, style.alignment == kTextAlignmentJustified);
  pango_layout_set_height(layout, -1);  // with ellipsizing: one line per paragraph
  const bool limited = wrapping == Wrapping::kWithin && std::isfinite(width) && width > 0;
  pango_layout_set_width(layout, limited ? ToPango(width) : -1);
  PangoEllipsizeMode ellipsize = PANGO_ELLIPSIZE_NONE;
  PangoWrapMode wrap = PANGO_WRAP_WORD_CHAR;
  switch (style.line_break_mode) {
    case kLineBreakByCharWrapping:
      wrap = PANGO_WRAP_CHAR;
      break;
    case kLineBreakByTruncatingHead:
      ellipsize = PANGO_ELLIPSIZE_START;
      break;
    case kLineBreakByTruncatingTail:
      ellipsize = PANGO_ELLIPSIZE_END;
      break;
    case kLineBreakByTruncatingMiddle:
      ellipsize = PANGO_ELLIPSIZE_MIDDLE;
      break;
    default:
      break;
  }
  pango_layout_set_wrap(layout, wrap);
  pango_layout_set_ellipsize(layout, ellipsize);
  return true;
}

// The lines that fit within `height` (all when it does not limit; the first always), and the
// bottom and widest line of those. The engine keeps positions in 32-bit units of 1/1024 point,
// which pass their range at 2,097,152 points: widths are summed here from the glyphs' advances
// in 64 bits and heights line by line in double, so a wide or tall text measures right.
struct Lines {
  bool complete = true;  // every run of the lines has a font: the engine found one
  int count = 0;
  double bottom = 0;
  double width = 0;
  std::vector<double> baselines;  // of each line, from the layout's top
};

// A run without a font is what the engine leaves where it could load none (fontconfig failed
// for lack of memory): its glyphs would draw as nothing.
bool HasFonts(const PangoLayoutLine* line) {
  for (const GSList* run = line->runs; run != nullptr; run = run->next) {
    const PangoItem* item = static_cast<const PangoGlyphItem*>(run->data)->item;
    if (item == nullptr || item->analysis.font == nullptr) return false;
  }
  return true;
}

double LineWidth(const PangoLayoutLine* line) {
  std::int64_t units = 0;
  for (const GSList* run = line->runs; run != nullptr; run = run->next) {
    const PangoGlyphString* glyphs = static_cast<const PangoGlyphItem*>(run->data)->glyphs;
    for (int i = 0; i < glyphs->num_glyphs; ++i) units += glyphs->glyphs[i].geometry.width;
  }
  return static_cast<double>(units) / kScale;
}

Lines FittingLines(PangoLayout* layout, double height) {
  const bool limited = std::isfinite(height) && height > 0;
  Lines lines;
  for (GSList* item = pango_layout_get_lines_readonly(layout); item != nullptr; item = item->next) {
    auto* line = static_cast<PangoLayoutLine*>(item->data);
    PangoRectangle logical;  // y from the baseline
    pango_layout_line_get_extents(line, nullptr, &logical);
    const double top = lines.bottom;
    const double bottom = top + logical.height / kScale;
    if (lines.count > 0 && limited && bottom > height) break;
    ++lines.count;
    lines.bottom = bottom;
    lines.baselines.push_back(top - logical.y / kScale);
    lines.width = std::max(lines.width, LineWidth(line));
    lines.complete = lines.complete && HasFonts(line);
  }
  return lines;
}

bool Finite(const Rect& rect) {
  return std::isfinite(rect.x) && std::isfinite(rect.y) && std::isfinite(rect.width) &&
         std::isfinite(rect.height);
}

}  // namespace

namespace internal {

PangoContext* MeasuringContext() noexcept {
  ThreadEngine* engine = Engine();
  return engine ? engine->measuring : nullptr;
}

PangoLayout* MeasuredLayout(const AttributedString& text) noexcept {
  try {
    ThreadEngine* engine = Engine();
    if (engine == nullptr) return nullptr;
    if (!Fill(*engine, engine->layout, text, Wrapping::kOneLine, -1, false, nullptr)) {
      return nullptr;
    }
    return engine->layout;
  } catch (...) {
    return nullptr;
  }
}

std::optional<Size> MeasureTextChecked(const AttributedString& text) noexcept {
  if (text.length() == 0) return Size{};
  try {
    const EngineCall call;
    ThreadEngine* engine = call.get();
    if (engine == nullptr ||
        !Fill(*engine, engine->layout, text, Wrapping::kOneLine, -1, false, nullptr)) {
      return std::nullopt;
    }
    const Lines lines = FittingLines(engine->layout, -1);
    if (!lines.complete) return std::nullopt;
    return Size{lines.width, lines.bottom};
  } catch (...) {
    return std::nullopt;
  }
}

bool DrawTextChecked(GraphicsContext& context, const AttributedString& text, Rect rect) noexcept {
  if (text.length() == 0 || !Finite(rect) || !(rect.width > 0) || !(rect.height > 0)) return true;
  if (!WithinLimits(text.string())) return false;
  bool drawn = false;
  try {
    const EngineCall call;
    ThreadEngine* engine = call.get();
    if (engine == nullptr) return false;
    std::vector<PlacedAttachment> attachments;
    PangoLayout* layout = pango_layout_new(engine->drawing);
    if (layout == nullptr) return false;
    struct Unref {
      PangoLayout* layout;
      ~Unref() { g_object_unref(layout); }
    } unref{layout};

    context.SaveGState();
    struct Restore {
      GraphicsContext& context;
      ~Restore() { context.RestoreGState(); }
    } restore{context};
    // Runs without a colour of their own draw in black, the text's default, through the
    // context's fill, which pattern colours can also be.
    const ColorRef& first =
        text.runs().empty() ? nullptr : text.runs().front().attributes.foreground_color;
    context.SetFillColor(0, 0, 0, 1);
    if (first != nullptr) context.SetFillColor(first);
    context.ClipToRect(rect);
    Lines lines;
    DrawWithCairo(context, [&](cairo_t* cr) {
      pango_cairo_update_context(cr, engine->drawing);
      pango_layout_context_changed(layout);
      if (!Fill(*engine, layout, text, Wrapping::kWithin, rect.width, true, &attachments)) return;
      lines = FittingLines(layout, rect.height);
      if (!lines.complete) return;  // nothing drawn without the fonts
      PangoLayoutIter* iter = pango_layout_get_iter(layout);
      // One baseline per line that fits: the lines past them are not drawn.
      for (const double baseline : lines.baselines) {
        PangoRectangle logical;  // x: where the alignment puts the line
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        cairo_move_to(cr, rect.x + logical.x / kScale, rect.y + baseline);
        pango_cairo_show_layout_line(cr, pango_layout_iter_get_line_readonly(iter));
        if (!pango_layout_iter_next_line(iter)) break;
      }
      pango_layout_iter_free(iter);
      cairo_new_path(cr);
      drawn = true;
    });
    if (!drawn) return false;

    // Images of the attachments, on the baseline of the character that stands for them.
    for (const auto& placed : attachments) {
      int line = 0, x_units = 0;
      pango_layout_index_to_line_x(layout, static_cast<int>(placed.byte), FALSE, &line, &x_units);
      if (line < 0 || line >= lines.count) continue;
      PangoRectangle box;
      pango_layout_index_to_pos(layout, static_cast<int>(placed.byte), &box);
      const Size size = placed.image->size();
      const double x = rect.x + std::min(box.x, box.x + box.width) / kScale;
      const double baseline = rect.y + lines.baselines[static_cast<std::size_t>(line)];
      context.DrawImageInRect(*placed.image,
                              {x, baseline - placed.rise - size.height, size.width, size.height});
    }
  } catch (...) {  // std::bad_alloc: what was drawn stays
    return false;
  }
  return !DrawingFailed(context);
}

}  // namespace internal

Size MeasureText(const AttributedString& text) noexcept {
  return internal::MeasureTextChecked(text).value_or(Size{});
}

Rect BoundingRect(const AttributedString& text, Size limit, unsigned options) noexcept {
  if (text.length() == 0) return {};
  try {
    const EngineCall call;
    ThreadEngine* engine = call.get();
    if (engine == nullptr) return {};
    if ((options & kTextUsesLineFragmentOrigin) == 0) {
      if (!Fill(*engine, engine->layout, text, Wrapping::kOneLine, -1, false, nullptr)) return {};
      const Lines lines = FittingLines(engine->layout, -1);
      if (!lines.complete) return {};
      return {0, -lines.baselines.front(), lines.width, lines.bottom};
    }
    if (!Fill(*engine, engine->layout, text, Wrapping::kWithin, limit.width, false, nullptr)) {
      return {};
    }
    const Lines lines = FittingLines(engine->layout, limit.height);
    if (!lines.complete) return {};
    return {0, 0, lines.width, lines.bottom};
  } catch (...) {
    return {};
  }
}

void DrawText(const AttributedString& text, Rect rect) noexcept {
  if (GraphicsContext* context = GetCurrentContext()) DrawText(*context, text, rect);
}

void DrawText(GraphicsContext& context, const AttributedString& text, Rect rect) noexcept {
  (void)internal::DrawTextChecked(context, text, rect);
}

}  // namespace kelvane::platform
