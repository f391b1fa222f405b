// SPDX-License-Identifier: Apache-2.0
#include "kelvane/locale/uti.h"

#include <new>

namespace kelvane {
namespace {

using platform::TypeDatabase;

constexpr std::u16string_view kOctetStream = u"application/octet-stream";

const TypeDatabase& Database() noexcept { return TypeDatabase::Default(); }

}  // namespace

namespace NSTools {

std::u16string_view PathExtension(std::u16string_view path) noexcept {
  while (!path.empty() && path.back() == u'/') path.remove_suffix(1);
  const std::size_t slash = path.rfind(u'/');
  const std::u16string_view name =
      slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string_view() : name.substr(dot + 1);
}

}  // namespace NSTools

const std::vector<String>& UTIType::UTIfile() noexcept {
  static const std::vector<String>* const list =
      new std::vector<String>{String(platform::kUTTypeData)};
  return *list;
}

const std::vector<String>& UTIType::UTIAllowedImages() noexcept {
  static const std::vector<String>* const list = new std::vector<String>{
      String(platform::kUTTypeJPEG), String(platform::kUTTypePNG), String(platform::kUTTypeBMP)};
  return *list;
}

const std::vector<String>& UTIType::UTIAllowedVideo() noexcept {
  static const std::vector<String>* const list =
      new std::vector<String>{String(platform::kUTTypeMovie)};
  return *list;
}

const std::vector<String>& UTIType::UTIAllowedDocuments() noexcept {
  static const std::vector<String>* const list = [] {
    auto* documents = new std::vector<String>(UTIAllowedImages());
    documents->emplace_back(platform::kUTTypePDF);
    return documents;
  }();
  return *list;
}

const std::vector<String>& UTIType::UTIdoc() noexcept {
  // s_uti: the first caller builds it under the static's guard while any other first caller
  // waits, so the list is made exactly once and is the same object for every thread.
  static const std::vector<String>* const s_uti = [] {
    auto* list = new std::vector<String>(UTIAllowedImages());
    for (std::u16string_view fixed : std::initializer_list<std::u16string_view>{
             u"com.pkware.zip-archive", platform::kUTTypeRTF, platform::kUTTypePlainText,
             u"com.microsoft.word.doc", u"org.openxmlformats.wordprocessingml.document",
             u"com.microsoft.excel.xls", u"org.openxmlformats.spreadsheetml.sheet",
             u"org.oasis-open.opendocument.text"}) {
      list->emplace_back(fixed);
    }
    for (std::u16string_view extension :
         std::initializer_list<std::u16string_view>{u"log", u"7z"}) {
      std::optional<String> uti = Database().PreferredIdentifierForTag(
          platform::kUTTagClassFilenameExtension, extension, platform::kUTTypeItem);
      if (uti) list->push_back(std::move(*uti));
    }
    return list;
  }();
  return *s_uti;
}

bool UTIType::UTIConformsTo(std::u16string_view uti,
                            const std::vector<String>& ConformsTo) noexcept {
  const TypeDatabase& database = Database();
  for (const String& parent : ConformsTo) {
    if (database.ConformsTo(uti, parent)) return true;
  }
  return false;
}

std::vector<platform::TypeRef> UTIType::convertToUTTypes(
    const std::vector<std::any>& identifiers) noexcept {
  std::vector<platform::TypeRef> types;
  try {
    const TypeDatabase& database = Database();
    for (const std::any& entry : identifiers) {
      std::u16string_view identifier;
      if (const String* text = std::any_cast<String>(&entry)) {
        identifier = *text;
      } else if (const auto* view = std::any_cast<std::u16string_view>(&entry)) {
        identifier = *view;
      } else if (const auto* literal = std::any_cast<const char16_t*>(&entry)) {
        if (*literal == nullptr) continue;
        identifier = *literal;
      } else {
        continue;
      }
      if (platform::TypeRef type = database.TypeWithIdentifier(identifier)) {
        types.push_back(std::move(type));
      }
    }
  } catch (const std::bad_alloc&) {
    types.clear();
  }
  return types;
}

String UTIType::MimeFromPath(std::u16string_view path) noexcept {
  const std::u16string_view extension = NSTools::PathExtension(path);
  // The type object is looked up once and its MIME type read directly, which answers exactly
  // as asking for the identifier and then for that identifier's preferred MIME type.
  const platform::UniformType* type =
      Database().TypeForTag(platform::kUTTagClassFilenameExtension, extension);
  if (type != nullptr && !type->mimeTypes().empty()) return type->mimeTypes().front();
  return String(kOctetStream);
}

std::optional<String> UTIType::UTIFromPath(std::u16string_view path) noexcept {
  return Database().PreferredIdentifierForTag(platform::kUTTagClassFilenameExtension,
                                              NSTools::PathExtension(path));
}

std::optional<String> UTIType::UTIFromMIME(OptionalString MIME) noexcept {
  if (!MIME || MIME->empty()) return std::nullopt;
  return Database().PreferredIdentifierForTag(platform::kUTTagClassMIMEType, *MIME);
}

bool UTIType::IsVideo(OptionalString uti) noexcept {
  if (!uti || uti->empty()) return false;
  return UTIConformsTo(*uti, UTIAllowedVideo());
}

}  // namespace kelvane
