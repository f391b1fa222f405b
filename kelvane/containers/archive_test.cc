// SPDX-License-Identifier: Apache-2.0
#include "kelvane/containers/archive.h"

#include <gtest/gtest.h>

#include <string>

namespace kelvane {
namespace {

class Record : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "ArchiveTestRecord";
};

// Archived under a name of its own with Record as its base; counts its decodes. Tickets and
// memos are unrelated by class.
template <const char* kName, typename Base>
class Counted : public Base {
 public:
  static constexpr std::string_view kArchiveClassName = kName;
  explicit Counted(String t = u"") : text(std::move(t)) {}
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeString("text", text);
  }
  static platform::CodableRef Decode(platform::KeyedUnarchiver& coder) {
    ++decodes;
    return std::make_shared<Counted>(coder.DecodeString("text").value_or(u""));
  }
  static inline int decodes = 0;
  String text;
};

constexpr char kTicketName[] = "ArchiveTestTicket";
constexpr char kMemoName[] = "ArchiveTestMemo";
using Ticket = Counted<kTicketName, Record>;
using Memo = Counted<kMemoName, platform::Codable>;

// Regression: the whole object graph was decoded before the class of the root was looked at,
// so untrusted bytes could run any registered decoder.
TEST(Archive, ClassIsCheckedBeforeAnyDecoderRuns) {
  ASSERT_TRUE(platform::RegisterCodableClass(kTicketName, {"ArchiveTestRecord"}, Ticket::Decode));
  ASSERT_TRUE(platform::RegisterCodableClass(kMemoName, {}, Memo::Decode));
  const Data memo_bytes = *Archive::archive(Memo(u"hello")),
             ticket_bytes = *Archive::archive(Ticket(u"t"));
  Ticket::decodes = Memo::decodes = 0;
  EXPECT_EQ(Archive::loadFromArchive<Ticket>(&memo_bytes), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<Record>(&memo_bytes), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<Memo>(&ticket_bytes), nullptr);
  EXPECT_EQ(Memo::decodes + Ticket::decodes, 0);

  const auto loaded = Archive::loadFromArchive<Memo>(&memo_bytes);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->text, u"hello");
  EXPECT_EQ(Memo::decodes, 1);
  EXPECT_NE(Archive::loadFromArchive<Record>(&ticket_bytes), nullptr);  // a base class
  EXPECT_NE(Archive::loadFromArchive<platform::Codable>(&memo_bytes), nullptr);

  const Data empty;
  EXPECT_EQ(Archive::loadFromArchive<Memo>(&empty), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<Memo>(nullptr), nullptr);
}

}  // namespace
}  // namespace kelvane
