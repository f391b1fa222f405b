#include "kelvane/runtime/scratch_environment.h"

#include <gtest/gtest.h>

#include <thread>

#include "kelvane/platform/core/thread_dictionary.h"
#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using platform::ThreadDictionary;

// Each test body runs on a fresh thread, whose dictionary starts empty.
using testing::OnFreshThread;

TEST(ScratchEnvironment, FetchesWhatWasReservedUnderTheDocumentedKeys) {
  OnFreshThread([] {
    EXPECT_EQ(NSTools::EnviromentString(0), nullptr);
    EXPECT_EQ(ThreadDictionary::Current()->Count(), 0u);  // fetching created nothing
    NSTools::SetEnviromentString(11);
    NSTools::SetEnviromentData(2);
    ThreadDictionary* dictionary = ThreadDictionary::Current();
    EXPECT_EQ(dictionary->Count(), 1u + 11u + 2u);  // with the key buffer
    ASSERT_NE(NSTools::EnviromentString(10), nullptr);
    EXPECT_EQ(NSTools::EnviromentString(10), dictionary->FindString(u"ZQ3STR10"));
    EXPECT_EQ(NSTools::EnviromentData(1), dictionary->FindData(u"ZQ3DATA1"));
    EXPECT_NE(NSTools::EnviromentString(0), NSTools::EnviromentString(1));
    EXPECT_TRUE(NSTools::EnviromentString(11) == nullptr && NSTools::EnviromentData(2) == nullptr);
    Data* placed = dictionary->SetData(u"ZQ3DATA7");  // placed by other code: found too
    EXPECT_EQ(NSTools::EnviromentData(7), placed);
    // The key buffer holds the last key formed, and forming even the longest key reuses it.
    String* key = dictionary->FindString(u"ZQ3STR");
    ASSERT_NE(key, nullptr);
    const char16_t* storage = key->data();
    EXPECT_EQ(NSTools::EnviromentData(4294967295u), nullptr);
    EXPECT_TRUE(*key == u"ZQ3DATA4294967295" && key->data() == storage);
  });
  OnFreshThread([] {
    NSTools::SetEnviromentData(1);  // creates the key buffer on its own
    EXPECT_TRUE(NSTools::EnviromentData(0) != nullptr && NSTools::EnviromentString(0) == nullptr);
  });
}

TEST(ScratchEnvironment, ReservingAgainEmptiesOnlyTheNumbersGiven) {
  OnFreshThread([] {
    NSTools::SetEnviromentString(3);
    NSTools::SetEnviromentData(1);
    *NSTools::EnviromentString(0) = u"zero";
    *NSTools::EnviromentString(2) = u"two";
    NSTools::EnviromentData(0)->assign({1, 2, 3});
    NSTools::SetEnviromentString(2);
    EXPECT_TRUE(NSTools::EnviromentString(0)->empty());
    EXPECT_EQ(*NSTools::EnviromentString(2), u"two");   // higher numbers stay
    EXPECT_EQ(NSTools::EnviromentData(0)->size(), 3u);  // buffers are a separate set
    // A count beyond the limit reserves nothing and leaves what is there.
    const std::size_t entries = ThreadDictionary::Current()->Count();
    NSTools::SetEnviromentString(UINT32_MAX);
    NSTools::SetEnviromentData(NSTools::kMaxReserved + 1);
    EXPECT_TRUE(ThreadDictionary::Current()->Count() == entries &&
                *NSTools::EnviromentString(2) == u"two");
  });
}

TEST(ScratchEnvironment, SeesEntriesThatOtherCodeReplacesOrRemoves) {
  OnFreshThread([] {
    NSTools::SetEnviromentString(2);
    ThreadDictionary* dictionary = ThreadDictionary::Current();
    ASSERT_NE(NSTools::EnviromentString(1), nullptr);  // now remembered
    ASSERT_TRUE(dictionary->Remove(u"ZQ3STR1"));
    EXPECT_EQ(NSTools::EnviromentString(1), nullptr);

    ASSERT_NE(NSTools::EnviromentString(0), nullptr);
    Data* replaced = dictionary->SetData(u"ZQ3STR0");  // the same key, another kind of object
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(NSTools::EnviromentString(0), nullptr);

    NSTools::SetEnviromentString(2);  // reserving again puts both back
    EXPECT_TRUE(NSTools::EnviromentString(0) != nullptr && NSTools::EnviromentString(1) != nullptr);
  });
}

TEST(ScratchEnvironment, ThreadsDoNotSeeEachOthersObjects) {
  NSTools::SetEnviromentString(1);
  String* mine = NSTools::EnviromentString(0);
  ASSERT_NE(mine, nullptr);
  OnFreshThread([mine] {
    EXPECT_EQ(NSTools::EnviromentString(0), nullptr);
    NSTools::SetEnviromentString(1);
    EXPECT_NE(NSTools::EnviromentString(0), mine);
  });
  EXPECT_EQ(NSTools::EnviromentString(0), mine);
}

}  // namespace
}  // namespace kelvane
