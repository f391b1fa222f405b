// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/crypto/certificate.h
//
// An X.509 certificate made from its DER bytes, with the attributes the secure item store
// keeps for certificates read out once, when it is made.
//
// Threads: immutable after creation; share it freely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// An X.509 certificate and the attributes the item store records for it.
class KELVANE_EXPORT Certificate {
 public:
  // The largest certificate accepted, far above real ones (a few KiB, some tens with many
  // names).
  static constexpr std::size_t kMaxBytes = 256 << 10;

  // The certificate in `der`; null when the bytes are not exactly one DER certificate
  // (trailing bytes are refused too), when they exceed kMaxBytes, or when their elements nest
  // more than 32 deep. Those bounds are checked before the bytes reach the engine.
  [[nodiscard]] static std::shared_ptr<const Certificate> CreateWithData(
      std::span<const std::uint8_t> der) noexcept;

  // The certificate's DER bytes, as given.
  [[nodiscard]] const Data& der() const noexcept { return der_; }
  [[nodiscard]] const Data& subject() const noexcept { return subject_; }  // DER of the name
  [[nodiscard]] const Data& issuer() const noexcept { return issuer_; }    // DER of the name
  // The content bytes of the DER serial number integer (a leading zero kept where the sign
  // needs one).
  [[nodiscard]] const Data& serial_number() const noexcept { return serial_; }
  // The subject key identifier extension's bytes; empty when there is none.
  [[nodiscard]] const Data& subject_key_id() const noexcept { return subject_key_id_; }
  // SHA-1 of the subject public key bits, 20 bytes.
  [[nodiscard]] const Data& public_key_hash() const noexcept { return public_key_hash_; }
  // X.509 version: 1, 2 or 3.
  [[nodiscard]] std::int32_t version() const noexcept { return version_; }

 private:
  Certificate() = default;
  Data der_, subject_, issuer_, serial_, subject_key_id_, public_key_hash_;
  std::int32_t version_ = 0;
};

}  // namespace kelvane::platform
