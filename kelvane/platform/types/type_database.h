// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/types/type_database.h
//
// Type identifiers: reverse-DNS names of kinds of files and data ("public.jpeg",
// "com.adobe.pdf"), which identifiers conform to which (every image is data), and the mapping of
// file name extensions and MIME types to identifiers and back.
//
// The answers come from a table compiled into the library, so they are the same on every
// machine for the extensions and MIME types it lists (about 470 extensions: documents, images,
// audio, video, archives, text and source code, fonts). Where the shared-mime-info database is
// installed, the default database also answers for the extensions and MIME types the table
// lacks: each MIME type known only there becomes a dynamic type whose identifier is
// "dyn.mime." and the MIME type in lower case with '/' as '.' and characters other than letters,
// digits, '-' and '.' as '-' ("application/x-doom-wad" gives "dyn.mime.application.x-doom-wad").
// A dynamic type conforms to "public.data", to the table's type for the media kind of its MIME
// type (image, audio, video, text, font) and to the table's types for the MIME types that it is
// a subclass of.
//
// The shared-mime-info files are read as hostile input. Only regular files of up to 1 MiB are
// read (a named pipe in their place is skipped, not waited on). Subclass lines are followed at
// most 16 deep, 16 parents per MIME type are read, a type records at most 32 ancestors, and a
// subclass line that would make two types conform to each other is refused: far beyond what
// installed databases hold, and a bound on the work a crafted one can cause.
//
// Identifiers, extensions and MIME types are compared without regard to ASCII case, except that
// a shared-mime-info extension marked case-sensitive (".C" for C++ next to ".c" for C) is
// matched as written when the table has no entry for it.
//
// Ownership and threads: a TypeDatabase is immutable once made; any number of threads may
// query one at once. Default() and BuiltIn() are made on first use (thread-safely) and live
// until exit. Type objects are shared: the same identifier always gives the same TypeRef from
// one database.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kelvane/export.h"
#include "kelvane/platform/core/result.h"
#include "kelvane/platform/core/string.h"

namespace kelvane::platform {

// Identifiers that callers name often.
inline constexpr std::u16string_view kUTTypeItem = u"public.item";
inline constexpr std::u16string_view kUTTypeData = u"public.data";
inline constexpr std::u16string_view kUTTypeContent = u"public.content";
inline constexpr std::u16string_view kUTTypeImage = u"public.image";
inline constexpr std::u16string_view kUTTypeJPEG = u"public.jpeg";
inline constexpr std::u16string_view kUTTypePNG = u"public.png";
inline constexpr std::u16string_view kUTTypeBMP = u"com.microsoft.bmp";
inline constexpr std::u16string_view kUTTypePDF = u"com.adobe.pdf";
inline constexpr std::u16string_view kUTTypeRTF = u"public.rtf";
inline constexpr std::u16string_view kUTTypeText = u"public.text";
inline constexpr std::u16string_view kUTTypePlainText = u"public.plain-text";
inline constexpr std::u16string_view kUTTypeMovie = u"public.movie";
inline constexpr std::u16string_view kUTTypeAudio = u"public.audio";
inline constexpr std::u16string_view kUTTypeArchive = u"public.archive";

// The kinds of tags a type carries.
enum class TagClass {
  kFilenameExtension,  // a file name extension, without the dot
  kMIMEType,           // a MIME type
};
// TagClass::kFilenameExtension under the platform's name.
inline constexpr TagClass kUTTagClassFilenameExtension = TagClass::kFilenameExtension;
// TagClass::kMIMEType under the platform's name.
inline constexpr TagClass kUTTagClassMIMEType = TagClass::kMIMEType;

class UniformType;
// Type objects are shared: the same identifier gives the same ref from one database.
using TypeRef = std::shared_ptr<const UniformType>;

// The types a program knows: identifiers, their conformance and their tags.
class KELVANE_EXPORT TypeDatabase {
 public:
  // The compiled table together with the shared-mime-info databases found under
  // $XDG_DATA_HOME (default ~/.local/share) and $XDG_DATA_DIRS (default /usr/local/share and
  // /usr/share), read once on first use. The table alone when none is installed.
  [[nodiscard]] static const TypeDatabase& Default() noexcept;

  // The compiled table alone: the same answers on every machine.
  [[nodiscard]] static const TypeDatabase& BuiltIn() noexcept;

  // The table together with the shared-mime-info databases under `data_dirs` (each may hold
  // mime/globs2, mime/aliases and mime/subclasses; a missing, unreadable or oversized file and
  // anything but a regular file are skipped, malformed lines are skipped). For an extension in
  // several databases the glob of highest weight wins, then the earlier directory. nullptr only
  // when memory ran out, also while a file was being read: never a database that lacks a file's
  // types because there was no memory to read it.
  [[nodiscard]] static std::shared_ptr<const TypeDatabase> WithSharedMimeInfo(
      const std::vector<std::string>& data_dirs) noexcept;

  // A shared-mime-info file that was skipped, or read without some of its lines, and why.
  struct SkippedFile {
    std::string path;  // the data folder as given, then "/mime/" and the file's name
    Error error;       // why it was skipped, or which lines were left out
  };

  // WithSharedMimeInfo, also telling which files it passed over. `skipped` (when not null) is
  // emptied, then gets, in the order read, each file that exists but was not read (kPermission,
  // kNotRegularFile, kTooLarge with the limit, kIo with the system's reason) and each file read
  // with malformed lines left out (kMalformed with their count and the first one's number). A
  // missing file is left out: a data folder need not hold every file, or any. Lines of another
  // kind than the database uses (glob patterns other than "*.ext", text other than ASCII) are
  // not malformed.
  [[nodiscard]] static std::shared_ptr<const TypeDatabase> WithSharedMimeInfo(
      const std::vector<std::string>& data_dirs, std::vector<SkippedFile>* skipped) noexcept;

  TypeDatabase(const TypeDatabase&) = delete;
  TypeDatabase& operator=(const TypeDatabase&) = delete;
  ~TypeDatabase();

  // The type object of `identifier`, or nullptr when the database does not know it.
  [[nodiscard]] TypeRef TypeWithIdentifier(std::u16string_view identifier) const noexcept;

  // The preferred identifier for a file name extension (without the dot) or a MIME type (any
  // ";" parameters are ignored, and shared-mime-info aliases lead to their canonical type):
  // the first type of the table that carries the tag and conforms to `conforming_to` (any type
  // when it is empty), else the dynamic type of shared-mime-info. nullopt for an empty tag and
  // for a tag no type carries.
  [[nodiscard]] std::optional<String> PreferredIdentifierForTag(
      TagClass tag_class, std::u16string_view tag,
      std::u16string_view conforming_to = {}) const noexcept;

  // The type that PreferredIdentifierForTag names, without copying anything: the object lives
  // as long as the database. nullptr where that gives nullopt.
  [[nodiscard]] const UniformType* TypeForTag(
      TagClass tag_class, std::u16string_view tag,
      std::u16string_view conforming_to = {}) const noexcept;

  // The preferred extension or MIME type of `identifier`; nullopt for an unknown identifier and
  // for a type without a tag of that class ("public.data" has no MIME type).
  [[nodiscard]] std::optional<String> PreferredTagWithClass(std::u16string_view identifier,
                                                            TagClass tag_class) const noexcept;

  // Whether `identifier` is `parent` or conforms to it through the parents, transitively.
  // False when either identifier is unknown.
  [[nodiscard]] bool ConformsTo(std::u16string_view identifier,
                                std::u16string_view parent) const noexcept;

  // Number of distinct extensions the compiled table lists, and the number of extensions the
  // database answers for in all.
  [[nodiscard]] std::size_t BuiltInExtensionCount() const noexcept;
  [[nodiscard]] std::size_t ExtensionCount() const noexcept;

  struct Index;  // the lookup tables; not part of the interface

 private:
  explicit TypeDatabase(std::unique_ptr<Index> index) noexcept;
  std::unique_ptr<Index> index_;
};

// One type: a type object. Extensions are stored in lower case, MIME types
// as registered.
class KELVANE_EXPORT UniformType {
 public:
  // The type's identifier ("public.jpeg").
  [[nodiscard]] const String& identifier() const noexcept { return identifier_; }
  // The identifiers it conforms to directly (not itself, not the whole ancestry).
  [[nodiscard]] const std::vector<String>& parents() const noexcept { return parents_; }
  // Extensions without the dot, and MIME types; the first of each is the preferred one.
  [[nodiscard]] const std::vector<String>& filenameExtensions() const noexcept {
    return extensions_;
  }
  // The MIME types; the first is the preferred one.
  [[nodiscard]] const std::vector<String>& mimeTypes() const noexcept { return mime_types_; }
  // True for a type made from shared-mime-info rather than the compiled table.
  [[nodiscard]] bool isDynamic() const noexcept { return dynamic_; }

 private:
  friend struct TypeDatabase::Index;
  String identifier_;
  std::vector<String> parents_;
  std::vector<String> extensions_;
  std::vector<String> mime_types_;
  bool dynamic_ = false;
  std::vector<std::size_t> ancestry_;  // indexes of the types it conforms to, itself included
};

}  // namespace kelvane::platform
