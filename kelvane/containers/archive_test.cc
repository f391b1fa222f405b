#include "kelvane/containers/archive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace kelvane {
namespace {

using platform::CodedArray;
using platform::CodedDate;
using platform::CodedDictionary;

Data ReadFixture(const std::string& name) {
  std::ifstream in(std::string(KELVANE_TESTDATA_DIR) + "/archives/" + name, std::ios::binary);
  return Data(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TradeRecord : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "TradeRecord";
  std::int64_t ticket = 0;
};

// Reads the fields of the fixtures; counts its decodes.
class TradeOrder : public TradeRecord {
 public:
  static constexpr std::string_view kArchiveClassName = "TradeOrder";
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeInt64("ticket", ticket);
    coder.EncodeString("symbol", symbol);
    coder.EncodeData("blob", blob);
    if (opened) coder.EncodeDate("opened", *opened);
  }
  static platform::CodableRef Decode(platform::KeyedUnarchiver& coder) {
    ++decodes;
    auto order = std::make_shared<TradeOrder>();
    const auto ticket = coder.DecodeInt64("ticket");
    const auto symbol = coder.DecodeString("symbol");
    if (!ticket || !symbol) return nullptr;
    order->ticket = *ticket;
    order->symbol = *symbol;
    order->volume = coder.DecodeDouble("volume").value_or(0);
    order->closed = coder.DecodeBool("closed").value_or(false);
    order->comment = coder.DecodeString("comment");
    order->profit = coder.DecodeInt64("profit").value_or(0);
    order->tags = coder.DecodeValue("tags").value_or(CodedArray{});
    order->extra = coder.DecodeValue("extra").value_or(CodedDictionary{});
    order->blob = coder.DecodeData("blob").value_or(Data());
    order->opened = coder.DecodeDate("opened");
    order->parent = coder.DecodeObjectOfClass<TradeOrder>("parent");
    order->again = coder.DecodeObjectOfClass<TradeOrder>("again");
    order->note = coder.DecodeString("$note").value_or(u"");
    return order;
  }

  static inline int decodes = 0;
  String symbol;
  double volume = 0;
  bool closed = false;
  std::optional<String> comment;
  std::int64_t profit = 0;
  platform::CodedValue tags, extra;
  Data blob;
  std::optional<CodedDate> opened;
  std::shared_ptr<TradeOrder> parent, again;
  String note;
};

// Not related to TradeOrder by class; counts its decodes.
class Memo : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "Memo";
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeString("text", text);
  }
  static platform::CodableRef Decode(platform::KeyedUnarchiver& coder) {
    ++decodes;
    auto memo = std::make_shared<Memo>();
    memo->text = coder.DecodeString("text").value_or(u"");
    return memo;
  }
  static inline int decodes = 0;
  String text;
};

class ArchiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(platform::RegisterCodableClass("TradeOrder", {"TradeRecord"}, TradeOrder::Decode));
    ASSERT_TRUE(platform::RegisterCodableClass("Memo", {}, Memo::Decode));
  }
};

// order.archive is laid out object by object as the phone writes it (make_archives.py).
TEST_F(ArchiveTest, HandBuiltPhoneArchiveLoads) {
  const Data bytes = ReadFixture("order.archive");
  const auto order = Archive::loadFromArchive<TradeOrder>(&bytes);
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->ticket, 4711);
  EXPECT_EQ(order->volume, 0.25);
  EXPECT_FALSE(order->closed);
  EXPECT_EQ(order->symbol, u"EURUSD");
  EXPECT_EQ(order->comment, u"\u00dcberweisung \u2713 \U0001d11e");
  EXPECT_EQ(order->profit, -1234567890123);
  EXPECT_EQ(order->tags, (CodedArray{u"fx", 42}));
  EXPECT_EQ(order->extra, (CodedDictionary{{u"desk", u"EURUSD"}, {u"limit", 1.5}}));
  EXPECT_EQ(order->blob, (Data{0, 1, 2, 255}));
  EXPECT_EQ(order->note, u"dollar key");
  ASSERT_NE(order->parent, nullptr);
  EXPECT_EQ(order->parent->ticket, 1);
  EXPECT_TRUE(order->parent->closed);
  EXPECT_EQ(order->parent->parent, nullptr);
  EXPECT_EQ(order->again, order->parent);  // one record, one object
  // The base class accepts it too.
  EXPECT_NE(Archive::loadFromArchive<TradeRecord>(&bytes), nullptr);
  EXPECT_NE(Archive::loadFromArchive<platform::Codable>(&bytes), nullptr);
}

// foreign.archive holds date records and byte data under "NS.data", in place and by reference,
// as other writers produce them; the values are those plistlib wrote.
TEST_F(ArchiveTest, DatesAndBothDataFormsFromOtherWritersLoad) {
  const Data bytes = ReadFixture("foreign.archive");
  const auto order = Archive::loadFromArchive<TradeOrder>(&bytes);
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->ticket, 90210);
  EXPECT_EQ(order->opened, CodedDate{726842096.25});
  EXPECT_EQ(order->blob, (Data{0x00, 0x10, 0xFE}));
  ASSERT_NE(order->parent, nullptr);
  EXPECT_EQ(order->parent->symbol, u"XAUUSD");
  EXPECT_EQ(order->parent->opened, CodedDate{-31622400.0});
  EXPECT_EQ(order->parent->blob, (Data{0xDE, 0xAD, 0xBE, 0xEF}));

  // Written again by this library, the date and the bytes come back unchanged.
  const auto again = Archive::archive(*order->parent);
  ASSERT_TRUE(again);
  const auto back = Archive::loadFromArchive<TradeOrder>(&*again);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->opened, order->parent->opened);
  EXPECT_EQ(back->blob, order->parent->blob);
}

// Regression: the whole object graph was decoded before the class of the root was looked at,
// so untrusted bytes could run any registered decoder.
TEST_F(ArchiveTest, ClassIsCheckedBeforeAnyDecoderRuns) {
  Memo memo;
  memo.text = u"hello";
  const Data memo_bytes = *Archive::archive(memo);
  const Data order_bytes = ReadFixture("order.archive");
  TradeOrder::decodes = Memo::decodes = 0;
  EXPECT_EQ(Archive::loadFromArchive<TradeOrder>(&memo_bytes), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<TradeRecord>(&memo_bytes), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<Memo>(&order_bytes), nullptr);
  EXPECT_EQ(Memo::decodes, 0);
  EXPECT_EQ(TradeOrder::decodes, 0);

  const auto loaded = Archive::loadFromArchive<Memo>(&memo_bytes);
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->text, u"hello");
  EXPECT_EQ(Memo::decodes, 1);
  EXPECT_NE(Archive::loadFromArchive<platform::Codable>(&memo_bytes), nullptr);
}

TEST_F(ArchiveTest, BadInputGivesNil) {
  const Data empty;
  EXPECT_EQ(Archive::loadFromArchive<Memo>(&empty), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<Memo>(nullptr), nullptr);
  for (const char* name : {"cycle.archive", "unknown_class.archive"}) {
    const Data bytes = ReadFixture(name);
    ASSERT_FALSE(bytes.empty()) << name;
    EXPECT_EQ(Archive::loadFromArchive<platform::Codable>(&bytes), nullptr) << name;
  }
}

}  // namespace
}  // namespace kelvane
