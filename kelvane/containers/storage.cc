// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/storage.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>

namespace kelvane {
namespace {

constexpr std::uint64_t kMaxBytes = std::numeric_limits<std::uint32_t>::max();

// What Data() hands out for an array without a block.
alignas(16) constexpr std::uint8_t kNoItems[16] = {};

// A private copy of bytes that may move when the array reallocates. Small copies stay on the
// stack; a larger one that cannot be allocated makes the operation fail before anything moved.
class ScratchCopy {
 public:
  bool Take(const void* bytes, std::size_t size) noexcept {
    std::uint8_t* to = local_;
    if (size > sizeof(local_)) {
      heap_.reset(new (std::nothrow) std::uint8_t[size]);
      if (!heap_) return false;
      to = heap_.get();
    }
    std::memcpy(to, bytes, size);
    data_ = to;
    return true;
  }
  const std::uint8_t* data() const noexcept { return data_; }
  std::uint8_t* mutable_data() noexcept { return data_; }

 private:
  std::uint8_t local_[256];
  std::unique_ptr<std::uint8_t[]> heap_;
  std::uint8_t* data_ = nullptr;
};

}  // namespace

CArrayBase::CArrayBase(unsigned int item_size) noexcept : item_size_(item_size) {}

CArrayBase::~CArrayBase() { Clear(); }

CArrayBase::CArrayBase(CArrayBase&& other) noexcept
    : item_size_(other.item_size_),
      count_(std::exchange(other.count_, 0)),
      storage_(std::exchange(other.storage_, nullptr)) {}

// ---- internals ---------------------------------------------------------------------------------

bool CArrayBase::Resize(std::uint64_t bytes) noexcept {
  if (bytes > kMaxBytes) return false;
  if (bytes == 0) {
    // Releasing instead of keeping a zero-sized block: an array without items always has the
    // no-block state that Clear produces.
    std::free(storage_);
    storage_ = nullptr;
    return true;
  }
  void* block = std::realloc(storage_, static_cast<std::size_t>(bytes));
  if (block == nullptr) return false;
  storage_ = static_cast<std::uint8_t*>(block);
  return true;
}

std::uint8_t* CArrayBase::OpenGap(unsigned int pos, std::uint64_t n) noexcept {
  if (item_size_ == 0 || n == 0) return nullptr;
  const std::uint64_t count = std::uint64_t{count_} + n;
  if (count > std::numeric_limits<std::uint32_t>::max()) return nullptr;
  if (!Resize(count * item_size_)) return nullptr;
  std::uint8_t* gap = storage_ + std::size_t{pos} * item_size_;
  std::memmove(gap + n * item_size_, gap, std::size_t{count_ - pos} * item_size_);
  count_ = static_cast<unsigned int>(count);
  return gap;
}

bool CArrayBase::AssignBytes(const void* bytes, std::uint32_t length) noexcept {
  // Reloading an array of the same size keeps its block, whose pages are already in place.
  if (!Resize(length)) {
    Clear();
    return false;
  }
  count_ = item_size_ == 0 ? 0 : length / item_size_;
  if (length > 0) std::memcpy(storage_, bytes, length);
  return true;
}

void CArrayBase::RemoveItems(unsigned int first, unsigned int n) noexcept {
  if (n == 0) return;
  std::uint8_t* to = storage_ + std::size_t{first} * item_size_;
  std::memmove(to, to + std::size_t{n} * item_size_, std::size_t{count_ - first - n} * item_size_);
  count_ -= n;
  // Shrinking cannot lose items: should the smaller block be refused, the larger one stays.
  Resize(Bytes());
}

bool CArrayBase::Overlaps(const void* p, std::uint64_t length) const noexcept {
  if (storage_ == nullptr || p == nullptr || length == 0) return false;
  const auto begin = reinterpret_cast<std::uintptr_t>(storage_);
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  return at < begin + Bytes() && (at >= begin || begin - at < length);
}

// ---- access ------------------------------------------------------------------------------------

void* CArrayBase::Item(unsigned int index) noexcept {
  return storage_ != nullptr && index < count_ ? storage_ + std::size_t{index} * item_size_
                                               : nullptr;
}

const void* CArrayBase::Item(unsigned int index) const noexcept {
  return const_cast<CArrayBase*>(this)->Item(index);
}

bool CArrayBase::Replace(unsigned int index, const void* item) noexcept {
  void* to = Item(index);
  if (to == nullptr || item == nullptr) return false;
  std::memmove(to, item, item_size_);
  return true;
}

const void* CArrayBase::Data() const noexcept {
  return storage_ != nullptr ? static_cast<const void*>(storage_) : kNoItems;
}

int CArrayBase::Pos(const void* p) const noexcept {
  if (storage_ == nullptr || p == nullptr || item_size_ == 0) return -1;
  const auto begin = reinterpret_cast<std::uintptr_t>(storage_);
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  if (at < begin) return -1;
  const std::uintptr_t index = (at - begin) / item_size_;
  if (index >= count_ || index > static_cast<std::uintptr_t>(std::numeric_limits<int>::max())) {
    return -1;
  }
  return static_cast<int>(index);
}

bool CArrayBase::Next(unsigned int index, void* out) const noexcept {
  const void* item = Item(index);
  if (item == nullptr || out == nullptr) return false;
  std::memcpy(out, item, item_size_);
  return true;
}

void* CArrayBase::Next(const void* p) noexcept {
  const int pos = Pos(p);
  return pos < 0 ? nullptr : Item(static_cast<unsigned int>(pos) + 1);
}

const void* CArrayBase::Next(const void* p) const noexcept {
  return const_cast<CArrayBase*>(this)->Next(p);
}

void* CArrayBase::Last() noexcept { return count_ == 0 ? nullptr : Item(count_ - 1); }

const void* CArrayBase::Last() const noexcept { return const_cast<CArrayBase*>(this)->Last(); }

bool CArrayBase::SourceSelf(const void* p) const noexcept {
  if (storage_ == nullptr || p == nullptr) return false;
  const auto begin = reinterpret_cast<std::uintptr_t>(storage_);
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  return at >= begin && at <= begin + Bytes();
}

bool CArrayBase::Range(unsigned int from, unsigned int to, void* out) const noexcept {
  if (to < from || to >= count_ || out == nullptr || storage_ == nullptr) return false;
  std::memcpy(out, At(from), std::size_t{to - from + 1} * item_size_);
  return true;
}

bool CArrayBase::Compare(const CArrayBase& other) const noexcept {
  if (item_size_ != other.item_size_ || count_ != other.count_) return false;
  if (count_ == 0 || Bytes() == 0) return true;
  if (storage_ == nullptr || other.storage_ == nullptr) return false;
  return std::memcmp(storage_, other.storage_, Bytes()) == 0;
}

unsigned int CArrayBase::Size() const noexcept { return 8u + item_size_ * count_; }

// ---- growth ------------------------------------------------------------------------------------

bool CArrayBase::Add(const void* item) noexcept { return Add(item, item_size_); }

bool CArrayBase::Add(const void* bytes, unsigned int length) noexcept {
  if (bytes == nullptr || length == 0 || item_size_ == 0 || length % item_size_ != 0) {
    return false;
  }
  ScratchCopy copy;
  const void* from = bytes;
  if (Overlaps(bytes, length)) {
    // The block may move while growing: append from a private copy.
    if (!copy.Take(bytes, length)) return false;
    from = copy.data();
  }
  std::uint8_t* to = OpenGap(count_, length / item_size_);
  if (to == nullptr) return false;
  std::memcpy(to, from, length);
  return true;
}

bool CArrayBase::Add(const CArrayBase& other) noexcept {
  if (&other == this) return true;
  if (other.storage_ == nullptr || other.item_size_ != item_size_ || other.Bytes() > kMaxBytes) {
    return false;
  }
  return Add(other.storage_, static_cast<unsigned int>(other.Bytes()));
}

bool CArrayBase::Add(const CArrayBase& other, unsigned int from, unsigned int to) noexcept {
  if (&other == this) return true;
  if (other.storage_ == nullptr || other.item_size_ != item_size_ || to < from ||
      to >= other.count_) {
    return false;
  }
  return Add(other.At(from), (to - from + 1) * item_size_);
}

bool CArrayBase::Assign(const CArrayBase& other, unsigned int from, unsigned int to) noexcept {
  if (&other == this) return true;
  if (other.storage_ == nullptr || other.item_size_ != item_size_) return false;
  Clear();
  if (to < from || to >= other.count_) return true;  // an empty selection
  return Add(other, from, to);
}

bool CArrayBase::Assign(const CArrayBase& other) noexcept {
  if (other.count_ > 0) return Assign(other, 0, other.count_ - 1);
  if (other.item_size_ != item_size_) return false;
  Clear();
  return true;
}

void CArrayBase::Clear() noexcept {
  std::free(storage_);
  storage_ = nullptr;
  count_ = 0;
}

void* CArrayBase::Append(unsigned int n) noexcept {
  std::uint8_t* first = OpenGap(count_, n);
  if (first != nullptr) std::memset(first, 0, std::size_t{n} * item_size_);
  return first;
}

void* CArrayBase::Shift(int delta, unsigned int pos) noexcept {
  if (delta == 0 || pos > count_) return nullptr;
  if (delta > 0) return OpenGap(pos, static_cast<unsigned int>(delta));
  // Removing more items than the array holds is taken as removing all of them.
  const std::uint64_t wanted = static_cast<std::uint64_t>(-static_cast<std::int64_t>(delta));
  const unsigned int n = wanted > count_ ? count_ : static_cast<unsigned int>(wanted);
  // Only the items before pos can be removed; a request that reaches before the first item is
  // refused rather than cutting items off the end.
  if (n > pos) return nullptr;
  RemoveItems(pos - n, n);
  return nullptr;
}

bool CArrayBase::InsertEmpty(unsigned int pos, unsigned int n) noexcept {
  if (n == 0 || pos > count_) return false;
  std::uint8_t* first = OpenGap(pos, n);
  if (first == nullptr) return false;
  std::memset(first, 0, std::size_t{n} * item_size_);
  return true;
}

void* CArrayBase::Insert(const void* item, unsigned int pos) noexcept {
  if (item == nullptr || pos > count_) return nullptr;
  ScratchCopy copy;
  const void* from = item;
  if (Overlaps(item, item_size_)) {
    if (!copy.Take(item, item_size_)) return nullptr;
    from = copy.data();
  }
  std::uint8_t* slot = OpenGap(pos, 1);
  if (slot == nullptr) return nullptr;
  std::memcpy(slot, from, item_size_);
  return slot;
}

bool CArrayBase::Insert(const void* items, unsigned int pos, unsigned int n,
                        unsigned int stride) noexcept {
  if (items == nullptr || n == 0 || pos > count_ || item_size_ == 0) return false;
  const std::uint64_t extent = std::uint64_t{n - 1} * stride + item_size_;
  ScratchCopy copy;
  const auto* from = static_cast<const std::uint8_t*>(items);
  if (Overlaps(items, extent)) {
    if (extent > kMaxBytes || !copy.Take(items, static_cast<std::size_t>(extent))) return false;
    from = copy.data();
  }
  std::uint8_t* slot = OpenGap(pos, n);
  if (slot == nullptr) return false;
  if (stride == item_size_) {
    std::memcpy(slot, from, std::size_t{n} * item_size_);
  } else {
    for (unsigned int k = 0; k < n; ++k) {
      std::memcpy(slot + std::size_t{k} * item_size_, from + std::size_t{k} * stride, item_size_);
    }
  }
  return true;
}

// ---- removal and moves -------------------------------------------------------------------------

void CArrayBase::Delete(unsigned int index) noexcept {
  if (storage_ != nullptr && index < count_) RemoveItems(index, 1);
}

void CArrayBase::Delete(unsigned int from, unsigned int to) noexcept {
  if (storage_ != nullptr && from <= to && to < count_) RemoveItems(from, to - from + 1);
}

bool CArrayBase::ShiftItem(unsigned int index, int delta) noexcept {
  if (delta == 0) return true;
  if (storage_ == nullptr || index >= count_) return false;
  const std::int64_t target = std::int64_t{index} + delta;
  if (target < 0 || target >= count_) return false;
  // The item moves in place: the items between slide by one, no reallocation.
  ScratchCopy copy;
  if (!copy.Take(At(index), item_size_)) return false;
  const auto to = static_cast<unsigned int>(target);
  std::uint8_t* base = storage_;
  const std::size_t size = item_size_;
  if (to > index) {
    std::memmove(base + index * size, base + (index + 1) * size, (to - index) * size);
  } else {
    std::memmove(base + (to + 1) * size, base + to * size, (index - to) * size);
  }
  std::memcpy(base + to * size, copy.data(), size);
  return true;
}

}  // namespace kelvane
