// SPDX-License-Identifier: Apache-2.0
#include "kelvane/text/hash.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "kelvane/testing/child_process.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane {
namespace {

String Md5Hex(const CHashMD5& source) {
  CHashMD5 copy = source;
  unsigned char digest[16];
  copy.Final(digest);
  return NSTools::stringFromHash(reinterpret_cast<const char*>(digest), 16, false).value_or(u"");
}

String U(const std::string& path) { return String(path.begin(), path.end()); }

// The engine's digests are checked in its own test; the object adds what it ignores, Init and
// copies of a message under way.
TEST(CHashMD5, IgnoresNothingToFeedAndStartsOverOnInit) {
  CHashMD5 md5;
  md5.Update("junk", 4);
  md5.Init();  // forgets what was fed
  md5.Update("a", 1);
  const CHashMD5 after_a = md5;
  md5.Update(nullptr, 5);
  md5.Update("b", 0);
  md5.Update("bc", 2);
  md5.Final(nullptr);  // no room given: the message goes on
  EXPECT_EQ(Md5Hex(md5), u"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex(after_a), u"0cc175b9c0f1b6a831c399e269772661");
}

// Records what a hasher is told, to see what HashFile feeds.
class RecordingHasher : public CHasher {
 public:
  void Init() override {
    ++inits;
    bytes.clear();
  }
  void Update(const void* data, unsigned int length) override {
    chunks.push_back(length);
    bytes.append(static_cast<const char*>(data), length);
  }
  int inits = 0;
  std::vector<unsigned> chunks;
  std::string bytes;
};

TEST(CHash, HashFileStreamsInChunksOfAtMost4096OrFailsUntouched) {
  testing::TempDir dir;
  std::string content(10000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 251);
  const std::string path = dir.Write("data.bin", content);

  RecordingHasher recorder;
  ASSERT_TRUE(CHash::HashFile(recorder, U(path)));
  EXPECT_EQ(std::tuple(recorder.inits, recorder.bytes), std::tuple(1, content));
  EXPECT_THAT(recorder.chunks, ::testing::Each(::testing::Le(4096u)));

  const std::string empty = dir.Write("empty", "");
  RecordingHasher none;
  EXPECT_EQ((std::tuple{CHash::HashFile(none, U(empty)), none.inits, none.chunks.size()}),
            std::tuple(true, 1, 0u));

  // A path outside ASCII: U+0436 U+4E2D ".txt" in UTF-8 on disk.
  dir.Write("\xD0\xB6\xE4\xB8\xAD.txt", "abc");
  ASSERT_TRUE(CHash::HashFile(recorder, U(dir.path().string()) + u"/\u0436\u4E2D.txt"));
  EXPECT_EQ(recorder.bytes, "abc");

  RecordingHasher untouched;
  // A zero unit would cut the path short and name another file.
  const std::string real = dir.Write("real", "x");
  const std::vector<std::optional<String>> paths = {
      U(dir.File("missing")),    U(dir.path().string()), std::nullopt, u"",
      U(real) + u'\0' + u"tail", U(real) + u'\xD800'};
  for (const auto& path : paths) EXPECT_FALSE(CHash::HashFile(untouched, path));
  EXPECT_EQ(untouched.inits, 0);
  // A read that fails part way is a failure, not the hash of the bytes before it: the process's
  // own memory, whose first page is never mapped.
  RecordingHasher cut;
  EXPECT_FALSE(CHash::HashFile(cut, u"/proc/self/mem"));
}

// A named pipe and a device in place of a file: opening the pipe once waited for a writer for
// ever, and /dev/zero never ends. Both are refused without touching the hasher.
int SpecialFilesChild() {
  testing::TempDir dir;
  if (::mkfifo(dir.File("pipe").c_str(), 0600) != 0) return 2;
  RecordingHasher untouched;
  int failures = 0;
  for (const std::string& path : {dir.File("pipe"), std::string("/dev/zero")}) {
    if (!CHash::HashFile(untouched, U(path))) continue;
    std::fprintf(stderr, "child: %s was hashed\n", path.c_str());
    ++failures;
  }
  if (untouched.inits != 0) ++failures;
  return failures == 0 ? 0 : 1;
}
[[maybe_unused]] const bool kSpecialFiles =
    testing::ChildProcess("hash-special-files", SpecialFilesChild);

TEST(CHash, HashFileRefusesPipesAndDevices) {
  const testing::ChildOutcome outcome =
      testing::RunLimitedChild("hash-special-files", {.seconds = 5});
  EXPECT_EQ(outcome.status, 0);
}

TEST(Hex, ToHashIntoBufferAndToDataAndBack) {
  auto decode = [](const String& text, unsigned length) {
    std::vector<char> b(length + 1, '\x55');
    NSTools::ToHash(text, b.data(), length);
    EXPECT_EQ(b[length], '\x55') << "wrote past the buffer";
    return std::vector<unsigned char>(b.begin(), b.begin() + length);
  };
  // Characters after 2L are not read; full-width digits are not hex.
  // clang-format off
  const std::tuple<const char16_t*, unsigned, std::vector<unsigned char>> cases[] = {
      {u"ABC", 2, {0xAB, 0xC0}}, {u"A-", 1, {0x00}}, {u"0f1E", 2, {0x0F, 0x1E}},
      {u"12G4", 2, {0x00, 0x00}}, {u"1234zz", 2, {0x12, 0x34}}, {u"\uFF11\uFF12", 1, {0x00}},
      {u"ab", 0, {}}};
  // clang-format on
  for (const auto& [text, length, bytes] : cases) EXPECT_EQ(decode(text, length), bytes) << length;
  NSTools::ToHash(u"ab", nullptr, 4);

  EXPECT_EQ(NSTools::ToHash(u"a1B2"), (Data{0xA1, 0xB2}));
  EXPECT_FALSE(NSTools::ToHash(u"abc").has_value());
  EXPECT_EQ(std::tuple(NSTools::ToHash(u"zz"), NSTools::ToHash(u"")),
            std::tuple(std::optional(Data{0x00}), std::optional(Data{})));

  // And back: FromHash and stringFromHash.
  const char bytes[] = {'\x0F', '\xA0', '\x80', '\x00', '\xFF'};
  const auto from = [](const char* hash, unsigned length, bool capitals = true) {
    String s = u"previous content";
    NSTools::FromHash(s, hash, length, capitals);
    return s;
  };
  EXPECT_EQ(from(bytes, 2), u"0FA0");
  EXPECT_EQ(from(bytes, 5, false), u"0fa08000ff");  // never sign-extended
  EXPECT_EQ(std::tuple(from(bytes, 0), from(nullptr, 4)), std::tuple(String(), String()));  // gone

  EXPECT_EQ(std::tuple(NSTools::stringFromHash(bytes, 0, true),
                       NSTools::stringFromHash(nullptr, 3, true)),
            std::tuple(std::optional<String>(), std::optional<String>()));
}

TEST(ToUInt64, LeadingDecimalNumber) {
  // The largest value reads as 0, like any overflow; leading zeros are fine.
  // clang-format off
  const std::pair<const char16_t*, std::uint64_t> cases[] = {
      {u"\n\t 42abc", 42}, {u"+9", 9}, {u"-9", 0}, {u"", 0},
      {u"18446744073709551614", 18446744073709551614u}, {u"18446744073709551615", 0},
      {u"18446744073709551616", 0}, {u"000000000000000000000000012", 12}};
  // clang-format on
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(NSTools::ToUInt64(text), value) << std::u16string_view(text).size();
  }
}

}  // namespace
}  // namespace kelvane
