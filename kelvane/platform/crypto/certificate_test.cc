// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/crypto/certificate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/x509.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "kelvane/testing/child_process.h"

namespace kelvane::platform {
namespace {

using ::testing::HasSubstr;

// testdata/certs/test.der: a self-signed P-256 certificate, CN=Kelvane Test, O=Kelvane,
// serial 0xC0FFEE11223344 (its high bit asks for a leading zero), subject key identifier the
// SHA-1 of the key, as `openssl x509 -ext subjectKeyIdentifier` shows it. Nothing but the one
// certificate is read: no bytes, one byte more or one byte less.
TEST(Certificate, ReadsTheAttributesOfOneDerCertificateAndNothingElse) {
  std::ifstream in(std::string(KELVANE_TESTDATA_DIR) + "/certs/test.der", std::ios::binary);
  const Data der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(der.empty());
  const auto certificate = Certificate::CreateWithData(der);
  ASSERT_NE(certificate, nullptr);
  EXPECT_EQ(certificate->der(), der);
  const Data key_id{0x21, 0xDC, 0xD8, 0xB2, 0x5D, 0x7D, 0xFF, 0x1D, 0x4D, 0xEC,
                    0x4E, 0xEE, 0xFC, 0x6D, 0x4E, 0x42, 0x68, 0x68, 0x87, 0x67};
  EXPECT_EQ(certificate->subject_key_id(), key_id);
  EXPECT_EQ(certificate->public_key_hash(), key_id);         // the same SHA-1, by how it was made
  EXPECT_EQ(certificate->subject(), certificate->issuer());  // self-signed
  const std::string subject(certificate->subject().begin(), certificate->subject().end());
  EXPECT_THAT(subject, HasSubstr("Kelvane Test"));
  // The subject sits inside the certificate's own bytes.
  EXPECT_THAT(std::string(der.begin(), der.end()), HasSubstr(subject));

  EXPECT_EQ(Certificate::CreateWithData({}), nullptr);
  Data trailing = der;
  trailing.push_back(0);
  EXPECT_EQ(Certificate::CreateWithData(trailing), nullptr);
  EXPECT_EQ(Certificate::CreateWithData(std::span(der.data(), der.size() - 1)), nullptr);
}

// Nested SEQUENCEs `depth` deep around nothing.
Data Nested(int depth) {
  Data inside;
  for (int i = 0; i < depth; ++i) {
    Data outer{0x30};
    const std::size_t n = inside.size();
    if (n < 0x80) {
      outer.push_back(static_cast<std::uint8_t>(n));
    } else {
      outer.insert(outer.end(), {0x83, static_cast<std::uint8_t>(n >> 16),
                                 static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)});
    }
    outer.insert(outer.end(), inside.begin(), inside.end());
    inside = std::move(outer);
  }
  return inside;
}

// A signed certificate with one extension of an unregistered kind holding `value`; empty when
// the engine refused to make it.
Data WithExtension(const Data& value) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* x509 = X509_new();
  ASN1_OBJECT* kind = OBJ_txt2obj("1.3.6.1.4.1.59999.1", 1);
  ASN1_OCTET_STRING* bytes = ASN1_OCTET_STRING_new();
  ASN1_OCTET_STRING_set(bytes, value.data(), static_cast<int>(value.size()));
  X509_set_version(x509, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x509), 7);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(x509), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Kelvane Test"), -1, -1, 0);
  X509_set_issuer_name(x509, X509_get_subject_name(x509));
  X509_gmtime_adj(X509_getm_notBefore(x509), 0);
  X509_gmtime_adj(X509_getm_notAfter(x509), 3600);
  X509_set_pubkey(x509, key);
  X509_EXTENSION* extension = X509_EXTENSION_create_by_OBJ(nullptr, kind, 0, bytes);
  X509_add_ext(x509, extension, -1);
  X509_sign(x509, key, EVP_sha256());
  unsigned char* der = nullptr;
  const int n = i2d_X509(x509, &der);
  Data out = n > 0 ? Data(der, der + n) : Data();
  OPENSSL_free(der);
  X509_EXTENSION_free(extension);
  ASN1_OCTET_STRING_free(bytes);
  ASN1_OBJECT_free(kind);
  X509_free(x509);
  EVP_PKEY_free(key);
  return out;
}

// A certificate of exactly `size` bytes: its signature's length varies by a byte or two, so it
// is made again, its extension adjusted, until it fits.
Data CertificateOfSize(std::size_t size) {
  std::size_t value = size - 512;
  for (int attempt = 0; attempt < 50; ++attempt) {
    const Data der = WithExtension(Data(value, 0x41));
    if (der.size() == size) return der;
    value = value + size - der.size();
  }
  return {};
}

// Bytes no certificate has: 10,000 nested SEQUENCEs, and lengths of 2 GiB and of 2^64 over a few
// bytes.
int HostileDerChild() {
  const Data cases[] = {Nested(10000),
                        {0x30, 0x84, 0x7F, 0xFF, 0xFF, 0xFF, 0x30, 0x00},
                        {0x30, 0x88, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0x01},
                        {0x30, 0x80, 0x30, 0x80, 0x00, 0x00, 0x00, 0x00}};
  int made = 0;
  for (const Data& der : cases) {
    if (Certificate::CreateWithData(der) == nullptr) continue;
    std::fprintf(stderr, "child: %zu bytes made a certificate\n", der.size());
    ++made;
  }
  return made;
}
[[maybe_unused]] const bool kHostileDer = testing::ChildProcess("hostile-der", HostileDerChild);

TEST(Certificate, RefusesOversizedDeeplyNestedAndHostileDer) {
  // The bound holds to the byte: 256 KiB is read, one byte more is not.
  const Data largest = CertificateOfSize(256 << 10);
  const Data oversized = CertificateOfSize((256 << 10) + 1);
  ASSERT_EQ(largest.size(), 256u << 10);
  ASSERT_EQ(oversized.size(), (256u << 10) + 1);
  EXPECT_NE(Certificate::CreateWithData(largest), nullptr);
  EXPECT_EQ(Certificate::CreateWithData(oversized), nullptr);
  // The extension's value lies below six levels (certificate, to-be-signed part, extensions
  // tag, list, extension, octet string): DER 26 deep there makes 32 levels, the most accepted;
  // one level more is refused.
  const Data shallow = WithExtension(Nested(26));
  const Data deep = WithExtension(Nested(27));
  ASSERT_FALSE(shallow.empty());
  ASSERT_FALSE(deep.empty());
  EXPECT_NE(Certificate::CreateWithData(shallow), nullptr);
  EXPECT_EQ(Certificate::CreateWithData(deep), nullptr);
  // The hostile bytes, in a child under limits: 0 when none of them made a certificate.
  const testing::ChildOutcome outcome =
      testing::RunLimitedChild("hostile-der", {.memory_bytes = 512u << 20, .seconds = 10});
  EXPECT_EQ(outcome.status, 0) << "peak " << (outcome.peak_rss_bytes >> 20) << " MiB";
}

}  // namespace
}  // namespace kelvane::platform
