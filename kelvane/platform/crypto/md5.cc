// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/crypto/md5.h"

#include <bit>
#include <cstring>

namespace kelvane::platform {
namespace {

inline std::uint32_t LoadLittle32(const std::uint8_t* p) noexcept {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline void StoreLittle32(std::uint8_t* p, std::uint32_t v) noexcept {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

// The four auxiliary functions, in the forms with the shortest dependency chains: the chain
// through `a` is what limits MD5's speed, so F and G avoid a NOT on it and G splits into two
// independent halves that are added rather than or-ed.
#define KELVANE_MD5_STEP_F(a, b, c, d, x, t, s) \
  a += ((d) ^ ((b) & ((c) ^ (d)))) + (x) + (t); \
  a = std::rotl(a, s) + (b)
#define KELVANE_MD5_STEP_G(a, b, c, d, x, t, s) \
  a += ((d) & (b)) + (x) + (t) + ((c) & ~(d));  \
  a = std::rotl(a, s) + (b)
#define KELVANE_MD5_STEP_H(a, b, c, d, x, t, s) \
  a += ((b) ^ (c) ^ (d)) + (x) + (t);           \
  a = std::rotl(a, s) + (b)
#define KELVANE_MD5_STEP_I(a, b, c, d, x, t, s) \
  a += ((c) ^ ((b) | ~(d))) + (x) + (t);        \
  a = std::rotl(a, s) + (b)

// Hashes `blocks` consecutive 64-byte blocks into `state`.
void ProcessBlocks(std::uint32_t state[4], const std::uint8_t* p, std::size_t blocks) noexcept {
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks != 0; --blocks, p += 64) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLittle32(p + 4 * i);
    const std::uint32_t aa = a, bb = b, cc = c, dd = d;

    KELVANE_MD5_STEP_F(a, b, c, d, x[0], 0xd76aa478, 7);
    KELVANE_MD5_STEP_F(d, a, b, c, x[1], 0xe8c7b756, 12);
    KELVANE_MD5_STEP_F(c, d, a, b, x[2], 0x242070db, 17);
    KELVANE_MD5_STEP_F(b, c, d, a, x[3], 0xc1bdceee, 22);
    KELVANE_MD5_STEP_F(a, b, c, d, x[4], 0xf57c0faf, 7);
    KELVANE_MD5_STEP_F(d, a, b, c, x[5], 0x4787c62a, 12);
    KELVANE_MD5_STEP_F(c, d, a, b, x[6], 0xa8304613, 17);
    KELVANE_MD5_STEP_F(b, c, d, a, x[7], 0xfd469501, 22);
    KELVANE_MD5_STEP_F(a, b, c, d, x[8], 0x698098d8, 7);
    KELVANE_MD5_STEP_F(d, a, b, c, x[9], 0x8b44f7af, 12);
    KELVANE_MD5_STEP_F(c, d, a, b, x[10], 0xffff5bb1, 17);
    KELVANE_MD5_STEP_F(b, c, d, a, x[11], 0x895cd7be, 22);
    KELVANE_MD5_STEP_F(a, b, c, d, x[12], 0x6b901122, 7);
    KELVANE_MD5_STEP_F(d, a, b, c, x[13], 0xfd987193, 12);
    KELVANE_MD5_STEP_F(c, d, a, b, x[14], 0xa679438e, 17);
    KELVANE_MD5_STEP_F(b, c, d, a, x[15], 0x49b40821, 22);

    KELVANE_MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5);
    KELVANE_MD5_STEP_G(d, a, b, c, x[6], 0xc040b340, 9);
    KELVANE_MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14);
    KELVANE_MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20);
    KELVANE_MD5_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5);
    KELVANE_MD5_STEP_G(d, a, b, c, x[10], 0x02441453, 9);
    KELVANE_MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14);
    KELVANE_MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20);
    KELVANE_MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5);
    KELVANE_MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9);
    KELVANE_MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14);
    KELVANE_MD5_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20);
    KELVANE_MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5);
    KELVANE_MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9);
    KELVANE_MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14);
    KELVANE_MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);

    KELVANE_MD5_STEP_H(a, b, c, d, x[5], 0xfffa3942, 4);
    KELVANE_MD5_STEP_H(d, a, b, c, x[8], 0x8771f681, 11);
    KELVANE_MD5_STEP_H(c, d, a, b, x[11], 0x6d9d6122, 16);
    KELVANE_MD5_STEP_H(b, c, d, a, x[14], 0xfde5380c, 23);
    KELVANE_MD5_STEP_H(a, b, c, d, x[1], 0xa4beea44, 4);
    KELVANE_MD5_STEP_H(d, a, b, c, x[4], 0x4bdecfa9, 11);
    KELVANE_MD5_STEP_H(c, d, a, b, x[7], 0xf6bb4b60, 16);
    KELVANE_MD5_STEP_H(b, c, d, a, x[10], 0xbebfbc70, 23);
    KELVANE_MD5_STEP_H(a, b, c, d, x[13], 0x289b7ec6, 4);
    KELVANE_MD5_STEP_H(d, a, b, c, x[0], 0xeaa127fa, 11);
    KELVANE_MD5_STEP_H(c, d, a, b, x[3], 0xd4ef3085, 16);
    KELVANE_MD5_STEP_H(b, c, d, a, x[6], 0x04881d05, 23);
    KELVANE_MD5_STEP_H(a, b, c, d, x[9], 0xd9d4d039, 4);
    KELVANE_MD5_STEP_H(d, a, b, c, x[12], 0xe6db99e5, 11);
    KELVANE_MD5_STEP_H(c, d, a, b, x[15], 0x1fa27cf8, 16);
    KELVANE_MD5_STEP_H(b, c, d, a, x[2], 0xc4ac5665, 23);

    KELVANE_MD5_STEP_I(a, b, c, d, x[0], 0xf4292244, 6);
    KELVANE_MD5_STEP_I(d, a, b, c, x[7], 0x432aff97, 10);
    KELVANE_MD5_STEP_I(c, d, a, b, x[14], 0xab9423a7, 15);
    KELVANE_MD5_STEP_I(b, c, d, a, x[5], 0xfc93a039, 21);
    KELVANE_MD5_STEP_I(a, b, c, d, x[12], 0x655b59c3, 6);
    KELVANE_MD5_STEP_I(d, a, b, c, x[3], 0x8f0ccc92, 10);
    KELVANE_MD5_STEP_I(c, d, a, b, x[10], 0xffeff47d, 15);
    KELVANE_MD5_STEP_I(b, c, d, a, x[1], 0x85845dd1, 21);
    KELVANE_MD5_STEP_I(a, b, c, d, x[8], 0x6fa87e4f, 6);
    KELVANE_MD5_STEP_I(d, a, b, c, x[15], 0xfe2ce6e0, 10);
    KELVANE_MD5_STEP_I(c, d, a, b, x[6], 0xa3014314, 15);
    KELVANE_MD5_STEP_I(b, c, d, a, x[13], 0x4e0811a1, 21);
    KELVANE_MD5_STEP_I(a, b, c, d, x[4], 0xf7537e82, 6);
    KELVANE_MD5_STEP_I(d, a, b, c, x[11], 0xbd3af235, 10);
    KELVANE_MD5_STEP_I(c, d, a, b, x[2], 0x2ad7d2bb, 15);
    KELVANE_MD5_STEP_I(b, c, d, a, x[9], 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef KELVANE_MD5_STEP_F
#undef KELVANE_MD5_STEP_G
#undef KELVANE_MD5_STEP_H
#undef KELVANE_MD5_STEP_I

}  // namespace

void Md5Init(Md5Context& context) noexcept {
  context.state[0] = 0x67452301;
  context.state[1] = 0xefcdab89;
  context.state[2] = 0x98badcfe;
  context.state[3] = 0x10325476;
  context.count[0] = 0;
  context.count[1] = 0;
  context.buffered = 0;
  std::memset(context.buffer, 0, sizeof context.buffer);
}

void Md5Update(Md5Context& context, const void* data, std::size_t length) noexcept {
  if (length == 0) return;
  const auto* p = static_cast<const std::uint8_t*>(data);

  // The bit count is kept modulo 2^64, as the padding only carries its low 64 bits.
  const std::uint64_t bits =
      ((static_cast<std::uint64_t>(context.count[1]) << 32) | context.count[0]) +
      (static_cast<std::uint64_t>(length) << 3);
  context.count[0] = static_cast<std::uint32_t>(bits);
  context.count[1] = static_cast<std::uint32_t>(bits >> 32);

  if (context.buffered != 0) {
    const std::size_t room = 64 - context.buffered;
    if (length < room) {
      std::memcpy(context.buffer + context.buffered, p, length);
      context.buffered += static_cast<std::uint32_t>(length);
      return;
    }
    std::memcpy(context.buffer + context.buffered, p, room);
    ProcessBlocks(context.state, context.buffer, 1);
    p += room;
    length -= room;
    context.buffered = 0;
  }
  // Whole blocks are hashed straight from the caller's bytes, without a copy.
  if (length >= 64) {
    ProcessBlocks(context.state, p, length / 64);
    p += length & ~static_cast<std::size_t>(63);
    length &= 63;
  }
  if (length != 0) {
    std::memcpy(context.buffer, p, length);
    context.buffered = static_cast<std::uint32_t>(length);
  }
}

void Md5Final(Md5Context& context, std::uint8_t* digest) noexcept {
  std::uint8_t length_bytes[8];
  StoreLittle32(length_bytes, context.count[0]);
  StoreLittle32(length_bytes + 4, context.count[1]);

  // Padding: one 1 bit, zeros up to 56 bytes modulo 64, then the length.
  std::uint32_t n = context.buffered;
  context.buffer[n++] = 0x80;
  if (n > 56) {
    std::memset(context.buffer + n, 0, 64 - n);
    ProcessBlocks(context.state, context.buffer, 1);
    n = 0;
  }
  std::memset(context.buffer + n, 0, 56 - n);
  std::memcpy(context.buffer + 56, length_bytes, 8);
  ProcessBlocks(context.state, context.buffer, 1);

  for (int i = 0; i < 4; ++i) StoreLittle32(digest + 4 * i, context.state[i]);
  // Nothing of the message is left behind in the context.
  std::memset(context.buffer, 0, sizeof context.buffer);
  context.buffered = 0;
}

}  // namespace kelvane::platform
