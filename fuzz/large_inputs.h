// fuzz/large_inputs.h
//
// The property-list loaders must stay bounded on inputs far past libFuzzer's default length
// (4 KiB unless the seeds are longer): a target that includes this header lets its inputs grow
// to 1 MiB. An explicit -max_len on the command line still decides, as it comes later.
#pragma once

#include <vector>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static char flag[] = "-max_len=1048576";
  static std::vector<char*> args;
  if (*argc < 1) return 0;
  args.assign(*argv, *argv + *argc);
  args.insert(args.begin() + 1, flag);
  args.push_back(nullptr);
  *argc += 1;
  *argv = args.data();
  return 0;
}
