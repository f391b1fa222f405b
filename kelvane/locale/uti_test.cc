#include "kelvane/locale/uti.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace kelvane {
namespace {

using platform::kUTTypeMovie;
using platform::kUTTypePDF;
using platform::kUTTypePNG;

TEST(UTIType, FixedListsInOrder) {
  EXPECT_EQ(UTIType::UTIAllowedImages(),
            (std::vector<String>{u"public.jpeg", u"public.png", u"com.microsoft.bmp"}));
  EXPECT_EQ(UTIType::UTIAllowedVideo(), std::vector<String>{u"public.movie"});
  EXPECT_EQ(UTIType::UTIfile(), std::vector<String>{u"public.data"});
  const std::vector<String>& documents = UTIType::UTIAllowedDocuments();
  ASSERT_EQ(documents.size(), 4u);
  EXPECT_EQ(documents.back(), kUTTypePDF);
  EXPECT_TRUE(
      std::equal(documents.begin(), documents.begin() + 3, UTIType::UTIAllowedImages().begin()));

  const std::vector<String>& doc = UTIType::UTIdoc();
  // clang-format off
  const std::vector<String> expected = {
      u"public.jpeg", u"public.png", u"com.microsoft.bmp", u"com.pkware.zip-archive",
      u"public.rtf", u"public.plain-text", u"com.microsoft.word.doc",
      u"org.openxmlformats.wordprocessingml.document", u"com.microsoft.excel.xls",
      u"org.openxmlformats.spreadsheetml.sheet", u"org.oasis-open.opendocument.text",
      u"public.log", u"org.7-zip.7-zip-archive"};
  // clang-format on
  EXPECT_EQ(doc, expected);
}

TEST(UTIType, DocumentListIsBuiltOnceForAllThreads) {
  // Regression: the first build used to run without a lock, so two first callers could each
  // make a list. Every thread must see one list object.
  std::vector<const std::vector<String>*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < seen.size(); ++t) {
    threads.emplace_back([&seen, t] { seen[t] = &UTIType::UTIdoc(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const auto* list : seen) EXPECT_EQ(list, &UTIType::UTIdoc());
}

TEST(UTIType, Conformance) {
  EXPECT_TRUE(UTIType::UTIConformsTo(kUTTypePNG, UTIType::UTIfile()));  // every image is data
  EXPECT_FALSE(UTIType::UTIConformsTo(kUTTypePNG, UTIType::UTIAllowedVideo()));
  EXPECT_FALSE(UTIType::UTIConformsTo(kUTTypePNG, {}));
  EXPECT_TRUE(UTIType::UTIConformsTo(u"public.mpeg-4", {u"public.image", u"public.movie"}));
  EXPECT_TRUE(UTIType::UTIConformsTo(u"org.openxmlformats.wordprocessingml.document",
                                     {u"public.zip-archive"}));
  EXPECT_FALSE(UTIType::UTIConformsTo(u"org.example.nothing", UTIType::UTIfile()));

  EXPECT_FALSE(UTIType::IsVideo(u""));
  EXPECT_FALSE(UTIType::IsVideo(std::nullopt));
  EXPECT_TRUE(UTIType::IsVideo(kUTTypeMovie));
  EXPECT_TRUE(UTIType::IsVideo(u"public.mpeg-4"));
  EXPECT_TRUE(UTIType::IsVideo(u"org.matroska.mkv"));
  EXPECT_FALSE(UTIType::IsVideo(u"public.mp3"));
  EXPECT_FALSE(UTIType::IsVideo(kUTTypePNG));
}

TEST(UTIType, ConvertsOnlyKnownStringEntries) {
  const std::vector<std::any> entries = {std::any(42),
                                         std::any(String(u"public.png")),
                                         std::any(std::u16string_view(u"PUBLIC.JPEG")),
                                         std::any(static_cast<const char16_t*>(u"com.adobe.pdf")),
                                         std::any(static_cast<const char16_t*>(nullptr)),
                                         std::any(String(u"org.example.unknown")),
                                         std::any()};
  const std::vector<platform::TypeRef> types = UTIType::convertToUTTypes(entries);
  ASSERT_EQ(types.size(), 3u);
  EXPECT_EQ(types[0]->identifier(), u"public.png");
  EXPECT_EQ(types[1]->identifier(), u"public.jpeg");
  EXPECT_EQ(types[2]->identifier(), u"com.adobe.pdf");
  EXPECT_EQ(UTIType::convertToUTTypes({std::any(1.5), std::any(String(u"public.png"))}).size(), 1u);
  EXPECT_TRUE(UTIType::convertToUTTypes({}).empty());
  EXPECT_TRUE(UTIType::convertToUTTypes({std::any(String(u"no.such"))}).empty());
}

TEST(UTIType, PathsAndMimeTypes) {
  EXPECT_EQ(UTIType::MimeFromPath(u"report.PDF"), u"application/pdf");
  EXPECT_EQ(UTIType::MimeFromPath(u"/home/u/photo.final.JPG"), u"image/jpeg");
  EXPECT_EQ(UTIType::MimeFromPath(u"dir.d/archive"), u"application/octet-stream");
  EXPECT_EQ(UTIType::MimeFromPath(u"name.qqqzzz"), u"application/octet-stream");
  EXPECT_EQ(UTIType::MimeFromPath(u"trailing."), u"application/octet-stream");
  EXPECT_EQ(UTIType::MimeFromPath(u""), u"application/octet-stream");
  EXPECT_EQ(UTIType::MimeFromPath(u"movie.mp4/"), u"video/mp4");

  EXPECT_EQ(UTIType::UTIFromPath(u"a/b/notes.txt"), u"public.plain-text");
  EXPECT_EQ(UTIType::UTIFromPath(u"backup.7Z"), u"org.7-zip.7-zip-archive");
  EXPECT_FALSE(UTIType::UTIFromPath(u"Makefile").has_value());
  EXPECT_FALSE(UTIType::UTIFromPath(u"x.qqqzzz").has_value());

  EXPECT_EQ(UTIType::UTIFromMIME(u"image/png"), kUTTypePNG);
  EXPECT_EQ(UTIType::UTIFromMIME(u"Application/PDF; name=x"), kUTTypePDF);
  EXPECT_FALSE(UTIType::UTIFromMIME(u"").has_value());
  EXPECT_FALSE(UTIType::UTIFromMIME(std::nullopt).has_value());
  EXPECT_FALSE(UTIType::UTIFromMIME(u"x-unknown/thing").has_value());

  EXPECT_EQ(NSTools::PathExtension(u"a.b/c"), u"");
  EXPECT_EQ(NSTools::PathExtension(u"a.b/.profile"), u"profile");
  EXPECT_EQ(NSTools::PathExtension(u"x.tar.gz"), u"gz");
  EXPECT_EQ(NSTools::PathExtension(u"///"), u"");
}

}  // namespace
}  // namespace kelvane
