// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/archive/keyed_coder.h
//
// Keyed archives: objects that write themselves as named values and are rebuilt from them by
// a class registered under a name. The bytes are a binary property list in the keyed-archiver
// layout the phone application writes ("$archiver", "$version", "$top" with "root", "$objects"
// starting with "$null", class records with "$classname" and "$classes", references as UIDs),
// so archives travel both ways between the phone and this library.
//
// What a value may be: booleans, 64-bit integers, doubles, strings, byte data, dates, nested
// archived objects, arrays and dictionaries of these (dictionary keys are strings), and nil (the
// archive's "$null"; an empty CodedValue here).
// Arrays, dictionaries, strings, data and dates are written as the platform's standard classes
// (NSArray, NSDictionary, NSDate, ...) so the phone reads them as such; data records are read
// with their bytes under "NS.bytes" or "NS.data" (in place or by reference), as writers differ.
//
// Reading is defensive: bytes that are not such an archive, a root object whose class is not
// the one asked for, a class name nobody registered, a reference cycle, nesting deeper than
// kMaxArchiveDepth or a decoded size out of proportion to the input make the whole load fail
// with null; TryUnarchiveRootObject says which. Which classes derive from which is taken from
// the registrations, never from the archive. Nothing here throws.
//
// The bounds, as archives come from outside: the property list passes CheckBinaryPropertyList
// (kelvane/platform/core/property_list_check.h: nesting, and the size libplist's tree reaches
// with shared references expanded) before libplist reads it. Decoded values are counted in bytes
// as they are made, up to PropertyListBudget of the archive's size (64 times it, plus 16 MiB);
// an object of a registered class is decoded once and shared by every reference to it, as it
// was archived, while any other value referenced twice is decoded, and counted, twice. An
// archive the phone writes decodes to far less than the budget.
//
// Ownership: decoded objects belong to the caller (shared). Encoding borrows the objects.
// Threads: archiving and unarchiving may run on any threads at once; the class registry has
// its own lock. A coder is used only inside the call that handed it out.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

class KeyedArchiver;
class KeyedUnarchiver;

// Nesting of objects, arrays and dictionaries that a load follows at most.
inline constexpr int kMaxArchiveDepth = 256;

// An object that can be archived. A class that callers load by type (Archive::loadFromArchive)
// also declares `static constexpr std::string_view kArchiveClassName`: the name it is registered
// under or, for a base that is not registered itself, the name its subclasses list among their
// ancestors.
class KELVANE_EXPORT Codable {
 public:
  virtual ~Codable();
  // The name the object's class was registered under (RegisterCodableClass).
  [[nodiscard]] virtual std::string_view ClassName() const noexcept = 0;
  // Writes the object's state with the coder's Encode* calls.
  virtual void EncodeWithCoder(KeyedArchiver& coder) const = 0;
};

// Archivable objects are shared: an object referenced twice is archived once.
using CodableRef = std::shared_ptr<Codable>;

// An instant, as the phone archives it: seconds since 2001-01-01 00:00:00 UTC.
struct CodedDate {
  double time = 0;  // seconds since 2001-01-01 00:00:00 UTC
  // Equal when the times are equal.
  bool operator==(const CodedDate&) const = default;
};

struct CodedValue;
// An archived array: its values in order.
using CodedArray = std::vector<CodedValue>;
// An archived dictionary: values under string keys.
using CodedDictionary = std::map<String, CodedValue>;

// One archived value. The empty alternative (std::monostate) is nil. Values compare by content,
// objects by identity.
struct KELVANE_EXPORT CodedValue {
  // Every kind of value an archive holds; std::monostate is nil.
  using Variant = std::variant<std::monostate, bool, std::int64_t, double, String, Data, CodableRef,
                               CodedArray, CodedDictionary, CodedDate>;
  Variant value;  // the value; nil by default

  // Values convert implicitly, so that arrays and dictionaries read as literals.
  CodedValue() = default;
  CodedValue(bool v) : value(v) {}
  CodedValue(int v) : value(std::int64_t{v}) {}
  CodedValue(std::int64_t v) : value(v) {}
  CodedValue(double v) : value(v) {}
  CodedValue(String v) : value(std::move(v)) {}
  CodedValue(const char16_t* v) : value(String(v)) {}
  CodedValue(Data v) : value(std::move(v)) {}
  CodedValue(CodedArray v) : value(std::move(v)) {}
  CodedValue(CodedDictionary v) : value(std::move(v)) {}
  CodedValue(CodedDate v) : value(v) {}
  template <typename T>
  requires std::is_base_of_v<Codable, T> CodedValue(std::shared_ptr<T> v)
      : value(CodableRef(std::move(v))) {}
  // Other pointers would silently become booleans.
  template <typename T>
  CodedValue(T*) = delete;

  // Equal when of the same kind and equal content; objects when they are the same object.
  bool operator==(const CodedValue&) const = default;

  // True for nil.
  [[nodiscard]] bool IsNil() const noexcept { return value.index() == 0; }
  // The value when it is a T, else nullptr.
  template <typename T>
  [[nodiscard]] const T* Get() const noexcept {
    return std::get_if<T>(&value);
  }
};

// Hands an object's named values to the archive. Keys are UTF-8; keys starting with '$' are
// escaped in the file and come back unchanged. Encoding the same key twice keeps the last.
class KELVANE_EXPORT KeyedArchiver {
 public:
  virtual ~KeyedArchiver();
  // Writes the boolean `value` under `key`.
  virtual void EncodeBool(std::string_view key, bool value) = 0;
  // Writes the integer `value` under `key`, as a signed 64-bit number.
  virtual void EncodeInt64(std::string_view key, std::int64_t value) = 0;
  // Writes the real `value` under `key`.
  virtual void EncodeDouble(std::string_view key, double value) = 0;
  // Writes the string `value` under `key`.
  virtual void EncodeString(std::string_view key, const String& value) = 0;
  // Writes the bytes `value` under `key`.
  virtual void EncodeData(std::string_view key, const Data& value) = 0;
  // Writes the instant `value` under `key`.
  virtual void EncodeDate(std::string_view key, CodedDate value) = 0;
  // A null object is written as nil. An object met twice is written once and comes back as one
  // shared object.
  virtual void EncodeObject(std::string_view key, const Codable* value) = 0;
  // Writes any value, arrays and dictionaries with what they hold; nil as nil.
  virtual void EncodeValue(std::string_view key, const CodedValue& value) = 0;
};

// Gives a decoding class its named values. A Decode* call answers nullopt (or null) when the
// key is absent or holds another kind of value; a malformed or disallowed referenced object
// makes the whole load fail.
class KELVANE_EXPORT KeyedUnarchiver {
 public:
  virtual ~KeyedUnarchiver();
  // True when the object's record has a value under `key` (nil included).
  [[nodiscard]] virtual bool ContainsValue(std::string_view key) = 0;
  // A boolean; nullopt when absent or of another kind.
  [[nodiscard]] virtual std::optional<bool> DecodeBool(std::string_view key) = 0;
  // Integers only (read as signed 64-bit, as the phone writes them).
  [[nodiscard]] virtual std::optional<std::int64_t> DecodeInt64(std::string_view key) = 0;
  // Reals, and integers converted to double.
  [[nodiscard]] virtual std::optional<double> DecodeDouble(std::string_view key) = 0;
  // A string; nullopt when absent or of another kind.
  [[nodiscard]] virtual std::optional<String> DecodeString(std::string_view key) = 0;
  // Bytes; nullopt when absent or of another kind.
  [[nodiscard]] virtual std::optional<Data> DecodeData(std::string_view key) = 0;
  // An instant; nullopt when absent or of another kind.
  [[nodiscard]] virtual std::optional<CodedDate> DecodeDate(std::string_view key) = 0;
  // An archived object; nullptr for nil, an absent key or another kind of value.
  [[nodiscard]] virtual CodableRef DecodeObject(std::string_view key) = 0;
  // Any value; nullopt when the key is absent. Nil comes back as an empty CodedValue.
  [[nodiscard]] virtual std::optional<CodedValue> DecodeValue(std::string_view key) = 0;
  // Marks the archive as malformed: the load that is running gives null.
  virtual void Fail() = 0;

  // DecodeObject restricted to objects of class T or a class derived from it.
  template <typename T>
  [[nodiscard]] std::shared_ptr<T> DecodeObjectOfClass(std::string_view key) {
    return std::dynamic_pointer_cast<T>(DecodeObject(key));
  }
};

// Rebuilds an object from its values; null refuses the record (and fails the load).
using DecodeFunction = CodableRef (*)(KeyedUnarchiver& coder);

// Registers a class for archiving and unarchiving. `superclasses` are the names of its
// ancestors, nearest first, as written to "$classes" after the class's own name ("NSObject"
// ends the list when absent). false when the name is empty, is one of the standard classes
// the coder itself handles, or is already registered with another decode function.
// Registering the same name and function again updates the ancestors and returns true.
[[nodiscard]] KELVANE_EXPORT bool RegisterCodableClass(std::string_view name,
                                                       std::vector<std::string> superclasses,
                                                       DecodeFunction decode) noexcept;

// The archive of `root`; nullopt when an object's class is not registered, a string is not
// well-formed UTF-16 or holds a zero unit (the file format cannot carry it), an object
// refers back to one of its own containers, nesting passes kMaxArchiveDepth, or memory runs out.
[[nodiscard]] KELVANE_EXPORT std::optional<Data> ArchiveRootObject(const Codable& root) noexcept;

// ArchiveRootObject with the reason it failed: kUnsupported for a class that is not registered
// (named), a string or key the format cannot carry, an object inside one of its own containers,
// or an encode function that threw; kTooLarge past kMaxArchiveDepth or when memory runs out.
[[nodiscard]] KELVANE_EXPORT Result<Data> TryArchiveRootObject(const Codable& root) noexcept;

// The root object of an archive; null on any failure (see the opening block). With a
// `root_class`, the root's class must be registered as that class or with it among its
// ancestors, and this is checked before any decode function runs, so untrusted bytes cannot
// make the code of other classes run; without one, any registered class will do.
[[nodiscard]] KELVANE_EXPORT CodableRef
UnarchiveRootObject(std::span<const std::uint8_t> bytes, std::string_view root_class = {}) noexcept;

// UnarchiveRootObject with the reason there is no object, the first one met:
//   kMalformed    not a binary property list, not a keyed archive, a damaged record, a reference
//                 past the objects or in a cycle, a string that is not UTF-8, a record the decode
//                 function of its class refused (the class named);
//   kTooLarge     nesting past kMaxArchiveDepth or the property list's bounds, or decoded values
//                 past the budget (the limit given), or more than 4 GiB of bytes;
//   kUnsupported  a class that is not registered, or a root of a class other than `root_class`
//                 (both named).
// Class names from the bytes are quoted with anything unprintable escaped.
[[nodiscard]] KELVANE_EXPORT Result<CodableRef> TryUnarchiveRootObject(
    std::span<const std::uint8_t> bytes, std::string_view root_class = {}) noexcept;

}  // namespace kelvane::platform
