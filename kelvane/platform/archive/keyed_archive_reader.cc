// SPDX-License-Identifier: Apache-2.0
// Reading keyed archives defensively: the property list checked before libplist reads it, every
// reference checked, cycles, depth and the decoded size bounded, and only registered classes
// rebuilt.
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "kelvane/platform/archive/internal/keyed_coder_support.h"
#include "kelvane/platform/archive/keyed_coder.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/core/internal/property_list_room.h"
#include "kelvane/platform/core/property_list_check.h"

namespace kelvane::platform {
namespace {

using namespace internal;  // NOLINT: the shared helpers of the two halves

// What decoded values weigh in memory, as charged against a load's budget.
constexpr std::uint64_t kValueBytes = sizeof(CodedValue);
// A dictionary entry: the tree node around its key and value.
constexpr std::uint64_t kEntryBytes = 64;
// An object a decode function made, besides the values it decoded through its coder.
constexpr std::uint64_t kObjectBytes = 128;
// Finding a key walks the record's keys: each decode of a record is charged this much per key,
// so that a record with a great many keys cannot be read again and again for free.
constexpr std::uint64_t kKeyScanBytes = 8;

Error Malformed(std::string what) { return Error{ErrorKind::kMalformed, std::move(what)}; }

class Reader {
 public:
  Result<CodableRef> Load(std::span<const std::uint8_t> bytes, std::string_view root_class) {
    // libplist would recurse through deep nesting and copy shared references: the bytes are
    // checked first, so that what it builds stays within the list's budget.
    Result<PropertyListShape> shape = CheckBinaryPropertyList(bytes);
    if (!shape) return shape.error();
    // libplist does not check its allocations: the room for its tree is made sure of first.
    if (!RoomForPropertyList(shape->expanded_bytes)) {
      return Error{ErrorKind::kTooLarge, "memory ran out"};
    }
    // Decoded values may weigh this much more than the archive: enough for text shared by many
    // records, too little for a small file that references one large value millions of times.
    budget_ = PropertyListBudget(bytes.size());
    limit_ = budget_;
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::uint32_t>(bytes.size()), &root);
    root_.reset(root);
    if (root == nullptr) return Malformed("a property list the reader cannot take");
    if (!IsType(root, PLIST_DICT)) return Malformed("not a keyed archive: no top dictionary");
    plist_t archiver = DictItem(root, "$archiver");
    plist_t objects = DictItem(root, "$objects");
    plist_t root_ref = DictItem(DictItem(root, "$top"), "root");
    if (!IsType(archiver, PLIST_STRING) || StringOf(archiver) != kArchiverName) {
      return Malformed("not a keyed archive: no \"$archiver\" of the keyed archiver");
    }
    if (!IsType(objects, PLIST_ARRAY)) return Malformed("not a keyed archive: no \"$objects\"");
    if (!IsType(root_ref, PLIST_UID)) return Malformed("not a keyed archive: no root reference");
    objects_ = Items(objects);
    if (objects_.empty() || !IsType(objects_[0], PLIST_STRING) || StringOf(objects_[0]) != kNull) {
      return Malformed("not a keyed archive: \"$objects\" does not start with \"$null\"");
    }
    marks_.assign(objects_.size(), Mark::kNone);
    decoded_.assign(objects_.size(), nullptr);
    std::uint64_t uid = 0;
    plist_get_uid_val(root_ref, &uid);
    if (std::optional<Error> refused = RootRefused(uid, root_class)) return *std::move(refused);
    CodedValue value;
    if (!DecodeRef(uid, value) || failed_) return TakeError();
    const CodableRef* object = value.Get<CodableRef>();
    if (object == nullptr || *object == nullptr) return Malformed("the root is not an object");
    return *object;
  }

  // A value stored under a key or in an array: a scalar in place, or a reference.
  bool DecodeNode(plist_t node, CodedValue& out) {
    if (failed_) return false;
    if (node == nullptr) return Refuse("a missing value");
    switch (plist_get_node_type(node)) {
      case PLIST_UID: {
        std::uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return DecodeRef(uid, out);
      }
      case PLIST_BOOLEAN:
      case PLIST_UINT:
      case PLIST_REAL:
      case PLIST_STRING:
      case PLIST_DATA:
        return DecodeScalar(node, out);
      default:
        return Refuse("a value of a kind archives do not hold");
    }
  }

  void Fail() { failed_ = true; }

 private:
  // Why the root record may not be decoded, or nothing when it is of a registered class that
  // is `root_class` or derives from it (any registered class when `root_class` is empty); judged
  // before anything is decoded.
  std::optional<Error> RootRefused(std::uint64_t uid, std::string_view root_class) const {
    if (uid == 0 || uid >= objects_.size()) return Malformed("a root reference past the objects");
    plist_t class_ref = DictItem(objects_[uid], "$class");
    if (!IsType(class_ref, PLIST_UID)) return Malformed("a root that is not an object");
    std::uint64_t class_uid = 0;
    plist_get_uid_val(class_ref, &class_uid);
    if (class_uid >= objects_.size()) return Malformed("a class reference past the objects");
    plist_t name = DictItem(objects_[class_uid], "$classname");
    if (!IsType(name, PLIST_STRING)) return Malformed("a class record without a name");
    const std::optional<ClassEntry> entry = FindClass(StringOf(name));
    if (!entry) return NotRegistered(StringOf(name));
    if (root_class.empty()) return std::nullopt;
    for (const std::string& c : entry->classes) {
      if (c == root_class) return std::nullopt;
    }
    return Error{ErrorKind::kUnsupported, "the root is of class " + QuoteName(StringOf(name)) +
                                              ", not " + QuoteName(root_class)};
  }

  static Error NotRegistered(std::string_view name) {
    return Error{ErrorKind::kUnsupported, "class " + QuoteName(name) + " is not registered"};
  }

  enum class Mark : std::uint8_t { kNone, kBusy, kDone };

  // Fails the load; the first reason given is the one reported.
  bool Refuse(Error error) {
    if (!error_) error_ = std::move(error);
    failed_ = true;
    return false;
  }
  bool Refuse(std::string what) { return Refuse(Malformed(std::move(what))); }

  // Why the load failed. A decode function that refuses its record without a word leaves none.
  Error TakeError() {
    return error_ ? *std::move(error_) : Malformed("a record its class refused");
  }

  // Counts `bytes` of decoded values against the budget, before they are made.
  bool Charge(std::uint64_t bytes) {
    if (bytes > budget_) {
      return Refuse(Error{ErrorKind::kTooLarge, "decoded values past the limit of " +
                                                    DescribeBytes(limit_) +
                                                    " (64 times the archive, plus 16 MiB)"});
    }
    budget_ -= bytes;
    return true;
  }

  bool DecodeScalar(plist_t node, CodedValue& out) {
    switch (plist_get_node_type(node)) {
      case PLIST_BOOLEAN: {
        std::uint8_t b = 0;
        plist_get_bool_val(node, &b);
        out = CodedValue(b != 0);
        break;
      }
      case PLIST_UINT: {
        std::uint64_t u = 0;
        plist_get_uint_val(node, &u);
        out = CodedValue(static_cast<std::int64_t>(u));
        break;
      }
      case PLIST_REAL: {
        double d = 0;
        plist_get_real_val(node, &d);
        out = CodedValue(d);
        break;
      }
      case PLIST_STRING: {
        const std::string_view utf8 = StringOf(node);
        // UTF-16 has at most as many units as UTF-8 has bytes.
        if (!Charge(kValueBytes + 2 * static_cast<std::uint64_t>(utf8.size()))) return false;
        String s;
        if (!FromUtf8(utf8, s)) return Refuse("a string that is not UTF-8");
        out = CodedValue(std::move(s));
        return true;
      }
      case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        if (!Charge(kValueBytes + length)) return false;
        out = CodedValue(bytes == nullptr ? Data() : Data(bytes, bytes + length));
        return true;
      }
      default:
        return Refuse("a value of a kind archives do not hold");
    }
    return Charge(kValueBytes);
  }

  // Objects of registered classes are decoded once and shared by every reference, as they were
  // archived; every other value is decoded again for each reference and charged each time, so
  // nothing is copied that the budget has not counted.
  bool DecodeRef(std::uint64_t uid, CodedValue& out) {
    if (failed_) return false;
    if (uid >= objects_.size()) return Refuse("a reference past the objects");
    if (uid == 0) {
      out = CodedValue();
      return Charge(kValueBytes);
    }
    if (marks_[uid] == Mark::kBusy) return Refuse("a reference cycle");
    if (marks_[uid] == Mark::kDone) {
      if (!Charge(kValueBytes)) return false;
      out = CodedValue(decoded_[uid]);
      return true;
    }
    plist_t node = objects_[uid];
    if (!IsType(node, PLIST_DICT)) return DecodeScalar(node, out);
    if (depth_ >= kMaxArchiveDepth) {
      return Refuse(Error{ErrorKind::kTooLarge, "objects nested deeper than " +
                                                    std::to_string(kMaxArchiveDepth) + " levels"});
    }
    if (!Charge(kKeyScanBytes * plist_dict_get_size(node))) return false;
    marks_[uid] = Mark::kBusy;
    ++depth_;
    const bool ok = DecodeRecord(node, out);
    --depth_;
    if (!ok || failed_) return Refuse("a damaged record");
    if (const CodableRef* object = out.Get<CodableRef>()) {
      decoded_[uid] = *object;
      marks_[uid] = Mark::kDone;
    } else {
      marks_[uid] = Mark::kNone;
    }
    return true;
  }

  bool DecodeRecord(plist_t record, CodedValue& out);

  PlistPtr root_;
  std::vector<plist_t> objects_;
  std::vector<Mark> marks_;
  std::vector<CodableRef> decoded_;  // by UID, the objects of registered classes once decoded
  std::uint64_t budget_ = 0;
  std::uint64_t limit_ = 0;  // the budget at the start, for the reason
  int depth_ = 0;
  bool failed_ = false;
  std::optional<Error> error_;  // why the load failed, the first reason met
};

// What a registered class's decode function sees: the values of one record.
class RecordCoder final : public KeyedUnarchiver {
 public:
  RecordCoder(Reader& reader, plist_t record) : reader_(reader), record_(record) {}

  bool ContainsValue(std::string_view key) override { return Find(key) != nullptr; }
  std::optional<bool> DecodeBool(std::string_view key) override { return As<bool>(key); }
  std::optional<std::int64_t> DecodeInt64(std::string_view key) override {
    return As<std::int64_t>(key);
  }
  std::optional<double> DecodeDouble(std::string_view key) override {
    std::optional<CodedValue> v = DecodeValue(key);
    if (!v) return std::nullopt;
    if (const double* d = v->Get<double>()) return *d;
    if (const std::int64_t* i = v->Get<std::int64_t>()) return static_cast<double>(*i);
    return std::nullopt;
  }
  std::optional<String> DecodeString(std::string_view key) override { return As<String>(key); }
  std::optional<Data> DecodeData(std::string_view key) override { return As<Data>(key); }
  std::optional<CodedDate> DecodeDate(std::string_view key) override { return As<CodedDate>(key); }
  CodableRef DecodeObject(std::string_view key) override {
    std::optional<CodableRef> object = As<CodableRef>(key);
    return object ? *object : nullptr;
  }
  std::optional<CodedValue> DecodeValue(std::string_view key) override {
    plist_t node = Find(key);
    if (node == nullptr) return std::nullopt;
    CodedValue value;
    if (!reader_.DecodeNode(node, value)) return std::nullopt;
    return value;
  }
  void Fail() override { reader_.Fail(); }

 private:
  plist_t Find(std::string_view key) {
    if (key.find('\0') != std::string_view::npos) return nullptr;
    return DictItem(record_, EscapeKey(key).c_str());
  }

  template <typename T>
  std::optional<T> As(std::string_view key) {
    std::optional<CodedValue> v = DecodeValue(key);
    if (!v) return std::nullopt;
    if (T* value = std::get_if<T>(&v->value)) return std::move(*value);
    return std::nullopt;
  }

  Reader& reader_;
  plist_t record_;
};

bool Reader::DecodeRecord(plist_t record, CodedValue& out) {
  plist_t class_ref = DictItem(record, "$class");
  if (!IsType(class_ref, PLIST_UID)) return Refuse("a record without a class");
  std::uint64_t class_uid = 0;
  plist_get_uid_val(class_ref, &class_uid);
  if (class_uid == 0 || class_uid >= objects_.size()) {
    return Refuse("a class reference past the objects");
  }
  plist_t name_node = DictItem(objects_[class_uid], "$classname");
  if (!IsType(name_node, PLIST_STRING)) return Refuse("a class record without a name");
  const std::string_view name = StringOf(name_node);
  // The standard classes' names are known, so they may be quoted as they are.
  const auto damaged = [&] { return Refuse("a damaged " + std::string(name) + " record"); };
  switch (StandardClass(name)) {
    case Standard::kArray: {
      plist_t objects = DictItem(record, "NS.objects");
      if (!IsType(objects, PLIST_ARRAY)) return damaged();
      const std::vector<plist_t> items = Items(objects);
      // Each item charges its own slot.
      if (!Charge(kValueBytes)) return false;
      CodedArray array;
      array.reserve(items.size());
      for (plist_t item : items) {
        if (!IsType(item, PLIST_UID)) return damaged();
        if (!DecodeNode(item, array.emplace_back())) return false;
      }
      out = CodedValue(std::move(array));
      return true;
    }
    case Standard::kDictionary: {
      plist_t keys = DictItem(record, "NS.keys");
      plist_t objects = DictItem(record, "NS.objects");
      if (!IsType(keys, PLIST_ARRAY) || !IsType(objects, PLIST_ARRAY)) return damaged();
      const std::vector<plist_t> key_nodes = Items(keys);
      const std::vector<plist_t> value_nodes = Items(objects);
      if (key_nodes.size() != value_nodes.size()) return damaged();
      if (!Charge(kValueBytes)) return false;
      CodedDictionary dictionary;
      for (std::size_t i = 0; i < key_nodes.size(); ++i) {
        if (!IsType(key_nodes[i], PLIST_UID) || !IsType(value_nodes[i], PLIST_UID)) {
          return damaged();
        }
        CodedValue key, value;
        if (!Charge(kEntryBytes) || !DecodeNode(key_nodes[i], key) ||
            !DecodeNode(value_nodes[i], value)) {
          return false;
        }
        String* text = std::get_if<String>(&key.value);
        if (text == nullptr) return Refuse("a dictionary key that is not a string");
        dictionary.insert_or_assign(std::move(*text), std::move(value));
      }
      out = CodedValue(std::move(dictionary));
      return true;
    }
    case Standard::kString: {
      plist_t text = DictItem(record, "NS.string");
      if (!IsType(text, PLIST_STRING)) return damaged();
      return DecodeScalar(text, out);
    }
    case Standard::kData: {
      plist_t bytes = DictItem(record, "NS.bytes");
      if (IsType(bytes, PLIST_DATA)) return DecodeScalar(bytes, out);
      // Other writers put the bytes under "NS.data", in place or as a reference to them.
      bytes = DictItem(record, "NS.data");
      if (!IsType(bytes, PLIST_DATA) && !IsType(bytes, PLIST_UID)) return damaged();
      if (!DecodeNode(bytes, out)) return false;
      return out.Get<Data>() != nullptr || damaged();
    }
    case Standard::kDate: {
      plist_t time = DictItem(record, "NS.time");
      double seconds = 0;
      if (IsType(time, PLIST_REAL)) {
        plist_get_real_val(time, &seconds);
      } else if (IsType(time, PLIST_UINT)) {
        std::uint64_t whole = 0;
        plist_get_uint_val(time, &whole);
        seconds = static_cast<double>(static_cast<std::int64_t>(whole));
      } else {
        return damaged();
      }
      out = CodedValue(CodedDate{seconds});
      return Charge(kValueBytes);
    }
    case Standard::kNull:
      out = CodedValue();
      return Charge(kValueBytes);
    case Standard::kNone:
      break;
  }
  const std::optional<ClassEntry> entry = FindClass(name);
  if (!entry) return Refuse(NotRegistered(name));  // only registered classes are rebuilt
  if (!Charge(kValueBytes + kObjectBytes)) return false;
  RecordCoder coder(*this, record);
  CodableRef object;
  try {
    object = entry->decode(coder);
  } catch (const std::bad_alloc&) {
    throw;  // memory, not the record: the whole load ends with that reason
  } catch (...) {
    return Refuse("class " + QuoteName(name) + " failed to decode its record");
  }
  // A reason met inside (a nested record, the budget) comes first; else the class said no.
  if (object == nullptr || failed_) {
    return Refuse("class " + QuoteName(name) + " refused its record");
  }
  out = CodedValue(std::move(object));
  return true;
}

}  // namespace

Result<CodableRef> TryUnarchiveRootObject(std::span<const std::uint8_t> bytes,
                                          std::string_view root_class) noexcept {
  static constexpr char kMagic[] = "bplist00";
  if (bytes.size() < 8 || std::memcmp(bytes.data(), kMagic, 8) != 0) {
    return Malformed("not a binary property list");
  }
  // libplist takes the length as 32 bits.
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    return Error{ErrorKind::kTooLarge,
                 "over the limit of " + DescribeBytes(std::numeric_limits<std::uint32_t>::max())};
  }
  try {
    Reader reader;
    return reader.Load(bytes, root_class);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kTooLarge, "memory ran out"};
  } catch (...) {
    return Malformed("unreadable");
  }
}

CodableRef UnarchiveRootObject(std::span<const std::uint8_t> bytes,
                               std::string_view root_class) noexcept {
  return std::move(TryUnarchiveRootObject(bytes, root_class)).ToOptional().value_or(nullptr);
}

}  // namespace kelvane::platform
