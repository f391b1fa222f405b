// Array records from untrusted bytes: every record in the input is loaded in turn with a running
// offset, and whatever loads whole must save back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "kelvane/containers/storage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2) return 0;
  const unsigned int item_size = 1 + bytes[0] % 24;
  const unsigned int max_count = bytes[1] < 200 ? bytes[1] : 0xFFFFFFFFu;
  const kelvane::Data data(bytes + 2, bytes + size);
  kelvane::CArrayBase array(item_size);
  unsigned int offset = 0;
  for (int record = 0; record < 64; ++record) {
    const unsigned int start = offset;
    if (!array.Load(&data, &offset, max_count)) {
      if (offset != start) std::abort();  // a refused record never moves the offset
      break;
    }
    if (offset <= start) std::abort();
    std::uint32_t n;
    std::memcpy(&n, data.data() + start, 4);
    if (array.Count() > n || array.Count() > max_count) std::abort();
    if (array.Count() == n) {
      kelvane::Data again;
      array.Save(&again);
      if (again.size() != offset - start ||
          std::memcmp(again.data(), data.data() + start, again.size()) != 0) {
        std::abort();
      }
    }
    // Exercise the ordered operations over whatever arrived, unordered as it may be.
    if (item_size >= 4 && array.Count() > 0) {
      const void* key = array.Item(array.Count() / 2);
      (void)array.SearchGrOrEq(kelvane::ComparatorUInt32, key);
      (void)array.SearchLeOrEq(kelvane::ComparatorUInt32, key);
      array.Sort(kelvane::ComparatorUInt32);
      if (array.Search(kelvane::ComparatorUInt32, key) == nullptr) std::abort();
    }
    if (offset >= data.size()) break;
  }
  return 0;
}
