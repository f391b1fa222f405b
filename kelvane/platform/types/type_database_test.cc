// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/types/type_database.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "kelvane/testing/child_process.h"
#include "kelvane/testing/temp_dir.h"
#include "kelvane/testing/threads.h"

namespace kelvane::platform {
namespace {

std::string Narrow(const String& text) { return std::string(text.begin(), text.end()); }
String Widen(std::string_view text) { return String(text.begin(), text.end()); }

TEST(TypeDatabase, ConformanceFollowsParentsAndTagLookupsHonourConstraints) {
  const TypeDatabase& table = TypeDatabase::BuiltIn();
  // Through three levels (docx -> openxml -> zip -> archive), one way only, whatever the case;
  // unknown identifiers conform to nothing, not even themselves.
  // clang-format off
  const std::tuple<std::u16string_view, std::u16string_view, bool> cases[] = {
      {kUTTypePNG, kUTTypeImage, true}, {kUTTypePNG, kUTTypePNG, true},
      {kUTTypePNG, kUTTypeMovie, false}, {kUTTypeData, kUTTypePNG, false},
      {u"org.openxmlformats.wordprocessingml.document", kUTTypeArchive, true},
      {u"PUBLIC.PNG", u"Public.Image", true}, {u"", kUTTypeItem, false},
      {u"org.example.unknown", u"org.example.unknown", false},
      {u"org.example.unknown", kUTTypeItem, false}};
  // clang-format on
  for (const auto& [type, parent, conforms] : cases) {
    EXPECT_EQ(table.ConformsTo(type, parent), conforms) << Narrow(String(type));
  }
  // The same identifier gives the same object.
  EXPECT_EQ(table.TypeWithIdentifier(u"public.png"), table.TypeWithIdentifier(u"PUBLIC.png"));

  // Tag lookups ignore case and MIME parameters, and honour the type asked within. A MIME type
  // several types carry names the first (the general one); "ts" is first a video container, and
  // asked for source code it is nothing.
  const String ts = u"public.mpeg-2-transport-stream";
  const TagClass ext = kUTTagClassFilenameExtension, mime = kUTTagClassMIMEType;
  // clang-format off
  const std::tuple<TagClass, std::u16string_view, std::u16string_view, std::optional<String>>
      tags[] = {
      {ext, u"PDF", u"", String(kUTTypePDF)}, {ext, u"ts", u"", ts},
      {mime, u" Text/HTML ; charset=utf-8", u"", u"public.html"},
      {mime, u"text/plain", u"", String(kUTTypePlainText)},
      {ext, u"ts", kUTTypeMovie, ts}, {ext, u"ts", kUTTypeText, std::nullopt},
      {mime, u"x/unknown", u"", std::nullopt}, {ext, u"png", u"no.such", std::nullopt},
      {ext, u"", u"", std::nullopt}, {ext, u"qqzz", u"", std::nullopt}};
  // clang-format on
  for (const auto& [tag_class, tag, within, expected] : tags) {
    EXPECT_EQ(table.PreferredIdentifierForTag(tag_class, tag, within), expected)
        << Narrow(String(tag));
  }
  EXPECT_FALSE(table.PreferredTagWithClass(u"no.such.type", kUTTagClassMIMEType).has_value());
}

// Two loads in one database. 8,000 types, each a subclass of the next, and a line that would
// close a cycle: ancestries were once found with linear searches and kept whole, so time and
// memory grew with the square of the chain. And 16,000 MIME types that all make the identifier
// "dyn.mime.x.y----": each once tried every numbered form from "-2" on.
int HostileDatabaseChild() {
  testing::TempDir dir;
  std::filesystem::create_directories(dir.path() / "mime");
  std::string globs, subclasses = "application/x-c1 application/x-c0\n";
  for (int i = 0; i < 8000; ++i) {
    const std::string n = std::to_string(i), next = std::to_string(i + 1);
    globs += "50:application/x-c" + n + ":*.c" + n + "\n";
    subclasses += "application/x-c" + n + " application/x-c" + next + "\n";
  }
  const std::string_view marks = "!#$%&*+=?@^_`|~(";  // each becomes '-'
  for (int i = 0; i < 16000; ++i) {
    std::string mime = "x/y";
    for (int k = i, n = 0; n < 4; k /= 16, ++n) mime += marks[static_cast<std::size_t>(k % 16)];
    globs += "50:" + mime + ":*.f" + std::to_string(i) + "\n";
  }
  dir.Write("mime/globs2", globs);
  dir.Write("mime/subclasses", subclasses);
  const auto database = TypeDatabase::WithSharedMimeInfo({dir.path().string()});
  if (database == nullptr) return 1;
  const auto conforms = [&](int type, int parent) {
    return database->ConformsTo(u"dyn.mime.application.x-c" + Widen(std::to_string(type)),
                                u"dyn.mime.application.x-c" + Widen(std::to_string(parent)));
  };
  if (!conforms(0, 16)) return 2;       // 16 steps up
  if (conforms(0, 17)) return 3;        // beyond 16 steps
  if (!conforms(7000, 7016)) return 4;  // far down the chain
  if (conforms(1, 0)) return 5;         // that line closes a cycle
  const std::pair<const char*, const char*> cases[] = {{"f0", "dyn.mime.x.y----"},
                                                       {"f1", "dyn.mime.x.y-----2"},
                                                       {"f15999", "dyn.mime.x.y-----16000"}};
  for (int i = 0; i < 3; ++i) {
    const auto given =
        database->PreferredIdentifierForTag(kUTTagClassFilenameExtension, Widen(cases[i].first));
    if (given != Widen(cases[i].second)) return 6 + i;
  }
  return 0;
}
[[maybe_unused]] const bool kHostileDatabase =
    testing::ChildProcess("mime-hostile-database", HostileDatabaseChild);

TEST(SharedMimeInfo, ExtensionsTheTableLacksGetDynamicTypesThatConformAndHostileOnesLoadInBounds) {
  const testing::TempDir user_dir, system_dir;
  for (const auto* dir : {&user_dir, &system_dir})
    std::filesystem::create_directory(dir->path() / "mime");
  system_dir.Write("mime/globs2",
                   "# comment\n"
                   "50:application/x-doom-wad:*.wad\n"
                   "60:application/x-quake-pak:*.pak\n"
                   "40:application/x-other-pak:*.pak\n"  // lower weight loses
                   "50:text/x-genie:*.gs:cs\n"           // case-sensitive
                   "50:text/x-uppercase:*.GS:cs\n"
                   "50:video/x-reel:*.reel\n"
                   "50:application/x-zippy:*.zippy\n"
                   "50:application/x-tarred:*.tar.zzz\n"  // two dots: never an extension
                   "50:application/x-star:*.st*\n"        // wildcard: skipped
                   "50:application/x-high:*.h\x80\n"      // a byte past ASCII: skipped
                   "90:text/x-not-pdf:*.pdf\n"            // the table answers for pdf
                   "50:image/jpeg:*.jpeg2\n"              // a table MIME type
                   "50:application/x-system-tie:*.tie\n");
  system_dir.Write("mime/aliases", "application/x-wad application/x-doom-wad\n");
  system_dir.Write("mime/subclasses",
                   "application/x-zippy application/zip\n"
                   "video/x-reel application/x-middle\n"
                   "application/x-middle application/x-doom-wad\n"
                   "application/x-doom-wad application/x-middle\n");  // a cycle ends
  user_dir.Write("mime/globs2",
                 "70:application/x-user-wad:*.wad\n50:application/x-user-tie:*.tie\n");
  const std::shared_ptr<const TypeDatabase> database = TypeDatabase::WithSharedMimeInfo(
      {user_dir.path().string(), system_dir.path().string() + "/", "", "/nonexistent/dir"});
  ASSERT_NE(database, nullptr);
  const auto for_extension = [&](std::u16string_view extension) {
    return database->PreferredIdentifierForTag(kUTTagClassFilenameExtension, extension);
  };
  const auto mime_of = [&](std::u16string_view extension) {
    const std::optional<String> id = for_extension(extension);
    return id ? database->PreferredTagWithClass(*id, kUTTagClassMIMEType) : std::nullopt;
  };

  EXPECT_EQ(for_extension(u"PAK"), u"dyn.mime.application.x-quake-pak");
  // The user's directory has the higher weight here.
  EXPECT_EQ(mime_of(u"wad"), u"application/x-user-wad");
  // At equal weights the earlier directory, the user's, wins.
  EXPECT_EQ(mime_of(u"tie"), u"application/x-user-tie");
  EXPECT_EQ((std::tuple{mime_of(u"gs"), mime_of(u"GS"), for_extension(u"Gs")}),
            std::tuple(u"text/x-genie", u"text/x-uppercase", std::nullopt));
  // The table keeps its answers; a table MIME type leads to the table's type.
  EXPECT_EQ(mime_of(u"pdf"), u"application/pdf");
  EXPECT_EQ(for_extension(u"jpeg2"), String(kUTTypeJPEG));
  for (std::u16string_view skipped : {u"zzz", u"st", u"tar.zzz"}) {
    EXPECT_FALSE(for_extension(skipped).has_value()) << Narrow(String(skipped));
  }
  const TypeRef pak = database->TypeWithIdentifier(u"dyn.mime.application.x-quake-pak");
  ASSERT_NE(pak, nullptr);
  EXPECT_EQ((std::tuple{pak->isDynamic(), pak->filenameExtensions()}),
            std::tuple(true, std::vector<String>{u"pak"}));
  // Dynamic types are also found by MIME type and through aliases.
  EXPECT_EQ(database->PreferredIdentifierForTag(kUTTagClassMIMEType, u"application/x-wad"),
            u"dyn.mime.application.x-doom-wad");
  EXPECT_EQ(database->PreferredIdentifierForTag(kUTTagClassMIMEType, u"text/x-not-pdf"),
            u"dyn.mime.text.x-not-pdf");
  EXPECT_EQ(database->ExtensionCount(), database->BuiltInExtensionCount() + 8);  // 6 + gs, GS

  // Dynamic types conform by media kind and through subclasses.
  EXPECT_TRUE(database->ConformsTo(*for_extension(u"reel"), kUTTypeMovie));
  EXPECT_TRUE(database->ConformsTo(*for_extension(u"gs"), kUTTypeText));
  EXPECT_FALSE(database->ConformsTo(*for_extension(u"pak"), kUTTypeImage));
  EXPECT_TRUE(database->ConformsTo(*for_extension(u"zippy"), u"com.pkware.zip-archive"));
  // video/x-reel -> application/x-middle (no type) -> application/x-doom-wad (a dynamic type).
  EXPECT_TRUE(database->ConformsTo(*for_extension(u"reel"), u"dyn.mime.application.x-doom-wad"));

  // 0: loaded and answered; 1: not loaded; 2 to 8: the fact on the line that returns it did not
  // hold; 128 and more: stopped at a limit (10 s of CPU, 20 s on the clock) or crashed.
  const testing::ChildOutcome outcome = testing::RunLimitedChild(
      "mime-hostile-database", {.memory_bytes = 512u << 20, .seconds = 10});
  EXPECT_EQ(outcome.status, 0) << "peak " << (outcome.peak_rss_bytes >> 20) << " MiB, "
                               << outcome.cpu_seconds << " s of CPU";
}

// The default database is made on first use by whichever threads ask at once, and then read by
// all of them; under ThreadSanitizer this checks the one-time making and the shared lookups.
TEST(TypeDatabase, DefaultIsMadeOnceAndReadFromSeveralThreads) {
  std::vector<const TypeDatabase*> seen(4);
  std::vector<int> wrong(4);
  testing::OnThreads(4, [&](int i) {
    const TypeDatabase& db = TypeDatabase::Default();
    seen[i] = &db;
    for (int k = 0; k < 200; ++k) {
      const auto png = db.PreferredIdentifierForTag(kUTTagClassFilenameExtension, u"PNG");
      const TypeRef type = db.TypeWithIdentifier(u"public.jpeg");
      if (png != u"public.png" || type == nullptr || !db.ConformsTo(u"public.jpeg", kUTTypeData)) {
        ++wrong[i];
      }
    }
  });
  EXPECT_EQ(seen, std::vector<const TypeDatabase*>(4, &TypeDatabase::Default()));
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(SharedMimeInfo, ReportsEachFileSkippedOrReadInPart) {
  using ::testing::HasSubstr;
  // A file under the data folder's mime/, the kind of error and a part of its message.
  using Expected = std::tuple<const char*, ErrorKind, const char*>;
  struct Row {
    const char* what;
    std::function<void(const testing::TempDir&)> make;
    std::vector<Expected> skipped;
    bool needs_permissions = false;  // root reads files whatever their mode
  };
  const Row rows[] = {
      {"no files: a folder need not hold any", [](const testing::TempDir&) {}, {}},
      {"a folder for globs2",
       [](const testing::TempDir& dir) {
         std::filesystem::create_directory(dir.File("mime/globs2"));
       },
       {{"globs2", ErrorKind::kNotRegularFile, "a folder, not a regular file"}}},
      {"aliases past 1 MiB",
       [](const testing::TempDir& dir) {
         dir.Write("mime/aliases", std::string((1 << 20) + 1, '#'));
       },
       {{"aliases", ErrorKind::kTooLarge, "over the limit of 1 MiB"}}},
      {"malformed lines in two files",
       [](const testing::TempDir& dir) {
         dir.Write("mime/globs2",
                   "# weight:type:glob\n"
                   "50:application/x-reported:*.reported\n"
                   "no fields\n"
                   "50:text/x-makefile:Makefile\n"  // another kind of pattern: not malformed
                   "x:a/b:*.bad\n"
                   "50:noslash:*.ns\n");
         dir.Write("mime/subclasses", "text/x-a text/plain\ntext/x-b\n");
       },
       {{"globs2", ErrorKind::kMalformed, "3 malformed lines skipped, the first on line 3"},
        {"subclasses", ErrorKind::kMalformed, "1 malformed line skipped, the first on line 2"}}},
      {"an unreadable file",
       [](const testing::TempDir& dir) {
         ::chmod(dir.Write("mime/globs2", "50:application/x-secret:*.secret\n").c_str(), 0);
       },
       {{"globs2", ErrorKind::kPermission, "Permission denied"}},
       true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    if (row.needs_permissions && ::geteuid() == 0) continue;
    testing::TempDir dir;
    std::filesystem::create_directory(dir.path() / "mime");
    row.make(dir);
    std::vector<TypeDatabase::SkippedFile> skipped{{"left from before", {ErrorKind::kIo, ""}}};
    const auto database = TypeDatabase::WithSharedMimeInfo({dir.path().string()}, &skipped);
    ASSERT_NE(database, nullptr);
    ASSERT_EQ(skipped.size(), row.skipped.size());
    for (std::size_t i = 0; i < skipped.size(); ++i) {
      const auto& [file, kind, message] = row.skipped[i];
      EXPECT_EQ(std::tie(skipped[i].path, skipped[i].error.kind),
                std::tuple(dir.File("mime/" + std::string(file)), kind));
      EXPECT_THAT(skipped[i].error.message, HasSubstr(message)) << file;
    }
  }
}

}  // namespace
}  // namespace kelvane::platform
