// SPDX-License-Identifier: Apache-2.0
#include "kelvane/runtime/scratch_environment.h"

#include <gtest/gtest.h>

#include <tuple>

#include "kelvane/platform/core/thread_dictionary.h"
#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

constexpr std::tuple<String*, Data*> kNone{nullptr, nullptr};

TEST(ScratchEnvironment, FetchesAndReservesAgainWhatItsThreadReservedUnderTheDocumentedKeys) {
  // On a fresh thread, whose dictionary starts empty.
  testing::OnFreshThread([] {
    // Fetching on a thread that reserved nothing finds nothing and creates nothing.
    EXPECT_EQ((std::tuple{NSTools::EnviromentString(0), NSTools::EnviromentData(0)}), kNone);
    EXPECT_EQ(platform::ThreadDictionary::Current()->Count(), 0u);
    NSTools::SetEnviromentString(11);
    NSTools::SetEnviromentData(2);
    platform::ThreadDictionary* dictionary = platform::ThreadDictionary::Current();
    EXPECT_EQ(dictionary->Count(), 1u + 11u + 2u);  // with the key buffer
    String* ten = NSTools::EnviromentString(10);
    ASSERT_NE(ten, nullptr);
    EXPECT_EQ(ten, dictionary->FindString(u"ZQ3STR10"));
    EXPECT_EQ(NSTools::EnviromentData(1), dictionary->FindData(u"ZQ3DATA1"));
    EXPECT_EQ((std::tuple{NSTools::EnviromentString(11), NSTools::EnviromentData(2)}), kNone);
    Data* placed = dictionary->SetData(u"ZQ3DATA7");  // placed by other code: found too
    EXPECT_EQ(NSTools::EnviromentData(7), placed);

    // Another thread sees none of these, not even once reserving buffers alone there has made
    // its key buffer.
    String* zero = NSTools::EnviromentString(0);
    testing::OnFreshThread([] {
      NSTools::SetEnviromentData(1);
      EXPECT_NE(NSTools::EnviromentData(0), nullptr);
      EXPECT_EQ(NSTools::EnviromentString(0), nullptr);
    });
    EXPECT_EQ(NSTools::EnviromentString(0), zero);

    // The key buffer holds the last key formed, and forming even the longest key reuses it.
    String* key = dictionary->FindString(u"ZQ3STR");
    ASSERT_NE(key, nullptr);
    const char16_t* storage = key->data();
    EXPECT_EQ(NSTools::EnviromentData(4294967295u), nullptr);
    EXPECT_EQ((std::tuple<String, const char16_t*>{*key, key->data()}),
              std::tuple(String(u"ZQ3DATA4294967295"), storage));

    // Reserving again empties only the numbers given.
    NSTools::SetEnviromentString(3);
    *NSTools::EnviromentString(0) = u"zero";
    *NSTools::EnviromentString(2) = u"two";
    NSTools::EnviromentData(0)->assign({1, 2, 3});
    NSTools::SetEnviromentString(2);
    // Higher numbers stay, and buffers are a separate set.
    EXPECT_EQ((std::tuple{*NSTools::EnviromentString(0), *NSTools::EnviromentString(2),
                          NSTools::EnviromentData(0)->size()}),
              std::tuple(u"", u"two", 3));
    // A count beyond the limit reserves nothing and leaves what is there.
    const std::size_t entries = dictionary->Count();
    NSTools::SetEnviromentString(UINT32_MAX);
    NSTools::SetEnviromentData(NSTools::kMaxReserved + 1);
    EXPECT_EQ((std::tuple{dictionary->Count(), *NSTools::EnviromentString(2)}),
              std::tuple(entries, u"two"));

    // Fetched objects are remembered, yet one that other code removes or replaces (by another
    // kind of object under the same key) is looked up afresh.
    ASSERT_EQ((std::tuple{NSTools::EnviromentString(1) != nullptr, dictionary->Remove(u"ZQ3STR1")}),
              std::tuple(true, true));
    EXPECT_EQ(NSTools::EnviromentString(1), nullptr);
    ASSERT_NE(NSTools::EnviromentString(0), nullptr);
    ASSERT_NE(dictionary->SetData(u"ZQ3STR0"), nullptr);
    EXPECT_EQ(NSTools::EnviromentString(0), nullptr);
    NSTools::SetEnviromentString(2);  // reserving again puts both back
    EXPECT_NE(NSTools::EnviromentString(0), nullptr);
    EXPECT_NE(NSTools::EnviromentString(1), nullptr);
  });
}

}  // namespace
}  // namespace kelvane
