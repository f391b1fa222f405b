// SPDX-License-Identifier: Apache-2.0
// kelvane/locale/uti.h
//
// The file types the application accepts, the classification of a type identifier, and the
// MIME type and identifier of a file name, over the platform's type database
// (kelvane/platform/types/type_database.h: a compiled table, and shared-mime-info where installed).
//
// Identifiers are reverse-DNS type names ("public.jpeg", "com.microsoft.word.doc"). Lists keep
// the order given for each; identifiers compare without regard to ASCII case.
//
// Threads: every operation may be called from any thread. UTIdoc builds its list once, on the
// first call from whichever thread makes it, and every call afterwards returns that same list.
#pragma once

#include <any>
#include <optional>
#include <string_view>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/string.h"
#include "kelvane/platform/types/type_database.h"

namespace kelvane {

// Type identifiers, extensions and MIME types for the application's files.
class KELVANE_EXPORT UTIType {
 public:
  UTIType() = delete;

  // The document types the application accepts: the three image types, the ZIP archive, RTF,
  // plain text, the Word, Excel and OpenDocument text formats, then the types of the extensions
  // "log" and "7z" where the database has one (at most 13 entries). Built on the first call;
  // every call returns the same list object.
  [[nodiscard]] static const std::vector<String>& UTIdoc() noexcept;

  // The fixed lists; each is made once and every call returns the same list.
  // Any data file: "public.data".
  [[nodiscard]] static const std::vector<String>& UTIfile() noexcept;
  // "public.jpeg", "public.png", "com.microsoft.bmp".
  [[nodiscard]] static const std::vector<String>& UTIAllowedImages() noexcept;
  // "public.movie".
  [[nodiscard]] static const std::vector<String>& UTIAllowedVideo() noexcept;
  // The image types, then "com.adobe.pdf".
  [[nodiscard]] static const std::vector<String>& UTIAllowedDocuments() noexcept;

  // Whether `uti` conforms to at least one of `ConformsTo` (tested in order). False for an empty
  // list and for an identifier the database does not know.
  [[nodiscard]] static bool UTIConformsTo(std::u16string_view uti,
                                          const std::vector<String>& ConformsTo) noexcept;

  // The type objects of the entries that are strings (String, std::u16string_view or
  // const char16_t*) naming a type the database knows, in order; other entries are skipped.
  // Empty when none qualifies or memory ran out.
  [[nodiscard]] static std::vector<platform::TypeRef> convertToUTTypes(
      const std::vector<std::any>& identifiers) noexcept;

  // The MIME type for the file name extension of `path` (the text after the last '.' of its
  // last component, ASCII case ignored): "application/pdf" for "report.PDF".
  // "application/octet-stream" when the path has no extension or no type with a MIME type
  // carries it. Only running out of memory for the result string itself ends the process.
  [[nodiscard]] static String MimeFromPath(std::u16string_view path) noexcept;

  // The preferred identifier for the file name extension of `path`; nullopt when the path has no
  // extension or the database knows no type for it.
  [[nodiscard]] static std::optional<String> UTIFromPath(std::u16string_view path) noexcept;

  // The preferred identifier for a MIME type; nullopt for an absent or empty argument and for a
  // MIME type the database does not know.
  [[nodiscard]] static std::optional<String> UTIFromMIME(OptionalString MIME) noexcept;

  // Whether `uti` is a video type (conforms to "public.movie"); false when absent or empty.
  [[nodiscard]] static bool IsVideo(OptionalString uti) noexcept;
};

namespace NSTools {

// The file name extension of `path` as the type operations read it: the text after the last '.'
// of the last path component (trailing '/' ignored); empty when that component has no '.'.
[[nodiscard]] KELVANE_EXPORT std::u16string_view PathExtension(std::u16string_view path) noexcept;

}  // namespace NSTools
}  // namespace kelvane
