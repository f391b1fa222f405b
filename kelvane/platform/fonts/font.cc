// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/fonts/font.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/platform/core/internal/no_destructor.h"
#include "kelvane/platform/fonts/internal/font_access.h"
#include "kelvane/platform/i18n/unicode.h"

namespace kelvane::platform {
namespace {

using Face = Font::Face;
using FaceRef = std::shared_ptr<const Face>;

// The installed faces, listed once: fontconfig's own lists are not cheap to build, and the
// shrinking loops of the text code ask for a face by name many times. A listing that failed
// (fontconfig could not load its configuration, or memory ran out) is not kept: the next call
// lists again, rather than the process going on without fonts.
struct Catalogue {
  std::atomic<bool> listed{false};
  std::vector<FaceRef> faces;  // written once, before `listed`; only read after it
  std::mutex mutex;            // fontconfig's matching, the listing and the system family
  String system_family{Font::DefaultSystemFamily()};
};

Catalogue& TheCatalogue() {
  static internal::NoDestructor<Catalogue> catalogue;
  return *catalogue;
}

// Owners of fontconfig's objects, so that a std::bad_alloc on the way lets them go.
struct ConfigRelease {
  void operator()(FcConfig* config) const noexcept { FcConfigDestroy(config); }
};
struct PatternRelease {
  void operator()(FcPattern* pattern) const noexcept { FcPatternDestroy(pattern); }
};
struct ObjectSetRelease {
  void operator()(FcObjectSet* objects) const noexcept { FcObjectSetDestroy(objects); }
};
struct FontSetRelease {
  void operator()(FcFontSet* set) const noexcept { FcFontSetDestroy(set); }
};
using ConfigOwner = std::unique_ptr<FcConfig, ConfigRelease>;
using PatternOwner = std::unique_ptr<FcPattern, PatternRelease>;

// fontconfig's current configuration, loaded on first use; null when it could not be loaded
// (for lack of memory, say), which fontconfig's calls given no configuration do not all check.
ConfigOwner CurrentConfig() noexcept { return ConfigOwner(FcConfigReference(nullptr)); }

// What fontconfig may take: for loading its configuration (its cache files are mapped whole),
// and for matching or sorting the faces (a record of some hundred bytes for each, and the
// working memory of the match).
constexpr std::size_t kLoadRoom = std::size_t{16} << 20;
constexpr std::size_t kMatchRoom = std::size_t{1} << 20;
constexpr std::size_t kMatchRoomPerFace = 1024;

// True when `bytes` of address space can be had now.
bool CanMap(std::size_t bytes) noexcept {
  void* probe = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (probe == MAP_FAILED) return false;
  ::munmap(probe, bytes);
  return true;
}

std::vector<std::string> Strings(FcPattern* pattern, const char* object) {
  std::vector<std::string> out;
  FcChar8* value = nullptr;
  for (int i = 0; FcPatternGetString(pattern, object, i, &value) == FcResultMatch; ++i) {
    out.emplace_back(reinterpret_cast<const char*>(value));
  }
  return out;
}

int Integer(FcPattern* pattern, const char* object, int fallback) {
  int value = 0;
  if (FcPatternGetInteger(pattern, object, 0, &value) == FcResultMatch) return value;
  double real = 0;
  if (FcPatternGetDouble(pattern, object, 0, &real) == FcResultMatch) return static_cast<int>(real);
  return fallback;
}

// Every installed face; false when fontconfig could not list them. Throws std::bad_alloc.
bool ListFaces(std::vector<FaceRef>& faces) {
  if (!internal::FontEngineHasRoom()) return false;
  const ConfigOwner config = CurrentConfig();
  if (config == nullptr) return false;
  const PatternOwner all(FcPatternCreate());
  const std::unique_ptr<FcObjectSet, ObjectSetRelease> objects(
      FcObjectSetBuild(FC_FAMILY, FC_STYLE, FC_FULLNAME, FC_POSTSCRIPT_NAME, FC_WEIGHT, FC_SLANT,
                       FC_WIDTH, nullptr));
  if (all == nullptr || objects == nullptr) return false;
  // An empty set when no font is installed; null only when the listing failed.
  const std::unique_ptr<FcFontSet, FontSetRelease> set(
      FcFontList(config.get(), all.get(), objects.get()));
  if (set == nullptr) return false;
  for (int i = 0; i < set->nfont; ++i) {
    auto face = std::make_shared<Face>();
    face->families = Strings(set->fonts[i], FC_FAMILY);
    if (face->families.empty()) continue;
    face->styles = Strings(set->fonts[i], FC_STYLE);
    face->full_names = Strings(set->fonts[i], FC_FULLNAME);
    auto postscript = Strings(set->fonts[i], FC_POSTSCRIPT_NAME);
    if (!postscript.empty()) face->postscript_name = postscript.front();
    face->weight = Integer(set->fonts[i], FC_WEIGHT, FC_WEIGHT_REGULAR);
    face->slant = Integer(set->fonts[i], FC_SLANT, FC_SLANT_ROMAN);
    face->width = Integer(set->fonts[i], FC_WIDTH, FC_WIDTH_NORMAL);
    faces.push_back(std::move(face));
  }
  return true;
}

// The installed faces; empty while they cannot be listed.
const std::vector<FaceRef>& Faces() {
  static internal::NoDestructor<std::vector<FaceRef>> none;
  Catalogue& catalogue = TheCatalogue();
  if (catalogue.listed.load(std::memory_order_acquire)) return catalogue.faces;
  std::lock_guard lock(catalogue.mutex);
  if (!catalogue.listed.load(std::memory_order_relaxed)) {
    try {
      std::vector<FaceRef> faces;
      if (!ListFaces(faces)) return *none;
      catalogue.faces = std::move(faces);
      catalogue.listed.store(true, std::memory_order_release);
    } catch (...) {  // std::bad_alloc: listed again next time
      return *none;
    }
  }
  return catalogue.faces;
}

// Lower-case ASCII without spaces: "DejaVu Sans" and "dejavusans" name one family.
std::string Squashed(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == ' ') continue;
    out.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return out;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool HasFamily(const Face& face, std::string_view squashed_family) {
  for (const auto& family : face.families) {
    if (Squashed(family) == squashed_family) return true;
  }
  return false;
}

// How far a face is from the one wanted: upright and normal width count first, then weight.
int Distance(const Face& face, int weight) {
  return (face.slant != FC_SLANT_ROMAN ? 100000 : 0) + std::abs(face.width - 100) * 100 +
         std::abs(face.weight - weight);
}

FaceRef NearestInFamily(std::string_view squashed_family, int weight) {
  FaceRef best;
  for (const auto& face : Faces()) {
    if (!HasFamily(*face, squashed_family)) continue;
    if (best == nullptr || Distance(*face, weight) < Distance(*best, weight)) best = face;
  }
  return best;
}

bool IsRegularWord(std::string_view squashed_style) {
  return squashed_style == "regular" || squashed_style == "book" || squashed_style == "roman" ||
         squashed_style == "normal" || squashed_style == "plain";
}

FaceRef FindFamilyAndStyle(std::string_view family, std::string_view style) {
  const std::string squashed_family = Squashed(family);
  const std::string squashed_style = Squashed(style);
  if (squashed_family.empty() || squashed_style.empty()) return nullptr;
  for (const auto& face : Faces()) {
    if (!HasFamily(*face, squashed_family)) continue;
    for (const auto& face_style : face->styles) {
      if (Squashed(face_style) == squashed_style) return face;
    }
  }
  if (IsRegularWord(squashed_style)) {
    FaceRef regular = NearestInFamily(squashed_family, FC_WEIGHT_REGULAR);
    if (regular != nullptr && regular->weight <= FC_WEIGHT_MEDIUM) return regular;
  }
  return nullptr;
}

FaceRef FindByName(std::string_view name) {
  const auto& faces = Faces();
  for (const auto& face : faces) {
    if (!face->postscript_name.empty() && SameIgnoringCase(face->postscript_name, name)) {
      return face;
    }
  }
  for (const auto& face : faces) {
    for (const auto& full : face->full_names) {
      if (SameIgnoringCase(full, name)) return face;
    }
  }
  if (FaceRef face = NearestInFamily(Squashed(name), FC_WEIGHT_REGULAR)) return face;
  for (std::size_t i = 1; i + 1 < name.size(); ++i) {
    if (name[i] != '-' && name[i] != ' ') continue;
    if (FaceRef face = FindFamilyAndStyle(name.substr(0, i), name.substr(i + 1))) return face;
  }
  return nullptr;
}

// The installed family that fontconfig puts in place of `family` (itself when installed);
// nullopt when fontconfig cannot tell (no configuration, or memory ran out).
std::optional<std::string> Substitute(const std::string& family) {
  Catalogue& catalogue = TheCatalogue();
  std::lock_guard lock(catalogue.mutex);
  if (!internal::FontEngineHasRoom()) return std::nullopt;
  const ConfigOwner config = CurrentConfig();
  if (config == nullptr) return std::nullopt;
  const PatternOwner pattern(FcPatternCreate());
  if (pattern == nullptr ||
      !FcPatternAddString(pattern.get(), FC_FAMILY,
                          reinterpret_cast<const FcChar8*>(family.c_str())) ||
      !FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern)) {
    return std::nullopt;
  }
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  const PatternOwner match(FcFontMatch(config.get(), pattern.get(), &result));
  FcChar8* value = nullptr;
  if (match == nullptr || FcPatternGetString(match.get(), FC_FAMILY, 0, &value) != FcResultMatch) {
    return std::nullopt;
  }
  return std::string(reinterpret_cast<const char*>(value));
}

FaceRef SystemFace(int weight) {
  std::string family;
  {
    Catalogue& catalogue = TheCatalogue();
    std::lock_guard lock(catalogue.mutex);
    if (!Utf16ToUtf8(catalogue.system_family, family)) return nullptr;
  }
  Faces();
  if (FaceRef face = NearestInFamily(Squashed(family), weight)) return face;
  const auto substitute = Substitute(family);
  return substitute ? NearestInFamily(Squashed(*substitute), weight) : nullptr;
}

PangoWeight WeightOf(const Face& face) {
  return static_cast<PangoWeight>(FcWeightToOpenType(face.weight));
}

PangoStyle StyleOf(const Face& face) {
  if (face.slant >= FC_SLANT_OBLIQUE) return PANGO_STYLE_OBLIQUE;
  if (face.slant >= FC_SLANT_ITALIC) return PANGO_STYLE_ITALIC;
  return PANGO_STYLE_NORMAL;
}

PangoStretch StretchOf(const Face& face) {
  static constexpr struct {
    int width;
    PangoStretch stretch;
  } kStretches[] = {
      {FC_WIDTH_ULTRACONDENSED, PANGO_STRETCH_ULTRA_CONDENSED},
      {FC_WIDTH_EXTRACONDENSED, PANGO_STRETCH_EXTRA_CONDENSED},
      {FC_WIDTH_CONDENSED, PANGO_STRETCH_CONDENSED},
      {FC_WIDTH_SEMICONDENSED, PANGO_STRETCH_SEMI_CONDENSED},
      {FC_WIDTH_NORMAL, PANGO_STRETCH_NORMAL},
      {FC_WIDTH_SEMIEXPANDED, PANGO_STRETCH_SEMI_EXPANDED},
      {FC_WIDTH_EXPANDED, PANGO_STRETCH_EXPANDED},
      {FC_WIDTH_EXTRAEXPANDED, PANGO_STRETCH_EXTRA_EXPANDED},
      {FC_WIDTH_ULTRAEXPANDED, PANGO_STRETCH_ULTRA_EXPANDED},
  };
  PangoStretch best = PANGO_STRETCH_NORMAL;
  int distance = 1 << 30;
  for (const auto& entry : kStretches) {
    if (std::abs(entry.width - face.width) < distance) {
      distance = std::abs(entry.width - face.width);
      best = entry.stretch;
    }
  }
  return best;
}

String ToString(std::string_view utf8) {
  String out;
  if (!Utf8ToUtf16(utf8, out)) out.clear();
  return out;
}

}  // namespace

Font::Font(Token, std::shared_ptr<const Face> face, double size, _PangoFontDescription* description,
           bool bold) noexcept
    : face_(std::move(face)), point_size_(size), description_(description), bold_(bold) {}

Font::~Font() { pango_font_description_free(description_); }

FontRef Font::Make(std::shared_ptr<const Face> face, double size) noexcept {
  if (face == nullptr || !(size > 0.0) || !(size <= kMaxPointSize)) return nullptr;
  PangoFontDescription* description = pango_font_description_new();
  if (description == nullptr) return nullptr;
  pango_font_description_set_family(description, face->families.front().c_str());
  pango_font_description_set_weight(description, WeightOf(*face));
  pango_font_description_set_style(description, StyleOf(*face));
  pango_font_description_set_stretch(description, StretchOf(*face));
  pango_font_description_set_absolute_size(description, size * PANGO_SCALE);
  const bool bold = face->weight >= FC_WEIGHT_DEMIBOLD;
  try {
    return std::make_shared<const Font>(Token(), std::move(face), size, description, bold);
  } catch (...) {  // std::bad_alloc
    pango_font_description_free(description);
    return nullptr;
  }
}

FontRef Font::System(double size) noexcept {
  try {
    return Make(SystemFace(FC_WEIGHT_REGULAR), size);
  } catch (...) {
    return nullptr;
  }
}

FontRef Font::BoldSystem(double size) noexcept {
  try {
    return Make(SystemFace(FC_WEIGHT_BOLD), size);
  } catch (...) {
    return nullptr;
  }
}

FontRef Font::Named(std::u16string_view name, double size) noexcept {
  try {
    std::string utf8;
    if (!Utf16ToUtf8(name, utf8)) return nullptr;
    const auto first = utf8.find_first_not_of(' ');
    if (first == std::string::npos) return nullptr;
    const auto last = utf8.find_last_not_of(' ');
    return Make(FindByName(std::string_view(utf8).substr(first, last - first + 1)), size);
  } catch (...) {
    return nullptr;
  }
}

FontRef Font::Preferred(TextStyle style) noexcept {
  switch (style) {
    case TextStyle::kBody:
      return System(17);
    case TextStyle::kHeadline:
      return BoldSystem(17);
    case TextStyle::kSubheadline:
      return System(15);
    case TextStyle::kFootnote:
      return System(13);
    case TextStyle::kCaption1:
      return System(12);
    case TextStyle::kCaption2:
      return System(11);
  }
  return nullptr;
}

void Font::SetSystemFamily(std::u16string_view family) noexcept {
  Catalogue& catalogue = TheCatalogue();
  try {
    String value(family.empty() ? DefaultSystemFamily() : family);
    std::lock_guard lock(catalogue.mutex);
    catalogue.system_family.swap(value);
  } catch (...) {  // std::bad_alloc: the family stays as it was
  }
}

String Font::SystemFamily() {
  Catalogue& catalogue = TheCatalogue();
  std::lock_guard lock(catalogue.mutex);
  return catalogue.system_family;
}

String Font::name() const {
  if (!face_->postscript_name.empty()) return ToString(face_->postscript_name);
  // A face without a PostScript name gets one the usual way: family and style, no spaces.
  std::string made;
  for (char c : face_->families.front()) {
    if (c != ' ') made.push_back(c);
  }
  if (!face_->styles.empty()) {
    made.push_back('-');
    for (char c : face_->styles.front()) {
      if (c != ' ') made.push_back(c);
    }
  }
  return ToString(made);
}

String Font::family() const { return ToString(face_->families.front()); }

String Font::style() const {
  return face_->styles.empty() ? String() : ToString(face_->styles.front());
}

FontRef Font::WithSize(double size) const noexcept { return Make(face_, size); }

namespace {

// What fontconfig may take now, besides `extra` bytes.
bool RoomFor(std::size_t extra) noexcept {
  Catalogue& catalogue = TheCatalogue();
  if (!catalogue.listed.load(std::memory_order_acquire)) return CanMap(kLoadRoom + extra);
  return CanMap(kMatchRoom + kMatchRoomPerFace * catalogue.faces.size() + extra);
}

// The stacks of the two threads Pango starts to match a font it has not met: the default size
// (GLib asks for no other) and a margin for the guard page.
std::size_t MatchingThreadsRoom() noexcept {
  static const std::size_t bytes = [] {
    std::size_t stack = std::size_t{8} << 20;
    pthread_attr_t attributes;
    if (::pthread_getattr_default_np(&attributes) == 0) {
      std::size_t size = 0;
      if (::pthread_attr_getstacksize(&attributes, &size) == 0 && size > 0) stack = size;
      ::pthread_attr_destroy(&attributes);
    }
    return 2 * (stack + (std::size_t{64} << 10));
  }();
  return bytes;
}

}  // namespace

bool internal::AllocationsCanFail() noexcept {
  static const bool strict = [] {
    char mode = '0';
    const int fd = ::open("/proc/sys/vm/overcommit_memory", O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      if (::read(fd, &mode, 1) != 1) mode = '0';
      ::close(fd);
    }
    return mode == '2';
  }();
  if (strict) return true;
  rlimit limit{};
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    if (::getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) return true;
  }
  return false;
}

bool internal::FontEngineHasRoom() noexcept {
  return !internal::AllocationsCanFail() || RoomFor(0);
}

bool internal::TextEngineHasRoom() noexcept {
  return !internal::AllocationsCanFail() || RoomFor(MatchingThreadsRoom());
}

}  // namespace kelvane::platform
