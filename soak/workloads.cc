// SPDX-License-Identifier: Apache-2.0
#include "soak/workloads.h"

#include <algorithm>
#include <any>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "kelvane/colours/color_cache.h"
#include "kelvane/colours/palette.h"
#include "kelvane/containers/keychain.h"
#include "kelvane/platform/dispatch/apply.h"
#include "kelvane/platform/dispatch/dispatch.h"
#include "kelvane/platform/store/sqlite_item_store.h"
#include "kelvane/runtime/notice.h"
#include "kelvane/runtime/timer.h"
#include "soak/picture_work.h"

namespace kelvane::soak {

using namespace std::chrono_literals;
using platform::Appearance;
using platform::QueueRef;

struct Fixtures {
  std::unique_ptr<PictureFixtures> pictures;
  std::shared_ptr<platform::SqliteItemStore> store;
  // Each palette role's light and dark value as first read.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> palette;
};

namespace {

// How long any one wait for queued work may take before it counts as lost: long, as the run
// shares two cores with a sanitizer's slowdown or other builds.
constexpr auto kLimit = 30s;

constexpr Kind kWorkerKinds[] = {
    Kind::kSerialQueue, Kind::kGlobalGroup,  Kind::kApply,       Kind::kDispatchBlock,
    Kind::kTimerSource, Kind::kGcdTimer,     Kind::kGcdBlock,    Kind::kTimerBlock,
    Kind::kMainQueue,   Kind::kNotice,       Kind::kColourCache, Kind::kPalette,
    Kind::kSecret,      Kind::kSharedSecret, Kind::kPng,         Kind::kJpeg,
    Kind::kResize,      Kind::kAvatar,       Kind::kEffect};

// Counts down from a number of expected events; Wait() until all came or the limit passed.
class Countdown {
 public:
  explicit Countdown(int count) : count_(count) {}
  void Done() {
    std::lock_guard lock(mutex_);
    if (--count_ == 0) changed_.notify_all();
  }
  [[nodiscard]] bool Wait() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kLimit, [this] { return count_ <= 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int count_;
};

// Polls `done` until it holds or the limit passes; whether it held.
template <typename F>
bool WaitFor(F done) {
  const auto end = std::chrono::steady_clock::now() + kLimit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(200us);
  }
  return true;
}

// Whether everything submitted to `queue` so far has run within the limit.
bool Drain(const QueueRef& queue) {
  auto done = std::make_shared<Countdown>(1);
  return queue->Async([done] { done->Done(); }) && done->Wait();
}

std::string SerialQueueInOrder(int worker) {
  const QueueRef queue = platform::CreateSerialQueue("soak.serial." + std::to_string(worker));
  if (queue == nullptr) return "CreateSerialQueue gave null";
  // Only the queue's blocks touch `order`: one at a time, each seeing the one before.
  auto order = std::make_shared<std::vector<int>>();
  auto off_queue = std::make_shared<std::atomic<int>>(0);
  static constexpr int kBlocks = 32;
  for (int i = 0; i < kBlocks; ++i) {
    if (!queue->Async([order, off_queue, q = queue.get(), i] {
          if (!q->IsCurrent()) ++*off_queue;
          order->push_back(i);
        }))
      return "Async refused a block";
  }
  auto done = std::make_shared<Countdown>(1);
  if (!queue->After(1ms, [order, done] {
        order->push_back(kBlocks);
        done->Done();
      }))
    return "After refused a block";
  if (!done->Wait()) return "the delayed block did not run";
  std::vector<int> expected(kBlocks + 1);
  std::iota(expected.begin(), expected.end(), 0);
  if (*order != expected) return "blocks ran out of submission order";
  if (*off_queue != 0) return "IsCurrent was false inside the queue's own block";
  return {};
}

std::string GlobalGroup() {
  const QueueRef global = platform::GlobalQueue();
  if (global == nullptr) return "GlobalQueue gave null";
  constexpr int kBlocks = 64;
  auto sum = std::make_shared<std::atomic<std::uint64_t>>(0);
  auto applied = std::make_shared<std::atomic<std::uint64_t>>(0);
  auto group = std::make_shared<Countdown>(kBlocks + 1);
  for (int i = 1; i <= kBlocks; ++i) {
    if (!global->Async([sum, group, i] {
          *sum += static_cast<std::uint64_t>(i);
          group->Done();
        }))
      return "Async refused a block";
  }
  // Parts applied from a pool thread: the caller takes parts itself, so it cannot wait on itself.
  if (!global->Async([applied, group] {
        platform::ApplyConcurrently(16, [&](std::size_t i) { *applied += i; });
        group->Done();
      }))
    return "Async refused the applying block";
  if (!group->Wait()) return "the group's blocks did not all run";
  if (*sum != kBlocks * (kBlocks + 1) / 2) return "sum " + std::to_string(sum->load());
  if (*applied != 120) return "applied sum " + std::to_string(applied->load());
  return {};
}

std::string Apply(std::mt19937_64& random) {
  const std::size_t count = 1 + random() % 96;
  std::vector<std::uint64_t> out(count, 0);
  platform::ApplyConcurrently(count, [&](std::size_t i) { out[i] = i * i + 1; });
  for (std::size_t i = 0; i < count; ++i)
    if (out[i] != i * i + 1) return "part " + std::to_string(i) + " of " + std::to_string(count);
  std::array<std::atomic<int>, 4> nested{};
  platform::ApplyConcurrently(
      4, [&](std::size_t i) { platform::ApplyConcurrently(8, [&](std::size_t) { ++nested[i]; }); });
  for (const auto& n : nested)
    if (n != 8) return "a nested apply ran " + std::to_string(n.load()) + " of 8 parts";
  return {};
}

std::string CancelledBlock(int worker) {
  const QueueRef queue =
      worker % 2 == 0 ? platform::GlobalQueue() : platform::CreateSerialQueue("soak.cancel");
  if (queue == nullptr) return "no queue";
  auto runs = std::make_shared<std::atomic<int>>(0);
  const platform::DispatchBlockRef later = platform::DispatchBlock::Create([runs] { ++*runs; });
  const platform::DispatchBlockRef now = platform::DispatchBlock::Create([runs] { *runs += 100; });
  if (later == nullptr || now == nullptr) return "DispatchBlock::Create gave null";
  auto keep = std::make_shared<int>(0);
  std::weak_ptr<int> kept = keep;
  if (!queue->After(1h, later, std::move(keep))) return "After refused the block";
  later->Cancel();
  // A cancelled delayed block lets go of what it kept at once, not an hour later.
  if (!WaitFor([&] { return kept.expired(); })) return "a cancelled block kept its keep-alive";
  if (!later->IsCancelled()) return "IsCancelled false after Cancel";
  if (later->Perform()) return "a cancelled block performed";
  if (!queue->Async(now)) return "Async refused a block";
  if (!WaitFor([&] { return runs->load() != 0; })) return "the block submitted at once never ran";
  if (!Drain(queue)) return "the queue did not drain";
  if (*runs != 100) return "runs " + std::to_string(runs->load()) + ", not 100";
  return {};
}

std::string TimerSourceCycle() {
  const QueueRef queue = platform::CreateSerialQueue("soak.source");
  if (queue == nullptr) return "CreateSerialQueue gave null";
  const auto source = platform::TimerSource::Create(queue);
  if (source == nullptr) return "TimerSource::Create gave null";
  auto fires = std::make_shared<std::atomic<int>>(0);
  source->SetTimer(0ns, 1ms, 0ns);
  source->SetEventHandler([fires] { ++*fires; });
  source->Resume();
  if (!WaitFor([&] { return *fires >= 2; })) return "the resumed source did not fire";
  source->Suspend();
  if (!Drain(queue)) return "the queue did not drain";
  const int suspended = *fires;
  std::this_thread::sleep_for(5ms);
  if (!Drain(queue)) return "the queue did not drain";
  if (*fires != suspended) return "a suspended source fired";
  source->Resume();
  if (!WaitFor([&] { return *fires > suspended; })) return "the source did not fire again";
  source->Cancel();
  const int cancelled = *fires;
  std::this_thread::sleep_for(2ms);
  if (!Drain(queue)) return "the queue did not drain";
  if (*fires != cancelled) return "a handler ran after Cancel returned";
  if (!source->IsCancelled()) return "IsCancelled false after Cancel";
  return {};
}

std::string GcdTimerCycle() {
  const QueueRef queue = platform::CreateSerialQueue("soak.gcdtimer");
  if (queue == nullptr) return "CreateSerialQueue gave null";
  auto fires = std::make_shared<std::atomic<int>>(0);
  GCDTimer timer;
  if (!timer.Start(0, 0.001, 0, queue, [fires] { ++*fires; })) return "Start refused";
  if (timer.Start(0, 0, 0, queue, [] {})) return "Start took an interval of 0";
  if (!WaitFor([&] { return *fires >= 3; })) return "the timer did not fire three times";
  timer.Cancel();
  const int at_cancel = *fires;
  std::this_thread::sleep_for(3ms);
  if (!Drain(queue)) return "the queue did not drain";
  if (*fires != at_cancel) return "the timer fired after Cancel returned";
  // A new start after Cancel makes a new timer.
  if (!timer.Start(0.001, 0.001, 0, queue, [fires] { ++*fires; })) return "restart refused";
  if (!WaitFor([&] { return *fires > at_cancel; })) return "the restarted timer did not fire";
  return {};  // the timer's destructor cancels it
}

std::string GcdBlockRace(std::mt19937_64& random) {
  const QueueRef queue = platform::CreateSerialQueue("soak.gcdblock");
  if (queue == nullptr) return "CreateSerialQueue gave null";
  auto ran = std::make_shared<std::atomic<bool>>(false);
  const auto block = GCDBlock::initWithBlock([ran] { *ran = true; });
  if (block == nullptr) return "initWithBlock gave null";
  block->runInQueue(queue, random() % 2 == 0 ? 0.0 : 0.001);
  if (random() % 2 == 0) block->cancel();
  if (!WaitFor([&] { return block->status() != GCDBlock::kScheduled; }))
    return "the block stayed scheduled";
  // A block cancelled while it runs finishes on the queue and then says so.
  if (!Drain(queue)) return "the queue did not drain";
  const std::size_t status = block->status();
  if (status != GCDBlock::kFinished && status != GCDBlock::kCancelled)
    return "state " + std::to_string(status);
  if ((status == GCDBlock::kFinished) != ran->load())
    return "state " + std::to_string(status) + " but the block " + (*ran ? "ran" : "did not run");
  return {};
}

std::string TimerBlocks() {
  const QueueRef queue = platform::CreateSerialQueue("soak.timerblock");
  if (queue == nullptr) return "CreateSerialQueue gave null";
  auto receiver = std::make_shared<platform::Object>();
  auto fired = std::make_shared<std::atomic<int>>(0);
  const auto perform = [receiver](platform::Timer& t) {
    NSTools::performBlockOnTimer(*receiver, t);
  };
  const auto once = platform::Timer::Schedule(queue, 1ms, false, perform,
                                              std::any(VoidBlock([fired] { ++*fired; })));
  if (once == nullptr) return "Schedule gave null";
  if (!WaitFor([&] { return *fired == 1 && !once->IsValid(); }))
    return "the one-shot timer did not fire and end";
  const auto repeating = platform::Timer::Schedule(queue, 1ms, true, perform,
                                                   std::any(VoidBlock([fired] { ++*fired; })));
  if (repeating == nullptr) return "Schedule gave null";
  if (!WaitFor([&] { return *fired >= 3; })) return "the repeating timer did not fire";
  repeating->Invalidate();
  if (repeating->IsValid()) return "IsValid after Invalidate";
  if (!Drain(queue)) return "the queue did not drain";
  const int at_end = *fired;
  std::this_thread::sleep_for(3ms);
  if (!Drain(queue)) return "the queue did not drain";
  if (*fired != at_end) return "an invalidated timer fired";
  // One associated block per object, replaced and removed.
  int calls = 0;
  NSTools::addAssociatedBlock(*receiver, [&calls] { calls += 100; });
  NSTools::addAssociatedBlock(*receiver, [&calls] { ++calls; });
  NSTools::invokeAssociatedBlock(*receiver);
  NSTools::removeAssociatedBlock(*receiver);
  NSTools::invokeAssociatedBlock(*receiver);
  if (calls != 1) return "associated block calls " + std::to_string(calls) + ", not 1";
  return {};
}

std::string OnMainQueue() {
  const QueueRef main = platform::MainQueue();
  if (main == nullptr) return "MainQueue gave null";
  auto on_main = std::make_shared<std::atomic<bool>>(false);
  const auto block =
      GCDBlock::initWithBlock([on_main, q = main.get()] { *on_main = q->IsCurrent(); });
  if (block == nullptr) return "initWithBlock gave null";
  block->runInQueue(main, 0);
  if (!WaitFor([&] { return block->status() == GCDBlock::kFinished; }))
    return "the main queue did not run the block";
  if (!*on_main) return "the block did not run as the main queue's";
  return {};
}

// Subscriber identities: only their addresses count.
std::array<char, 512> g_subscribers;

std::string Notices(int worker, std::mt19937_64& random) {
  CNotice* hub = CNotice::Shared();
  if (hub == nullptr) return "CNotice::Shared gave null";
  const unsigned event = 7000 + static_cast<unsigned>(random() % 4);
  const void* me = &g_subscribers[(2 * worker) % g_subscribers.size()];
  const void* leaver = &g_subscribers[(2 * worker + 1) % g_subscribers.size()];
  const std::string text = "soak";
  auto mine = std::make_shared<std::atomic<int>>(0);
  hub->Subscribe(event, me,
                 platform::Block::Of<void(int, const std::string&)>(
                     [mine, worker](int who, const std::string& what) {
                       if (who == worker && what == "soak") ++*mine;
                     }));
  // A listener that leaves during a delivery of this worker's.
  hub->Subscribe(event, leaver,
                 platform::Block::Of<void(int, const std::string&)>(
                     [hub, event, leaver, worker](int who, const std::string&) {
                       if (who == worker) hub->Unsubscribe(event, leaver);
                     }));
  const auto listed = [&](const void* who) {
    const auto listeners = hub->Listeners(event);
    return listeners.has_value() &&
           std::any_of(listeners->begin(), listeners->end(),
                       [who](const ListenerRef& l) { return l->object() == who; });
  };
  if (!listed(me)) return "a subscriber is not listed";
  constexpr int kPosts = 4;
  for (int i = 0; i < kPosts; ++i) {
    if (hub->Post(event, worker, text) < 1) return "a post reached no block";
  }
  if (listed(leaver)) return "a listener that left during a delivery is still listed";
  hub->Unsubscribe(event, me);
  if (listed(me)) return "an unsubscribed listener is still listed";
  (void)hub->Post(event, worker, text);
  if (*mine != kPosts)
    return "the block saw " + std::to_string(mine->load()) + " of " + std::to_string(kPosts) +
           " posts";
  return {};
}

std::string Colours(std::mt19937_64& random) {
  constexpr double kAlphas[] = {1.0, 0.5, 0.25, 0.0};
  constexpr std::uint32_t kAlphaBytes[] = {255, 127, 63, 0};
  for (int i = 0; i < 16; ++i) {
    // Half the keys from a hot set of 64, half from anywhere (which evicts).
    const std::uint32_t rgb =
        static_cast<std::uint32_t>(i % 2 == 0 ? 0x102030 + random() % 64 : random() & 0xFFFFFF);
    const std::size_t a = random() % 4;
    const ColorRef colour = Create::ColorForRGB(rgb | 0xAB000000u, kAlphas[a]);
    if (colour == nullptr) return "ColorForRGB gave null";
    const std::uint32_t want = kAlphaBytes[a] << 24 | rgb;
    if (Create::rgba(*colour) != want) return "ColorForRGB of a key gave another colour";
  }
  const std::uint32_t light = static_cast<std::uint32_t>(random() & 0xFFFFFF);
  const std::uint32_t dark = static_cast<std::uint32_t>(random() & 0xFFFFFF);
  const ColorRef dynamic = Create::ColorDynamic(light, dark);
  if (dynamic == nullptr) return "ColorDynamic gave null";
  const ColorRef shown_light = dynamic->Resolved(Appearance::kLight);
  const ColorRef shown_dark = dynamic->Resolved(Appearance::kDark);
  if (shown_light == nullptr || shown_dark == nullptr) return "a dynamic colour resolved to null";
  if (Create::rgba(*shown_light) != (0xFF000000u | light) ||
      Create::rgba(*shown_dark) != (0xFF000000u | dark))
    return "a dynamic colour resolved to other values";
  return {};
}

std::string Palette(const Fixtures& fixtures, std::mt19937_64& random) {
  const auto roles = PaletteRoles();
  for (int i = 0; i < 8; ++i) {
    const std::size_t r = random() % roles.size();
    const ColorRef colour = roles[r].accessor();
    if (colour == nullptr) return std::string(roles[r].name) + " gave null";
    const ColorRef light = colour->Resolved(Appearance::kLight);
    const ColorRef dark = colour->Resolved(Appearance::kDark);
    if (light == nullptr || dark == nullptr)
      return std::string(roles[r].name) + " resolved to null";
    if (std::pair(Create::rgba(*light), Create::rgba(*dark)) != fixtures.palette[r])
      return std::string(roles[r].name) + " changed its values";
  }
  return {};
}

// A secret whose second half is the first half inverted, so a reader can tell a whole one.
Data MakeSecret(std::mt19937_64& random) {
  Data bytes(8 + random() % 56);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  const std::size_t half = bytes.size();
  for (std::size_t i = 0; i < half; ++i) bytes.push_back(static_cast<std::uint8_t>(~bytes[i]));
  return bytes;
}

bool IsWholeSecret(const Data& bytes) {
  if (bytes.size() % 2 != 0 || bytes.empty()) return false;
  const std::size_t half = bytes.size() / 2;
  for (std::size_t i = 0; i < half; ++i)
    if (bytes[half + i] != static_cast<std::uint8_t>(~bytes[i])) return false;
  return true;
}

String Name(const std::string& text) { return String(text.begin(), text.end()); }

std::string OwnSecrets(int worker, std::mt19937_64& random) {
  const String name = Name("soak.w" + std::to_string(worker) + "." + std::to_string(random() % 8));
  const Data first = MakeSecret(random);
  const Data second = MakeSecret(random);
  const bool sync = random() % 2 == 0;
  if (!SKeychain::KeychainSave(name, &first, true, false, std::nullopt)) return "save refused";
  if (SKeychain::KeychainLoad(name, std::nullopt) != first) return "load after save differs";
  // The replacement may switch the synchronizable setting; the name still holds one secret.
  if (!SKeychain::KeychainSave(name, &second, false, sync, std::nullopt))
    return "replacing save refused";
  if (SKeychain::KeychainLoad(name, std::nullopt) != second) return "load after replace differs";
  if (!SKeychain::KeychainDelete(name, std::nullopt)) return "delete refused";
  if (SKeychain::KeychainLoad(name, std::nullopt).has_value()) return "a deleted secret loads";
  if (SKeychain::KeychainDelete(name, std::nullopt)) return "a second delete found something";
  return {};
}

std::string SharedSecrets(std::mt19937_64& random) {
  const String name = Name("soak.shared." + std::to_string(random() % 4));
  switch (random() % 3) {
    case 0: {
      const Data value = MakeSecret(random);
      if (!SKeychain::KeychainSave(name, &value, true, random() % 2 == 0, std::nullopt))
        return "save refused";
      break;
    }
    case 1: {
      const std::optional<Data> value = SKeychain::KeychainLoad(name, std::nullopt);
      if (value.has_value() && !IsWholeSecret(*value)) return "a load gave a secret not whole";
      break;
    }
    default:
      (void)SKeychain::KeychainDelete(name, std::nullopt);  // another worker may have been first
  }
  return {};
}

}  // namespace

const char* KindName(Kind kind) noexcept {
  static constexpr const char* kNames[] = {
      "serial_queue", "global_group", "apply",       "dispatch_block", "timer_source",
      "gcd_timer",    "gcd_block",    "timer_block", "main_queue",     "notice",
      "colour_cache", "palette",      "secret",      "shared_secret",  "png",
      "jpeg",         "resize",       "avatar",      "effect",         "call_once"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(Kind::kCount));
  return kNames[static_cast<int>(kind)];
}

std::span<const Kind> WorkerKinds() noexcept { return kWorkerKinds; }

Workloads::Workloads(std::unique_ptr<Fixtures> fixtures) : fixtures_(std::move(fixtures)) {}

Workloads::~Workloads() { platform::SetDefaultItemStore(nullptr); }

std::unique_ptr<Workloads> Workloads::Make(const std::string& store_path, std::string* error) {
  auto fixtures = std::make_unique<Fixtures>();
  auto opened = platform::SqliteItemStore::TryOpen(store_path);
  if (!opened.ok()) {
    *error = "cannot open the secret store " + store_path + ": " + opened.error().message;
    return nullptr;
  }
  fixtures->store = std::move(opened).value();
  platform::SetDefaultItemStore(fixtures->store);
  for (const PaletteRole& role : PaletteRoles()) {
    const ColorRef colour = role.accessor();
    const ColorRef light = colour ? colour->Resolved(Appearance::kLight) : nullptr;
    const ColorRef dark = colour ? colour->Resolved(Appearance::kDark) : nullptr;
    if (light == nullptr || dark == nullptr) {
      *error = "palette role " + std::string(role.name) + " does not resolve";
      return nullptr;
    }
    fixtures->palette.emplace_back(Create::rgba(*light), Create::rgba(*dark));
  }
  fixtures->pictures = MakePictureFixtures(error);
  if (fixtures->pictures == nullptr) return nullptr;
  return std::unique_ptr<Workloads>(new Workloads(std::move(fixtures)));
}

bool Workloads::StoreIsWhole() { return fixtures_->store->CheckIntegrity(); }

std::string Workloads::Run(Kind kind, int worker, std::mt19937_64& random) {
  try {
    switch (kind) {
      case Kind::kSerialQueue:
        return SerialQueueInOrder(worker);
      case Kind::kGlobalGroup:
        return GlobalGroup();
      case Kind::kApply:
        return Apply(random);
      case Kind::kDispatchBlock:
        return CancelledBlock(worker);
      case Kind::kTimerSource:
        return TimerSourceCycle();
      case Kind::kGcdTimer:
        return GcdTimerCycle();
      case Kind::kGcdBlock:
        return GcdBlockRace(random);
      case Kind::kTimerBlock:
        return TimerBlocks();
      case Kind::kMainQueue:
        return OnMainQueue();
      case Kind::kNotice:
        return Notices(worker, random);
      case Kind::kColourCache:
        return Colours(random);
      case Kind::kPalette:
        return Palette(*fixtures_, random);
      case Kind::kSecret:
        return OwnSecrets(worker, random);
      case Kind::kSharedSecret:
        return SharedSecrets(random);
      case Kind::kPng:
      case Kind::kJpeg:
      case Kind::kResize:
      case Kind::kAvatar:
      case Kind::kEffect:
        return RunPictureWork(kind, *fixtures_->pictures, random);
      case Kind::kCallOnce:
      case Kind::kCount:
        break;
    }
    return "not a worker's kind";
  } catch (const std::exception& e) {
    return std::string("threw ") + e.what();
  }
}

}  // namespace kelvane::soak
