#include "kelvane/platform/keyed_coder.h"

#include <plist/plist.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <unordered_map>
#include <unordered_set>

namespace kelvane::platform {

Codable::~Codable() = default;
KeyedArchiver::~KeyedArchiver() = default;
KeyedUnarchiver::~KeyedUnarchiver() = default;

namespace {

constexpr char kArchiverName[] = "NSKeyedArchiver";
constexpr std::uint64_t kArchiveVersion = 100000;
constexpr char kNull[] = "$null";
constexpr char kRootClass[] = "NSObject";

// ---- text ---------------------------------------------------------------------------------

// UTF-8 of well-formed UTF-16 without zero units; false otherwise (the file stores strings
// zero-terminated, so a zero unit would cut the text short without a word).
bool ToUtf8(std::u16string_view in, std::string& out) {
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    std::uint32_t c = in[i];
    if (c == 0) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (in[++i] - 0xDC00);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

// UTF-16 of strict UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool FromUtf8(std::string_view in, String& out) {
  out.clear();
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size();) {
    const auto b = static_cast<unsigned char>(in[i]);
    std::uint32_t c;
    std::size_t n;
    if (b < 0x80) {
      c = b, n = 0;
    } else if (b >= 0xC2 && b <= 0xDF) {
      c = b & 0x1F, n = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      c = b & 0x0F, n = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      c = b & 0x07, n = 3;
    } else {
      return false;
    }
    if (in.size() - i <= n) return false;  // the sequence is cut short
    for (std::size_t k = 1; k <= n; ++k) {
      const auto t = static_cast<unsigned char>(in[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    if ((n == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
        (n == 3 && (c < 0x10000 || c > 0x10FFFF))) {
      return false;
    }
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += n + 1;
  }
  return true;
}

// ---- libplist helpers ----------------------------------------------------------------------

struct PlistFree {
  void operator()(void* node) const noexcept { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistFree>;

bool IsType(plist_t node, plist_type type) {
  return node != nullptr && plist_get_node_type(node) == type;
}

plist_t DictItem(plist_t dict, const char* key) {
  return IsType(dict, PLIST_DICT) ? plist_dict_get_item(dict, key) : nullptr;
}

std::string_view StringOf(plist_t node) {
  std::uint64_t length = 0;
  const char* text = plist_get_string_ptr(node, &length);
  return text == nullptr ? std::string_view() : std::string_view(text, length);
}

// The items of an array node, read once: indexing a libplist array walks its list.
std::vector<plist_t> Items(plist_t array) {
  std::vector<plist_t> items;
  items.reserve(plist_array_get_size(array));
  plist_array_iter iter = nullptr;
  plist_array_new_iter(array, &iter);
  if (iter == nullptr) return items;
  for (;;) {
    plist_t item = nullptr;
    plist_array_next_item(array, iter, &item);
    if (item == nullptr) break;
    items.push_back(item);
  }
  std::free(iter);
  return items;
}

// Keys the coder writes itself begin with '$'; a caller's key that does is written with one
// more '$' in front, so the two never meet.
std::string EscapeKey(std::string_view key) {
  return !key.empty() && key.front() == '$' ? "$" + std::string(key) : std::string(key);
}

// ---- the class registry ---------------------------------------------------------------------

struct ClassEntry {
  std::vector<std::string> classes;  // the class itself, then its ancestors
  DecodeFunction decode = nullptr;
};

enum class Standard { kNone, kArray, kDictionary, kString, kData, kNull };

Standard StandardClass(std::string_view name) {
  if (name == "NSArray" || name == "NSMutableArray") return Standard::kArray;
  if (name == "NSDictionary" || name == "NSMutableDictionary") return Standard::kDictionary;
  if (name == "NSString" || name == "NSMutableString") return Standard::kString;
  if (name == "NSData" || name == "NSMutableData") return Standard::kData;
  if (name == "NSNull") return Standard::kNull;
  return Standard::kNone;
}

bool IsReservedClassName(std::string_view name) {
  return StandardClass(name) != Standard::kNone || name == kRootClass || name == "NSNumber" ||
         name == "NSSet" || name == "NSMutableSet" || name == "NSDate" || name == "NSValue";
}

struct Registry {
  std::mutex mutex;
  std::unordered_map<std::string, ClassEntry> classes;
};

Registry& Classes() {
  static Registry* registry = new Registry;  // never destroyed: used by static registrations
  return *registry;
}

std::optional<ClassEntry> FindClass(std::string_view name) {
  Registry& registry = Classes();
  std::lock_guard lock(registry.mutex);
  auto it = registry.classes.find(std::string(name));
  if (it == registry.classes.end()) return std::nullopt;
  return it->second;
}

// ---- writing --------------------------------------------------------------------------------

class Writer final : public KeyedArchiver {
 public:
  std::optional<Data> Archive(const Codable& root) {
    top_.reset(plist_new_dict());
    objects_ = plist_new_array();
    plist_dict_set_item(top_.get(), "$objects", objects_);
    plist_array_append_item(objects_, plist_new_string(kNull));
    const std::uint64_t root_uid = ObjectUid(&root);
    if (failed_ || root_uid == 0) return std::nullopt;
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(root_uid));
    plist_dict_set_item(top_.get(), "$top", top);
    plist_dict_set_item(top_.get(), "$version", plist_new_uint(kArchiveVersion));
    plist_dict_set_item(top_.get(), "$archiver", plist_new_string(kArchiverName));
    char* bytes = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(top_.get(), &bytes, &length);
    if (bytes == nullptr) return std::nullopt;
    std::optional<Data> out;
    try {
      out.emplace(bytes, bytes + length);
    } catch (...) {
      plist_to_bin_free(bytes);
      throw;
    }
    plist_to_bin_free(bytes);
    return out;
  }

  void EncodeBool(std::string_view key, bool value) override { Set(key, plist_new_bool(value)); }
  void EncodeInt64(std::string_view key, std::int64_t value) override {
    // Signed values travel as their two's-complement bits, as the binary format defines them.
    Set(key, plist_new_uint(static_cast<std::uint64_t>(value)));
  }
  void EncodeDouble(std::string_view key, double value) override {
    Set(key, plist_new_real(value));
  }
  void EncodeString(std::string_view key, const String& value) override {
    EncodeValue(key, CodedValue(value));
  }
  void EncodeData(std::string_view key, const Data& value) override {
    EncodeValue(key, CodedValue(value));
  }
  void EncodeObject(std::string_view key, const Codable* value) override {
    if (current_ == nullptr) return;
    const std::uint64_t uid = ObjectUid(value);
    Set(key, plist_new_uid(uid));
  }
  void EncodeValue(std::string_view key, const CodedValue& value) override {
    if (current_ == nullptr) return;
    if (const bool* b = value.Get<bool>()) return EncodeBool(key, *b);
    if (const std::int64_t* i = value.Get<std::int64_t>()) return EncodeInt64(key, *i);
    if (const double* d = value.Get<double>()) return EncodeDouble(key, *d);
    const std::uint64_t uid = ValueUid(value);
    Set(key, plist_new_uid(uid));
  }

 private:
  void Set(std::string_view key, plist_t node) {
    if (current_ == nullptr || failed_ || key.find('\0') != std::string_view::npos) {
      if (current_ != nullptr) failed_ = true;
      plist_free(node);
      return;
    }
    plist_dict_set_item(current_, EscapeKey(key).c_str(), node);
  }

  std::uint64_t Append(plist_t node) {
    plist_array_append_item(objects_, node);
    return count_++;
  }

  std::uint64_t ClassUid(const ClassEntry& entry) {
    const std::string& name = entry.classes.front();
    auto it = class_uids_.find(name);
    if (it != class_uids_.end()) return it->second;
    plist_t record = plist_new_dict();
    plist_t classes = plist_new_array();
    for (const std::string& c : entry.classes) plist_array_append_item(classes, plist_new_string(c.c_str()));
    plist_dict_set_item(record, "$classes", classes);
    plist_dict_set_item(record, "$classname", plist_new_string(name.c_str()));
    const std::uint64_t uid = Append(record);
    class_uids_.emplace(name, uid);
    return uid;
  }

  std::uint64_t StandardClassUid(const char* name, const char* base) {
    ClassEntry entry;
    entry.classes = {name};
    if (base != nullptr) entry.classes.emplace_back(base);
    entry.classes.emplace_back(kRootClass);
    return ClassUid(entry);
  }

  // Index of `object` in "$objects", writing it first when it was not met before; 0 (nil) for
  // a null object or on failure.
  std::uint64_t ObjectUid(const Codable* object) {
    if (object == nullptr || failed_) return 0;
    if (auto it = object_uids_.find(object); it != object_uids_.end()) {
      if (in_progress_.count(object) != 0) failed_ = true;  // refers back to a container
      return failed_ ? 0 : it->second;
    }
    const std::optional<ClassEntry> entry = FindClass(object->ClassName());
    if (!entry || depth_ >= kMaxArchiveDepth) {
      failed_ = true;
      return 0;
    }
    plist_t record = plist_new_dict();
    const std::uint64_t uid = Append(record);
    object_uids_.emplace(object, uid);
    in_progress_.insert(object);
    plist_dict_set_item(record, "$class", plist_new_uid(ClassUid(*entry)));
    plist_t saved = current_;
    current_ = record;
    ++depth_;
    try {
      object->EncodeWithCoder(*this);
    } catch (...) {
      failed_ = true;
    }
    --depth_;
    current_ = saved;
    in_progress_.erase(object);
    return failed_ ? 0 : uid;
  }

  // Index of a value written into "$objects"; values have no identity and are written where
  // they are met, except strings, which are shared by content.
  std::uint64_t ValueUid(const CodedValue& value) {
    if (failed_) return 0;
    switch (value.value.index()) {
      case 0:
        return 0;
      case 1:
        return Append(plist_new_bool(*value.Get<bool>()));
      case 2:
        return Append(plist_new_uint(static_cast<std::uint64_t>(*value.Get<std::int64_t>())));
      case 3:
        return Append(plist_new_real(*value.Get<double>()));
      case 4: {
        const String& s = *value.Get<String>();
        if (auto it = string_uids_.find(s); it != string_uids_.end()) return it->second;
        std::string utf8;
        if (!ToUtf8(s, utf8)) {
          failed_ = true;
          return 0;
        }
        const std::uint64_t uid = Append(plist_new_string(utf8.c_str()));
        string_uids_.emplace(s, uid);
        return uid;
      }
      case 5: {
        const Data& d = *value.Get<Data>();
        return Append(plist_new_data(reinterpret_cast<const char*>(d.data()), d.size()));
      }
      case 6:
        return ObjectUid(value.Get<CodableRef>()->get());
      default:
        break;
    }
    if (depth_ >= kMaxArchiveDepth) {
      failed_ = true;
      return 0;
    }
    ++depth_;
    plist_t record = plist_new_dict();
    const std::uint64_t uid = Append(record);
    if (const CodedArray* array = value.Get<CodedArray>()) {
      plist_dict_set_item(record, "$class", plist_new_uid(StandardClassUid("NSArray", nullptr)));
      plist_t objects = plist_new_array();
      plist_dict_set_item(record, "NS.objects", objects);
      for (const CodedValue& item : *array) plist_array_append_item(objects, plist_new_uid(ValueUid(item)));
    } else {
      const CodedDictionary& dictionary = *value.Get<CodedDictionary>();
      plist_dict_set_item(record, "$class",
                          plist_new_uid(StandardClassUid("NSDictionary", nullptr)));
      plist_t keys = plist_new_array();
      plist_t objects = plist_new_array();
      plist_dict_set_item(record, "NS.keys", keys);
      plist_dict_set_item(record, "NS.objects", objects);
      for (const auto& [k, v] : dictionary) {
        plist_array_append_item(keys, plist_new_uid(ValueUid(CodedValue(k))));
        plist_array_append_item(objects, plist_new_uid(ValueUid(v)));
      }
    }
    --depth_;
    return failed_ ? 0 : uid;
  }

  PlistPtr top_;
  plist_t objects_ = nullptr;  // owned by top_
  std::uint64_t count_ = 1;    // "$null" is entry 0
  plist_t current_ = nullptr;  // the record of the object being encoded
  int depth_ = 0;
  bool failed_ = false;
  std::unordered_map<const Codable*, std::uint64_t> object_uids_;
  std::unordered_set<const Codable*> in_progress_;
  std::unordered_map<String, std::uint64_t> string_uids_;
  std::unordered_map<std::string, std::uint64_t> class_uids_;
};

// ---- reading --------------------------------------------------------------------------------

class Reader {
 public:
  CodableRef Load(std::span<const std::uint8_t> bytes) {
    // Decoded values may weigh this much more than the archive: enough for strings shared by
    // many records, too little for a small file that references one large value millions of
    // times.
    budget_ = 64 * static_cast<std::uint64_t>(bytes.size()) + (std::uint64_t{1} << 20);
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::uint32_t>(bytes.size()), &root);
    root_.reset(root);
    if (!IsType(root, PLIST_DICT)) return nullptr;
    plist_t archiver = DictItem(root, "$archiver");
    plist_t objects = DictItem(root, "$objects");
    plist_t root_ref = DictItem(DictItem(root, "$top"), "root");
    if (!IsType(archiver, PLIST_STRING) || StringOf(archiver) != kArchiverName ||
        !IsType(objects, PLIST_ARRAY) || !IsType(root_ref, PLIST_UID)) {
      return nullptr;
    }
    objects_ = Items(objects);
    if (objects_.empty() || !IsType(objects_[0], PLIST_STRING) || StringOf(objects_[0]) != kNull) {
      return nullptr;
    }
    marks_.assign(objects_.size(), Mark::kNone);
    std::uint64_t uid = 0;
    plist_get_uid_val(root_ref, &uid);
    CodedValue value;
    std::uint64_t weight = 0;
    if (!DecodeRef(uid, value, weight) || failed_) return nullptr;
    const CodableRef* object = value.Get<CodableRef>();
    return object != nullptr ? *object : nullptr;
  }

  // A value stored under a key or in an array: a scalar in place, or a reference.
  bool DecodeNode(plist_t node, CodedValue& out, std::uint64_t& weight) {
    if (failed_ || node == nullptr) return Refuse();
    switch (plist_get_node_type(node)) {
      case PLIST_UID: {
        std::uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return DecodeRef(uid, out, weight);
      }
      case PLIST_BOOLEAN:
      case PLIST_UINT:
      case PLIST_REAL:
      case PLIST_STRING:
      case PLIST_DATA:
        return DecodeScalar(node, out, weight);
      default:
        return Refuse();
    }
  }

  void Fail() { failed_ = true; }

 private:
  enum class Mark : std::uint8_t { kNone, kBusy, kDone };

  bool Refuse() {
    failed_ = true;
    return false;
  }

  bool Charge(std::uint64_t weight) {
    if (weight > budget_) return Refuse();
    budget_ -= weight;
    return true;
  }

  bool DecodeScalar(plist_t node, CodedValue& out, std::uint64_t& weight) {
    weight = 1;
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
        String s;
        if (!FromUtf8(StringOf(node), s)) return Refuse();
        weight += 2 * static_cast<std::uint64_t>(s.size());
        out = CodedValue(std::move(s));
        break;
      }
      case PLIST_DATA: {
        std::uint64_t length = 0;
        const char* bytes = plist_get_data_ptr(node, &length);
        weight += length;
        if (!Charge(weight)) return false;
        out = CodedValue(bytes == nullptr ? Data() : Data(bytes, bytes + length));
        return true;
      }
      default:
        return Refuse();
    }
    return Charge(weight);
  }

  bool DecodeRef(std::uint64_t uid, CodedValue& out, std::uint64_t& weight) {
    if (failed_ || uid >= objects_.size()) return Refuse();
    if (uid == 0) {
      out = CodedValue();
      weight = 1;
      return Charge(1);
    }
    if (marks_[uid] == Mark::kBusy) return Refuse();  // a reference cycle
    if (marks_[uid] == Mark::kDone) {
      const auto& [value, w] = memo_.at(uid);
      weight = w;
      if (!Charge(w)) return false;
      out = value;
      return true;
    }
    plist_t node = objects_[uid];
    if (IsType(node, PLIST_DICT)) {
      if (depth_ >= kMaxArchiveDepth) return Refuse();
      marks_[uid] = Mark::kBusy;
      ++depth_;
      const bool ok = DecodeRecord(node, out, weight);
      --depth_;
      if (!ok || failed_) return Refuse();
    } else if (!DecodeScalar(node, out, weight)) {
      return false;
    }
    marks_[uid] = Mark::kDone;
    memo_.emplace(uid, std::make_pair(out, weight));
    return true;
  }

  bool DecodeRecord(plist_t record, CodedValue& out, std::uint64_t& weight);

  PlistPtr root_;
  std::vector<plist_t> objects_;
  std::vector<Mark> marks_;
  std::unordered_map<std::uint64_t, std::pair<CodedValue, std::uint64_t>> memo_;
  std::uint64_t budget_ = 0;
  int depth_ = 0;
  bool failed_ = false;
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
  CodableRef DecodeObject(std::string_view key) override {
    std::optional<CodableRef> object = As<CodableRef>(key);
    return object ? *object : nullptr;
  }
  std::optional<CodedValue> DecodeValue(std::string_view key) override {
    plist_t node = Find(key);
    if (node == nullptr) return std::nullopt;
    CodedValue value;
    std::uint64_t weight = 0;
    if (!reader_.DecodeNode(node, value, weight)) return std::nullopt;
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

bool Reader::DecodeRecord(plist_t record, CodedValue& out, std::uint64_t& weight) {
  plist_t class_ref = DictItem(record, "$class");
  if (!IsType(class_ref, PLIST_UID)) return Refuse();
  std::uint64_t class_uid = 0;
  plist_get_uid_val(class_ref, &class_uid);
  if (class_uid == 0 || class_uid >= objects_.size()) return Refuse();
  plist_t name_node = DictItem(objects_[class_uid], "$classname");
  if (!IsType(name_node, PLIST_STRING)) return Refuse();
  const std::string_view name = StringOf(name_node);
  weight = 1;
  switch (StandardClass(name)) {
    case Standard::kArray: {
      plist_t objects = DictItem(record, "NS.objects");
      if (!IsType(objects, PLIST_ARRAY)) return Refuse();
      CodedArray array;
      for (plist_t item : Items(objects)) {
        if (!IsType(item, PLIST_UID)) return Refuse();
        std::uint64_t w = 0;
        if (!DecodeNode(item, array.emplace_back(), w)) return false;
        weight += w;
      }
      out = CodedValue(std::move(array));
      return Charge(1);
    }
    case Standard::kDictionary: {
      plist_t keys = DictItem(record, "NS.keys");
      plist_t objects = DictItem(record, "NS.objects");
      if (!IsType(keys, PLIST_ARRAY) || !IsType(objects, PLIST_ARRAY)) return Refuse();
      const std::vector<plist_t> key_nodes = Items(keys);
      const std::vector<plist_t> value_nodes = Items(objects);
      if (key_nodes.size() != value_nodes.size()) return Refuse();
      CodedDictionary dictionary;
      for (std::size_t i = 0; i < key_nodes.size(); ++i) {
        if (!IsType(key_nodes[i], PLIST_UID) || !IsType(value_nodes[i], PLIST_UID)) {
          return Refuse();
        }
        CodedValue key, value;
        std::uint64_t kw = 0, vw = 0;
        if (!DecodeNode(key_nodes[i], key, kw) || !DecodeNode(value_nodes[i], value, vw)) {
          return false;
        }
        String* text = std::get_if<String>(&key.value);
        if (text == nullptr) return Refuse();  // only text keys are carried
        weight += kw + vw;
        dictionary.insert_or_assign(std::move(*text), std::move(value));
      }
      out = CodedValue(std::move(dictionary));
      return Charge(1);
    }
    case Standard::kString: {
      plist_t text = DictItem(record, "NS.string");
      if (!IsType(text, PLIST_STRING)) return Refuse();
      return DecodeScalar(text, out, weight);
    }
    case Standard::kData: {
      plist_t bytes = DictItem(record, "NS.bytes");
      if (!IsType(bytes, PLIST_DATA)) return Refuse();
      return DecodeScalar(bytes, out, weight);
    }
    case Standard::kNull:
      out = CodedValue();
      return Charge(1);
    case Standard::kNone:
      break;
  }
  const std::optional<ClassEntry> entry = FindClass(name);
  if (!entry) return Refuse();  // only registered classes are rebuilt
  RecordCoder coder(*this, record);
  CodableRef object;
  try {
    object = entry->decode(coder);
  } catch (...) {
    return Refuse();
  }
  if (object == nullptr) return Refuse();
  out = CodedValue(std::move(object));
  return Charge(1);
}

}  // namespace

bool RegisterCodableClass(std::string_view name, std::vector<std::string> superclasses,
                          DecodeFunction decode) noexcept {
  if (name.empty() || decode == nullptr || IsReservedClassName(name) ||
      name.find('\0') != std::string_view::npos) {
    return false;
  }
  try {
    ClassEntry entry;
    entry.classes.emplace_back(name);
    for (std::string& s : superclasses) {
      if (s.empty() || s.find('\0') != std::string::npos) return false;
      entry.classes.push_back(std::move(s));
    }
    if (entry.classes.back() != kRootClass) entry.classes.emplace_back(kRootClass);
    entry.decode = decode;
    Registry& registry = Classes();
    std::lock_guard lock(registry.mutex);
    auto [it, inserted] = registry.classes.try_emplace(std::string(name), entry);
    if (!inserted) {
      if (it->second.decode != decode) return false;
      it->second = std::move(entry);
    }
    return true;
  } catch (...) {
    return false;
  }
}

std::optional<Data> ArchiveRootObject(const Codable& root) noexcept {
  try {
    Writer writer;
    return writer.Archive(root);
  } catch (...) {
    return std::nullopt;
  }
}

CodableRef UnarchiveRootObject(std::span<const std::uint8_t> bytes) noexcept {
  static constexpr char kMagic[] = "bplist00";
  if (bytes.size() < 8 || bytes.size() > std::numeric_limits<std::uint32_t>::max() ||
      std::memcmp(bytes.data(), kMagic, 8) != 0) {
    return nullptr;
  }
  try {
    Reader reader;
    return reader.Load(bytes);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace kelvane::platform
