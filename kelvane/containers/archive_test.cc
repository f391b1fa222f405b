#include "kelvane/containers/archive.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace kelvane {
namespace {

using platform::CodableRef;
using platform::CodedArray;
using platform::CodedDate;
using platform::CodedDictionary;
using platform::CodedValue;
using Fields = std::map<std::string, CodedValue>;

Data ReadFixture(const std::string& name) {
  std::ifstream in(std::string(KELVANE_TESTDATA_DIR) + "/archives/" + name, std::ios::binary);
  return Data(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TradeRecord : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "TradeRecord";
};

// Keeps the values of every key the fixtures use; counts its decodes.
class TradeOrder : public TradeRecord {
 public:
  static constexpr std::string_view kArchiveClassName = "TradeOrder";
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    for (const auto& [key, value] : fields) coder.EncodeValue(key, value);
  }
  static CodableRef Decode(platform::KeyedUnarchiver& coder) {
    ++decodes;
    auto order = std::make_shared<TradeOrder>();
    for (const char* key : {"ticket", "volume", "closed", "symbol", "comment", "profit", "tags",
                            "extra", "blob", "opened", "parent", "again", "$note"}) {
      if (auto value = coder.DecodeValue(key)) order->fields[key] = *value;
    }
    return order;
  }
  std::shared_ptr<TradeOrder> Parent() const {
    const auto it = fields.find("parent");
    const CodableRef* parent = it == fields.end() ? nullptr : it->second.Get<CodableRef>();
    return parent ? std::dynamic_pointer_cast<TradeOrder>(*parent) : nullptr;
  }
  static inline int decodes = 0;
  Fields fields;
};

// Not related to TradeOrder by class; counts its decodes.
class Memo : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "Memo";
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeString("text", text);
  }
  static CodableRef Decode(platform::KeyedUnarchiver& coder) {
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

// The fixtures are laid out object by object by make_archives.py (plistlib), as other writers
// lay them out; the values expected are those it wrote.
TEST_F(ArchiveTest, ArchivesFromOtherWritersLoad) {
  const Data order_bytes = ReadFixture("order.archive");
  const auto order = Archive::loadFromArchive<TradeOrder>(&order_bytes);
  ASSERT_NE(order, nullptr);
  const auto parent = order->Parent();
  ASSERT_NE(parent, nullptr);
  EXPECT_EQ(order->fields,
            (Fields{{"ticket", 4711},
                    {"volume", 0.25},
                    {"closed", false},
                    {"symbol", u"EURUSD"},
                    {"comment", u"\u00dcberweisung \u2713 \U0001d11e"},
                    {"profit", std::int64_t{-1234567890123}},
                    {"tags", CodedArray{u"fx", 42}},
                    {"extra", CodedDictionary{{u"desk", u"EURUSD"}, {u"limit", 1.5}}},
                    {"blob", Data{0, 1, 2, 255}},
                    {"parent", parent},
                    {"again", parent},
                    {"$note", u"dollar key"}}));  // one record met twice is one object
  EXPECT_EQ(parent->fields, (Fields{{"ticket", 1},
                                    {"volume", 1.0},
                                    {"closed", true},
                                    {"symbol", u"EURUSD"},
                                    {"parent", CodedValue()}}));
  EXPECT_NE(Archive::loadFromArchive<TradeRecord>(&order_bytes), nullptr);  // a base class

  // Dates, and data under "NS.data" in place and by reference.
  const Data foreign_bytes = ReadFixture("foreign.archive");
  const auto foreign = Archive::loadFromArchive<TradeOrder>(&foreign_bytes);
  ASSERT_NE(foreign, nullptr);
  const auto foreign_parent = foreign->Parent();
  ASSERT_NE(foreign_parent, nullptr);
  EXPECT_EQ(foreign->fields, (Fields{{"ticket", 90210},
                                     {"symbol", u"XAUUSD"},
                                     {"opened", CodedDate{726842096.25}},
                                     {"blob", Data{0x00, 0x10, 0xFE}},
                                     {"parent", foreign_parent}}));
  const Fields parent_fields{{"ticket", 1},
                             {"symbol", u"XAUUSD"},
                             {"opened", CodedDate{-31622400.0}},
                             {"blob", Data{0xDE, 0xAD, 0xBE, 0xEF}}};
  EXPECT_EQ(foreign_parent->fields, parent_fields);
  // Written again by this library, they come back unchanged.
  const auto again = Archive::archive(*foreign_parent);
  ASSERT_TRUE(again);
  const auto back = Archive::loadFromArchive<TradeOrder>(&*again);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->fields, parent_fields);
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
