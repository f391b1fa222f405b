// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/property_lists.h
//
// Test helper: binary property lists laid out object by object, including the hostile shapes no
// writer produces (chains thousands deep, references shared level after level), and the same
// shapes in XML and as keyed archives.
#pragma once

#include <plist/plist.h>

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/platform/core/string.h"

namespace kelvane::testing {

class BinaryPlist {
 public:
  using Ref = std::uint64_t;

  // Each adds one object and returns its reference; references may point at objects added later.
  Ref Ascii(std::string_view text) { return Add(Counted(0x50, text.size()) + std::string(text)); }
  Ref Integer(std::uint64_t value) { return Add("\x13" + Big(value, 8)); }
  Ref Uid(std::uint32_t value) { return Add("\x83" + Big(value, 4)); }
  Ref Array(std::vector<Ref> items) {
    std::string head = Counted(0xA0, items.size());
    return Add(std::move(head), std::move(items));
  }
  Ref Dict(const std::vector<Ref>& keys, const std::vector<Ref>& values) {
    std::vector<Ref> refs = keys;
    refs.insert(refs.end(), values.begin(), values.end());
    std::string head = Counted(0xD0, keys.size());
    return Add(std::move(head), std::move(refs));
  }
  // The next reference Add will return.
  [[nodiscard]] Ref Next() const { return objects_.size(); }

  // The list with `root` at its top; references and offsets as wide as they need to be.
  [[nodiscard]] Data Build(Ref root) const {
    const int ref_width = Width(objects_.size());
    std::string body = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const Object& o : objects_) {
      offsets.push_back(body.size());
      body += o.head;
      for (Ref r : o.refs) body += Big(r, ref_width);
    }
    const std::uint64_t table = body.size();
    const int offset_width = Width(table);
    for (std::uint64_t offset : offsets) body += Big(offset, offset_width);
    body += std::string(6, '\0') + char(offset_width) + char(ref_width);
    body += Big(objects_.size(), 8) + Big(root, 8) + Big(table, 8);
    return Data(body.begin(), body.end());
  }

 private:
  struct Object {
    std::string head;
    std::vector<Ref> refs;
  };

  static std::string Big(std::uint64_t value, int width) {
    std::string out(width, '\0');
    for (int i = width - 1; i >= 0; --i, value >>= 8) out[i] = static_cast<char>(value & 0xFF);
    return out;
  }
  static int Width(std::uint64_t max) {
    return max < 0x100 ? 1 : max < 0x10000 ? 2 : max < 0x100000000 ? 4 : 8;
  }
  static std::string Counted(int marker, std::uint64_t n) {
    if (n < 15) return std::string(1, static_cast<char>(marker | static_cast<int>(n)));
    return std::string(1, static_cast<char>(marker | 0xF)) + "\x13" + Big(n, 8);
  }
  Ref Add(std::string head, std::vector<Ref> refs = {}) {
    objects_.push_back({std::move(head), std::move(refs)});
    return objects_.size() - 1;
  }

  std::vector<Object> objects_;
};

// The binary list libplist writes for `root`, which it frees.
inline Data WrittenByLibplist(plist_t root) {
  char* bytes = nullptr;
  std::uint32_t length = 0;
  plist_to_bin(root, &bytes, &length);
  Data out(bytes, bytes + length);
  plist_to_bin_free(bytes);
  plist_free(root);
  return out;
}

// A chain of `depth` arrays, each holding the next, around one string.
inline Data DeepBinaryChain(int depth) {
  BinaryPlist list;
  for (int i = 0; i < depth; ++i) list.Array({list.Next() + 1});
  list.Ascii("end");
  return list.Build(0);
}

// `levels` arrays, each holding the next one twice, around a string of 64 letters: a few hundred
// bytes that expand to 2^levels copies of the string.
inline Data SharedReferenceLadder(int levels) {
  BinaryPlist list;
  for (int i = 0; i < levels; ++i) list.Array({list.Next() + 1, list.Next() + 1});
  list.Ascii(std::string(64, 'x'));
  return list.Build(0);
}

// A dictionary whose one value is `depth` arrays nested in XML.
inline std::string DeepXml(int depth) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
      "<key>k</key>";
  xml.reserve(xml.size() + 16 * static_cast<std::size_t>(depth) + 32);
  for (int i = 0; i < depth; ++i) xml += "<array>";
  for (int i = 0; i < depth; ++i) xml += "</array>";
  return xml + "</dict></plist>\n";
}

// A keyed archive laid out by hand: "$objects" starts with "$null", then whatever the caller
// adds; Archive(root) wraps them with the archiver's name, version and "$top".
class KeyedArchiveLayout {
 public:
  KeyedArchiveLayout() { objects_.push_back(list_.Ascii("$null")); }

  // The UID of an object added to "$objects".
  std::uint32_t Add(BinaryPlist::Ref object) {
    objects_.push_back(object);
    return static_cast<std::uint32_t>(objects_.size() - 1);
  }
  // The UID the next Add will return.
  [[nodiscard]] std::uint32_t NextUid() const {
    return static_cast<std::uint32_t>(objects_.size());
  }

  // A class record ("$classname", "$classes").
  std::uint32_t Class(std::string_view name) {
    const auto n = list_.Ascii(name);
    return Add(list_.Dict({Key("$classname"), Key("$classes")}, {n, list_.Array({n})}));
  }
  // A record of class `class_uid` with `keys` holding the UIDs `uids`.
  std::uint32_t Record(std::uint32_t class_uid, const std::vector<std::string>& keys,
                       const std::vector<std::uint32_t>& uids) {
    std::vector<BinaryPlist::Ref> k{Key("$class")}, v{Uid(class_uid)};
    for (std::size_t i = 0; i < keys.size(); ++i) {
      k.push_back(Key(keys[i]));
      v.push_back(Uid(uids[i]));
    }
    return Add(list_.Dict(k, v));
  }
  // An NSArray-style record of class `class_uid` holding the UIDs `items`.
  std::uint32_t ArrayRecord(std::uint32_t class_uid, const std::vector<std::uint32_t>& items) {
    std::vector<BinaryPlist::Ref> refs;
    for (std::uint32_t uid : items) refs.push_back(Uid(uid));
    return Add(list_.Dict({Key("$class"), Key("NS.objects")}, {Uid(class_uid), list_.Array(refs)}));
  }

  BinaryPlist& List() { return list_; }

  [[nodiscard]] Data Archive(std::uint32_t root_uid) {
    const auto top = list_.Dict({Key("root")}, {Uid(root_uid)});
    const auto root = list_.Dict(
        {Key("$archiver"), Key("$version"), Key("$top"), Key("$objects")},
        {list_.Ascii("NSKeyedArchiver"), list_.Integer(100000), top, list_.Array(objects_)});
    return list_.Build(root);
  }

 private:
  // Key strings and UIDs are written once and shared, as writers do.
  BinaryPlist::Ref Key(const std::string& name) {
    for (const auto& [text, ref] : keys_) {
      if (text == name) return ref;
    }
    keys_.emplace_back(name, list_.Ascii(name));
    return keys_.back().second;
  }
  BinaryPlist::Ref Uid(std::uint32_t uid) {
    auto [it, added] = uids_.try_emplace(uid, 0);
    if (added) it->second = list_.Uid(uid);
    return it->second;
  }

  BinaryPlist list_;
  std::vector<BinaryPlist::Ref> objects_;
  std::vector<std::pair<std::string, BinaryPlist::Ref>> keys_;
  std::map<std::uint32_t, BinaryPlist::Ref> uids_;
};

}  // namespace kelvane::testing
