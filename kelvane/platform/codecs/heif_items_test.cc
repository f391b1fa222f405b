// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/codecs/internal/heif_items.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvane::platform::internal {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& out, std::uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(std::uint8_t(value >> (8 * i)));
}

// How a box gives its size: 32 bits, 64 bits after the type (size 1), or "to the end" (0).
enum class Size { k32, k64, kToTheEnd };

Bytes Box(const char* type, const Bytes& payload, Size size = Size::k32) {
  Bytes box;
  const std::uint64_t whole = payload.size() + (size == Size::k64 ? 16 : 8);
  Put(box, size == Size::k32 ? whole : size == Size::k64 ? 1 : 0, 4);
  box.insert(box.end(), type, type + 4);
  if (size == Size::k64) Put(box, whole, 8);
  box.insert(box.end(), payload.begin(), payload.end());
  return box;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// An item entry of version 2 (16-bit numbers) or 3 (32-bit).
Bytes Entry(std::uint32_t id, const char* type, bool wide = false) {
  Bytes payload = {std::uint8_t(wide ? 3 : 2), 0, 0, 0};
  Put(payload, id, wide ? 4 : 2);
  Put(payload, 0, 2);  // no protection
  payload.insert(payload.end(), type, type + 4);
  return Box("infe", payload);
}

Bytes ItemList(std::initializer_list<Bytes> entries) {
  Bytes payload = {0, 0, 0, 0};
  Put(payload, entries.size(), 2);
  return Box("iinf", Join({payload, Join(entries)}));
}

// A reference list of version 0 (16-bit numbers) or 1 (32-bit) holding one `type` reference.
Bytes References(const char* type, std::uint32_t from, const std::vector<std::uint32_t>& to,
                 bool wide = false) {
  const int n = wide ? 4 : 2;
  Bytes reference;
  Put(reference, from, n);
  Put(reference, to.size(), 2);
  for (const std::uint32_t id : to) Put(reference, id, n);
  return Box("iref", Join({{std::uint8_t(wide ? 1 : 0), 0, 0, 0}, Box(type, reference)}));
}

Bytes File(const Bytes& meta_children, Size size = Size::k32) {
  return Join({Box("ftyp", {'h', 'e', 'i', 'c', 0, 0, 0, 0}),
               Box("meta", Join({{0, 0, 0, 0}, meta_children}), size)});
}

TEST(HEIFReferenceProblem, RefusesReferencesToItemsThatAreNoPictures) {
  constexpr char kNotAPicture[] = "a reference to an item that is not a picture";
  constexpr char kOverrun[] = "item boxes that do not fit their container";
  const Bytes items = ItemList({Entry(1, "grid"), Entry(2, "hvc1"), Entry(3, "Exif")});
  const Bytes to_exif = References("dimg", 1, {2, 3});
  const Bytes wide_items = ItemList({Entry(1, "grid", true), Entry(70000, "mime", true)});
  Bytes overrun = References("dimg", 1, {2});
  overrun[15] += 4;  // the inner reference box says 4 bytes more than its list holds
  Bytes cut_entry = ItemList({Entry(1, "grid")});
  cut_entry.resize(cut_entry.size() - 3);
  cut_entry[3] -= 3, cut_entry[17] -= 3;  // the list and its entry end 3 bytes early
  const struct {
    const char* name;
    Bytes file;
    std::string problem;
  } kCases[] = {
      {"a grid of a picture", File(Join({items, References("dimg", 1, {2})})), ""},
      {"a grid of a picture and metadata", File(Join({items, to_exif})), kNotAPicture},
      {"the same, its metadata box of 64-bit size", File(Join({items, to_exif}), Size::k64),
       kNotAPicture},
      {"the same, its metadata box to the end", File(Join({items, to_exif}), Size::kToTheEnd),
       kNotAPicture},
      {"references in the other order", File(Join({to_exif, items})), kNotAPicture},
      {"a reference to an item not listed", File(Join({items, References("auxl", 2, {9})})),
       kNotAPicture},
      {"a reference from metadata, never followed", File(Join({items, References("thmb", 3, {3})})),
       ""},
      {"a reference of a kind that names no picture",
       File(Join({items, References("cdsc", 3, {1})})), ""},
      {"32-bit item numbers", File(Join({wide_items, References("dimg", 1, {70000}, true)})),
       kNotAPicture},
      {"no item list", File(to_exif), ""},
      {"no metadata", Box("ftyp", {'h', 'e', 'i', 'c'}), ""},
      {"a reference box overrunning its list", File(Join({items, overrun})), kOverrun},
      {"an item list cut short", File(Box("iinf", {0, 0, 0})), "an item list cut short"},
      {"an item entry cut short", File(Join({cut_entry, to_exif})), "an item entry cut short"},
      {"a reference count past its numbers",
       File(Join({items, Box("iref", Join({{0, 0, 0, 0}, Box("dimg", {0, 1, 0, 2, 0, 2})}))})),
       "an item reference cut short"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HEIFReferenceProblem(c.file), c.problem);
  }
}

}  // namespace
}  // namespace kelvane::platform::internal
