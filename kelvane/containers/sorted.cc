// SPDX-License-Identifier: Apache-2.0
// The ordered operations of CArrayBase and the ready comparators.
#include <cstdlib>
#include <cstring>

#include "kelvane/containers/storage.h"
#include "kelvane/text/wide_string.h"

namespace kelvane {
namespace {

template <typename T>
inline int CompareValues(const void* a, const void* b) noexcept {
  // Read through memcpy: keys and items need not be aligned for T.
  T x, y;
  std::memcpy(&x, a, sizeof(T));
  std::memcpy(&y, b, sizeof(T));
  return x < y ? -1 : (y < x ? 1 : 0);
}

}  // namespace

void CArrayBase::Sort(Comparator comparator) noexcept {
  if (storage_ == nullptr || comparator == nullptr || item_size_ == 0) return;
  std::qsort(storage_, count_, item_size_, comparator);
}

namespace {

// Branch-free binary search over `n` items of `size` bytes from `base`: the first item for which
// `goes_right(compare(key, item))` is false, or base + n x size when there is none. Every step
// halves the span with a conditional move instead of a jump that random keys would mispredict,
// and the two possible next probes are fetched ahead.
template <typename Compare, typename GoesRight>
std::uint8_t* Partition(std::uint8_t* base, std::size_t n, std::size_t size, const void* key,
                        Compare compare, GoesRight goes_right) noexcept {
  if (n == 0) return base;
  while (n > 1) {
    const std::size_t half = n / 2;
    __builtin_prefetch(base + (half / 2) * size);
    __builtin_prefetch(base + (half + half / 2) * size);
    std::uint8_t* probe = base + half * size;
    base = goes_right(compare(key, probe)) ? probe : base;
    n -= half;
  }
  return goes_right(compare(key, base)) ? base + size : base;
}

// The ready comparators are known here, so a search with one of them compares inline; any
// other comparator is called through its pointer. Both give the same answers.
template <typename GoesRight>
std::uint8_t* Partition(std::uint8_t* base, std::size_t n, std::size_t size, const void* key,
                        Comparator comparator, GoesRight goes_right) noexcept {
  if (comparator == ComparatorUInt32) {
    return Partition(base, n, size, key, CompareValues<std::uint32_t>, goes_right);
  }
  if (comparator == ComparatorUInt64) {
    return Partition(base, n, size, key, CompareValues<std::uint64_t>, goes_right);
  }
  if (comparator == ComparatorSInt32) {
    return Partition(base, n, size, key, CompareValues<std::int32_t>, goes_right);
  }
  if (comparator == ComparatorSInt64) {
    return Partition(base, n, size, key, CompareValues<std::int64_t>, goes_right);
  }
  if (comparator == ComparatorDouble) {
    return Partition(base, n, size, key, CompareValues<double>, goes_right);
  }
  return Partition(
      base, n, size, key, [comparator](const void* a, const void* b) { return comparator(a, b); },
      goes_right);
}

bool Greater(int r) { return r > 0; }
bool NotLess(int r) { return r >= 0; }

}  // namespace

void* CArrayBase::Search(Comparator comparator, const void* key) noexcept {
  if (storage_ == nullptr || comparator == nullptr || key == nullptr || item_size_ == 0) {
    return nullptr;
  }
  // The first of the equal items, found with one comparison more than a plain lower bound.
  std::uint8_t* hit = Partition(storage_, count_, item_size_, key, comparator, Greater);
  return hit != storage_ + Bytes() && comparator(key, hit) == 0 ? hit : nullptr;
}

const void* CArrayBase::Search(Comparator comparator, const void* key) const noexcept {
  return const_cast<CArrayBase*>(this)->Search(comparator, key);
}

void* CArrayBase::SearchGrOrEq(Comparator comparator, const void* key) noexcept {
  if (storage_ == nullptr || comparator == nullptr || key == nullptr || count_ == 0) {
    return nullptr;
  }
  std::uint8_t* first = Partition(storage_, count_, item_size_, key, comparator, Greater);
  return first == storage_ + Bytes() ? nullptr : first;
}

const void* CArrayBase::SearchGrOrEq(Comparator comparator, const void* key) const noexcept {
  return const_cast<CArrayBase*>(this)->SearchGrOrEq(comparator, key);
}

void* CArrayBase::SearchLeOrEq(Comparator comparator, const void* key) noexcept {
  if (storage_ == nullptr || comparator == nullptr || key == nullptr || count_ == 0) {
    return nullptr;
  }
  // The first item greater than key; the answer stands just before it.
  std::uint8_t* greater = Partition(storage_, count_, item_size_, key, comparator, NotLess);
  return greater == storage_ ? nullptr : greater - item_size_;
}

const void* CArrayBase::SearchLeOrEq(Comparator comparator, const void* key) const noexcept {
  return const_cast<CArrayBase*>(this)->SearchLeOrEq(comparator, key);
}

void* CArrayBase::Insert(const void* item, Comparator comparator, bool replace) noexcept {
  if (item == nullptr || comparator == nullptr) return nullptr;
  if (count_ == 0) return Insert(item, 0u);
  std::int64_t lo = 0;
  std::int64_t hi = std::int64_t{count_} - 1;
  std::int64_t mid = 0;
  int r = 0;
  while (lo <= hi) {
    mid = (lo + hi) / 2;
    std::uint8_t* probe = storage_ + static_cast<std::size_t>(mid) * item_size_;
    r = comparator(item, probe);
    if (r == -1) {
      hi = mid - 1;
    } else if (r == 1) {
      lo = mid + 1;
    } else if (r == 0) {
      if (!replace) return Insert(item, static_cast<unsigned int>(mid));
      std::memmove(probe, item, item_size_);
      return probe;
    } else {
      // A comparator that answers outside -1..1 cannot place the item reliably.
      return nullptr;
    }
  }
  return Insert(item, static_cast<unsigned int>(r == 1 ? mid + 1 : mid));
}

bool CArrayBase::Remove(const void* key, Comparator comparator) noexcept {
  const int pos = Pos(Search(comparator, key));
  if (pos < 0) return false;
  RemoveItems(static_cast<unsigned int>(pos), 1);
  return true;
}

void CArrayBase::Diff(const CArrayBase& first, const CArrayBase& second,
                      TArray<unsigned int>& added, TArray<unsigned int>& removed,
                      Comparator comparator) noexcept {
  added.Clear();
  removed.Clear();
  if (comparator == nullptr) return;
  const unsigned int n1 = first.count_;
  const unsigned int n2 = second.count_;
  // Two merge walks, one per list, so that each list comes out ascending and without repeats.
  for (unsigned int i = 0, j = 0; i < n1;) {
    if (j >= n2) {
      removed.Add(i++);
      continue;
    }
    const int r = comparator(first.At(i), second.At(j));
    if (r < 0) {
      removed.Add(i++);
    } else if (r == 0) {
      ++i, ++j;
    } else {
      ++j;
    }
  }
  for (unsigned int i = 0, j = 0; j < n2;) {
    if (i >= n1) {
      added.Add(j++);
      continue;
    }
    const int r = comparator(first.At(i), second.At(j));
    if (r < 0) {
      ++i;
    } else if (r == 0) {
      ++i, ++j;
    } else {
      added.Add(j++);
    }
  }
}

int ComparatorUInt64(const void* a, const void* b) noexcept {
  return CompareValues<std::uint64_t>(a, b);
}
int ComparatorUInt32(const void* a, const void* b) noexcept {
  return CompareValues<std::uint32_t>(a, b);
}
int ComparatorSInt16(const void* a, const void* b) noexcept {
  return CompareValues<std::int16_t>(a, b);
}
int ComparatorSInt32(const void* a, const void* b) noexcept {
  return CompareValues<std::int32_t>(a, b);
}
int ComparatorSInt64(const void* a, const void* b) noexcept {
  return CompareValues<std::int64_t>(a, b);
}
int ComparatorDouble(const void* a, const void* b) noexcept {
  return CompareValues<double>(a, b);  // every comparison with a NaN is false: equal
}
int ComparatorWChar(const void* a, const void* b) noexcept {
  return NSTools::Compare(static_cast<const unsigned short*>(a),
                          static_cast<const unsigned short*>(b), 0);
}

}  // namespace kelvane
