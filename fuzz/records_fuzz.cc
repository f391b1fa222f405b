// SPDX-License-Identifier: Apache-2.0
// Array records from untrusted bytes: every record in the input is loaded in turn with a running
// offset, and whatever loads whole must save back to the same bytes. The same bytes in a file read
// alike, record by record, and a length taken from them reads exactly the bytes that follow or
// nothing.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_input.h"
#include "kelvane/containers/file_tools.h"
#include "kelvane/containers/storage.h"

using kelvane::fuzzing::Check;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  kelvane::fuzzing::DefaultMaxLen(argc, argv, 1 << 20);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  if (size < 2) return 0;
  const unsigned int item_size = 1 + bytes[0] % 24;
  const unsigned int max_count = bytes[1] < 200 ? bytes[1] : 0xFFFFFFFFu;
  const kelvane::Data data(bytes + 2, bytes + size);
  // A file in memory: regular, as record files are.
  const int fd = ::memfd_create("records", MFD_CLOEXEC);
  Check(fd >= 0);
  kelvane::platform::FileHandle file(fd, /*owns=*/true);
  Check(data.empty() || ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size()));
  Check(::lseek(fd, 0, SEEK_SET) == 0);

  kelvane::CArrayBase array(item_size);
  kelvane::CArrayBase from_file(item_size);
  unsigned int offset = 0;
  for (int record = 0; record < 64; ++record) {
    const unsigned int start = offset;
    if (!array.Load(&data, &offset, max_count)) {
      Check(offset == start);  // a refused record never moves the offset
      break;
    }
    Check(offset > start);
    Check(from_file.Read(&file, max_count));
    Check(from_file.Compare(array));
    Check(::lseek(fd, 0, SEEK_CUR) == static_cast<off_t>(offset));
    std::uint32_t n;
    std::memcpy(&n, data.data() + start, 4);
    Check(array.Count() <= n && array.Count() <= max_count);
    if (array.Count() == n) {
      kelvane::Data again;
      array.Save(&again);
      Check(again.size() == offset - start &&
            std::memcmp(again.data(), data.data() + start, again.size()) == 0);
    }
    // Exercise the ordered operations over whatever arrived, unordered as it may be.
    if (item_size >= 4 && array.Count() > 0) {
      const void* key = array.Item(array.Count() / 2);
      (void)array.SearchGrOrEq(kelvane::ComparatorUInt32, key);
      (void)array.SearchLeOrEq(kelvane::ComparatorUInt32, key);
      array.Sort(kelvane::ComparatorUInt32);
      Check(array.Search(kelvane::ComparatorUInt32, key) != nullptr);
    }
    if (offset >= data.size()) break;
  }

  // The first count as a length in bytes, as a reader of a length-prefixed block takes it.
  if (data.size() >= 4) {
    std::uint32_t n;
    std::memcpy(&n, data.data(), 4);
    const std::uint64_t length = std::uint64_t{n} * item_size;
    Check(kelvane::NSTools::SeekToFileOffset(file, 4));
    const auto block = kelvane::NSTools::ReadDataOfLength(file, length);
    const bool held = length > 0 && length <= data.size() - 4;
    Check(block.has_value() == held);
    if (held) Check(std::memcmp(block->data(), data.data() + 4, length) == 0);
  }
  return 0;
}
