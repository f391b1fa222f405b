// SPDX-License-Identifier: Apache-2.0
#include "kelvane/runtime/timer.h"

#include <cmath>
#include <limits>

#include "kelvane/runtime/internal/nanoseconds.h"

namespace kelvane {

const std::u16string_view s_associated_block_name = u"AssociatedBlock";

namespace internal {

platform::Nanoseconds SecondsToNanoseconds(double seconds) noexcept {
  // A plain cast is undefined outside the 64-bit range; callers pass whatever they computed.
  if (std::isnan(seconds)) return platform::Nanoseconds(0);
  const double ns = seconds * 1e9;
  constexpr double kMax = 9223372036854775807.0;  // rounds up to 2^63, itself out of range
  if (ns >= kMax) return platform::Nanoseconds(std::numeric_limits<int64_t>::max());
  if (ns <= -kMax) return platform::Nanoseconds(std::numeric_limits<int64_t>::min());
  return platform::Nanoseconds(static_cast<int64_t>(ns));
}

}  // namespace internal

namespace {

// Interval and leeway are unsigned: negative values count as 0.
platform::Nanoseconds UnsignedNanoseconds(double seconds) noexcept {
  const auto ns = internal::SecondsToNanoseconds(seconds);
  return ns < platform::Nanoseconds(0) ? platform::Nanoseconds(0) : ns;
}

}  // namespace

// ---- GCDTimer ---------------------------------------------------------------------------------

GCDTimer::~GCDTimer() { Cancel(); }

bool GCDTimer::Start(double start, double interval, double accuracy,
                     const platform::QueueRef& queue, VoidBlock handler) noexcept {
  const auto every = UnsignedNanoseconds(interval);
  if (every == platform::Nanoseconds(0) || queue == nullptr || !handler) return false;
  std::lock_guard lock(Monitor());
  if (m_timer != nullptr) {
    m_timer->Suspend();
  } else {
    m_timer = platform::TimerSource::Create(queue);
    if (m_timer == nullptr) return false;
  }
  m_timer->SetTimer(internal::SecondsToNanoseconds(start), every, UnsignedNanoseconds(accuracy));
  m_timer->SetEventHandler(std::move(handler));
  m_timer->Resume();
  return true;
}

void GCDTimer::Cancel() noexcept {
  std::shared_ptr<platform::TimerSource> timer;
  {
    std::lock_guard lock(Monitor());
    timer.swap(m_timer);
  }
  if (timer != nullptr) timer->Cancel();
}

// ---- GCDBlock ---------------------------------------------------------------------------------

GCDBlock::GCDBlock(VoidBlock block) noexcept : block_(std::move(block)) {}

std::shared_ptr<GCDBlock> GCDBlock::initWithBlock(VoidBlock block) noexcept {
  if (!block) return nullptr;
  try {
    auto made = std::make_shared<GCDBlock>(std::move(block));
    // The back-reference is plain: every submission holds the GCDBlock alive (see runInQueue),
    // and the worker runs only from a submission.
    GCDBlock* self = made.get();
    made->m_worker = platform::DispatchBlock::Create([self] {
      try {
        self->block_();
      } catch (...) {
        self->status_.store(kFinished, std::memory_order_release);
        throw;
      }
      self->status_.store(kFinished, std::memory_order_release);
    });
    if (made->m_worker == nullptr) return nullptr;
    return made;
  } catch (...) {
    return nullptr;
  }
}

GCDBlock::~GCDBlock() { cancel(); }

void GCDBlock::runInQueue(const platform::QueueRef& queue, double after) noexcept {
  if (queue == nullptr || m_worker == nullptr || m_worker->IsCancelled()) return;
  std::shared_ptr<const GCDBlock> keep_alive;
  try {
    keep_alive = shared_from_this();
  } catch (const std::bad_weak_ptr&) {
    return;  // not owned by a shared_ptr: nothing could keep it alive while it waits
  }
  status_.store(kScheduled, std::memory_order_release);
  // 0 and below (and NaN) are at once without converting: the common case is the quick one.
  const auto delay = after > 0 ? internal::SecondsToNanoseconds(after) : platform::Nanoseconds(0);
  // At once: the submission holds the worker through the GCDBlock that owns it (one reference,
  // no function object to allocate). Delayed: the worker goes along, so that a cancel can
  // withdraw the wait.
  const bool queued =
      delay > platform::Nanoseconds(0)
          ? queue->After(delay, m_worker, std::move(keep_alive))
          : queue->Async(platform::DispatchBlockRef(std::move(keep_alive), m_worker.get()));
  // A submission that could not be queued will never run: say so rather than "scheduled".
  if (!queued) {
    std::size_t scheduled = kScheduled;
    status_.compare_exchange_strong(scheduled, kCreated);
  }
}

void GCDBlock::cancel() noexcept {
  std::size_t scheduled = kScheduled;
  if (!status_.compare_exchange_strong(scheduled, kCancelled)) return;
  if (m_worker != nullptr) m_worker->Cancel();
}

// ---- NSTools ----------------------------------------------------------------------------------

namespace NSTools {

void callOnceUntilComplete(bool& flag, double delay, VoidBlock block) noexcept {
  if (flag || !block) return;
  const platform::QueueRef main = platform::MainQueue();
  if (main == nullptr) return;
  flag = true;
  bool* pending = &flag;
  const bool queued =
      main->After(internal::SecondsToNanoseconds(delay), [pending, block = std::move(block)] {
        // The flag is cleared even when the block
        // throws, or no later call would ever run.
        try {
          block();
        } catch (...) {
          *pending = false;
          throw;
        }
        *pending = false;
      });
  if (!queued) flag = false;
}

void performBlock(platform::Object& receiver, const VoidBlock& block) {
  if (block) block();
}

void performBlockOnTimer(platform::Object& receiver, const platform::Timer& timer) {
  if (const auto* block = std::any_cast<VoidBlock>(&timer.UserInfo()); block && *block) (*block)();
}

void addAssociatedBlock(platform::Object& receiver, VoidBlock block) noexcept {
  removeAssociatedBlock(receiver);
  if (!block) return;
  try {
    receiver.SetAssociated(&s_associated_block_name,
                           std::make_shared<const VoidBlock>(std::move(block)));
  } catch (...) {
  }
}

void invokeAssociatedBlock(platform::Object& receiver) {
  // Held by this call while it runs: the block may remove or replace itself.
  const std::any value = receiver.Associated(&s_associated_block_name);
  if (const auto* block = std::any_cast<std::shared_ptr<const VoidBlock>>(&value);
      block && *block && **block) {
    (**block)();
  }
}

void removeAssociatedBlock(platform::Object& receiver) noexcept {
  (void)receiver.SetAssociated(&s_associated_block_name, std::any());
}

}  // namespace NSTools
}  // namespace kelvane
