// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/object_array.h"

#include <limits>

namespace kelvane {

const char kCompareContext[] = "compare";
const char kSearchContext[] = "search";

namespace detail {

InsertPlan PlanOrderedInsert(std::size_t count, const void* object, const void* array,
                             ElementAt element, ObjectComparator comparator, bool replace) {
  using Action = InsertPlan::Action;
  if (count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return {};
  if (count < 1) return {Action::kInsert, 0};
  std::int32_t lo = 0, hi = static_cast<std::int32_t>(count) - 1, mid = 0;
  std::intptr_t r = 0;
  while (lo <= hi) {
    mid = lo + (hi - lo) / 2;
    r = comparator(object, element(array, mid), kCompareContext);
    if (r == -1) {
      hi = mid - 1;
    } else if (r == 1) {
      lo = mid + 1;
    } else if (r == 0) {
      return {replace ? Action::kReplace : Action::kInsert, static_cast<std::size_t>(mid)};
    } else {
      return {};
    }
  }
  return {Action::kInsert, static_cast<std::size_t>(r == 1 ? mid + 1 : mid)};
}

std::int32_t FindOrdered(std::size_t count, const void* key, const void* array, ElementAt element,
                         ObjectComparator finder) {
  if (count < 1 || count > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return -1;
  }
  std::int32_t lo = 0, hi = static_cast<std::int32_t>(count) - 1;
  while (lo <= hi) {
    const std::int32_t mid = lo + (hi - lo) / 2;
    const std::intptr_t r = finder(key, element(array, mid), kSearchContext);
    if (r == -1) {
      hi = mid - 1;
    } else if (r == 1) {
      lo = mid + 1;
    } else {
      return r == 0 ? mid : -1;
    }
  }
  return -1;
}

}  // namespace detail
}  // namespace kelvane
