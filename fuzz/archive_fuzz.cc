// SPDX-License-Identifier: Apache-2.0
// Keyed archives from untrusted bytes. Whatever loads must archive again and load back to an
// object of the same class; nothing may crash, leak or run away with memory.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/fuzz_input.h"
#include "kelvane/containers/archive.h"

namespace {

using kelvane::platform::CodableRef;
using kelvane::platform::CodedValue;
using kelvane::platform::KeyedArchiver;
using kelvane::platform::KeyedUnarchiver;

// A record of every kind of value under fixed keys, and a child of the same class.
class Sample : public kelvane::platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "TradeOrder";
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(KeyedArchiver& coder) const override {
    if (ticket) coder.EncodeInt64("ticket", *ticket);
    if (volume) coder.EncodeDouble("volume", *volume);
    if (closed) coder.EncodeBool("closed", *closed);
    if (symbol) coder.EncodeString("symbol", *symbol);
    if (blob) coder.EncodeData("blob", *blob);
    if (opened) coder.EncodeDate("opened", *opened);
    if (tags) coder.EncodeValue("tags", *tags);
    coder.EncodeObject("parent", parent.get());
  }
  static CodableRef Decode(KeyedUnarchiver& coder) {
    auto s = std::make_shared<Sample>();
    s->ticket = coder.DecodeInt64("ticket");
    s->volume = coder.DecodeDouble("volume");
    s->closed = coder.DecodeBool("closed");
    s->symbol = coder.DecodeString("symbol");
    s->blob = coder.DecodeData("blob");
    s->opened = coder.DecodeDate("opened");
    s->tags = coder.DecodeValue("tags");
    s->parent = coder.DecodeObjectOfClass<Sample>("parent");
    (void)coder.ContainsValue("extra");
    (void)coder.DecodeValue("extra");
    return s;
  }
  std::optional<std::int64_t> ticket;
  std::optional<double> volume;
  std::optional<bool> closed;
  std::optional<kelvane::String> symbol;
  std::optional<kelvane::Data> blob;
  std::optional<kelvane::platform::CodedDate> opened;
  std::optional<CodedValue> tags;
  std::shared_ptr<Sample> parent;
};

const bool registered =
    kelvane::platform::RegisterCodableClass("TradeOrder", {"TradeRecord"}, Sample::Decode);

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (!registered) std::abort();
  const kelvane::Data data(bytes, bytes + size);
  const auto sample = kelvane::Archive::loadFromArchive<Sample>(&data);
  if (sample == nullptr) return 0;
  // Strings that arrived may hold zero units, which the format cannot carry back: then the
  // archive is refused, which is also fine. Otherwise it must load again.
  const auto again = kelvane::Archive::archive(*sample);
  if (again && kelvane::Archive::loadFromArchive<Sample>(&*again) == nullptr) std::abort();
  return 0;
}
