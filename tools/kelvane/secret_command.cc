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
#include <string>

#include "kelvane/containers/archive.h"
#include "kelvane/containers/keychain.h"
#include "kelvane/platform/core/file_handle.h"
#include "kelvane/platform/store/sqlite_item_store.h"
#include "kelvane/text/utf8.h"
#include "tools/kelvane/command.h"

namespace kelvane::cli {
namespace {

struct SecretOptions {
  std::string name;
  std::string group;
  bool backup = false;
  bool sync = false;
  CLI::App* set = nullptr;
  CLI::App* get = nullptr;
  CLI::App* remove = nullptr;
} secret;

CLI::App* AddSecret(CLI::App& app) {
  CLI::App* root = app.add_subcommand(
      "secret", "secrets in the secure item store ($KELVANE_KEYCHAIN, else the user's store)");
  root->require_subcommand(1);
  secret.set = root->add_subcommand("set", "store standard input, byte for byte, as NAME");
  secret.set->add_option("NAME", secret.name, "the secret's name")->required();
  secret.set->add_flag("--backup", secret.backup, "allow the secret into backups");
  secret.set->add_flag("--sync", secret.sync, "mark the secret synchronizable");
  secret.set->add_option("--group", secret.group, "access group shared between applications");
  secret.get = root->add_subcommand("get", "write the secret NAME to standard output");
  secret.get->add_option("NAME", secret.name, "the secret's name")->required();
  secret.get->add_option("--group", secret.group, "access group to look in");
  secret.remove = root->add_subcommand("delete", "remove the secret NAME");
  secret.remove->add_option("NAME", secret.name, "the secret's name")->required();
  return root;
}

OptionalString Group(const std::optional<String>& group) {
  return group ? OptionalString(*group) : std::nullopt;
}

int RunSecret() {
  const std::optional<String> name = StringFromUtf8(secret.name);
  if (!name || name->empty()) return Fail("the name must be non-empty UTF-8 text");
  std::optional<String> group;
  if (!secret.group.empty()) {
    group = StringFromUtf8(secret.group);
    if (!group) return Fail("the access group must be UTF-8 text");
  }
  if (platform::DefaultItemStore() == nullptr) {
    return Fail("cannot open the secure store (set KELVANE_KEYCHAIN, XDG_DATA_HOME or HOME)");
  }
  if (secret.set->parsed()) {
    const Data value((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    if (value.empty()) return Fail("nothing to store: standard input was empty");
    if (!SKeychain::KeychainSave(*name, &value, secret.backup, secret.sync, Group(group))) {
      return Fail("the store refused the secret " + secret.name);
    }
    return 0;
  }
  if (secret.get->parsed()) {
    const std::optional<Data> value = SKeychain::KeychainLoad(*name, Group(group));
    if (!value) return Fail("no secret named " + secret.name);
    std::cout.write(reinterpret_cast<const char*>(value->data()),
                    static_cast<std::streamsize>(value->size()));
    return std::cout.flush() ? 0 : Fail("cannot write to standard output");
  }
  if (!SKeychain::KeychainDelete(*name, std::nullopt))
    return Fail("no secret named " + secret.name);
  return 0;
}

struct CertOptions {
  std::string file;
  std::string label;
} cert;

CLI::App* AddCert(CLI::App& app) {
  CLI::App* sub =
      app.add_subcommand("cert", "print the attributes a DER certificate is stored with");
  sub->add_option("FILE", cert.file, "certificate, DER encoded")->required();
  sub->add_option("--label", cert.label, "label to store it under")->required();
  return sub;
}

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

int RunCert() {
  const platform::Result<Data> der =
      platform::ReadRegularFile(cert.file, platform::Certificate::kMaxBytes);
  if (!der) return Fail("cannot read " + cert.file + ": " + der.error().message);
  const auto certificate = platform::Certificate::CreateWithData(*der);
  if (certificate == nullptr) return Fail(cert.file + " is not one DER certificate");
  const std::optional<String> label = StringFromUtf8(cert.label);
  if (!label) return Fail("the label must be UTF-8 text");
  // Reading the attributes adds and removes the certificate: do it in a store of its own, so
  // that certificates the user keeps under this label are left alone.
  platform::SetDefaultItemStore(std::make_shared<platform::InMemoryItemStore>());
  const auto attributes = SKeychain::KeychainCertPropertiesCopy(certificate.get(), *label);
  platform::SetDefaultItemStore(nullptr);
  if (!attributes) return Fail("the store refused the certificate");
  PrintAttributes(std::cout, *attributes);
  return 0;
}

int DemoSecret(DemoContext& context) {
  std::ostream& out = context.out;
  const std::string path = (context.work_dir / "keychain.db").string();
  auto store = platform::SqliteItemStore::Open(path);
  if (store == nullptr) return Fail("cannot open a store at " + path);
  platform::SetDefaultItemStore(store);
  struct Restore {
    ~Restore() { platform::SetDefaultItemStore(nullptr); }
  } restore;

  const std::string token = "session-7f3a9c";
  const Data value(token.begin(), token.end());
  out << "Opened a scratch secure store at " << path << ".\n";
  if (!SKeychain::KeychainSave(u"demo.session", &value, false, false, std::nullopt)) {
    return Fail("save");
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
    return Fail("save again");
  }
  const auto loaded = SKeychain::KeychainLoad(u"demo.session", std::nullopt);
  if (!loaded) return Fail("load");
  out << "Replaced it, now synchronizable, and loaded it back: \""
      << std::string(loaded->begin(), loaded->end()) << "\".\n";
  const bool deleted = SKeychain::KeychainDelete(u"demo.session", std::nullopt);
  out << "Deleted it: " << (deleted ? "yes" : "no") << "; loading it now gives "
      << (SKeychain::KeychainLoad(u"demo.session", std::nullopt) ? "a value" : "nil") << ".\n";
  return deleted ? 0 : Fail("delete");
}

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
  std::string symbol;
  double price = 0;
  bool above = false;
  CLI::App* write = nullptr;
} archive_options;

CLI::App* AddArchive(CLI::App& app) {
  CLI::App* root = app.add_subcommand("archive", "price alerts as keyed archives");
  root->require_subcommand(1);
  archive_options.write = root->add_subcommand("write", "archive a price alert into FILE");
  archive_options.write->add_option("FILE", archive_options.file, "archive to write")->required();
  archive_options.write->add_option("--symbol", archive_options.symbol, "instrument")->required();
  archive_options.write->add_option("--price", archive_options.price, "alert price")->required();
  archive_options.write->add_flag("--above", archive_options.above, "alert when above the price");
  CLI::App* read = root->add_subcommand("read", "print the price alert archived in FILE");
  read->add_option("FILE", archive_options.file, "archive to read")->required();
  return root;
}

void PrintAlert(std::ostream& out, const Alert& alert) {
  out << Utf8(alert.symbol) << (alert.above ? " above " : " below ") << alert.price << ", created "
      << alert.created << ", " << alert.channels.size() << " channels";
}

int RunArchive() {
  if (!alert_registered) return Fail("cannot register the alert class");
  if (archive_options.write->parsed()) {
    Alert alert;
    const std::optional<String> symbol = StringFromUtf8(archive_options.symbol);
    if (!symbol) return Fail("the symbol must be UTF-8 text");
    alert.symbol = *symbol;
    alert.price = archive_options.price;
    alert.above = archive_options.above;
    alert.created = static_cast<std::int64_t>(std::time(nullptr));
    const std::optional<Data> bytes = Archive::archive(alert);
    if (!bytes) return Fail("the alert could not be archived");
    std::ofstream file(archive_options.file, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes->data()),
               static_cast<std::streamsize>(bytes->size()));
    return file ? 0 : Fail("cannot write " + archive_options.file);
  }
  std::ifstream in(archive_options.file, std::ios::binary);
  if (!in) return Fail("cannot open " + archive_options.file);
  const Data bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto alert = Archive::loadFromArchive<Alert>(&bytes);
  if (alert == nullptr) return Fail(archive_options.file + " holds no archived price alert");
  PrintAlert(std::cout, *alert);
  std::cout << '\n';
  return 0;
}

int DemoArchive(DemoContext& context) {
  std::ostream& out = context.out;
  if (!alert_registered) return Fail("cannot register the alert class");
  Alert alert;
  alert.symbol = u"EURUSD";
  alert.price = 1.0925;
  alert.above = true;
  alert.created = 1700000000;
  alert.channels = {u"push", u"mail"};
  const std::optional<Data> bytes = Archive::archive(alert);
  if (!bytes) return Fail("archive");
  out << "Archived a price alert: " << bytes->size() << " bytes, starting "
      << HexBytes(bytes->data(), bytes->size(), 8) << " (\""
      << std::string(bytes->begin(), bytes->begin() + 8) << "\", a keyed archive).\n";
  const auto back = Archive::loadFromArchive<Alert>(&*bytes);
  if (back == nullptr) return Fail("load");
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

const Registrar secret_registrar({"secret", AddSecret, RunSecret, DemoSecret, 150});
const Registrar cert_registrar({"cert", AddCert, RunCert, nullptr, 0});
const Registrar archive_registrar({"archive", AddArchive, RunArchive, DemoArchive, 151});

}  // namespace
}  // namespace kelvane::cli
