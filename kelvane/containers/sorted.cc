// The ordered operations of CArrayBase and the ready comparators.
#include <cstdlib>
#include <cstring>

#include "kelvane/containers/storage.h"
#include "kelvane/text/wide_string.h"

namespace kelvane {
namespace {

template <typename T>
int CompareValues(const void* a, const void* b) noexcept {
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

void* CArrayBase::Search(Comparator comparator, const void* key) noexcept {
  if (storage_ == nullptr || comparator == nullptr || key == nullptr || item_size_ == 0) {
    return nullptr;
  }
  return std::bsearch(key, storage_, count_, item_size_, comparator);
}

const void* CArrayBase::Search(Comparator comparator, const void* key) const noexcept {
  return const_cast<CArrayBase*>(this)->Search(comparator, key);
}

void* CArrayBase::SearchGrOrEq(Comparator comparator, const void* key) noexcept {
  if (storage_ == nullptr || comparator == nullptr || key == nullptr || count_ == 0) {
    return nullptr;
  }
  const std::size_t size = item_size_;
  std::uint8_t* base = storage_;
  std::size_t n = count_;
  while (n != 0) {
    const std::size_t half = n / 2;
    std::uint8_t* probe = base + half * size;
    if (comparator(key, probe) <= 0) {
      n = half;
    } else {
      base = probe + size;
      n -= half + 1;
    }
  }
  return base == storage_ + Bytes() ? nullptr : base;
}

const void* CArrayBase::SearchGrOrEq(Comparator comparator, const void* key) const noexcept {
  return const_cast<CArrayBase*>(this)->SearchGrOrEq(comparator, key);
}

void* CArrayBase::SearchLeOrEq(Comparator comparator, const void* key) noexcept {
  if (storage_ == nullptr || comparator == nullptr || key == nullptr || count_ == 0) {
    return nullptr;
  }
  const std::size_t size = item_size_;
  std::uint8_t* base = storage_;
  std::size_t n = count_;
  while (n != 0) {
    const std::size_t half = n / 2;
    std::uint8_t* probe = base + half * size;
    if (comparator(key, probe) < 0) {
      n = half;
    } else {
      base = probe + size;
      n -= half + 1;
    }
  }
  // base is the first item greater than key; the answer stands just before it.
  return base == storage_ ? nullptr : base - size;
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
