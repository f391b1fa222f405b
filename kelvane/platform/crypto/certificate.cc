// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/crypto/certificate.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>

namespace kelvane::platform {
namespace {

// The DER encoding i2d produces for `object`, or nullopt.
template <typename T>
std::optional<Data> Encode(const T* object, int (*i2d)(const T*, unsigned char**)) {
  unsigned char* bytes = nullptr;
  const int n = i2d(object, &bytes);
  if (n <= 0 || bytes == nullptr) return std::nullopt;
  Data out(bytes, bytes + n);
  OPENSSL_free(bytes);
  return out;
}

// The content of a DER element: what follows its tag and length.
std::optional<Data> Content(const Data& der) {
  if (der.size() < 2) return std::nullopt;
  std::size_t at = 2;
  std::size_t length = der[1];
  if (length & 0x80) {
    const std::size_t count = length & 0x7F;
    if (count == 0 || count > 4 || der.size() < 2 + count) return std::nullopt;
    length = 0;
    for (std::size_t i = 0; i < count; ++i) length = length << 8 | der[2 + i];
    at += count;
  }
  if (der.size() - at != length) return std::nullopt;
  return Data(der.begin() + static_cast<std::ptrdiff_t>(at), der.end());
}

// Elements nested within one another, counting the DER held in OCTET and BIT STRINGs: real
// certificates go about a dozen deep.
constexpr int kMaxDerDepth = 32;

enum class Structure { kWellFormed, kMalformed, kTooDeep };

// Checks the elements in der[at, end): each with a definite length that stays within `end`,
// constructed ones holding well-formed elements themselves, no deeper than kMaxDerDepth. The
// content of an OCTET or BIT STRING that reads as DER (extension values, keys, which the engine
// decodes later) is held to the same depth; one that does not is opaque bytes. Each level reads
// its bytes once, so the work is at most kMaxDerDepth passes over the input.
Structure CheckElements(std::span<const std::uint8_t> der, std::size_t at, std::size_t end,
                        int depth) {
  if (depth > kMaxDerDepth) return Structure::kTooDeep;
  while (at < end) {
    const std::uint8_t tag = der[at++];
    if ((tag & 0x1F) == 0x1F) {  // a tag number in the bytes that follow, at most four of them
      for (int n = 0;; ++n) {
        if (at == end || n == 4) return Structure::kMalformed;
        if ((der[at++] & 0x80) == 0) break;
      }
    }
    if (at == end) return Structure::kMalformed;
    std::size_t length = der[at++];
    if (length & 0x80) {
      const std::size_t count = length & 0x7F;
      // 0 is BER's indefinite length, which DER has not; 4 bytes already pass any bound here.
      if (count == 0 || count > 4 || end - at < count) return Structure::kMalformed;
      length = 0;
      for (std::size_t i = 0; i < count; ++i) length = length << 8 | der[at++];
    }
    if (end - at < length) return Structure::kMalformed;
    const std::size_t content = at;
    at += length;
    if (tag & 0x20) {
      const Structure inner = CheckElements(der, content, at, depth + 1);
      if (inner != Structure::kWellFormed) return inner;
    } else if ((tag == 0x04 || tag == 0x03) && length > (tag == 0x03 ? 1u : 0u)) {
      const std::size_t first = content + (tag == 0x03 ? 1 : 0);  // past the unused-bits count
      if (CheckElements(der, first, at, depth + 1) == Structure::kTooDeep) {
        return Structure::kTooDeep;
      }
    }
  }
  return Structure::kWellFormed;
}

}  // namespace

std::shared_ptr<const Certificate> Certificate::CreateWithData(
    std::span<const std::uint8_t> der) noexcept {
  // The engine sees only bytes within the bound whose structure was checked first.
  if (der.empty() || der.size() > kMaxBytes ||
      CheckElements(der, 0, der.size(), 0) != Structure::kWellFormed) {
    return nullptr;
  }
  const unsigned char* p = der.data();
  X509* x509 = d2i_X509(nullptr, &p, static_cast<long>(der.size()));
  if (x509 == nullptr) return nullptr;
  std::shared_ptr<Certificate> out;
  try {
    if (p == der.data() + der.size()) {
      auto subject = Encode<X509_NAME>(X509_get_subject_name(x509), i2d_X509_NAME);
      auto issuer = Encode<X509_NAME>(X509_get_issuer_name(x509), i2d_X509_NAME);
      auto serial = Encode<ASN1_INTEGER>(X509_get0_serialNumber(x509), i2d_ASN1_INTEGER);
      std::optional<Data> serial_content = serial ? Content(*serial) : std::nullopt;
      const ASN1_BIT_STRING* key_bits = X509_get0_pubkey_bitstr(x509);
      unsigned char digest[EVP_MAX_MD_SIZE];
      unsigned int digest_size = 0;
      const bool hashed =
          key_bits != nullptr && EVP_Digest(ASN1_STRING_get0_data(key_bits),
                                            static_cast<std::size_t>(ASN1_STRING_length(key_bits)),
                                            digest, &digest_size, EVP_sha1(), nullptr) == 1;
      if (subject && issuer && serial_content && hashed) {
        out.reset(new Certificate);
        out->der_.assign(der.begin(), der.end());
        out->subject_ = std::move(*subject);
        out->issuer_ = std::move(*issuer);
        out->serial_ = std::move(*serial_content);
        out->public_key_hash_.assign(digest, digest + digest_size);
        if (const ASN1_OCTET_STRING* id = X509_get0_subject_key_id(x509)) {
          const unsigned char* bytes = ASN1_STRING_get0_data(id);
          out->subject_key_id_.assign(bytes, bytes + ASN1_STRING_length(id));
        }
        out->version_ = static_cast<std::int32_t>(X509_get_version(x509)) + 1;
      }
    }
  } catch (const std::bad_alloc&) {
    out.reset();
  }
  X509_free(x509);
  return out;
}

}  // namespace kelvane::platform
