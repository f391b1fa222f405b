// SPDX-License-Identifier: Apache-2.0
// kelvane/containers/storage.h
//
// CArrayBase: a run of fixed-size items held back to back in one exactly-sized heap block, and
// its typed forms TArray<T> (plain records) and TArrayObj<T, Owns> (pointers to heap objects
// that the array may own). Items are bytes: they are moved with memory copies and never
// constructed, assigned or destroyed through their type, so only trivially copyable records
// belong in them.
//
// The block holds exactly Count() x ItemSize() bytes: there is no growth reserve, every growth
// and every removal reallocates. Batch operations (the byte-length Add, Append, the multi-item
// Insert) reallocate once for the whole batch. An array holds no block at all when it is empty
// (Clear, or removing the last item, leaves it so). Byte sizes are 32-bit: the payload of one
// array stays below 4 GiB, and growth beyond that is refused.
//
// Failures: operations report refusal with false, null or -1 and then change nothing, unless
// the contract below says otherwise. Nothing throws.
//
// Threads: an array has no lock of its own; callers serialise access to one array.
//
// The ordered operations (Sort, the searches, the ordered Insert, Remove, Diff) and the ready
// comparators take a caller's comparator: a plain function over two item addresses returning
// a negative number, 0 or a positive number (the ordered Insert needs exactly -1, 0 or +1). In
// the searches, Remove and the ordered Insert its first argument is the caller's key (shaped
// like an item, or like the item's leading field) and its second an item of the array.
//
// The record format of Save/Load/Write/Read: a little-endian 32-bit count N, then the N items as
// their raw bytes. There is no item size, version or checksum in it: read with an array of the
// item size the writer used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <type_traits>

#include "kelvane/export.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/core/string.h"

namespace kelvane {

// Orders two items: negative, 0 or positive (see the ordered operations for what each needs).
using Comparator = int (*)(const void*, const void*);

template <typename T>
class TArray;

// A run of fixed-size items in one exactly-sized heap block (see the opening block).
class KELVANE_EXPORT CArrayBase {
 public:
  // An empty array of items of `item_size` bytes. An item size of 0 gives an array that refuses
  // every growth.
  explicit CArrayBase(unsigned int item_size) noexcept;
  virtual ~CArrayBase();

  // Arrays are not copied by value (use Assign); a move hands the block over and leaves the
  // source empty.
  CArrayBase(const CArrayBase&) = delete;
  CArrayBase& operator=(const CArrayBase&) = delete;
  CArrayBase(CArrayBase&& other) noexcept;

  // The size of one item in bytes, as constructed.
  [[nodiscard]] unsigned int ItemSize() const noexcept { return item_size_; }
  // The number of items held.
  [[nodiscard]] unsigned int Count() const noexcept { return count_; }

  // ---- access ------------------------------------------------------------------------------

  // Address of item `index`; null when index >= Count().
  [[nodiscard]] void* Item(unsigned int index) noexcept;
  [[nodiscard]] const void* Item(unsigned int index) const noexcept;

  // Copies ItemSize() bytes from `item` over item `index` (`item` may lie in the array).
  // false when item is null or index >= Count().
  bool Replace(unsigned int index, const void* item) noexcept;

  // The block; for an empty array, a pointer to at least twelve zero bytes. Never null.
  [[nodiscard]] const void* Data() const noexcept;

  // Index of the item whose bytes contain `p`; -1 when p is null or outside the items.
  [[nodiscard]] int Pos(const void* p) const noexcept;

  // Copies item `index` into `out`. false (nothing copied) when index >= Count() or out is null.
  bool Next(unsigned int index, void* out) const noexcept;

  // The item after the one that contains `p`; null when p is null, outside the items, or in the
  // last item.
  [[nodiscard]] void* Next(const void* p) noexcept;
  [[nodiscard]] const void* Next(const void* p) const noexcept;

  // The last item; null for an empty array.
  [[nodiscard]] void* Last() noexcept;
  [[nodiscard]] const void* Last() const noexcept;

  // true when the array holds a block and storage <= p <= storage + Count() x ItemSize()
  // (the end address counts as inside).
  [[nodiscard]] bool SourceSelf(const void* p) const noexcept;

  // Copies items from..to, both included, into `out` in one block.
  // false when to < from, to >= Count() or out is null.
  bool Range(unsigned int from, unsigned int to, void* out) const noexcept;

  // true when both arrays have the same item size and count and byte-identical items.
  [[nodiscard]] bool Compare(const CArrayBase& other) const noexcept;

  // 8 + ItemSize() x Count(), in 32-bit arithmetic.
  [[nodiscard]] unsigned int Size() const noexcept;

  // ---- growth ------------------------------------------------------------------------------

  // Appends one item (ItemSize() bytes from `item`, which may lie in the array itself).
  // false when item is null or the allocation fails.
  bool Add(const void* item) noexcept;

  // Appends length / ItemSize() items from `bytes` (which may lie in the array itself).
  // false, and nothing changes, when bytes is null, length is 0, length is not a whole multiple
  // of ItemSize(), or the allocation fails.
  bool Add(const void* bytes, unsigned int length) noexcept;

  // Appends all of other's items. Adding the array to itself is a no-op that returns true.
  // false when other is empty, the item sizes differ or the allocation fails.
  bool Add(const CArrayBase& other) noexcept;

  // Appends other's items from..to, both included. Adding the array to itself: true, no-op.
  // false when other is empty, the item sizes differ, to < from, to >= other.Count(), or the
  // allocation fails.
  bool Add(const CArrayBase& other, unsigned int from, unsigned int to) noexcept;

  // Replaces the contents with other's items from..to. With the array itself: true, no-op.
  // false, nothing changed, when other is empty or the item sizes differ. A reversed or
  // out-of-range span leaves this array empty and still returns true (an empty selection);
  // false when the copy cannot be allocated (the array is then empty).
  bool Assign(const CArrayBase& other, unsigned int from, unsigned int to) noexcept;

  // Replaces the contents with all of other's items. false when the item sizes differ (nothing
  // changes) or the copy cannot be allocated (the array is then empty).
  bool Assign(const CArrayBase& other) noexcept;

  // Count 0, block released.
  void Clear() noexcept;

  // Appends n zero-filled items; the first of them, or null when n is 0 or allocation fails.
  void* Append(unsigned int n) noexcept;

  // The primitive behind insertion and removal. delta > 0 opens delta uninitialised slots before
  // index pos (pos = Count() appends) and returns the first of them. delta < 0 removes the
  // -delta items just before pos (a delta below -Count() is taken as -Count()) and returns null.
  // Null, nothing changed, when delta is 0, pos > Count(), fewer than -delta items stand before
  // pos, or the allocation fails.
  void* Shift(int delta, unsigned int pos) noexcept;

  // Opens n zero-filled slots before index pos. false when n is 0, pos > Count() or allocation
  // fails.
  bool InsertEmpty(unsigned int pos, unsigned int n) noexcept;

  // Inserts one item before index pos (pos = Count() appends); `item` may lie in the array.
  // The stored item, or null when item is null, pos > Count() or allocation fails.
  void* Insert(const void* item, unsigned int pos) noexcept;

  // Inserts n items before index pos, item k taken from items + k x stride (ItemSize() bytes
  // each; the source may lie in the array). false when items is null, n is 0, pos > Count() or
  // allocation fails.
  bool Insert(const void* items, unsigned int pos, unsigned int n, unsigned int stride) noexcept;

  // ---- removal and moves ---------------------------------------------------------------------

  // Removes item `index`; nothing when index >= Count().
  void Delete(unsigned int index) noexcept;

  // Removes items from..to, both included; nothing when to < from or to >= Count().
  void Delete(unsigned int from, unsigned int to) noexcept;

  // Moves item `index` to index + delta; the items between move by one place. true for delta 0
  // whatever the index; false when index >= Count() or index + delta falls outside the items.
  bool ShiftItem(unsigned int index, int delta) noexcept;

  // ---- ordered operations --------------------------------------------------------------------

  // Sorts the items with qsort (not stable). Nothing when the comparator is null.
  void Sort(Comparator comparator) noexcept;

  // An item equal to `key` (which of several equal items is not part of the contract); null
  // when comparator or key is null or no item is equal.
  // REQUIRES: the array is ordered by `comparator`.
  [[nodiscard]] void* Search(Comparator comparator, const void* key) noexcept;
  [[nodiscard]] const void* Search(Comparator comparator, const void* key) const noexcept;

  // Lower bound: the first item not less than `key`; null when every item is less, or on null
  // arguments or an empty array.
  // REQUIRES: the array is ordered by `comparator`. The search is branch-free: its probes are
  // not those of a plain halving loop, so on an unordered array it may answer another item.
  [[nodiscard]] void* SearchGrOrEq(Comparator comparator, const void* key) noexcept;
  [[nodiscard]] const void* SearchGrOrEq(Comparator comparator, const void* key) const noexcept;

  // The last item not greater than `key`; null when every item is greater, or on null
  // arguments or an empty array.
  // REQUIRES: the array is ordered by `comparator` (as for SearchGrOrEq).
  [[nodiscard]] void* SearchLeOrEq(Comparator comparator, const void* key) noexcept;
  [[nodiscard]] const void* SearchLeOrEq(Comparator comparator, const void* key) const noexcept;

  // Ordered insertion by binary search. With replace, an equal item is overwritten (count
  // unchanged); without, the new item goes before the equal item the search met. The stored
  // item; null when item or comparator is null, the comparator answers anything but -1, 0 or
  // +1 (nothing changes), or allocation fails.
  // REQUIRES: the array is ordered by `comparator`.
  void* Insert(const void* item, Comparator comparator, bool replace) noexcept;

  // Removes one item equal to `key`. false when key or comparator is null or none is equal.
  // REQUIRES: the array is ordered by `comparator`.
  bool Remove(const void* key, Comparator comparator) noexcept;

  // Compares two arrays ordered by `comparator` (first's items as its first argument). Fills
  // `removed` with the ascending indexes into `first` of items without a partner in `second`,
  // and `added` with those into `second` without a partner in `first`; equal items pair off one
  // to one from the front. Both lists are emptied first. An index whose append fails for want
  // of memory is left out.
  static void Diff(const CArrayBase& first, const CArrayBase& second, TArray<unsigned int>& added,
                   TArray<unsigned int>& removed, Comparator comparator) noexcept;

  // ---- the record format ---------------------------------------------------------------------

  // Appends one record of the whole array to `buffer`. Nothing when buffer is null, or when
  // the buffer cannot grow (it is then left as it was).
  void Save(kelvane::Data* buffer) const noexcept;

  // Replaces the contents with at most max_count items of the record at *offset (0 when offset
  // is null) and moves *offset past the whole record, skipped items included, so several
  // records in one buffer are read in turn. max_count 0 skips a record.
  // false, nothing changed, when data is null or shorter than the count field. false, array
  // empty, offset unchanged, when the wanted items are not all in data or the record's end lies
  // beyond 4 GiB. The fourth argument is reserved and not read.
  bool Load(const kelvane::Data* data, unsigned int* offset, unsigned int max_count,
            unsigned int reserved = 0) noexcept;

  // Writes one record of the whole array at the file's position. false on a null file or any
  // write error (part of the record may then be written).
  bool Write(platform::FileHandle* file) const noexcept;

  // Replaces the contents with at most max_count items of the record at the file's position,
  // and leaves the position behind the whole record. false when file is null (nothing changes);
  // false with the array empty when the count field or the wanted items are cut short or a read
  // fails. The third argument is reserved and not read.
  bool Read(platform::FileHandle* file, unsigned int max_count, unsigned int reserved = 0) noexcept;

  // Read with the reason it failed. The count the record holds (above Count() when it held more
  // than max_count), or, with the array empty:
  //   kMalformed  no count at the position, or the file ends inside the count or before the
  //               wanted items are whole ("cut short: the file ends inside item 3 of 5");
  //   kTooLarge   the wanted items pass the 4 GiB limit of one array, or memory ran out;
  //   kIo         a read or seek failed, with the system's reason.
  // A count above max_count is not a failure: the items past it are skipped, as Read does.
  [[nodiscard]] platform::Result<std::uint32_t> TryRead(platform::FileHandle& file,
                                                        unsigned int max_count) noexcept;

 private:
  // Sets the block to `bytes` bytes (0 releases it). false, block unchanged, when bytes does
  // not fit in 32 bits or the allocation fails.
  bool Resize(std::uint64_t bytes) noexcept;
  // Opens n slots before pos; the first slot or null.  REQUIRES: pos <= count_.
  std::uint8_t* OpenGap(unsigned int pos, std::uint64_t n) noexcept;
  // Replaces the contents with length / item_size_ items from `bytes`, reusing the block.
  // false, and the array is empty, when the block cannot be had.
  // REQUIRES: length is a multiple of item_size_ and bytes lies outside the block.
  bool AssignBytes(const void* bytes, std::uint32_t length) noexcept;
  // Removes n items starting at first.  REQUIRES: first + n <= count_.
  void RemoveItems(unsigned int first, unsigned int n) noexcept;
  // true when [p, p + length) shares bytes with the items.
  bool Overlaps(const void* p, std::uint64_t length) const noexcept;
  std::size_t Bytes() const noexcept { return std::size_t{count_} * item_size_; }
  const std::uint8_t* At(unsigned int index) const noexcept {
    return storage_ + std::size_t{index} * item_size_;
  }

  unsigned int item_size_;
  unsigned int count_ = 0;
  std::uint8_t* storage_ = nullptr;
};

// Items of type T. The array adds no state; its destructor releases the block without running
// any destructor of T.
template <typename T>
class TArray : public CArrayBase {
  static_assert(std::is_trivially_copyable_v<T>, "array items are copied as raw bytes");

 public:
  // An empty array of items of sizeof(T) bytes; a move hands the block over and leaves the
  // source empty.
  TArray() noexcept : CArrayBase(sizeof(T)) {}
  TArray(TArray&& other) noexcept = default;

  using CArrayBase::Add;
  using CArrayBase::Insert;

  // Typed access: null when index >= Count().
  [[nodiscard]] T* At(unsigned int index) noexcept { return static_cast<T*>(Item(index)); }
  [[nodiscard]] const T* At(unsigned int index) const noexcept {
    return static_cast<const T*>(Item(index));
  }

  // Appends one item by value.
  bool Add(const T& item) noexcept { return CArrayBase::Add(static_cast<const void*>(&item)); }

  // The items as a span; empty for an empty array. Valid until the array next changes size.
  [[nodiscard]] std::span<T> Items() noexcept {
    return Count() == 0 ? std::span<T>() : std::span<T>(At(0), Count());
  }
  [[nodiscard]] std::span<const T> Items() const noexcept {
    return Count() == 0 ? std::span<const T>() : std::span<const T>(At(0), Count());
  }
  // begin() and end(): iteration over Items(), so that an array serves a range-for loop.
  T* begin() noexcept { return Items().data(); }
  T* end() noexcept { return Items().data() + Count(); }
  const T* begin() const noexcept { return Items().data(); }
  const T* end() const noexcept { return Items().data() + Count(); }
};

// Pointers to heap objects of T, possibly null. With Owns, the array owns the objects: its
// destructor deletes every non-null one, and its ordered Insert stores a heap copy. The
// CArrayBase operations (Delete, Clear, Shift, ...) never delete objects: a caller that removes
// an item deletes its object first. Without Owns, the objects are the caller's.
template <typename T, bool Owns>
class TArrayObj : public TArray<T*> {
 public:
  // An empty array; a move hands the block, and with it the ownership of the objects, over and
  // leaves the source empty.
  TArrayObj() noexcept = default;
  TArrayObj(TArrayObj&& other) noexcept = default;
  ~TArrayObj() override {
    if constexpr (Owns) {
      for (unsigned int i = 0; i < this->Count(); ++i) delete *this->At(i);
    }
  }

  using TArray<T*>::Insert;

  // Owning ordered insertion: stores a heap copy of `object`. The comparator receives the
  // addresses of two pointers. With replace and an equal item present, the copy takes that
  // item's slot and the old object is deleted; otherwise the copy is inserted in order as the
  // plain ordered Insert does. The stored copy, or null (nothing changes) when the comparator is
  // null, the copy cannot be made, the comparator answers anything but -1, 0 or +1, or
  // allocation fails.
  T* Insert(const T& object, Comparator comparator, bool replace) noexcept requires Owns {
    if (comparator == nullptr) return nullptr;
    T* copy = nullptr;
    try {
      copy = new T(object);
    } catch (...) {
      return nullptr;
    }
    if (replace && this->Count() > 0) {
      // Swapping the pointer in place cannot fail, so the old object is only deleted once its
      // replacement is stored.
      if (void* hit = this->Search(comparator, &copy)) {
        T*& slot = *static_cast<T**>(hit);
        T* old = slot;
        slot = copy;
        delete old;
        return copy;
      }
    }
    if (this->CArrayBase::Insert(static_cast<const void*>(&copy), comparator, replace) == nullptr) {
      delete copy;
      return nullptr;
    }
    return copy;
  }
};

// ---- ready comparators: each reads one value at the start of both addresses -------------------

// -1, 0 or +1 as the value at `a` is below, equal to or above the value at `b`, both read as
// the integer type the name gives (uint64_t, uint32_t, int16_t, int32_t, int64_t).
[[nodiscard]] KELVANE_EXPORT int ComparatorUInt64(const void* a, const void* b) noexcept;
[[nodiscard]] KELVANE_EXPORT int ComparatorUInt32(const void* a, const void* b) noexcept;
[[nodiscard]] KELVANE_EXPORT int ComparatorSInt16(const void* a, const void* b) noexcept;
[[nodiscard]] KELVANE_EXPORT int ComparatorSInt32(const void* a, const void* b) noexcept;
[[nodiscard]] KELVANE_EXPORT int ComparatorSInt64(const void* a, const void* b) noexcept;
// +1 when a > b, -1 when a < b, else 0: a NaN on either side compares equal.
[[nodiscard]] KELVANE_EXPORT int ComparatorDouble(const void* a, const void* b) noexcept;
// A zero-terminated WString stored in the item itself (not a pointer to one), compared unit by
// unit as NSTools::Compare does.
[[nodiscard]] KELVANE_EXPORT int ComparatorWChar(const void* a, const void* b) noexcept;

}  // namespace kelvane
