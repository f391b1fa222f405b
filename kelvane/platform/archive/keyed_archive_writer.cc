// SPDX-License-Identifier: Apache-2.0
// Writing keyed archives: objects, values and class records into "$objects", references as
// UIDs, the whole as a binary property list.
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "kelvane/platform/archive/internal/binary_plist_writer.h"
#include "kelvane/platform/archive/internal/keyed_coder_support.h"
#include "kelvane/platform/archive/keyed_coder.h"

namespace kelvane::platform {
namespace {

using namespace internal;  // NOLINT: the shared helpers of the two halves

class Writer final : public KeyedArchiver {
 public:
  Result<Data> Archive(const Codable& root) {
    top_.reset(plist_new_dict());
    objects_ = plist_new_array();
    plist_dict_set_item(top_.get(), "$objects", objects_);
    plist_array_append_item(objects_, plist_new_string(kNull));
    const std::uint64_t root_uid = ObjectUid(&root);
    if (failed_ || root_uid == 0) return TakeError();
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(root_uid));
    plist_dict_set_item(top_.get(), "$top", top);
    plist_dict_set_item(top_.get(), "$version", plist_new_uint(kArchiveVersion));
    plist_dict_set_item(top_.get(), "$archiver", plist_new_string(kArchiverName));
    std::optional<Data> bytes = WriteBinaryPropertyList(top_.get());
    if (!bytes) return Error{ErrorKind::kIo, "the property list writer failed"};
    return *std::move(bytes);
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
  void EncodeDate(std::string_view key, CodedDate value) override {
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
  // Fails the archive; the first reason given is the one reported.
  void Refuse(ErrorKind kind, std::string what) {
    if (!error_) error_ = Error{kind, std::move(what)};
    failed_ = true;
  }
  void TooDeep() {
    Refuse(ErrorKind::kTooLarge,
           "objects nested deeper than " + std::to_string(kMaxArchiveDepth) + " levels");
  }
  Error TakeError() {
    return error_ ? *std::move(error_) : Error{ErrorKind::kUnsupported, "nothing to archive"};
  }

  void Set(std::string_view key, plist_t node) {
    if (current_ == nullptr || failed_ || key.find('\0') != std::string_view::npos) {
      if (current_ != nullptr && !failed_) {
        Refuse(ErrorKind::kUnsupported, "a key with a zero byte");
      }
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
    for (const std::string& c : entry.classes)
      plist_array_append_item(classes, plist_new_string(c.c_str()));
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
      if (in_progress_.count(object) != 0) {
        Refuse(ErrorKind::kUnsupported, "an object of class " + QuoteName(object->ClassName()) +
                                            " that refers back to one of its own containers");
      }
      return failed_ ? 0 : it->second;
    }
    const std::optional<ClassEntry> entry = FindClass(object->ClassName());
    if (!entry) {
      Refuse(ErrorKind::kUnsupported,
             "class " + QuoteName(object->ClassName()) + " is not registered");
      return 0;
    }
    if (depth_ >= kMaxArchiveDepth) {
      TooDeep();
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
    } catch (const std::bad_alloc&) {
      throw;
    } catch (...) {
      Refuse(ErrorKind::kUnsupported,
             "class " + QuoteName(object->ClassName()) + " threw while encoding");
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
          Refuse(ErrorKind::kUnsupported,
                 "a string with a zero unit or an unpaired surrogate, which archives cannot carry");
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
      case 9: {
        plist_t record = plist_new_dict();
        plist_dict_set_item(record, "$class", plist_new_uid(StandardClassUid("NSDate", nullptr)));
        plist_dict_set_item(record, "NS.time", plist_new_real(value.Get<CodedDate>()->time));
        return Append(record);
      }
      default:
        break;
    }
    if (depth_ >= kMaxArchiveDepth) {
      TooDeep();
      return 0;
    }
    ++depth_;
    plist_t record = plist_new_dict();
    const std::uint64_t uid = Append(record);
    if (const CodedArray* array = value.Get<CodedArray>()) {
      plist_dict_set_item(record, "$class", plist_new_uid(StandardClassUid("NSArray", nullptr)));
      plist_t objects = plist_new_array();
      plist_dict_set_item(record, "NS.objects", objects);
      for (const CodedValue& item : *array)
        plist_array_append_item(objects, plist_new_uid(ValueUid(item)));
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
  std::optional<Error> error_;  // why archiving failed, the first reason met
  std::unordered_map<const Codable*, std::uint64_t> object_uids_;
  std::unordered_set<const Codable*> in_progress_;
  std::unordered_map<String, std::uint64_t> string_uids_;
  std::unordered_map<std::string, std::uint64_t> class_uids_;
};

}  // namespace

Result<Data> TryArchiveRootObject(const Codable& root) noexcept {
  try {
    Writer writer;
    return writer.Archive(root);
  } catch (const std::bad_alloc&) {
    return Error{ErrorKind::kTooLarge, "memory ran out"};
  } catch (...) {
    return Error{ErrorKind::kIo, "the property list writer failed"};
  }
}

std::optional<Data> ArchiveRootObject(const Codable& root) noexcept {
  return TryArchiveRootObject(root).ToOptional();
}

}  // namespace kelvane::platform
