// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/crypto/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::platform {
namespace {

// The digest of the message fed in the given pieces, in lowercase hex.
std::string Md5Hex(const std::vector<std::string_view>& pieces) {
  Md5Context context;
  Md5Init(context);
  for (std::string_view piece : pieces) Md5Update(context, piece.data(), piece.size());
  std::uint8_t digest[kMd5DigestLength];
  Md5Final(context, digest);
  std::string hex;
  char pair[3];
  for (std::uint8_t byte : digest) hex.append(pair, std::snprintf(pair, sizeof pair, "%02x", byte));
  return hex;
}

TEST(Md5, Rfc1321TestSuiteAndSplitFeeds) {
  const std::pair<const char*, const char*> suite[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"}};
  for (const auto& [message, digest] : suite) EXPECT_EQ(Md5Hex({message}), digest) << message;

  // Split feeds match one feed across block boundaries: lengths around the padding edge (55,
  // 56, 63, 64, 65) need one or two final blocks.
  std::string message(1000, '\0');
  for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<char>(i * 7);
  const std::string_view all = message;
  const std::string expected = Md5Hex({all});
  for (std::size_t split : {1u, 55u, 56u, 63u, 64u, 65u, 127u, 999u}) {
    EXPECT_EQ(Md5Hex({all.substr(0, split), all.substr(split, 0), all.substr(split)}), expected)
        << split;
  }
  std::vector<std::string_view> bytes;
  for (std::size_t i = 0; i < all.size(); ++i) bytes.push_back(all.substr(i, 1));
  EXPECT_EQ(Md5Hex(bytes), expected);
}

}  // namespace
}  // namespace kelvane::platform
