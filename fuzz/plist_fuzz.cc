// SPDX-License-Identifier: Apache-2.0
// Binary property lists from untrusted bytes, through the structural check and then libplist.
// What passes the check, libplist must read, into a tree of exactly the objects and the depth the
// check counted; nothing may crash, read past the input or run away with memory or time.
#include <plist/plist.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "kelvane/platform/core/property_list_check.h"

namespace {

using kelvane::fuzzing::Check;

struct Count {
  std::uint64_t objects = 0;
  int depth = 0;
};

// Counts the nodes of libplist's tree (dictionary keys included) with an explicit stack.
Count Walk(plist_t root) {
  Count count;
  std::vector<std::pair<plist_t, int>> stack{{root, 0}};
  while (!stack.empty()) {
    const auto [node, level] = stack.back();
    stack.pop_back();
    ++count.objects;
    const plist_type type = plist_get_node_type(node);
    if (type == PLIST_ARRAY) {
      count.depth = std::max(count.depth, level + 1);
      plist_array_iter iter = nullptr;
      plist_array_new_iter(node, &iter);
      for (plist_t item = nullptr;; item = nullptr) {
        plist_array_next_item(node, iter, &item);
        if (item == nullptr) break;
        stack.emplace_back(item, level + 1);
      }
      std::free(iter);
    } else if (type == PLIST_DICT) {
      count.depth = std::max(count.depth, level + 1);
      plist_dict_iter iter = nullptr;
      plist_dict_new_iter(node, &iter);
      for (;;) {
        char* key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (key == nullptr) break;
        std::free(key);
        ++count.objects;
        stack.emplace_back(value, level + 1);
      }
      std::free(iter);
    }
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const auto shape = kelvane::platform::CheckBinaryPropertyList({bytes, size});
  if (!shape.ok()) return 0;
  plist_t root = nullptr;
  plist_from_bin(reinterpret_cast<const char*>(bytes), static_cast<std::uint32_t>(size), &root);
  Check(root != nullptr);
  const Count count = Walk(root);
  plist_free(root);
  Check(count.objects == shape->objects);
  Check(count.depth == shape->depth);
  return 0;
}
