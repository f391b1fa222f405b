// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/internal/heif_items.h"

#include <cstring>
#include <map>
#include <optional>

namespace kelvane::platform::internal {
namespace {

// A box: its type and its payload (after the header), within the bytes it came from.
struct Box {
  char type[4];
  std::span<const std::uint8_t> payload;
};

std::uint32_t Read32(const std::uint8_t* d) {
  return (std::uint32_t{d[0]} << 24) | (std::uint32_t{d[1]} << 16) | (std::uint32_t{d[2]} << 8) |
         d[3];
}

// Reads boxes one after another from `bytes`; nullopt at the end or at a box that does not fit.
class Boxes {
 public:
  explicit Boxes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  std::optional<Box> Next() {
    const std::size_t left = bytes_.size() - pos_;
    if (left < 8) return std::nullopt;
    const std::uint8_t* d = bytes_.data() + pos_;
    std::uint64_t size = Read32(d);
    std::size_t header = 8;
    if (size == 1) {  // a 64-bit size follows the type
      if (left < 16) return std::nullopt;
      size = (std::uint64_t{Read32(d + 8)} << 32) | Read32(d + 12);
      header = 16;
    } else if (size == 0) {  // to the end
      size = left;
    }
    if (size < header || size > left) {
      overrun_ = true;
      return std::nullopt;
    }
    Box box;
    std::memcpy(box.type, d + 4, 4);
    box.payload = bytes_.subspan(pos_ + header, std::size_t(size) - header);
    pos_ += std::size_t(size);
    return box;
  }

  // True when the boxes read so far fill the bytes exactly: no box overran them, and no bytes
  // too few for a box are left over. REQUIRES: Next() returned nullopt.
  bool Clean() const { return !overrun_ && pos_ == bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  bool overrun_ = false;
};

// libheif reads the fields of item entries and references whatever their boxes' sizes say, so
// a box inside the metadata that does not fit its container makes the two readings differ: such
// a file is refused rather than read two ways.
constexpr char kOverrun[] = "item boxes that do not fit their container";

bool Is(const Box& box, const char* type) { return std::memcmp(box.type, type, 4) == 0; }

// Item types libheif decodes as pictures.
bool IsPictureType(const char* type) {
  for (const char* picture : {"hvc1", "av01", "grid", "iden", "iovl"}) {
    if (std::memcmp(type, picture, 4) == 0) return true;
  }
  return false;
}

// Reads a 16- or 32-bit item number at `pos`; false when it does not fit.
bool ReadId(std::span<const std::uint8_t> p, std::size_t* pos, bool wide, std::uint32_t* id) {
  const std::size_t n = wide ? 4 : 2;
  if (*pos > p.size() || p.size() - *pos < n) return false;
  const std::uint8_t* d = p.data() + *pos;
  *id = wide ? Read32(d) : (std::uint32_t{d[0]} << 8) | d[1];
  *pos += n;
  return true;
}

}  // namespace

std::string HEIFReferenceProblem(std::span<const std::uint8_t> bytes) {
  std::optional<Box> meta;
  Boxes top(bytes);
  while (std::optional<Box> box = top.Next()) {
    if (Is(*box, "meta")) {
      meta = box;
      break;
    }
  }
  if (!meta || meta->payload.size() < 4) return {};

  // The items and their types; a tree, as the numbers come from the file.
  std::map<std::uint32_t, bool> pictures;  // item -> whether it is a picture
  bool listed = false;
  std::optional<Box> references;
  Boxes children(meta->payload.subspan(4));  // after the version and flags
  while (std::optional<Box> box = children.Next()) {
    if (Is(*box, "iref") && !references) references = box;
    if (!Is(*box, "iinf") || listed) continue;
    listed = true;
    const std::span<const std::uint8_t> p = box->payload;
    if (p.size() < 4) return "an item list cut short";
    const std::size_t start = p[0] == 0 ? 6 : 8;  // version, flags, a 16- or 32-bit count
    if (p.size() < start) return "an item list cut short";
    Boxes entries(p.subspan(start));
    while (std::optional<Box> entry = entries.Next()) {
      if (!Is(*entry, "infe")) continue;
      const std::span<const std::uint8_t> e = entry->payload;
      if (e.size() < 4 || e[0] < 2) continue;  // older entries name no item type
      std::size_t pos = 4;
      std::uint32_t id = 0;
      if (!ReadId(e, &pos, e[0] >= 3, &id) || e.size() - pos < 6) return "an item entry cut short";
      pictures[id] = IsPictureType(reinterpret_cast<const char*>(e.data() + pos + 2));
    }
    if (!entries.Clean()) return kOverrun;
  }
  if (!children.Clean()) return kOverrun;
  if (!listed || !references) return {};

  const std::span<const std::uint8_t> r = references->payload;
  if (r.size() < 4) return "an item reference list cut short";
  const bool wide = r[0] != 0;
  Boxes refs(r.subspan(4));
  while (std::optional<Box> ref = refs.Next()) {
    const bool picture_reference = Is(*ref, "dimg") || Is(*ref, "auxl") || Is(*ref, "thmb");
    if (!picture_reference) continue;
    const std::span<const std::uint8_t> p = ref->payload;
    std::size_t pos = 0;
    std::uint32_t from = 0;
    if (!ReadId(p, &pos, wide, &from) || p.size() - pos < 2) return "an item reference cut short";
    const std::uint32_t count = (std::uint32_t{p[pos]} << 8) | p[pos + 1];
    pos += 2;
    // References from items libheif does not take for pictures are never followed by it.
    const auto source = pictures.find(from);
    if (source == pictures.end() || !source->second) continue;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::uint32_t to = 0;
      if (!ReadId(p, &pos, wide, &to)) return "an item reference cut short";
      const auto target = pictures.find(to);
      if (target == pictures.end() || !target->second) {
        return "a reference to an item that is not a picture";
      }
    }
  }
  if (!refs.Clean()) return kOverrun;
  return {};
}

}  // namespace kelvane::platform::internal
