#include "kelvane/containers/keychain.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>

#include "kelvane/platform/store/sqlite_item_store.h"
#include "kelvane/testing/items.h"
#include "kelvane/testing/temp_dir.h"

namespace kelvane {
namespace {

using platform::Accessibility;
using platform::ItemAttributes;
using platform::ItemQuery;
using platform::ItemStatus;
using platform::ItemUpdate;
using testing::For;

// Counts the calls that reach the store and can be told to refuse adds.
class RecordingStore final : public platform::ItemStore {
 public:
  ItemStatus Add(const ItemAttributes& item) noexcept override {
    return ++calls, fail_adds ? ItemStatus::kIO : inner.Add(item);
  }
  ItemStatus Update(const ItemQuery& q, const ItemUpdate& u) noexcept override {
    return ++calls, inner.Update(q, u);
  }
  ItemStatus CopyMatching(const ItemQuery& q, ItemAttributes* out) noexcept override {
    return ++calls, inner.CopyMatching(q, out);
  }
  ItemStatus Delete(const ItemQuery& q) noexcept override { return ++calls, inner.Delete(q); }
  ItemStatus Replace(const ItemQuery& q, const ItemAttributes& item) noexcept override {
    return ++calls, fail_adds ? ItemStatus::kIO : inner.Replace(q, item);
  }
  platform::InMemoryItemStore inner;
  int calls = 0;
  bool fail_adds = false;
};

class KeychainTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetDefaultItemStore(store_); }
  void TearDown() override { platform::SetDefaultItemStore(nullptr); }

  std::optional<ItemAttributes> Stored(const String& name) {
    ItemAttributes item;
    if (store_->inner.CopyMatching(For(name), &item) != ItemStatus::kSuccess) return std::nullopt;
    return item;
  }

  std::shared_ptr<RecordingStore> store_ = std::make_shared<RecordingStore>();
};

Data Bytes(std::string_view s) { return Data(s.begin(), s.end()); }

constexpr auto kBackup = Accessibility::kWhenUnlocked;
constexpr auto kDeviceOnly = Accessibility::kWhenUnlockedThisDeviceOnly;

// The password item a save should leave in the store.
ItemAttributes Saved(String name, Data value, std::optional<String> group, bool sync,
                     Accessibility accessible, std::optional<String> label = std::nullopt) {
  ItemAttributes item;
  item.account = std::move(name);
  item.access_group = std::move(group);
  item.synchronizable = sync;
  item.accessible = accessible;
  item.label = std::move(label);
  item.value = std::move(value);
  return item;
}

TEST_F(KeychainTest, SaveLoadDeleteAndTheirRefusals) {
  const Data secret = Bytes("s3cret");
  EXPECT_FALSE(SKeychain::KeychainLoad(u"token", std::nullopt));
  EXPECT_FALSE(SKeychain::KeychainDelete(u"token", std::nullopt));
  ASSERT_TRUE(SKeychain::KeychainSave(u"token", &secret, false, false, std::nullopt));
  EXPECT_EQ(SKeychain::KeychainLoad(u"token", std::nullopt), secret);
  EXPECT_EQ(Stored(u"token"), Saved(u"token", secret, std::nullopt, false, kDeviceOnly));

  // Refused before reaching the store.
  const int calls = store_->calls;
  const Data empty;
  for (const Data* bytes : {&empty, static_cast<const Data*>(nullptr)}) {
    EXPECT_FALSE(SKeychain::KeychainSave(u"token", bytes, true, false, std::nullopt));
  }
  for (OptionalString name : {OptionalString(u""), OptionalString()}) {
    EXPECT_FALSE(SKeychain::KeychainSave(name, &secret, true, false, std::nullopt));
    EXPECT_FALSE(SKeychain::KeychainLoad(name, std::nullopt));
    EXPECT_FALSE(SKeychain::KeychainDelete(name, std::nullopt));
  }
  EXPECT_EQ(store_->calls, calls);

  EXPECT_TRUE(KeychainAccess::delete_(u"token", std::nullopt));
  EXPECT_FALSE(KeychainAccess::load(u"token", std::nullopt));
  EXPECT_FALSE(KeychainAccess::delete_(u"token", std::nullopt));
}

TEST_F(KeychainTest, SaveUpdatesInPlaceOrReplacesAcrossTheSyncSetting) {
  const Data one = Bytes("one"), two = Bytes("two"), three = Bytes("three");
  ASSERT_TRUE(KeychainAccess::save(u"k", &one, u"group.a", true, false));
  // An attribute the save does not set survives an update in place.
  const ItemQuery query = For(u"k", platform::SyncMatch::kNo);
  ItemAttributes labelled = *Stored(u"k");
  labelled.label = u"kept";
  ASSERT_EQ(store_->inner.Replace(query, labelled), ItemStatus::kSuccess);
  ASSERT_TRUE(KeychainAccess::save(u"k", &two, u"group.a", false, false));
  EXPECT_EQ(Stored(u"k"), Saved(u"k", two, u"group.a", false, kDeviceOnly, u"kept"));

  // Switching to synchronizable finds no exact match: the old item gives way to the new one.
  ASSERT_TRUE(KeychainAccess::save(u"k", &three, u"group.a", false, true));
  // syncCloud implies backup.
  EXPECT_EQ(Stored(u"k"), Saved(u"k", three, u"group.a", true, kBackup));
  ASSERT_EQ(store_->inner.Delete(For(u"k")), ItemStatus::kSuccess);
  EXPECT_EQ(store_->inner.Delete(For(u"k")), ItemStatus::kNotFound);  // exactly one was left

  // Loads in and across groups; the short save form uses no group and no sync.
  EXPECT_FALSE(KeychainAccess::load(u"k", u"group.b"));
  ASSERT_TRUE(KeychainAccess::save(u"plain", &one, true));
  EXPECT_EQ(Stored(u"plain"), Saved(u"plain", one, std::nullopt, false, kBackup));
  EXPECT_EQ(KeychainAccess::load(u"plain", std::nullopt), one);
}

// Regression: a save that cannot add its new item must leave the old secret where it was.
TEST_F(KeychainTest, FailedReplacementKeepsTheOldSecret) {
  const Data old_secret = Bytes("old"), new_secret = Bytes("new");
  ASSERT_TRUE(SKeychain::KeychainSave(u"k", &old_secret, false, false, std::nullopt));
  store_->fail_adds = true;
  EXPECT_FALSE(SKeychain::KeychainSave(u"k", &new_secret, false, true, std::nullopt));
  EXPECT_EQ(SKeychain::KeychainLoad(u"k", std::nullopt), old_secret);
}

TEST_F(KeychainTest, CertificatePropertiesLeaveNothingStored) {
  std::ifstream in(std::string(KELVANE_TESTDATA_DIR) + "/certs/test.der", std::ios::binary);
  const Data der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto certificate = platform::Certificate::CreateWithData(der);
  ASSERT_NE(certificate, nullptr);
  EXPECT_FALSE(SKeychain::KeychainCertPropertiesCopy(certificate.get(), std::nullopt));
  EXPECT_FALSE(SKeychain::KeychainCertPropertiesCopy(nullptr, u"label"));

  const auto attributes = SKeychain::KeychainCertPropertiesCopy(certificate.get(), u"server");
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->item_class, platform::ItemClass::kCertificate);
  EXPECT_EQ(attributes->label, u"server");
  EXPECT_EQ(attributes->serial_number, (Data{0x00, 0xC0, 0xFF, 0xEE, 0x11, 0x22, 0x33, 0x44}));
  EXPECT_EQ(attributes->subject, certificate->subject());
  EXPECT_EQ(attributes->issuer, certificate->issuer());
  EXPECT_EQ(attributes->public_key_hash.size(), 20u);
  EXPECT_EQ(attributes->certificate_type, 3);
  EXPECT_EQ(attributes->certificate_encoding, 3);
  ItemQuery certificates = For(std::nullopt);
  certificates.item_class = platform::ItemClass::kCertificate;
  EXPECT_EQ(store_->inner.CopyMatching(certificates, nullptr), ItemStatus::kNotFound);
}

// ---- the file store under real processes ------------------------------------------------------

std::string Value(std::uint64_t seq) { return "value-" + std::to_string(seq); }
String Name(std::uint64_t seq) { return u"name-" + String(1, char16_t(u'0' + seq % 8)); }

// Saves seq, seq + 1, ... under eight names in turn, flipping the synchronizable setting on
// every round so that each save goes through the replacing path, and reports each save that
// returned true on `report`.
[[noreturn]] void SaveForever(const std::string& path, std::uint64_t seq, int report) {
  auto store = platform::SqliteItemStore::Open(path);
  if (store == nullptr) ::_exit(2);
  platform::SetDefaultItemStore(store);
  for (;; ++seq) {
    const Data value = Bytes(Value(seq));
    if (!SKeychain::KeychainSave(Name(seq), &value, false, (seq / 8) % 2 == 1, std::nullopt)) {
      ::_exit(3);
    }
    if (::write(report, &seq, sizeof(seq)) != sizeof(seq)) ::_exit(4);
  }
}

TEST(KeychainFileStore, SurvivesBeingKilledMidSave) {
  testing::TempDir dir;
  const std::string path = dir.File("keychain.db");
  ASSERT_NE(platform::SqliteItemStore::Open(path), nullptr);  // key file made once, up front
  std::mt19937 random(7);
  std::map<std::uint64_t, std::uint64_t> last;  // name index -> last reported seq
  std::uint64_t reported = 0;                   // highest seq reported so far
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(45);
  int kills = 0;
  for (; kills < 100 && std::chrono::steady_clock::now() < deadline; ++kills) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      SaveForever(path, reported + 1, fds[1]);
    }
    ::close(fds[1]);
    // Let the child finish at least one save, then kill it at a random moment.
    pollfd ready{fds[0], POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 10'000), 1) << "the child reported nothing";
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20'000));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    std::uint64_t seq;
    while (::read(fds[0], &seq, sizeof(seq)) == sizeof(seq)) {
      last[seq % 8] = seq;
      reported = std::max(reported, seq);
    }
    ::close(fds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exited with " << WEXITSTATUS(status);

    auto store = platform::SqliteItemStore::Open(path);
    ASSERT_NE(store, nullptr);
    ASSERT_TRUE(store->CheckIntegrity());
    platform::SetDefaultItemStore(store);
    // Each name holds its last reported value, or the value of the one save that may have
    // finished unreported (seq reported + 1).
    const std::uint64_t unreported = reported + 1;
    for (std::uint64_t n = 0; n < 8; ++n) {
      const auto loaded = SKeychain::KeychainLoad(Name(n), std::nullopt);
      const auto reported_value =
          last.count(n) ? std::optional<Data>(Bytes(Value(last[n]))) : std::nullopt;
      EXPECT_TRUE(loaded == reported_value ||
                  (unreported % 8 == n && loaded == Bytes(Value(unreported))))
          << "name " << n << " lost its reported save";
    }
    platform::SetDefaultItemStore(nullptr);
  }
  EXPECT_GE(kills, 20);
  EXPECT_GT(reported, static_cast<std::uint64_t>(kills));
}

// Two threads save and load their own names until the deadline; the number of failed
// operations.
int ChurnWithTwoThreads(const std::string& who, std::chrono::steady_clock::time_point deadline,
                        std::atomic<int>& operations) {
  std::atomic<int> failures = 0;
  auto churn = [&](const std::string& me) {
    for (int i = 0; std::chrono::steady_clock::now() < deadline; ++i, operations += 2) {
      const String name =
          u"churn-" + String(me.begin(), me.end()) + u"-" + String(1, char16_t(u'0' + i % 4));
      const Data value = Bytes(me + std::to_string(i));
      const bool saved = SKeychain::KeychainSave(name, &value, true, i % 3 == 0, std::nullopt);
      if (!saved || SKeychain::KeychainLoad(name, std::nullopt) != value) {
        ++failures;
        ADD_FAILURE() << me << ": round " << i << (saved ? " loaded another value" : " not saved");
      }
    }
  };
  std::thread a(churn, who + "a");
  churn(who + "b");
  a.join();
  return failures;
}

TEST(KeychainFileStore, TwoProcessesAndTwoThreadsNeverSeeABusyStore) {
  testing::TempDir dir;
  const std::string path = dir.File("shared.db");
  ASSERT_NE(platform::SqliteItemStore::Open(path), nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    auto store = platform::SqliteItemStore::Open(path);
    if (store == nullptr) ::_exit(100);
    platform::SetDefaultItemStore(store);
    std::atomic<int> operations = 0;
    const int failures = ChurnWithTwoThreads("child", deadline, operations);
    std::fflush(stdout);
    ::_exit(failures == 0 && operations > 0 ? 0 : std::min(failures + 1, 99));
  }
  auto store = platform::SqliteItemStore::Open(path);
  ASSERT_NE(store, nullptr);
  platform::SetDefaultItemStore(store);
  std::atomic<int> operations = 0;
  EXPECT_EQ(ChurnWithTwoThreads("parent", deadline, operations), 0);
  EXPECT_GT(operations.load(), 0);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed operations in the child (status 1 + failures)";
  EXPECT_TRUE(store->CheckIntegrity());
  platform::SetDefaultItemStore(nullptr);
}

}  // namespace
}  // namespace kelvane
