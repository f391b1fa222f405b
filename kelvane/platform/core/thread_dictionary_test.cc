// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/core/thread_dictionary.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "kelvane/runtime/scratch_environment.h"

namespace kelvane::platform {
namespace {

TEST(ThreadDictionary, StoresTypedObjectsThatStayPut) {
  std::thread([] {
    ThreadDictionary* dictionary = ThreadDictionary::Current();
    ASSERT_NE(dictionary, nullptr);
    EXPECT_EQ(ThreadDictionary::Current(), dictionary);

    String* text = dictionary->SetString(u"text");
    ASSERT_NE(text, nullptr);
    ASSERT_NE(dictionary->SetData(u"bytes"), nullptr);
    EXPECT_EQ(dictionary->FindString(u"text"), text);
    // The other kind of object is not found under a key.
    EXPECT_EQ(std::tuple(dictionary->FindData(u"text"), dictionary->FindString(u"bytes")),
              (std::tuple<Data*, String*>(nullptr, nullptr)));
    EXPECT_EQ(std::tuple(dictionary->Contains(u"bytes"), dictionary->Contains(u"missing")),
              std::tuple(true, false));

    // Many more entries move nothing that was handed out.
    *text = u"kept";
    for (int i = 0; i < 200; ++i) {
      const std::string key = "k" + std::to_string(i);
      ASSERT_NE(dictionary->SetString(String(key.begin(), key.end())), nullptr);
    }
    EXPECT_EQ(dictionary->FindString(u"text"), text);
    EXPECT_EQ(*text, u"kept");

    // Storing again replaces the object in place with an empty one, even of the other kind.
    EXPECT_EQ(dictionary->SetString(u"text"), text);
    EXPECT_TRUE(text->empty());
    EXPECT_NE(dictionary->SetData(u"text"), nullptr);
    EXPECT_EQ(dictionary->FindString(u"text"), nullptr);

    // Every change moves the generation on; lookups leave it alone.
    const uint64_t generation = dictionary->Generation();
    EXPECT_NE(dictionary->FindString(u"k1"), nullptr);
    EXPECT_EQ(dictionary->Generation(), generation);
    EXPECT_NE(dictionary->SetString(u"k1"), nullptr);
    EXPECT_NE(dictionary->Generation(), generation);

    const std::size_t count = dictionary->Count();
    const uint64_t before_remove = dictionary->Generation();
    EXPECT_TRUE(dictionary->Remove(u"bytes"));
    EXPECT_FALSE(dictionary->Remove(u"bytes"));
    EXPECT_EQ(dictionary->Count(), count - 1);
    EXPECT_NE(dictionary->Generation(), before_remove);
  }).join();
}

// Destroyed at thread exit after the thread's dictionary (it was constructed before it).
struct LateReader {
  std::atomic<int>* result;
  ~LateReader() {
    // The dictionary is gone: lookups report "none" and reserving does nothing, without touching
    // destroyed storage (AddressSanitizer watches this).
    if (ThreadDictionary::Current() != nullptr) {
      result->store(2);
      return;
    }
    NSTools::SetEnviromentString(2);
    result->store(NSTools::EnviromentString(0) == nullptr ? 1 : 3);
  }
};

TEST(ThreadDictionary, IsAbsentWhileTheThreadTearsDown) {
  std::atomic<int> result{0};
  std::thread([&result] {
    thread_local LateReader reader;
    reader.result = &result;
    NSTools::SetEnviromentString(2);
    ASSERT_NE(NSTools::EnviromentString(1), nullptr);
  }).join();
  EXPECT_EQ(result.load(), 1);  // 2: the dictionary was still there; 3: a fetch gave a string
}

}  // namespace
}  // namespace kelvane::platform
