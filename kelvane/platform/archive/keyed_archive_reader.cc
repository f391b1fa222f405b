// Reading keyed archives defensively: the property list checked before libplist reads it, every
// reference checked, cycles, depth and the decoded size bounded, and only registered classes
// rebuilt.
#include <cstring>
#include <limits>
#include <new>

#include "kelvane/platform/archive/internal/keyed_coder_support.h"
#include "kelvane/platform/archive/keyed_coder.h"
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

class Reader {
 public:
  CodableRef Load(std::span<const std::uint8_t> bytes, std::string_view root_class) {
    // libplist would recurse through deep nesting and copy shared references: the bytes are
    // checked first, so that what it builds stays within the list's budget.
    if (!CheckBinaryPropertyList(bytes).ok()) return nullptr;
    // Decoded values may weigh this much more than the archive: enough for text shared by many
    // records, too little for a small file that references one large value millions of times.
    budget_ = PropertyListBudget(bytes.size());
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
    decoded_.assign(objects_.size(), nullptr);
    std::uint64_t uid = 0;
    plist_get_uid_val(root_ref, &uid);
    if (!RootAllowed(uid, root_class)) return nullptr;
    CodedValue value;
    if (!DecodeRef(uid, value) || failed_) return nullptr;
    const CodableRef* object = value.Get<CodableRef>();
    return object != nullptr ? *object : nullptr;
  }

  // A value stored under a key or in an array: a scalar in place, or a reference.
  bool DecodeNode(plist_t node, CodedValue& out) {
    if (failed_ || node == nullptr) return Refuse();
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
        return Refuse();
    }
  }

  void Fail() { failed_ = true; }

 private:
  // Whether the root record is of a registered class that is `root_class` or derives from it
  // (any registered class when `root_class` is empty), judged before anything is decoded.
  bool RootAllowed(std::uint64_t uid, std::string_view root_class) const {
    if (uid == 0 || uid >= objects_.size()) return false;
    plist_t class_ref = DictItem(objects_[uid], "$class");
    if (!IsType(class_ref, PLIST_UID)) return false;
    std::uint64_t class_uid = 0;
    plist_get_uid_val(class_ref, &class_uid);
    if (class_uid >= objects_.size()) return false;
    plist_t name = DictItem(objects_[class_uid], "$classname");
    if (!IsType(name, PLIST_STRING)) return false;
    const std::optional<ClassEntry> entry = FindClass(StringOf(name));
    if (!entry) return false;
    if (root_class.empty()) return true;
    for (const std::string& c : entry->classes) {
      if (c == root_class) return true;
    }
    return false;
  }

  enum class Mark : std::uint8_t { kNone, kBusy, kDone };

  bool Refuse() {
    failed_ = true;
    return false;
  }

  // Counts `bytes` of decoded values against the budget, before they are made.
  bool Charge(std::uint64_t bytes) {
    if (bytes > budget_) return Refuse();
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
        if (!FromUtf8(utf8, s)) return Refuse();
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
        return Refuse();
    }
    return Charge(kValueBytes);
  }

  // Objects of registered classes are decoded once and shared by every reference, as they were
  // archived; every other value is decoded again for each reference and charged each time, so
  // nothing is copied that the budget has not counted.
  bool DecodeRef(std::uint64_t uid, CodedValue& out) {
    if (failed_ || uid >= objects_.size()) return Refuse();
    if (uid == 0) {
      out = CodedValue();
      return Charge(kValueBytes);
    }
    if (marks_[uid] == Mark::kBusy) return Refuse();  // a reference cycle
    if (marks_[uid] == Mark::kDone) {
      if (!Charge(kValueBytes)) return false;
      out = CodedValue(decoded_[uid]);
      return true;
    }
    plist_t node = objects_[uid];
    if (!IsType(node, PLIST_DICT)) return DecodeScalar(node, out);
    if (depth_ >= kMaxArchiveDepth) return Refuse();
    if (!Charge(kKeyScanBytes * plist_dict_get_size(node))) return false;
    marks_[uid] = Mark::kBusy;
    ++depth_;
    const bool ok = DecodeRecord(node, out);
    --depth_;
    if (!ok || failed_) return Refuse();
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
  if (!IsType(class_ref, PLIST_UID)) return Refuse();
  std::uint64_t class_uid = 0;
  plist_get_uid_val(class_ref, &class_uid);
  if (class_uid == 0 || class_uid >= objects_.size()) return Refuse();
  plist_t name_node = DictItem(objects_[class_uid], "$classname");
  if (!IsType(name_node, PLIST_STRING)) return Refuse();
  const std::string_view name = StringOf(name_node);
  switch (StandardClass(name)) {
    case Standard::kArray: {
      plist_t objects = DictItem(record, "NS.objects");
      if (!IsType(objects, PLIST_ARRAY)) return Refuse();
      const std::vector<plist_t> items = Items(objects);
      // Each item charges its own slot.
      if (!Charge(kValueBytes)) return false;
      CodedArray array;
      array.reserve(items.size());
      for (plist_t item : items) {
        if (!IsType(item, PLIST_UID)) return Refuse();
        if (!DecodeNode(item, array.emplace_back())) return false;
      }
      out = CodedValue(std::move(array));
      return true;
    }
    case Standard::kDictionary: {
      plist_t keys = DictItem(record, "NS.keys");
      plist_t objects = DictItem(record, "NS.objects");
      if (!IsType(keys, PLIST_ARRAY) || !IsType(objects, PLIST_ARRAY)) return Refuse();
      const std::vector<plist_t> key_nodes = Items(keys);
      const std::vector<plist_t> value_nodes = Items(objects);
      if (key_nodes.size() != value_nodes.size()) return Refuse();
      if (!Charge(kValueBytes)) return false;
      CodedDictionary dictionary;
      for (std::size_t i = 0; i < key_nodes.size(); ++i) {
        if (!IsType(key_nodes[i], PLIST_UID) || !IsType(value_nodes[i], PLIST_UID)) {
          return Refuse();
        }
        CodedValue key, value;
        if (!Charge(kEntryBytes) || !DecodeNode(key_nodes[i], key) ||
            !DecodeNode(value_nodes[i], value)) {
          return false;
        }
        String* text = std::get_if<String>(&key.value);
        if (text == nullptr) return Refuse();  // only text keys are carried
        dictionary.insert_or_assign(std::move(*text), std::move(value));
      }
      out = CodedValue(std::move(dictionary));
      return true;
    }
    case Standard::kString: {
      plist_t text = DictItem(record, "NS.string");
      if (!IsType(text, PLIST_STRING)) return Refuse();
      return DecodeScalar(text, out);
    }
    case Standard::kData: {
      plist_t bytes = DictItem(record, "NS.bytes");
      if (IsType(bytes, PLIST_DATA)) return DecodeScalar(bytes, out);
      // Other writers put the bytes under "NS.data", in place or as a reference to them.
      bytes = DictItem(record, "NS.data");
      if (!IsType(bytes, PLIST_DATA) && !IsType(bytes, PLIST_UID)) return Refuse();
      if (!DecodeNode(bytes, out)) return false;
      return out.Get<Data>() != nullptr || Refuse();
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
        return Refuse();
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
  if (!entry) return Refuse();  // only registered classes are rebuilt
  if (!Charge(kValueBytes + kObjectBytes)) return false;
  RecordCoder coder(*this, record);
  CodableRef object;
  try {
    object = entry->decode(coder);
  } catch (...) {
    return Refuse();
  }
  if (object == nullptr) return Refuse();
  out = CodedValue(std::move(object));
  return true;
}

}  // namespace

CodableRef UnarchiveRootObject(std::span<const std::uint8_t> bytes,
                               std::string_view root_class) noexcept {
  static constexpr char kMagic[] = "bplist00";
  if (bytes.size() < 8 || bytes.size() > std::numeric_limits<std::uint32_t>::max() ||
      std::memcmp(bytes.data(), kMagic, 8) != 0) {
    return nullptr;
  }
  try {
    Reader reader;
    return reader.Load(bytes, root_class);
  } catch (...) {
    return nullptr;
  }
}

}  // namespace kelvane::platform
