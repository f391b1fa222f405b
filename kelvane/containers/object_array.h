// SPDX-License-Identifier: Apache-2.0
// kelvane/containers/object_array.h
//
// Ordered object arrays: inserting an object into an array kept in order, and finding an
// object by key with a binary search. The search and tie rules are those of the ordered
// CArrayBase::Insert, applied to object references.
//
// One of three headers named object_array.h: this one holds the ordered operations on object
// arrays; kelvane/platform/core/object_array.h defines the array type itself (ObjectArray), and
// kelvane/platform/object_array.h is that type's earlier path, kept for old includes.
//
// One plain function may serve as both comparator and finder: it is handed the context
// kCompareContext ("compare") when its first argument is an object of the array's kind, and
// kSearchContext ("search") when it is the caller's key. Tell the two apart by the text
// (std::strcmp), not by the address: an application linked statically may see another copy.
// The answer must be exactly -1, 0 or +1; anything else stops the operation.
//
// Index arithmetic is signed 32-bit: arrays of more than INT32_MAX elements are refused.
//
// Threads: no lock; callers serialise access to one array. Exceptions of a caller's function
// pass through, leaving the array as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>

#include "kelvane/export.h"
#include "kelvane/platform/core/object_array.h"

namespace kelvane {

// (object or key, element, context) -> -1, 0 or +1. The element is the address of the
// array's object (null for a null element).
using ObjectComparator = std::intptr_t (*)(const void* first, const void* element,
                                           const char* context);

KELVANE_EXPORT extern const char kCompareContext[];  // "compare"
KELVANE_EXPORT extern const char kSearchContext[];   // "search"

namespace detail {  // what the templates below call; see kelvane/export.h

// Address of element `index` of the array behind `array`.
using ElementAt = const void* (*)(const void* array, std::int32_t index);

struct InsertPlan {
  enum class Action { kNone, kInsert, kReplace };
  Action action = Action::kNone;
  std::size_t index = 0;
};

// Where the ordered insert puts `object` into an array of `count` elements.
KELVANE_EXPORT InsertPlan PlanOrderedInsert(std::size_t count, const void* object,
                                            const void* array, ElementAt element,
                                            ObjectComparator comparator, bool replace);

// Index of the element the finder answers 0 for; -1 when none is found or the finder answers
// anything but -1, 0 or +1.
KELVANE_EXPORT std::int32_t FindOrdered(std::size_t count, const void* key, const void* array,
                                        ElementAt element, ObjectComparator finder);

template <typename T>
const void* ObjectAt(const void* array, std::int32_t index) {
  return (*static_cast<const platform::ObjectArray<T>*>(array))[static_cast<std::size_t>(index)]
      .get();
}

}  // namespace detail

namespace NSTools {

// Inserts `object` into `array`, kept in the comparator's order. An equal element met by the
// search is replaced when `replace` is set; otherwise the object goes before it. Nothing
// happens when object or comparator is null, the comparator answers anything but -1, 0 or +1,
// or memory runs out.
// REQUIRES: array is ordered by `comparator`.
template <typename T>
void Insert(platform::ObjectArray<T>& array, std::shared_ptr<T> object, ObjectComparator Comparator,
            bool Replace) {
  if (object == nullptr || Comparator == nullptr) return;
  const detail::InsertPlan plan = detail::PlanOrderedInsert(
      array.size(), object.get(), &array, detail::ObjectAt<T>, Comparator, Replace);
  using Action = detail::InsertPlan::Action;
  if (plan.action == Action::kReplace) {
    array[plan.index] = std::move(object);
  } else if (plan.action == Action::kInsert) {
    try {
      array.insert(array.begin() + static_cast<std::ptrdiff_t>(plan.index), std::move(object));
    } catch (const std::bad_alloc&) {
      // The vector is left as it was: moving shared references cannot throw.
    }
  }
}

// The element the finder answers 0 for, by binary search; its index goes to *Index when Index
// is given. Null, *Index untouched, when key or finder is null, the array is empty, nothing
// matches, or the finder answers anything but -1, 0 or +1.
// REQUIRES: array is ordered consistently with `Finder`.
template <typename T>
[[nodiscard]] std::shared_ptr<T> SearchKey(const platform::ObjectArray<T>& array, const void* key,
                                           ObjectComparator Finder, std::uint32_t* Index) {
  if (key == nullptr || Finder == nullptr) return nullptr;
  const std::int32_t found =
      detail::FindOrdered(array.size(), key, &array, detail::ObjectAt<T>, Finder);
  if (found < 0) return nullptr;
  if (Index != nullptr) *Index = static_cast<std::uint32_t>(found);
  return array[static_cast<std::size_t>(found)];
}

}  // namespace NSTools
}  // namespace kelvane
