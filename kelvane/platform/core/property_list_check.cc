// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/property_list_check.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/core/internal/address_space.h"
#include "kelvane/platform/core/internal/property_list_room.h"

namespace kelvane::platform {
namespace {

constexpr std::size_t kHeaderBytes = 8;
constexpr std::size_t kTrailerBytes = 32;

// Kinds of object, by the high half of the marker byte.
enum Kind : std::uint8_t {
  kScalar = 0x0,  // booleans, integers, reals, dates, UIDs: nothing but the node
  kData = 0x4,
  kAscii = 0x5,
  kUnicode = 0x6,
  kArray = 0xA,
  kSet = 0xC,
  kDict = 0xD,
};

bool IsContainer(std::uint8_t kind) { return kind == kArray || kind == kSet || kind == kDict; }
bool IsString(std::uint8_t kind) { return kind == kAscii || kind == kUnicode; }
// Offsets, references and UIDs take as few bytes as their largest value needs (writers use
// widths like 3), at most 8.
bool IsWidth(std::uint64_t n) { return n >= 1 && n <= 8; }

std::uint64_t ReadBig(const std::uint8_t* p, std::size_t n) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < n; ++i) value = value << 8 | p[i];
  return value;
}

Error Malformed(std::string what) { return Error{ErrorKind::kMalformed, std::move(what)}; }

class Checker {
 public:
  Checker(std::span<const std::uint8_t> bytes, const PropertyListLimits& limits)
      : bytes_(bytes),
        max_depth_(std::clamp(limits.max_depth, 0, 0xFFFF)),
        // Capped so that the sum of two weights below it cannot overflow.
        max_bytes_(std::min(limits.max_expanded_bytes != 0 ? limits.max_expanded_bytes
                                                           : PropertyListBudget(bytes.size()),
                            std::uint64_t{1} << 62)) {}

  Result<PropertyListShape> Run() {
    if (bytes_.size() < kHeaderBytes + 1 + kTrailerBytes ||
        std::memcmp(bytes_.data(), "bplist00", kHeaderBytes) != 0) {
      return Malformed("not a binary property list");
    }
    end_ = bytes_.size() - kTrailerBytes;
    const std::uint8_t* trailer = bytes_.data() + end_;
    offset_width_ = trailer[6];
    ref_width_ = trailer[7];
    const std::uint64_t count = ReadBig(trailer + 8, 8);
    const std::uint64_t root = ReadBig(trailer + 16, 8);
    table_ = ReadBig(trailer + 24, 8);
    // The offset table lies between the objects and the trailer and holds one offset per object.
    if (!IsWidth(offset_width_) || !IsWidth(ref_width_) || count == 0 || root >= count ||
        table_ <= kHeaderBytes || table_ > end_ || count > (end_ - table_) / offset_width_) {
      return Malformed("a damaged trailer");
    }
    count_ = count;
    entries_.resize(count);
    return Walk(root);
  }

 private:
  enum State : std::uint8_t { kNew, kOpen, kDone };

  // What is kept of an object once its subtree is weighed.
  struct Entry {
    std::uint64_t bytes = 0;
    std::uint64_t objects = 0;
    std::uint16_t height = 0;
    std::uint8_t state = kNew;
    std::uint8_t kind = kScalar;
  };

  // An object's header: its kind, its length (items, bytes or UTF-16 units) and where its
  // references start.
  struct Header {
    std::uint8_t kind = kScalar;
    std::uint64_t length = 0;
    std::uint64_t at = 0;
  };

  // A container being weighed: the next of its `children` references to follow.
  struct Frame {
    std::uint64_t index;
    Header header;
    std::uint64_t children;
    std::uint64_t next = 0;
    std::uint64_t bytes = kPropertyListNodeBytes;
    std::uint64_t objects = 1;
    int height = 0;  // the tallest child's
  };

  // Reads the header of object `index`; false when it is malformed or runs past the objects.
  bool ReadHeader(std::uint64_t index, Header& header) const {
    header = Header{};
    const std::uint64_t offset =
        ReadBig(bytes_.data() + table_ + index * offset_width_, offset_width_);
    if (offset < kHeaderBytes || offset >= table_) return false;
    const std::uint8_t marker = bytes_[offset];
    const std::uint8_t high = marker >> 4;
    const std::uint8_t low = marker & 0xF;
    std::uint64_t at = offset + 1;
    const std::uint64_t room = table_ - at;
    switch (high) {
      case 0x0:  // false and true only: null and fill make libplist fail
        return low == 0x8 || low == 0x9;
      case 0x1:  // integers of 1 to 16 bytes
        return low <= 4 && (std::uint64_t{1} << low) <= room;
      case 0x2:  // reals of 4 or 8 bytes
        return (low == 2 || low == 3) && (std::uint64_t{1} << low) <= room;
      case 0x3:  // dates
        return low == 3 && 8 <= room;
      case 0x8: {  // UIDs of 1 to 8 bytes, below 2^32
        const std::uint64_t width = std::uint64_t{low} + 1;
        return IsWidth(width) && width <= room && ReadBig(bytes_.data() + at, width) <= 0xFFFFFFFF;
      }
      case kData:
      case kAscii:
      case kUnicode:
      case kArray:
      case kSet:
      case kDict:
        break;
      default:
        return false;
    }
    std::uint64_t length = low;
    if (low == 0xF) {  // the length follows as an integer object of 1 to 8 bytes
      if (room < 1 || (bytes_[at] >> 4) != 0x1 || (bytes_[at] & 0xF) > 3) return false;
      const std::uint64_t width = std::uint64_t{1} << (bytes_[at] & 0xF);
      if (room - 1 < width) return false;
      length = ReadBig(bytes_.data() + at + 1, width);
      at += 1 + width;
    }
    // libplist 2.2.0 fails on an empty UTF-16 string (writers make the empty string ASCII).
    if (high == kUnicode && length == 0) return false;
    const std::uint64_t left = table_ - at;
    std::uint64_t unit = 1;
    if (high == kUnicode) unit = 2;
    if (high == kArray || high == kSet) unit = ref_width_;
    if (high == kDict) unit = 2 * ref_width_;
    if (length > left / unit) return false;
    header = Header{high, length, at};
    return true;
  }

  // The weight of a scalar or string: its node, plus its text (as UTF-8, up to three bytes a
  // UTF-16 unit, with a terminator) or its bytes.
  static std::uint64_t LeafBytes(const Header& header) {
    switch (header.kind) {
      case kData:
        return kPropertyListNodeBytes + header.length;
      case kAscii:
        return kPropertyListNodeBytes + header.length + 1;
      case kUnicode:
        return kPropertyListNodeBytes + 3 * header.length + 1;
      default:
        return kPropertyListNodeBytes;
    }
  }

  // A zero character inside text: libplist keeps text zero-terminated and stops the process
  // (an assertion) when a key's length and its terminator disagree.
  bool HoldsZero(const Header& header) const {
    const std::uint8_t* text = bytes_.data() + header.at;
    if (header.kind == kAscii) return std::memchr(text, 0, header.length) != nullptr;
    if (header.kind != kUnicode) return false;
    for (std::uint64_t i = 0; i < header.length; ++i) {
      if (text[2 * i] == 0 && text[2 * i + 1] == 0) return true;
    }
    return false;
  }

  Result<PropertyListShape> TooDeep() const {
    return Error{ErrorKind::kTooLarge,
                 "nested deeper than " + std::to_string(max_depth_) + " levels"};
  }
  static Result<PropertyListShape> ZeroInText() {
    return Malformed("a string holding a zero character");
  }
  Result<PropertyListShape> TooLarge() const {
    return Error{ErrorKind::kTooLarge,
                 "shared references expand past the limit of " + DescribeBytes(max_bytes_)};
  }

  Result<PropertyListShape> Walk(std::uint64_t root) {
    std::vector<Frame> stack;
    Header header;
    if (!ReadHeader(root, header)) return Malformed("a damaged object");
    if (!IsContainer(header.kind)) {
      if (HoldsZero(header)) return ZeroInText();
      const std::uint64_t bytes = LeafBytes(header);
      if (bytes > max_bytes_) return TooLarge();
      return PropertyListShape{1, bytes, 0};
    }
    if (max_depth_ < 1) return TooDeep();
    entries_[root].state = kOpen;
    stack.push_back(Frame{root, header, Children(header)});
    for (;;) {
      Frame& frame = stack.back();
      if (frame.next == frame.children) {
        Entry& done = entries_[frame.index];
        done = Entry{frame.bytes, frame.objects, static_cast<std::uint16_t>(frame.height + 1),
                     kDone, frame.header.kind};
        stack.pop_back();
        if (stack.empty()) return PropertyListShape{done.objects, done.bytes, done.height};
        if (!Add(stack.back(), done)) return TooLarge();
        continue;
      }
      const std::uint64_t slot = frame.next++;
      const std::uint64_t child =
          ReadBig(bytes_.data() + frame.header.at + slot * ref_width_, ref_width_);
      if (child >= count_) return Malformed("a reference past the objects");
      const bool key = frame.header.kind == kDict && slot < frame.header.length;
      Entry& entry = entries_[child];
      if (entry.state == kOpen) return Malformed("a reference cycle");
      if (entry.state == kNew) {
        if (!ReadHeader(child, header)) return Malformed("a damaged object");
        if (IsContainer(header.kind)) {
          if (key) return Malformed("a dictionary key that is not a string");
          if (static_cast<int>(stack.size()) >= max_depth_) return TooDeep();
          entry.state = kOpen;
          stack.push_back(Frame{child, header, Children(header)});  // `frame` is stale now
          continue;
        }
        if (HoldsZero(header)) return ZeroInText();
        entry = Entry{LeafBytes(header), 1, 0, kDone, header.kind};
        if (entry.bytes > max_bytes_) return TooLarge();
      }
      if (key && !IsString(entry.kind)) return Malformed("a dictionary key that is not a string");
      // A shared container met again nests as deep here as its own height reaches.
      if (static_cast<int>(stack.size()) + entry.height > max_depth_) return TooDeep();
      if (!Add(frame, entry)) return TooLarge();
    }
  }

  static std::uint64_t Children(const Header& header) {
    return header.kind == kDict ? 2 * header.length : header.length;
  }

  // Adds a weighed child to its container; false past the limit.
  bool Add(Frame& frame, const Entry& child) const {
    frame.bytes += child.bytes;
    frame.objects += child.objects;
    frame.height = std::max<int>(frame.height, child.height);
    return frame.bytes <= max_bytes_;
  }

  std::span<const std::uint8_t> bytes_;
  int max_depth_;
  std::uint64_t max_bytes_;
  std::uint64_t end_ = 0;    // where the trailer starts
  std::uint64_t table_ = 0;  // where the offset table starts; the objects lie before it
  std::uint64_t count_ = 0;
  std::size_t offset_width_ = 0;
  std::size_t ref_width_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace

Result<PropertyListShape> CheckBinaryPropertyList(std::span<const std::uint8_t> bytes,
                                                  const PropertyListLimits& limits) noexcept {
  try {
    return Checker(bytes, limits).Run();
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kTooLarge, "memory ran out"};
  } catch (...) {
    return Error{ErrorKind::kMalformed, "unreadable"};
  }
}

namespace internal {

bool RoomForPropertyList(std::uint64_t expanded_bytes) noexcept {
  // The tree by the check's estimate, as much again for the allocator, and a mebibyte more.
  if (expanded_bytes > (std::uint64_t{1} << 60)) return false;
  return AddressSpaceAvailable(2 * expanded_bytes + (std::uint64_t{1} << 20));
}

}  // namespace internal
}  // namespace kelvane::platform
