// SPDX-License-Identifier: Apache-2.0
// `kelvane secret set|get|delete`: secrets in the secure item store (the user's store, or the
// one KELVANE_KEYCHAIN names). `kelvane cert FILE.der --label L`: a certificate's attributes.
// `kelvane archive write|read FILE`: a price alert as a keyed archive.
// Demo steps: a secret saved, loaded and deleted in a scratch store; an object archived and
// read back.
#include <sys/stat.h>

#include <ctime>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>

#include "kelvane/containers/archive.h"
#include "kelvane/containers/keychain.h"
#include "kelvane/platform/crypto/certificate.h"
#include "kelvane/platform/store/sqlite_item_store.h"
#include "tools/kelvane/checks.h"
#include "tools/kelvane/commands.h"
#include "tools/kelvane/files.h"
#include "tools/kelvane/messages.h"

namespace kelvane::cli {
namespace {

struct SecretOptions {
  std::string name;
  std::string group;
  bool backup = false;
  bool sync = false;
};

enum class SecretAction { kSet, kGet, kDelete };

OptionalString Group(const std::optional<String>& group) {
  return group ? OptionalString(*group) : std::nullopt;
}

// The limits of a store, as the tool words them.
const std::string kValueLimit = "the limit of 1 MiB a secret may hold";
static_assert(platform::kMaxItemValueBytes == 1 << 20);
const std::string kNameLimit = "the limit of 32768 UTF-16 units";
static_assert(platform::kMaxItemAttributeBytes / sizeof(char16_t) == 32768);

// Standard input, refused past the most a secret may hold without reading further.
Data ReadSecretValue() {
  Data value;
  char buffer[64 << 10];
  while (std::cin.read(buffer, sizeof(buffer)) || std::cin.gcount() > 0) {
    value.insert(value.end(), buffer, buffer + std::cin.gcount());
    if (value.size() > platform::kMaxItemValueBytes) {
      throw Failure("standard input: more than " + kValueLimit);
    }
  }
  if (std::cin.bad()) throw Failure("standard input: cannot be read");
  return value;
}

// Why the store gave `status` for the secret `name`, after "secret ACTION: ".
std::string Why(platform::ItemStatus status, const std::string& name) {
  const std::string quoted = "'" + Printable(name) + "'";
  switch (status) {
    case platform::ItemStatus::kNotFound:
      return "no secret named " + quoted;
    case platform::ItemStatus::kTooLarge:
      return "the secret " + quoted + " in the store is over " + kValueLimit +
             ", so it is not read";
    case platform::ItemStatus::kSuccess:  // it changed between the two calls
    case platform::ItemStatus::kDuplicate:
    case platform::ItemStatus::kBadParameter:
    case platform::ItemStatus::kIO:
      break;
  }
  return "the store could not be read or written for the secret " + quoted;
}

int RunSecret(const SecretOptions& o, SecretAction action) {
  const String name = Text(o.name, "the name must be non-empty UTF-8 text");
  if (name.empty()) throw UsageError("the name must be non-empty UTF-8 text");
  if (name.size() * sizeof(char16_t) > platform::kMaxItemAttributeBytes) {
    throw UsageError("the name is over " + kNameLimit);
  }
  std::optional<String> group;
  if (!o.group.empty()) {
    group = Text(o.group, "the access group must be UTF-8 text");
    if (group->size() * sizeof(char16_t) > platform::kMaxItemAttributeBytes) {
      throw UsageError("the access group is over " + kNameLimit);
    }
  }
  // The value is read and checked first: a refused one leaves no new store behind.
  const Data value = action == SecretAction::kSet ? ReadSecretValue() : Data();
  if (action == SecretAction::kSet && value.empty()) {
    throw Failure("standard input: empty, so there is nothing to store");
  }
  const auto store = platform::TryDefaultItemStore();
  if (!store) throw Failure("secure store: " + Reason(store.error().message));
  // The secrets of the name the keychain operations act on, for asking the store why one failed.
  platform::ItemQuery query;
  query.account = name;
  query.access_group = group;
  query.synchronizable = platform::SyncMatch::kAny;
  switch (action) {
    case SecretAction::kSet: {
      if (!SKeychain::KeychainSave(name, &value, o.backup, o.sync, Group(group))) {
        throw Failure("secret set: the store could not save the secret '" + Printable(o.name) +
                      "'");
      }
      std::cout << "stored the secret '" << Printable(o.name) << "' (" << ShownSize(value.size())
                << ")\n";
      return 0;
    }
    case SecretAction::kGet: {
      const std::optional<Data> value = SKeychain::KeychainLoad(name, Group(group));
      if (!value) {
        throw Failure("secret get: " + Why((*store)->CopyMatching(query, nullptr), o.name));
      }
      std::cout.write(reinterpret_cast<const char*>(value->data()),
                      static_cast<std::streamsize>(value->size()));
      return 0;
    }
    case SecretAction::kDelete:
      if (!SKeychain::KeychainDelete(name, std::nullopt)) {
        query.access_group.reset();
        const platform::ItemStatus status = (*store)->CopyMatching(query, nullptr);
        // A secret still there, or one that cannot be read, was not removed.
        throw Failure("secret delete: " +
                      (status == platform::ItemStatus::kSuccess
                           ? "the store could not remove the secret '" + Printable(o.name) + "'"
                           : Why(status, o.name)));
      }
      return 0;
  }
  return 0;
}

struct CertOptions {
  std::string file;
  std::string label;
};

void PrintAttributes(std::ostream& out, const platform::ItemAttributes& a) {
  out << "label:                  " << (a.label ? Utf8(*a.label) : "(none)") << '\n'
      << "subject:                " << HexBytes(a.subject.data(), a.subject.size(), 48) << '\n'
      << "issuer:                 " << HexBytes(a.issuer.data(), a.issuer.size(), 48) << '\n'
      << "serial number:          " << HexBytes(a.serial_number.data(), a.serial_number.size())
      << '\n'
      << "subject key identifier: "
      << (a.subject_key_id.empty() ? "(none)"
                                   : HexBytes(a.subject_key_id.data(), a.subject_key_id.size()))
      << '\n'
      << "public key hash:        " << HexBytes(a.public_key_hash.data(), a.public_key_hash.size())
      << '\n'
      << "certificate type:       " << a.certificate_type << " (X.509 v" << a.certificate_type
      << ")\n"
      << "certificate encoding:   " << a.certificate_encoding << " (DER)\n";
}

int RunCert(const CertOptions& o) {
  const Data der = ReadInput(o.file, platform::Certificate::kMaxBytes);
  const auto certificate = platform::Certificate::CreateWithData(der);
  if (certificate == nullptr) throw Failure(o.file + ": not one DER certificate");
  const String label = Text(o.label, "the label must be UTF-8 text");
  // Reading the attributes adds and removes the certificate: do it in a store of its own, so
  // that certificates the user keeps under this label are left alone.
  platform::SetDefaultItemStore(std::make_shared<platform::InMemoryItemStore>());
  const auto attributes = SKeychain::KeychainCertPropertiesCopy(certificate.get(), label);
  platform::SetDefaultItemStore(nullptr);
  if (!attributes) throw Failure("cert: the store refused the certificate");
  PrintAttributes(std::cout, *attributes);
  return 0;
}

}  // namespace

void AddSecret(Tool& tool) {
  CLI::App* root = tool.app.add_subcommand(
      "secret", "secrets in the secure item store ($KELVANE_KEYCHAIN, else the user's store)");
  root->require_subcommand(1);
  auto o = std::make_shared<SecretOptions>();
  CLI::App* set = root->add_subcommand("set", "store standard input, byte for byte, as NAME");
  set->add_option("NAME", o->name, "the secret's name")->required();
  set->add_flag("--backup", o->backup, "allow the secret into backups");
  set->add_flag("--sync", o->sync, "mark the secret synchronizable");
  set->add_option("--group", o->group, "access group shared between applications");
  tool.Runs(set, [o] { return RunSecret(*o, SecretAction::kSet); });
  CLI::App* get = root->add_subcommand("get", "write the secret NAME to standard output");
  get->add_option("NAME", o->name, "the secret's name")->required();
  get->add_option("--group", o->group, "access group to look in");
  tool.Runs(get, [o] { return RunSecret(*o, SecretAction::kGet); });
  CLI::App* remove = root->add_subcommand("delete", "remove the secret NAME");
  remove->add_option("NAME", o->name, "the secret's name")->required();
  tool.Runs(remove, [o] { return RunSecret(*o, SecretAction::kDelete); });
}

void AddCert(Tool& tool) {
  CLI::App* sub =
      tool.app.add_subcommand("cert", "print the attributes a DER certificate is stored with");
  auto o = std::make_shared<CertOptions>();
  sub->add_option("FILE", o->file, "certificate, DER encoded")->required()->type_name("FILE");
  sub->add_option("--label", o->label, "label to store it under")->required();
  tool.Runs(sub, [o] { return RunCert(*o); });
}

int DemoSecret(DemoContext& context) {
  std::ostream& out = context.out;
  const std::string path = (context.work_dir / "keychain.db").string();
  auto store = platform::SqliteItemStore::TryOpen(path);
  if (!store) return Fail(path + ": " + Reason(store.error().message));
  platform::SetDefaultItemStore(std::move(store).value());
  struct Restore {
    ~Restore() { platform::SetDefaultItemStore(nullptr); }
  } restore;

  const std::string token = "session-7f3a9c";
  const Data value(token.begin(), token.end());
  out << "Opened a scratch secure store at " << path << ".\n";
  if (!SKeychain::KeychainSave(u"demo.session", &value, false, false, std::nullopt)) {
    throw Failure("secret: save");
  }
  struct stat st {};
  ::stat(path.c_str(), &st);
  out << "Saved the secret \"" << token << "\" as demo.session (this device only); database mode "
      << std::oct << (st.st_mode & 0777) << std::dec << ", key file "
      << platform::SqliteItemStore::KeyPath(path).substr(context.work_dir.string().size() + 1)
      << ".\n";
  std::ifstream file(path + "-wal", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  out << "The secret's bytes appear in the database files: "
      << (bytes.find(token) == std::string::npos ? "no (sealed)" : "YES") << ".\n";
  const std::string newer = "session-81be02";
  const Data newer_value(newer.begin(), newer.end());
  if (!KeychainAccess::save(u"demo.session", &newer_value, std::nullopt, true, true)) {
    return Fail("secret: the store refused to replace the secret");
  }
  const auto loaded = SKeychain::KeychainLoad(u"demo.session", std::nullopt);
  if (!loaded) return Fail("secret: the secret saved cannot be loaded");
  out << "Replaced it, now synchronizable, and loaded it back: \""
      << std::string(loaded->begin(), loaded->end()) << "\".\n";
  const bool deleted = SKeychain::KeychainDelete(u"demo.session", std::nullopt);
  out << "Deleted it: " << (deleted ? "yes" : "no") << "; loading it now gives "
      << (SKeychain::KeychainLoad(u"demo.session", std::nullopt) ? "a value" : "nil") << ".\n";
  return deleted ? 0 : Fail("secret: the secret cannot be deleted");
}

namespace {

// A small object that archives itself, as an application's model object would.
class Alert : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "PriceAlert";
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver& coder) const override {
    coder.EncodeString("symbol", symbol);
    coder.EncodeDouble("price", price);
    coder.EncodeBool("above", above);
    coder.EncodeInt64("created", created);
    coder.EncodeValue("channels", channels);
  }
  static platform::CodableRef Decode(platform::KeyedUnarchiver& coder) {
    auto alert = std::make_shared<Alert>();
    const auto symbol = coder.DecodeString("symbol");
    const auto price = coder.DecodeDouble("price");
    if (!symbol || !price) return nullptr;
    alert->symbol = *symbol;
    alert->price = *price;
    alert->above = coder.DecodeBool("above").value_or(false);
    alert->created = coder.DecodeInt64("created").value_or(0);
    if (auto channels = coder.DecodeValue("channels");
        channels && channels->Get<platform::CodedArray>()) {
      alert->channels = *channels->Get<platform::CodedArray>();
    }
    return alert;
  }
  String symbol;
  double price = 0;
  bool above = false;
  std::int64_t created = 0;
  platform::CodedArray channels;
};

// Not an alert, for the class check.
class Other : public platform::Codable {
 public:
  static constexpr std::string_view kArchiveClassName = "DemoOther";
  std::string_view ClassName() const noexcept override { return kArchiveClassName; }
  void EncodeWithCoder(platform::KeyedArchiver&) const override {}
};

const bool alert_registered = platform::RegisterCodableClass("PriceAlert", {}, Alert::Decode);

struct ArchiveOptions {
  std::string file;
  OutputOption output;
  std::string symbol;
  double price = 0;
  bool above = false;
};

void PrintAlert(std::ostream& out, const Alert& alert) {
  out << Utf8(alert.symbol) << (alert.above ? " above " : " below ") << alert.price << ", created "
      << alert.created << ", " << alert.channels.size() << " channels";
}

int RunArchiveWrite(const ArchiveOptions& o) {
  if (!alert_registered) throw Failure("archive: cannot register the alert class");
  const std::string& path = o.output.Path();
  Alert alert;
  alert.symbol = Text(o.symbol, "the symbol must be UTF-8 text");
  alert.price = o.price;
  alert.above = o.above;
  alert.created = static_cast<std::int64_t>(std::time(nullptr));
  const platform::Result<Data> bytes = platform::TryArchiveRootObject(alert);
  if (!bytes) {
    throw Failure("archive write: the alert could not be archived: " +
                  Reason(bytes.error().message));
  }
  WriteOutput(path, *bytes);
  SayWritten(path);
  return 0;
}

int RunArchiveRead(const ArchiveOptions& o) {
  if (!alert_registered) throw Failure("archive: cannot register the alert class");
  const Data bytes = ReadInput(o.file);
  platform::Result<platform::CodableRef> object =
      platform::TryUnarchiveRootObject(bytes, Alert::kArchiveClassName);
  if (!object) {
    throw Failure(o.file + ": holds no archived price alert: " + Reason(object.error().message));
  }
  const auto alert = std::dynamic_pointer_cast<Alert>(*object);
  if (alert == nullptr) throw Failure(o.file + ": holds no archived price alert");
  PrintAlert(std::cout, *alert);
  std::cout << '\n';
  return 0;
}

}  // namespace

void AddArchive(Tool& tool) {
  CLI::App* root = tool.app.add_subcommand("archive", "price alerts as keyed archives");
  root->require_subcommand(1);
  auto o = std::make_shared<ArchiveOptions>();
  CLI::App* write = root->add_subcommand("write", "archive a price alert into a file");
  o->output.Add(write, "archive to write", true);
  write->add_option("--symbol", o->symbol, "instrument")->required();
  write->add_option("--price", o->price, "alert price")->required()->check(Number(-1e15, 1e15));
  write->add_flag("--above", o->above, "alert when above the price (default: below)");
  tool.Runs(write, [o] { return RunArchiveWrite(*o); });
  CLI::App* read = root->add_subcommand("read", "print the price alert archived in FILE");
  read->add_option("FILE", o->file, "archive to read")->required()->type_name("FILE");
  tool.Runs(read, [o] { return RunArchiveRead(*o); });
}

int DemoArchive(DemoContext& context) {
  std::ostream& out = context.out;
  if (!alert_registered) return Fail("archive: cannot register the alert class");
  Alert alert;
  alert.symbol = u"EURUSD";
  alert.price = 1.0925;
  alert.above = true;
  alert.created = 1700000000;
  alert.channels = {u"push", u"mail"};
  const std::optional<Data> bytes = Archive::archive(alert);
  if (!bytes) return Fail("archive: the alert could not be archived");
  out << "Archived a price alert: " << bytes->size() << " bytes, starting "
      << HexBytes(bytes->data(), bytes->size(), 8) << " (\""
      << std::string(bytes->begin(), bytes->begin() + 8) << "\", a keyed archive).\n";
  const auto back = Archive::loadFromArchive<Alert>(&*bytes);
  if (back == nullptr) return Fail("archive: the archive made cannot be read back");
  out << "Read it back: ";
  PrintAlert(out, *back);
  out << ".\n";
  out << "Read as another class it gives: "
      << (Archive::loadFromArchive<Other>(&*bytes) == nullptr ? "nil" : "an object") << ".\n";
  Data damaged = *bytes;
  damaged.resize(damaged.size() / 2);
  out << "Cut in half it gives: "
      << (Archive::loadFromArchive<Alert>(&damaged) == nullptr ? "nil" : "an object") << ".\n";
  return 0;
}

}  // namespace kelvane::cli
