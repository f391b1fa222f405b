#include "kelvane/text/wide_string.h"

#include <gtest/gtest.h>

namespace kelvane {
namespace {

const unsigned short* W(const char16_t* s) { return reinterpret_cast<const unsigned short*>(s); }

TEST(NSToolsCompare, OrdersByUnitsAndLength) {
  EXPECT_EQ(NSTools::Compare(W(u"ab"), W(u"abc"), 0), -1);
  EXPECT_EQ(NSTools::Compare(W(u"abc"), W(u"ab"), 0), 1);
  EXPECT_EQ(NSTools::Compare(W(u""), W(u""), 0), 0);
  EXPECT_EQ(NSTools::Compare(W(u"abd"), W(u"abc"), 0), 1);
  EXPECT_EQ(NSTools::Compare(nullptr, W(u"a"), 0), 0);
  EXPECT_EQ(NSTools::Compare(W(u"a"), nullptr, 3), 0);
}

TEST(NSToolsCompare, CountReadsPastTerminators) {
  const unsigned short a[] = {'a', 'b', 0, 'x'};
  const unsigned short b[] = {'a', 'b', 0, 'y'};
  EXPECT_EQ(NSTools::Compare(a, b, 4), -1);
  EXPECT_EQ(NSTools::Compare(a, b, 3), 0);
  EXPECT_EQ(NSTools::Compare(a, b, 0), 0);
}

TEST(NSToolsCompare, UnitsAreUnsigned) {
  const unsigned short high_surrogate[] = {0xD83D, 0};
  const unsigned short fullwidth_tilde[] = {0xFF5E, 0};
  EXPECT_EQ(NSTools::Compare(high_surrogate, fullwidth_tilde, 0), -1);
  EXPECT_EQ(NSTools::Compare(fullwidth_tilde, high_surrogate, 1), 1);
}

}  // namespace
}  // namespace kelvane
