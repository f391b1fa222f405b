#include "kelvane/containers/archive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace kelvane {
namespace {

using platform::CodedArray;
using platform::CodedDictionary;
using platform::CodedValue;

Data ReadFixture(const std::string& name) {
  std::ifstream in(std::string(KELVANE_TESTDATA_DIR) + "/archives/" + name, std::ios::binary);
  return Data(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TradeRecord : public platform::Codable {
 public:
  std::int64_t ticket = 0;
};

class TradeOrder : public TradeRecord {
 public:
  std::string_view ClassName() const noexcept override { return "TradeOrder"; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeInt64("ticket", ticket);
    coder.EncodeDouble("volume", volume);
    coder.EncodeBool("closed", closed);
    coder.EncodeString("symbol", symbol);
    if (comment) coder.EncodeString("comment", *comment);
    coder.EncodeInt64("profit", profit);
    coder.EncodeValue("tags", tags);
    coder.EncodeValue("extra", extra);
    coder.EncodeData("blob", blob);
    coder.EncodeObject("parent", parent.get());
    if (again) coder.EncodeObject("again", again.get());
    coder.EncodeString("$note", note);
  }
  static platform::CodableRef Decode(platform::KeyedUnarchiver& coder) {
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
    if (auto tags = coder.DecodeValue("tags"); tags && tags->Get<CodedArray>()) {
      order->tags = *tags->Get<CodedArray>();
    }
    if (auto extra = coder.DecodeValue("extra"); extra && extra->Get<CodedDictionary>()) {
      order->extra = *extra->Get<CodedDictionary>();
    }
    order->blob = coder.DecodeData("blob").value_or(Data());
    order->parent = coder.DecodeObjectOfClass<TradeOrder>("parent");
    order->again = coder.DecodeObjectOfClass<TradeOrder>("again");
    order->note = coder.DecodeString("$note").value_or(u"");
    return order;
  }

  double volume = 0;
  bool closed = false;
  String symbol;
  std::optional<String> comment;
  std::int64_t profit = 0;
  CodedArray tags;
  CodedDictionary extra;
  Data blob;
  std::shared_ptr<TradeOrder> parent, again;
  String note;
};

// Not related to TradeOrder by class.
class Memo : public platform::Codable {
 public:
  std::string_view ClassName() const noexcept override { return "Memo"; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeString("text", text);
  }
  static platform::CodableRef Decode(platform::KeyedUnarchiver& coder) {
    auto memo = std::make_shared<Memo>();
    memo->text = coder.DecodeString("text").value_or(u"");
    return memo;
  }
  String text;
};

class ArchiveTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(platform::RegisterCodableClass("TradeOrder", {"TradeRecord"}, TradeOrder::Decode));
    ASSERT_TRUE(platform::RegisterCodableClass("Memo", {}, Memo::Decode));
  }
};

TEST_F(ArchiveTest, HandBuiltPhoneArchiveLoads) {
  const Data bytes = ReadFixture("order.archive");
  ASSERT_FALSE(bytes.empty());
  const auto order = Archive::loadFromArchive<TradeOrder>(&bytes);
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(order->ticket, 4711);
  EXPECT_EQ(order->volume, 0.25);
  EXPECT_FALSE(order->closed);
  EXPECT_EQ(order->symbol, u"EURUSD");
  EXPECT_EQ(order->comment, u"\u00dcberweisung \u2713 \U0001d11e");
  EXPECT_EQ(order->profit, -1234567890123);
  ASSERT_EQ(order->tags.size(), 2u);
  EXPECT_EQ(*order->tags[0].Get<String>(), u"fx");
  EXPECT_EQ(*order->tags[1].Get<std::int64_t>(), 42);
  ASSERT_EQ(order->extra.size(), 2u);
  EXPECT_EQ(*order->extra.at(u"desk").Get<String>(), u"EURUSD");
  EXPECT_EQ(*order->extra.at(u"limit").Get<double>(), 1.5);
  EXPECT_EQ(order->blob, (Data{0, 1, 2, 255}));
  EXPECT_EQ(order->note, u"dollar key");
  ASSERT_NE(order->parent, nullptr);
  EXPECT_EQ(order->parent->ticket, 1);
  EXPECT_TRUE(order->parent->closed);
  EXPECT_EQ(order->parent->parent, nullptr);
  EXPECT_EQ(order->again, order->parent);  // one record, one object

  // The base class accepts it too; an unrelated class does not.
  EXPECT_NE(Archive::loadFromArchive<TradeRecord>(&bytes), nullptr);
  EXPECT_NE(Archive::loadFromArchive<platform::Codable>(&bytes), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<Memo>(&bytes), nullptr);
}

TEST_F(ArchiveTest, RoundTripKeepsEveryValue) {
  auto parent = std::make_shared<TradeOrder>();
  parent->ticket = -1;
  parent->symbol = u"XAUUSD";
  TradeOrder order;
  order.ticket = INT64_MIN;
  order.volume = -0.0001;
  order.closed = true;
  order.symbol = u"GBPJPY";
  order.comment = u"";
  order.profit = INT64_MAX;
  order.tags = CodedArray{true,
                          7,
                          2.5,
                          u"x",
                          Data{9},
                          CodedValue(),
                          parent,
                          CodedArray{CodedArray{}},
                          CodedDictionary{{u"k", u"v"}}};
  order.extra = CodedDictionary{{u"", 0}, {u"\U0001F600", CodedArray{1, 2}}};
  order.blob = Data(70000, 0xAB);
  order.parent = parent;
  order.again = parent;
  order.note = u"$";
  const std::optional<Data> bytes = Archive::archive(order);
  ASSERT_TRUE(bytes.has_value());
  ASSERT_GT(bytes->size(), 8u);
  EXPECT_EQ(std::string(bytes->begin(), bytes->begin() + 8), "bplist00");

  const auto back = Archive::loadFromArchive<TradeOrder>(&*bytes);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->ticket, INT64_MIN);
  EXPECT_EQ(back->volume, -0.0001);
  EXPECT_TRUE(back->closed);
  EXPECT_EQ(back->symbol, u"GBPJPY");
  EXPECT_EQ(back->comment, u"");  // an empty string is not nil
  EXPECT_EQ(back->profit, INT64_MAX);
  ASSERT_EQ(back->tags.size(), 9u);
  EXPECT_EQ(*back->tags[0].Get<bool>(), true);
  EXPECT_EQ(*back->tags[1].Get<std::int64_t>(), 7);
  EXPECT_EQ(*back->tags[2].Get<double>(), 2.5);
  EXPECT_EQ(*back->tags[3].Get<String>(), u"x");
  EXPECT_EQ(*back->tags[4].Get<Data>(), Data{9});
  EXPECT_TRUE(back->tags[5].IsNil());
  EXPECT_EQ(back->tags[6].Get<platform::CodableRef>()->get(), back->parent.get());
  ASSERT_EQ(back->tags[7].Get<CodedArray>()->size(), 1u);
  EXPECT_TRUE((*back->tags[7].Get<CodedArray>())[0].Get<CodedArray>()->empty());
  EXPECT_EQ(*back->tags[8].Get<CodedDictionary>()->at(u"k").Get<String>(), u"v");
  EXPECT_EQ(*back->extra.at(u"").Get<std::int64_t>(), 0);
  EXPECT_EQ(back->extra.at(u"\U0001F600").Get<CodedArray>()->size(), 2u);
  EXPECT_EQ(back->blob, order.blob);
  ASSERT_NE(back->parent, nullptr);
  EXPECT_EQ(back->parent->ticket, -1);
  EXPECT_EQ(back->again, back->parent);
  EXPECT_EQ(back->note, u"$");
}

TEST_F(ArchiveTest, ClassCheckAndBadInputGiveNil) {
  Memo memo;
  memo.text = u"hello";
  const auto bytes = Archive::archive(memo);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(Archive::loadFromArchive<TradeOrder>(&*bytes), nullptr);
  ASSERT_NE(Archive::loadFromArchive<Memo>(&*bytes), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<Memo>(&*bytes)->text, u"hello");

  const Data empty;
  EXPECT_EQ(Archive::loadFromArchive<Memo>(&empty), nullptr);
  EXPECT_EQ(Archive::loadFromArchive<Memo>(nullptr), nullptr);
  const Data cycle = ReadFixture("cycle.archive");
  ASSERT_FALSE(cycle.empty());
  EXPECT_EQ(Archive::loadFromArchive<TradeOrder>(&cycle), nullptr);
  const Data unknown = ReadFixture("unknown_class.archive");
  ASSERT_FALSE(unknown.empty());
  EXPECT_EQ(Archive::loadFromArchive<platform::Codable>(&unknown), nullptr);

  // Every cut of a valid archive, and every single flipped byte, loads or gives nil.
  const Data order = ReadFixture("order.archive");
  for (std::size_t n = 0; n < order.size(); ++n) {
    const Data cut(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(Archive::loadFromArchive<TradeOrder>(&cut), nullptr) << n;
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    Data flipped = order;
    flipped[i] ^= 0x5A;
    (void)Archive::loadFromArchive<TradeOrder>(&flipped);
  }
}

}  // namespace
}  // namespace kelvane
