// SPDX-License-Identifier: Apache-2.0
#include "kelvane/locale/uti.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "kelvane/testing/threads.h"

namespace kelvane {
namespace {

using platform::kUTTypePDF;
using platform::kUTTypePNG;

TEST(UTIType, FixedListsInOrder) {
  EXPECT_EQ(UTIType::UTIAllowedImages(),
            (std::vector<String>{u"public.jpeg", u"public.png", u"com.microsoft.bmp"}));
  EXPECT_EQ(UTIType::UTIAllowedVideo(), std::vector<String>{u"public.movie"});
  EXPECT_EQ(UTIType::UTIfile(), std::vector<String>{u"public.data"});
  EXPECT_EQ(
      UTIType::UTIAllowedDocuments(),
      (std::vector<String>{u"public.jpeg", u"public.png", u"com.microsoft.bmp", u"com.adobe.pdf"}));

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
  testing::OnThreads(8, [&seen](int t) { seen[t] = &UTIType::UTIdoc(); });
  EXPECT_EQ(seen, std::vector(8, &UTIType::UTIdoc()));
}

TEST(UTIType, Conformance) {
  // The conformance tree is the type database's; here: any of the list, none, an unknown type.
  EXPECT_TRUE(UTIType::UTIConformsTo(kUTTypePNG, UTIType::UTIfile()));  // every image is data
  EXPECT_FALSE(UTIType::UTIConformsTo(kUTTypePNG, {}));
  EXPECT_TRUE(UTIType::UTIConformsTo(u"public.mpeg-4", {u"public.image", u"public.movie"}));
  EXPECT_FALSE(UTIType::UTIConformsTo(u"org.example.nothing", UTIType::UTIfile()));

  // clang-format off
  const std::pair<OptionalString, bool> videos[] = {
      {u"", false}, {std::nullopt, false}, {u"public.mpeg-4", true}, {u"public.mp3", false}};
  // clang-format on
  for (const auto& [type, video] : videos) EXPECT_EQ(UTIType::IsVideo(type), video);
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
}

TEST(UTIType, PathsAndMimeTypes) {
  // {path, extension, MIME type, type identifier}: the extension is the last component's, in
  // any case; without a known one the MIME type is "application/octet-stream" (empty here).
  using Texts =
      std::tuple<std::u16string_view, std::u16string_view, std::u16string_view, OptionalString>;
  // clang-format off
  const Texts paths[] = {
      {u"report.PDF", u"PDF", u"application/pdf", kUTTypePDF},
      {u"movie.mp4/", u"mp4", u"video/mp4", u"public.mpeg-4"},
      {u"dir.d/archive", u"", u"", std::nullopt}, {u"name.qqqzzz", u"qqqzzz", u"", std::nullopt},
      {u"trailing.", u"", u"", std::nullopt},     {u"", u"", u"", std::nullopt},
      {u"a.b/.profile", u"profile", u"", std::nullopt}, {u"///", u"", u"", std::nullopt}};
  // clang-format on
  for (const auto& [path, extension, mime, type] : paths) {
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    EXPECT_EQ(NSTools::PathExtension(path), extension);
    EXPECT_EQ(UTIType::MimeFromPath(path), mime.empty() ? u"application/octet-stream" : mime);
    EXPECT_EQ(UTIType::UTIFromPath(path), type);
  }
  EXPECT_EQ(NSTools::PathExtension(u"x.tar.gz"), u"gz");

  EXPECT_EQ(UTIType::UTIFromMIME(u"Application/PDF; name=x"), kUTTypePDF);
  EXPECT_FALSE(UTIType::UTIFromMIME(u"").has_value());
  EXPECT_FALSE(UTIType::UTIFromMIME(std::nullopt).has_value());
}

}  // namespace
}  // namespace kelvane
