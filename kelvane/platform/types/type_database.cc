// SPDX-License-Identifier: Apache-2.0
#include "kelvane/platform/types/type_database.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "kelvane/platform/core/ascii.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/core/internal/keyed_hash.h"

namespace kelvane::platform {
namespace {

struct Row {
  const char* identifier;
  const char* parents;
  const char* extensions;
  const char* mime_types;
};

constexpr Row kTable[] = {
#include "kelvane/platform/types/internal/type_table.inc"
};

// The largest shared-mime-info file read; the installed ones hold some 40 KiB.
constexpr std::uint64_t kMaxFileBytes = 1 << 20;

// Bounds on what the subclass lines may build, far above what installed databases hold (their
// chains go five deep, no MIME type has more than two parents), so that hostile files cost work
// in proportion to their size: parents read per MIME type, MIME types one walk from a type
// visits, steps from a type to an ancestor, and ancestors recorded per type.
constexpr std::size_t kMaxParentsPerMime = 16;
constexpr std::size_t kMaxWalk = 64;
constexpr int kMaxDepth = 16;
constexpr std::size_t kMaxAncestors = 32;

// Tables keyed by MIME types and extensions read from files hash under the process's key.
using KeyedHash = internal::KeyedTextHash;

template <typename Value>
using Table = std::unordered_map<String, Value, KeyedHash>;
using KeySet = std::unordered_set<String, KeyedHash>;

String Lower(std::u16string_view text) {
  String out(text);
  for (char16_t& c : out) c = ascii::ToLower(c);
  return out;
}

String Widen(std::string_view text) { return String(text.begin(), text.end()); }

std::vector<String> Words(const char* text) {
  std::vector<String> words;
  std::string_view rest(text);
  while (!rest.empty()) {
    const std::size_t space = rest.find(' ');
    if (space != 0) words.push_back(Widen(rest.substr(0, space)));
    if (space == std::string_view::npos) break;
    rest.remove_prefix(space + 1);
  }
  return words;
}

// A MIME type as a lookup key: parameters and surrounding white space dropped, lower case.
String MimeKey(std::u16string_view mime) {
  mime = mime.substr(0, std::min(mime.size(), mime.find(u';')));
  while (!mime.empty() && (mime.front() == u' ' || mime.front() == u'\t')) mime.remove_prefix(1);
  while (!mime.empty() && (mime.back() == u' ' || mime.back() == u'\t')) mime.remove_suffix(1);
  return Lower(mime);
}

using SkippedFile = TypeDatabase::SkippedFile;

// Whether a file could not be read for want of memory: the reader's own words for it, or the
// system's (ENOMEM from open or read). That is no fact about the file.
bool RanOutOfMemory(const Error& error) {
  return error.message == "out of memory" || error.message == std::strerror(ENOMEM);
}

// The bytes of a database file; nullopt for a missing, unreadable or oversized file, and for
// anything but a regular file (a named pipe would block the reader). Each of these but a missing
// file is noted in `skipped` when there is one. Throws std::bad_alloc when memory ran out while
// it was read: skipping the file would hand out a database without its types as if whole.
std::optional<std::string> ReadDatabaseFile(const std::string& path,
                                            std::vector<SkippedFile>* skipped) {
  Result<Data> bytes = ReadRegularFile(path, kMaxFileBytes);
  if (!bytes) {
    if (RanOutOfMemory(bytes.error())) throw std::bad_alloc();
    if (skipped != nullptr && bytes.error().kind != ErrorKind::kMissing) {
      skipped->push_back({path, bytes.error()});
    }
    return std::nullopt;
  }
  return std::string(bytes->begin(), bytes->end());
}

// The lines of a file that do not have the shape of their kind, counted as they are skipped.
struct BadLines {
  std::size_t count = 0;
  std::size_t first = 0;  // its number, from 1
  void Note(std::size_t line) {
    if (count++ == 0) first = line;
  }
  // Notes the file in `skipped` when it had any.
  void Report(const std::string& path, std::vector<SkippedFile>* skipped) const {
    if (count == 0 || skipped == nullptr) return;
    skipped->push_back(
        {path, Error{ErrorKind::kMalformed,
                     std::to_string(count) + (count == 1 ? " malformed line" : " malformed lines") +
                         " skipped, the first on line " + std::to_string(first)}});
  }
};

// Calls visit(line, number) for each line but blank lines and comments; numbers count from 1.
template <typename Visit>
void ForEachLine(std::string_view text, Visit visit) {
  for (std::size_t number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() != '#') visit(line, number);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// What the shared-mime-info files say, merged over every directory.
struct SharedMimeInfo {
  // The glob of highest weight for an extension; of equal weights the first read (the earlier
  // directory, then the earlier line) wins.
  struct Glob {
    String mime;
    int weight = 0;
  };
  std::map<String, Glob> extensions;                 // lower case
  std::map<String, Glob> case_sensitive_extensions;  // as written
  std::vector<String> mime_types;                    // of every glob, in file order
  Table<String> aliases;                             // lower case -> canonical as written
  Table<std::vector<String>> subclasses;  // lower case -> parents, at most kMaxParentsPerMime

  // Lines of another kind than this reader takes (patterns other than "*.ext", text other than
  // ASCII) are left out without a word; lines without the shape "weight:type/subtype:glob" are
  // noted in `bad`.
  void AddGlobs(std::string_view text, BadLines& bad) {
    ForEachLine(text, [&](std::string_view line, std::size_t number) {
      if (!IsAscii(line)) return;
      // weight:mime:glob[:flags[:...]]
      const std::size_t a = line.find(':');
      const std::size_t b = a == std::string_view::npos ? a : line.find(':', a + 1);
      if (b == std::string_view::npos) return bad.Note(number);
      const std::size_t c = line.find(':', b + 1);
      const std::string_view weight_text = line.substr(0, a);
      const std::string_view mime = line.substr(a + 1, b - a - 1);
      const std::string_view glob = line.substr(b + 1, c == std::string_view::npos ? c : c - b - 1);
      const std::string_view flags =
          c == std::string_view::npos ? std::string_view() : line.substr(c + 1);
      if (weight_text.empty() || weight_text.size() > 3 || mime.find('/') == mime.npos ||
          weight_text.find_first_not_of("0123456789") != weight_text.npos) {
        return bad.Note(number);
      }
      if (glob.size() < 3 || glob.substr(0, 2) != "*.") return;
      const std::string_view extension = glob.substr(2);
      if (extension.find_first_of("*?[]\\.") != extension.npos) return;
      int weight = 0;
      for (char d : weight_text) weight = weight * 10 + (d - '0');
      const bool case_sensitive =
          (',' + std::string(flags) + ',').find(",cs,") != std::string::npos;
      mime_types.push_back(Widen(mime));
      auto& table = case_sensitive ? case_sensitive_extensions : extensions;
      const String key = case_sensitive ? Widen(extension) : Lower(Widen(extension));
      auto [it, inserted] = table.try_emplace(key, Glob{Widen(mime), weight});
      if (!inserted && weight > it->second.weight) it->second = Glob{Widen(mime), weight};
    });
  }

  // "alias canonical" and "child parent" lines; lines other than ASCII are left out, lines
  // without the shape "type/subtype type/subtype" noted in `bad`.
  static void AddPairs(std::string_view text, BadLines& bad,
                       const std::function<void(String, String)>& add) {
    ForEachLine(text, [&](std::string_view line, std::size_t number) {
      if (!IsAscii(line)) return;
      const std::size_t space = line.find(' ');
      if (space == line.npos) return bad.Note(number);
      const std::string_view first = line.substr(0, space);
      const std::string_view second = line.substr(space + 1);
      if (first.find('/') == first.npos || second.find('/') == second.npos) {
        return bad.Note(number);
      }
      add(Widen(first), Widen(second));
    });
  }
};

}  // namespace

struct TypeDatabase::Index {
  std::vector<std::shared_ptr<UniformType>> types;
  Table<std::size_t> by_identifier;              // lower case
  Table<std::vector<std::size_t>> by_extension;  // lower case
  Table<std::size_t> by_case_sensitive_extension;
  Table<std::vector<std::size_t>> by_mime;  // MimeKey
  Table<String> aliases;                    // MimeKey -> MimeKey
  std::size_t built_in_extensions = 0;
  // While building: the next number to try for each dynamic identifier already handed out.
  Table<unsigned> next_number;

  const std::size_t* Find(std::u16string_view identifier) const {
    const auto it = by_identifier.find(Lower(identifier));
    return it == by_identifier.end() ? nullptr : &it->second;
  }

  const std::vector<std::size_t>* FindMime(std::u16string_view mime) const {
    String key = MimeKey(mime);
    auto it = by_mime.find(key);
    if (it == by_mime.end()) {
      const auto alias = aliases.find(key);
      if (alias != aliases.end()) it = by_mime.find(alias->second);
    }
    return it == by_mime.end() ? nullptr : &it->second;
  }

  std::size_t Add(std::shared_ptr<UniformType> type) {
    const std::size_t at = types.size();
    by_identifier.emplace(Lower(type->identifier_), at);
    for (const String& mime : type->mime_types_) by_mime[MimeKey(mime)].push_back(at);
    types.push_back(std::move(type));
    return at;
  }

  void AddTable() {
    types.reserve(std::size(kTable));
    for (const Row& row : kTable) {
      auto type = std::make_shared<UniformType>();
      type->identifier_ = Widen(row.identifier);
      type->parents_ = Words(row.parents);
      type->extensions_ = Words(row.extensions);
      for (String& extension : type->extensions_) extension = Lower(extension);
      type->mime_types_ = Words(row.mime_types);
      const std::size_t at = Add(type);
      for (const String& extension : type->extensions_) by_extension[extension].push_back(at);
    }
    built_in_extensions = by_extension.size();
  }

  // The dynamic identifier of a MIME type, unique in this database: the plain form, else the
  // first of "-2", "-3", ... after it that is free.
  String DynamicIdentifier(std::u16string_view mime) {
    String id = u"dyn.mime.";
    for (char16_t c : Lower(mime)) {
      const bool keep = ascii::IsAlnum(c) || c == u'-' || c == u'.';
      id += keep ? c : c == u'/' ? u'.' : u'-';
    }
    if (Find(id) == nullptr) return id;
    // Identifiers are never taken back, so the numbers below the last one handed out for this
    // form stay taken: the count goes on from there instead of trying each again.
    unsigned& n = next_number.try_emplace(id, 2u).first->second;
    String unique;
    do {
      unique = id + u'-' + Widen(std::to_string(n++));
    } while (Find(unique) != nullptr);
    return unique;
  }

  // The type for a MIME type of shared-mime-info: the table's when it lists the MIME type (or
  // its canonical name), else a dynamic type made on first need.
  std::size_t TypeForMime(const String& mime) {
    if (const std::vector<std::size_t>* found = FindMime(mime)) return found->front();
    auto type = std::make_shared<UniformType>();
    type->identifier_ = DynamicIdentifier(mime);
    type->mime_types_.push_back(mime);
    type->dynamic_ = true;
    type->parents_.emplace_back(u"public.data");
    static constexpr std::pair<std::u16string_view, std::u16string_view> kMedia[] = {
        {u"image/", u"public.image"}, {u"audio/", u"public.audio"},
        {u"video/", u"public.movie"}, {u"text/", u"public.text"},
        {u"font/", u"public.font"},   {u"model/", u"public.3d-content"}};
    const String key = MimeKey(mime);
    for (const auto& [prefix, parent] : kMedia) {
      if (key.compare(0, prefix.size(), prefix) == 0) type->parents_.emplace_back(parent);
    }
    return Add(std::move(type));
  }

  // Adds to a dynamic type the nearest types of the MIME types it is a subclass of (by
  // shared-mime-info's subclass lines, stepping over MIME types that have no type). The walk
  // visits each MIME type once, so a cycle of subclass lines ends where it closes, and it stops
  // after kMaxWalk MIME types or kMaxDepth lines from the type.
  void AddSubclassParents(UniformType& type, const SharedMimeInfo& info) {
    const String key = MimeKey(type.mime_types_.front());
    std::vector<std::pair<String, int>> pending{{key, 0}};
    KeySet seen{key};
    while (!pending.empty()) {
      auto [child, depth] = std::move(pending.back());
      pending.pop_back();
      const auto parents = info.subclasses.find(child);
      if (parents == info.subclasses.end() || depth == kMaxDepth) continue;
      for (const String& parent : parents->second) {
        if (seen.size() >= kMaxWalk) return;
        const String parent_key = MimeKey(parent);
        if (!seen.insert(parent_key).second) continue;
        if (const std::vector<std::size_t>* found = FindMime(parent_key)) {
          const String& id = types[found->front()]->identifier_;
          if (std::find(type.parents_.begin(), type.parents_.end(), id) == type.parents_.end()) {
            type.parents_.push_back(id);
          }
        } else {
          pending.emplace_back(parent_key, depth + 1);
        }
      }
    }
  }

  void AddSharedMimeInfo(const SharedMimeInfo& info) {
    for (const auto& [alias, canonical] : info.aliases) aliases.emplace(alias, MimeKey(canonical));
    // Every MIME type of the globs gets a type, also one whose extensions the table answers for,
    // so that it can be asked for by MIME type.
    const std::size_t first_dynamic = types.size();
    for (const String& mime : info.mime_types) TypeForMime(mime);
    for (std::size_t i = first_dynamic; i < types.size(); ++i) {
      AddSubclassParents(*types[i], info);
    }
    for (const auto& [extension, glob] : info.extensions) {
      if (by_extension.count(extension) != 0) continue;  // the table answers for it
      const std::size_t at = TypeForMime(glob.mime);
      by_extension[extension].push_back(at);
      if (types[at]->dynamic_) types[at]->extensions_.push_back(extension);
    }
    for (const auto& [extension, glob] : info.case_sensitive_extensions) {
      if (by_extension.count(Lower(extension)) != 0) continue;
      const std::size_t at = TypeForMime(glob.mime);
      by_case_sensitive_extension.emplace(extension, at);
      if (types[at]->dynamic_) types[at]->extensions_.push_back(extension);
    }
  }

  // Resolves the parents' names and records the ancestry of every type, itself included. A
  // parent the database does not know is ignored. A parent that would close a cycle (one that
  // already conforms to the type) is refused and dropped from the type's parents, so that no two
  // types conform to each other. Ancestors lie at most kMaxDepth steps away, nearest first, and
  // at most kMaxAncestors are recorded: the bounds keep the work per type fixed, where whole
  // ancestries of a long chain would grow with the square of its length.
  void ComputeAncestry() {
    std::vector<std::vector<std::size_t>> parents(types.size());
    std::vector<std::size_t> mark(types.size(), SIZE_MAX);
    std::vector<std::pair<std::size_t, int>> queue;
    // The types `from` conforms to through `parents`, nearest first, into `queue`; `visit`
    // returns false to stop early. `walk` tells one walk's marks from another's.
    std::size_t walk = 0;
    const auto ancestors = [&](std::size_t from, auto visit) {
      ++walk;
      queue.clear();
      queue.emplace_back(from, 0);
      mark[from] = walk;
      for (std::size_t k = 0; k < queue.size(); ++k) {
        const auto [at, depth] = queue[k];
        if (!visit(at)) return;
        if (depth == kMaxDepth) continue;
        for (std::size_t parent : parents[at]) {
          if (queue.size() == kMaxAncestors) break;
          if (mark[parent] == walk) continue;
          mark[parent] = walk;
          queue.emplace_back(parent, depth + 1);
        }
      }
    };
    for (std::size_t i = 0; i < types.size(); ++i) {
      std::vector<String>& names = types[i]->parents_;
      std::size_t kept = 0;
      for (std::size_t n = 0; n < names.size(); ++n) {
        const std::size_t* at = Find(names[n]);
        bool refused = false;
        if (at != nullptr) {
          ancestors(*at, [&](std::size_t ancestor) { return !(refused = ancestor == i); });
          if (!refused &&
              std::find(parents[i].begin(), parents[i].end(), *at) == parents[i].end()) {
            parents[i].push_back(*at);
          }
        }
        if (refused) continue;
        if (kept != n) names[kept] = std::move(names[n]);
        ++kept;
      }
      names.resize(kept);
    }
    for (std::size_t i = 0; i < types.size(); ++i) {
      ancestors(i, [](std::size_t) { return true; });
      std::vector<std::size_t> found;
      found.reserve(queue.size());
      for (const auto& [at, depth] : queue) found.push_back(at);
      std::sort(found.begin(), found.end());
      types[i]->ancestry_ = std::move(found);
    }
    next_number.clear();
  }

  bool Conforms(std::size_t type, std::size_t parent) const {
    const auto& ancestry = types[type]->ancestry_;
    return std::binary_search(ancestry.begin(), ancestry.end(), parent);
  }

  // The first candidate conforming to `conforming_to` (any when it is empty); null when none.
  const UniformType* Pick(const std::vector<std::size_t>& candidates,
                          std::u16string_view conforming_to) const {
    const std::size_t* parent = nullptr;
    if (!conforming_to.empty()) {
      parent = Find(conforming_to);
      if (parent == nullptr) return nullptr;
    }
    for (std::size_t candidate : candidates) {
      if (parent == nullptr || Conforms(candidate, *parent)) return types[candidate].get();
    }
    return nullptr;
  }
};

namespace {

std::unique_ptr<TypeDatabase::Index> Build(const std::vector<std::string>* data_dirs,
                                           std::vector<SkippedFile>* skipped) {
  auto index = std::make_unique<TypeDatabase::Index>();
  index->AddTable();
  if (data_dirs != nullptr) {
    SharedMimeInfo info;
    for (const std::string& dir : *data_dirs) {
      if (dir.empty()) continue;
      const std::string base = dir + (dir.back() == '/' ? "mime/" : "/mime/");
      if (auto globs = ReadDatabaseFile(base + "globs2", skipped)) {
        BadLines bad;
        info.AddGlobs(*globs, bad);
        bad.Report(base + "globs2", skipped);
      }
      if (auto aliases = ReadDatabaseFile(base + "aliases", skipped)) {
        BadLines bad;
        SharedMimeInfo::AddPairs(*aliases, bad, [&](String alias, String canonical) {
          info.aliases.emplace(MimeKey(alias), std::move(canonical));  // earlier dir wins
        });
        bad.Report(base + "aliases", skipped);
      }
      if (auto subclasses = ReadDatabaseFile(base + "subclasses", skipped)) {
        BadLines bad;
        SharedMimeInfo::AddPairs(*subclasses, bad, [&](String child, String parent) {
          std::vector<String>& parents = info.subclasses[MimeKey(child)];
          if (parents.size() < kMaxParentsPerMime &&
              std::find(parents.begin(), parents.end(), parent) == parents.end()) {
            parents.push_back(std::move(parent));
          }
        });
        bad.Report(base + "subclasses", skipped);
      }
    }
    index->AddSharedMimeInfo(info);
  }
  index->ComputeAncestry();
  return index;
}

// Where shared-mime-info lives, by the XDG base directory rules: the user's directory first.
std::vector<std::string> XdgDataDirs() {
  std::vector<std::string> dirs;
  if (const char* home = std::getenv("XDG_DATA_HOME"); home != nullptr && *home != '\0') {
    dirs.emplace_back(home);
  } else if (const char* user = std::getenv("HOME"); user != nullptr && *user != '\0') {
    dirs.emplace_back(std::string(user) + "/.local/share");
  }
  const char* system = std::getenv("XDG_DATA_DIRS");
  std::string_view rest =
      system != nullptr && *system != '\0' ? system : "/usr/local/share/:/usr/share/";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    if (colon != 0) dirs.emplace_back(rest.substr(0, colon));
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return dirs;
}

}  // namespace

TypeDatabase::TypeDatabase(std::unique_ptr<Index> index) noexcept : index_(std::move(index)) {}
TypeDatabase::~TypeDatabase() = default;

const TypeDatabase& TypeDatabase::BuiltIn() noexcept {
  // Never destroyed, so that it stays usable from other statics' destructors. When memory runs
  // out while it is built it stays empty and answers nothing.
  static const TypeDatabase* const database = [] {
    std::unique_ptr<Index> index;
    try {
      index = Build(nullptr, nullptr);
    } catch (...) {
      index.reset();
    }
    return new TypeDatabase(std::move(index));
  }();
  return *database;
}

const TypeDatabase& TypeDatabase::Default() noexcept {
  static const TypeDatabase* const database = []() -> const TypeDatabase* {
    try {
      const std::vector<std::string> dirs = XdgDataDirs();
      return new TypeDatabase(Build(&dirs, nullptr));
    } catch (...) {
      return &BuiltIn();
    }
  }();
  return *database;
}

std::shared_ptr<const TypeDatabase> TypeDatabase::WithSharedMimeInfo(
    const std::vector<std::string>& data_dirs) noexcept {
  return WithSharedMimeInfo(data_dirs, nullptr);
}

std::shared_ptr<const TypeDatabase> TypeDatabase::WithSharedMimeInfo(
    const std::vector<std::string>& data_dirs, std::vector<SkippedFile>* skipped) noexcept {
  try {
    if (skipped != nullptr) skipped->clear();
    return std::shared_ptr<const TypeDatabase>(new TypeDatabase(Build(&data_dirs, skipped)));
  } catch (...) {
    return nullptr;
  }
}

TypeRef TypeDatabase::TypeWithIdentifier(std::u16string_view identifier) const noexcept {
  if (!index_) return nullptr;
  try {
    const std::size_t* at = index_->Find(identifier);
    return at == nullptr ? nullptr : index_->types[*at];
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

const UniformType* TypeDatabase::TypeForTag(TagClass tag_class, std::u16string_view tag,
                                            std::u16string_view conforming_to) const noexcept {
  if (!index_ || tag.empty()) return nullptr;
  try {
    if (tag_class == TagClass::kMIMEType) {
      const std::vector<std::size_t>* found = index_->FindMime(tag);
      return found == nullptr ? nullptr : index_->Pick(*found, conforming_to);
    }
    const auto found = index_->by_extension.find(Lower(tag));
    if (found != index_->by_extension.end()) return index_->Pick(found->second, conforming_to);
    const auto exact = index_->by_case_sensitive_extension.find(String(tag));
    if (exact == index_->by_case_sensitive_extension.end()) return nullptr;
    return index_->Pick({exact->second}, conforming_to);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::optional<String> TypeDatabase::PreferredIdentifierForTag(
    TagClass tag_class, std::u16string_view tag, std::u16string_view conforming_to) const noexcept {
  const UniformType* type = TypeForTag(tag_class, tag, conforming_to);
  if (type == nullptr) return std::nullopt;
  try {
    return type->identifier();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<String> TypeDatabase::PreferredTagWithClass(std::u16string_view identifier,
                                                          TagClass tag_class) const noexcept {
  if (!index_) return std::nullopt;
  try {
    const std::size_t* at = index_->Find(identifier);
    if (at == nullptr) return std::nullopt;
    const UniformType& type = *index_->types[*at];
    const std::vector<String>& tags =
        tag_class == TagClass::kMIMEType ? type.mimeTypes() : type.filenameExtensions();
    if (tags.empty()) return std::nullopt;
    return tags.front();
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool TypeDatabase::ConformsTo(std::u16string_view identifier,
                              std::u16string_view parent) const noexcept {
  if (!index_) return false;
  try {
    const std::size_t* type = index_->Find(identifier);
    const std::size_t* ancestor = index_->Find(parent);
    return type != nullptr && ancestor != nullptr && index_->Conforms(*type, *ancestor);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::size_t TypeDatabase::BuiltInExtensionCount() const noexcept {
  return index_ ? index_->built_in_extensions : 0;
}

std::size_t TypeDatabase::ExtensionCount() const noexcept {
  return index_ ? index_->by_extension.size() + index_->by_case_sensitive_extension.size() : 0;
}

}  // namespace kelvane::platform
