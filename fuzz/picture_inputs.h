// fuzz/picture_inputs.h
//
// What the picture fuzz targets share: inputs of up to a megabyte. The hostile pictures worth
// finding (a thousand text chunks, a thousand scans, a large declared picture behind a little
// data) need more than libFuzzer's default of 4 KiB, so a target sets -max_len to 1 MiB unless
// the command line gives one.
#pragma once

#include <cstring>

namespace kelvane::fuzzing {

inline constexpr char kPictureMaxLen[] = "-max_len=1048576";

// For LLVMFuzzerInitialize: adds kPictureMaxLen to the flags libFuzzer is about to read.
inline void AllowPictureSizedInputs(int* argc, char*** argv) {
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp((*argv)[i], "-max_len=", 9) == 0) return;
  }
  // The new vector lives as long as the process, as libFuzzer keeps reading it.
  char** flags = new char*[*argc + 2];
  std::memcpy(flags, *argv, sizeof(char*) * *argc);
  flags[*argc] = const_cast<char*>(kPictureMaxLen);
  flags[*argc + 1] = nullptr;
  *argv = flags;
  ++*argc;
}

}  // namespace kelvane::fuzzing
