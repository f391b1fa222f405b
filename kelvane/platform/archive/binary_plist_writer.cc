// SPDX-License-Identifier: Apache-2.0
// Binary property lists written in one walk of the tree: every object gets its index as it is
// first met (equal scalars share one), containers keep the indexes of their items, and the
// objects, the offset table and the trailer follow in order.
#include "kelvane/platform/archive/internal/binary_plist_writer.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kelvane/platform/archive/internal/keyed_coder_support.h"
#include "kelvane/platform/core/internal/keyed_hash.h"

namespace kelvane::platform::internal {
namespace {

// Object markers: the high nibble is the kind, the low one the size or the count (15: a count
// object follows).
constexpr std::uint8_t kFalse = 0x08;
constexpr std::uint8_t kTrue = 0x09;
constexpr std::uint8_t kInt = 0x10;
constexpr std::uint8_t kReal = 0x23;
constexpr std::uint8_t kData = 0x40;
constexpr std::uint8_t kAscii = 0x50;
constexpr std::uint8_t kUtf16 = 0x60;
constexpr std::uint8_t kUid = 0x80;
constexpr std::uint8_t kArray = 0xA0;
constexpr std::uint8_t kDict = 0xD0;

// The bytes an unsigned value needs among 1, 2, 4 and 8.
int WidthOf(std::uint64_t value) {
  if (value <= 0xFF) return 1;
  if (value <= 0xFFFF) return 2;
  if (value <= 0xFFFFFFFF) return 4;
  return 8;
}

void AppendBigEndian(std::string& out, std::uint64_t value, int width) {
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
  }
}

// An integer object: 1, 2 and 4 bytes hold unsigned values, 8 bytes the two's-complement bits,
// which is how signed values travel.
void AppendInt(std::string& out, std::uint64_t value) {
  const int width = WidthOf(value);
  out.push_back(static_cast<char>(kInt | std::countr_zero(static_cast<unsigned>(width))));
  AppendBigEndian(out, value, width);
}

void AppendMarker(std::string& out, std::uint8_t kind, std::uint64_t count) {
  if (count < 15) {
    out.push_back(static_cast<char>(kind | count));
  } else {
    out.push_back(static_cast<char>(kind | 0x0F));
    AppendInt(out, count);
  }
}

void AppendDouble(std::string& out, std::uint8_t marker, double value) {
  out.push_back(static_cast<char>(marker));
  AppendBigEndian(out, std::bit_cast<std::uint64_t>(value), 8);
}

// A string or a key: ASCII as it is, anything else as UTF-16 big-endian.
bool AppendText(std::string& out, std::string_view utf8) {
  bool ascii = true;
  for (char c : utf8) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  if (ascii) {
    AppendMarker(out, kAscii, utf8.size());
    out.append(utf8);
    return true;
  }
  String units;
  if (!FromUtf8(utf8, units)) return false;
  AppendMarker(out, kUtf16, units.size());
  for (char16_t unit : units) AppendBigEndian(out, unit, 2);
  return true;
}

// The encoded bytes of a scalar node; false for a node the format cannot carry.
bool EncodeScalar(plist_t node, plist_type type, std::string& out) {
  switch (type) {
    case PLIST_BOOLEAN: {
      std::uint8_t value = 0;
      plist_get_bool_val(node, &value);
      out.push_back(static_cast<char>(value != 0 ? kTrue : kFalse));
      return true;
    }
    case PLIST_UINT: {
      std::uint64_t value = 0;
      plist_get_uint_val(node, &value);
      AppendInt(out, value);
      return true;
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      AppendDouble(out, kReal, value);
      return true;
    }
    case PLIST_DATA: {
      std::uint64_t length = 0;
      const char* bytes = plist_get_data_ptr(node, &length);
      AppendMarker(out, kData, length);
      out.append(bytes == nullptr ? "" : bytes, bytes == nullptr ? 0 : length);
      return true;
    }
    case PLIST_STRING: {
      std::uint64_t length = 0;
      const char* text = plist_get_string_ptr(node, &length);
      return AppendText(out, std::string_view(text == nullptr ? "" : text, length));
    }
    case PLIST_UID: {
      std::uint64_t value = 0;
      plist_get_uid_val(node, &value);
      if (value > 0xFFFFFFFF) return false;  // readers take no wider reference
      const int width = WidthOf(value);
      out.push_back(static_cast<char>(kUid | (width - 1)));
      AppendBigEndian(out, value, width);
      return true;
    }
    default:  // dates among them: archives carry time as a real number of seconds
      return false;
  }
}

class Flattener {
 public:
  bool Run(plist_t root) {
    if (Index(root) == kFailed) return false;
    while (!pending_.empty()) {
      const std::size_t at = pending_.front();
      pending_.pop_front();
      if (!Expand(at)) return false;
    }
    return true;
  }

  std::optional<Data> Write() const {
    const int ref_width = WidthOf(objects_.size());
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    offsets.reserve(objects_.size());
    for (const Object& object : objects_) {
      offsets.push_back(out.size());
      if (object.container == nullptr) {
        out.append(*object.bytes);
        continue;
      }
      const std::size_t count = object.refs_end - object.refs_begin;
      const bool dict = plist_get_node_type(object.container) == PLIST_DICT;
      AppendMarker(out, dict ? kDict : kArray, dict ? count / 2 : count);
      for (std::size_t r = object.refs_begin; r < object.refs_end; ++r) {
        AppendBigEndian(out, refs_[r], ref_width);
      }
    }
    const std::uint64_t table = out.size();
    const int offset_width = WidthOf(table);
    for (std::uint64_t offset : offsets) AppendBigEndian(out, offset, offset_width);
    out.append(6, '\0');
    out.push_back(static_cast<char>(offset_width));
    out.push_back(static_cast<char>(ref_width));
    AppendBigEndian(out, objects_.size(), 8);
    AppendBigEndian(out, 0, 8);  // the top object is the first
    AppendBigEndian(out, table, 8);
    return Data(out.begin(), out.end());
  }

 private:
  static constexpr std::uint64_t kFailed = ~std::uint64_t{0};

  struct Object {
    const std::string* bytes = nullptr;  // a scalar's encoding (the key of its map entry)
    plist_t container = nullptr;         // or the array or dictionary whose refs follow
    std::size_t refs_begin = 0;
    std::size_t refs_end = 0;
  };

  // The index of `node`: a new one for a container (expanded later), the shared one of an
  // equal scalar.
  std::uint64_t Index(plist_t node) {
    if (node == nullptr) return kFailed;
    const plist_type type = plist_get_node_type(node);
    if (type == PLIST_ARRAY || type == PLIST_DICT) {
      objects_.push_back(Object{nullptr, node, 0, 0});
      pending_.push_back(objects_.size() - 1);
      return objects_.size() - 1;
    }
    std::string bytes;
    if (!EncodeScalar(node, type, bytes)) return kFailed;
    return Shared(std::move(bytes));
  }

  std::uint64_t Shared(std::string bytes) {
    // Keyed: text from outside cannot be made to collide in it.
    const auto [it, added] = scalars_.try_emplace(std::move(bytes), objects_.size());
    if (added) objects_.push_back(Object{&it->first, nullptr, 0, 0});
    return it->second;
  }

  bool Expand(std::size_t at) {
    plist_t node = objects_[at].container;
    std::vector<std::uint64_t>& items = items_;
    items.clear();
    if (plist_get_node_type(node) == PLIST_ARRAY) {
      Items(node, children_);
      for (plist_t child : children_) {
        items.push_back(Index(child));
        if (items.back() == kFailed) return false;
      }
    } else {
      std::vector<std::uint64_t>& values = values_;
      values.clear();
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      if (iter == nullptr) return false;
      bool ok = true;
      for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (key == nullptr) break;
        std::string bytes;
        ok = ok && AppendText(bytes, key);
        std::free(key);
        if (!ok) break;
        items.push_back(Shared(std::move(bytes)));
        values.push_back(Index(value));
        if (values.back() == kFailed) {
          ok = false;
          break;
        }
      }
      std::free(iter);
      if (!ok) return false;
      items.insert(items.end(), values.begin(), values.end());
    }
    objects_[at].refs_begin = refs_.size();
    refs_.insert(refs_.end(), items.begin(), items.end());
    objects_[at].refs_end = refs_.size();
    return true;
  }

  std::deque<Object> objects_;
  std::deque<std::size_t> pending_;
  // Scratch of Expand, kept between calls.
  std::vector<plist_t> children_;
  std::vector<std::uint64_t> items_;
  std::vector<std::uint64_t> values_;
  std::vector<std::uint64_t> refs_;
  std::unordered_map<std::string, std::uint64_t, KeyedTextHash, std::equal_to<>> scalars_;
};

}  // namespace

std::optional<Data> WriteBinaryPropertyList(plist_t root) noexcept {
  try {
    Flattener flattener;
    if (!flattener.Run(root)) return std::nullopt;
    return flattener.Write();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace kelvane::platform::internal
