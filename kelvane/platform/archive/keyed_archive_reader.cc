// Reading keyed archives defensively: every reference checked, cycles, depth and the decoded
// size bounded, and only registered classes rebuilt.
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>

#include "kelvane/platform/archive/internal/keyed_coder_support.h"
#include "kelvane/platform/archive/keyed_coder.h"

namespace kelvane::platform {
namespace {

using namespace internal;  // NOLINT: the shared helpers of the two halves

class Reader {
 public:
  CodableRef Load(std::span<const std::uint8_t> bytes, std::string_view root_class) {
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
    if (!RootAllowed(uid, root_class)) return nullptr;
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
  std::optional<CodedDate> DecodeDate(std::string_view key) override { return As<CodedDate>(key); }
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
      if (IsType(bytes, PLIST_DATA)) return DecodeScalar(bytes, out, weight);
      // Other writers put the bytes under "NS.data", in place or as a reference to them.
      bytes = DictItem(record, "NS.data");
      if (!IsType(bytes, PLIST_DATA) && !IsType(bytes, PLIST_UID)) return Refuse();
      if (!DecodeNode(bytes, out, weight)) return false;
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
      return Charge(1);
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
