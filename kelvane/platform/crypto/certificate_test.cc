#include "kelvane/platform/crypto/certificate.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace kelvane::platform {
namespace {

Data Fixture() {
  std::ifstream in(std::string(KELVANE_TESTDATA_DIR) + "/certs/test.der", std::ios::binary);
  return Data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// testdata/certs/test.der: a self-signed P-256 certificate, CN=Kelvane Test, O=Kelvane,
// serial 0xC0FFEE11223344 (its high bit asks for a leading zero), subject key identifier the
// SHA-1 of the key, as `openssl x509 -ext subjectKeyIdentifier` shows it.
TEST(Certificate, ReadsTheAttributesOfADerCertificate) {
  const Data der = Fixture();
  ASSERT_FALSE(der.empty());
  const auto certificate = Certificate::CreateWithData(der);
  ASSERT_NE(certificate, nullptr);
  EXPECT_EQ(certificate->der(), der);
  EXPECT_EQ(certificate->serial_number(), (Data{0x00, 0xC0, 0xFF, 0xEE, 0x11, 0x22, 0x33, 0x44}));
  const Data key_id{0x21, 0xDC, 0xD8, 0xB2, 0x5D, 0x7D, 0xFF, 0x1D, 0x4D, 0xEC,
                    0x4E, 0xEE, 0xFC, 0x6D, 0x4E, 0x42, 0x68, 0x68, 0x87, 0x67};
  EXPECT_EQ(certificate->subject_key_id(), key_id);
  EXPECT_EQ(certificate->public_key_hash(), key_id);  // the same SHA-1, by how it was made
  EXPECT_EQ(certificate->version(), 3);
  EXPECT_EQ(certificate->subject(), certificate->issuer());  // self-signed
  ASSERT_GT(certificate->subject().size(), 2u);
  EXPECT_EQ(certificate->subject()[0], 0x30);  // a DER sequence
  const std::string subject(certificate->subject().begin(), certificate->subject().end());
  EXPECT_NE(subject.find("Kelvane Test"), std::string::npos);
  // The subject sits inside the certificate's own bytes.
  const std::string whole(der.begin(), der.end());
  EXPECT_NE(whole.find(subject), std::string::npos);
}

TEST(Certificate, RefusesAnythingButOneCertificate) {
  const Data der = Fixture();
  ASSERT_FALSE(der.empty());
  EXPECT_EQ(Certificate::CreateWithData({}), nullptr);
  Data trailing = der;
  trailing.push_back(0);
  EXPECT_EQ(Certificate::CreateWithData(trailing), nullptr);
  for (std::size_t n : {std::size_t{1}, std::size_t{10}, der.size() / 2, der.size() - 1}) {
    EXPECT_EQ(Certificate::CreateWithData(std::span(der.data(), n)), nullptr) << n;
  }
  const std::string text = "-----BEGIN CERTIFICATE-----";
  EXPECT_EQ(Certificate::CreateWithData(Data(text.begin(), text.end())), nullptr);
}

}  // namespace
}  // namespace kelvane::platform
