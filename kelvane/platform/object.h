// kelvane/platform/object.h
//
// The platform's root object and its block type.
//
//   Object  a heap object with identity (its address), a recursive monitor that callers take to
//           serialise work on it, and associated-object slots: values attached to an object under
//           a key that is itself an address (the identity of some constant), so separate modules
//           can attach state to an object without knowing each other.
//   Block   a copyable, immutable callable whose signature travels with it. Whoever invokes it
//           names the arguments; a block of another signature is refused, never cast blindly.
//
// Ownership: objects are held by std::shared_ptr (ObjectRef); a slot holds a shared reference to
// its value, released when the slot is cleared or the object is destroyed.
//
// Threads: Monitor() may be taken from any thread and recursively. The slots may be read and
// written from any thread: each access is atomic on its own (a reader gets either the old or the
// new value, never a torn one). Blocks are immutable and may be shared freely between threads.
#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "kelvane/export.h"

namespace kelvane::platform {

class KELVANE_EXPORT Object {
 public:
  Object() noexcept;
  virtual ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  // The object's recursive monitor: the lock that guards this object's own state wherever a
  // contract says "under the object's lock".
  [[nodiscard]] std::recursive_mutex& Monitor() const noexcept { return monitor_; }

  // Attaches `value` under `key`, replacing (and releasing) what was there; an empty value
  // clears the slot. Values are read back with std::any_cast, so a reader that expects another
  // type gets nothing rather than a misread. Keep values cheap to copy (hold a shared_ptr).
  // Returns false, changing nothing, when memory ran out.
  // REQUIRES: key is the address of an object that outlives every use of it as a key.
  bool SetAssociated(const void* key, std::any value) noexcept;

  // A copy of the value under `key`; empty when the slot is empty or memory ran out.
  [[nodiscard]] std::any Associated(const void* key) const noexcept;

 private:
  mutable std::recursive_mutex monitor_;
  // Separate from the monitor so that reading a slot never waits for a caller that holds the
  // monitor for a long operation.
  mutable std::mutex slots_mutex_;
  std::map<const void*, std::any> slots_;
};

using ObjectRef = std::shared_ptr<Object>;

// A block: empty (nil) or a std::function of one signature. Copies share the same callable.
class Block {
 public:
  Block() noexcept = default;

  // A block around `function`; nil when `function` is empty. Throws std::bad_alloc like any
  // allocation; the library's own callers catch it.
  template <typename R, typename... Args>
  Block(std::function<R(Args...)> function)  // NOLINT: implicit, as blocks are passed inline
      : holder_(function ? std::make_shared<Holder<R(Args...)>>(std::move(function)) : nullptr) {}

  // A block around a lambda or function pointer of the given signature:
  // Block::Of<void(int)>([](int x) { ... }).
  template <typename Signature, typename F>
  [[nodiscard]] static Block Of(F&& f) {
    return Block(std::function<Signature>(std::forward<F>(f)));
  }

  [[nodiscard]] explicit operator bool() const noexcept { return holder_ != nullptr; }

  // The callable when the block has exactly the signature `Signature`, else null (also for nil).
  template <typename Signature>
  [[nodiscard]] const std::function<Signature>* Target() const noexcept {
    if (holder_ == nullptr || holder_->Type() != typeid(Signature)) return nullptr;
    return &static_cast<const Holder<Signature>*>(holder_.get())->function;
  }

  // Calls a block of signature void(Args...). Returns false, calling nothing, when the block is
  // nil or has another signature.
  template <typename... Args>
  bool Invoke(Args... args) const {
    const auto* target = Target<void(Args...)>();
    if (target == nullptr) return false;
    (*target)(std::forward<Args>(args)...);
    return true;
  }

  // True when both are nil or both share the same callable (copies of one block).
  [[nodiscard]] bool SameAs(const Block& other) const noexcept { return holder_ == other.holder_; }

 private:
  struct HolderBase {
    virtual ~HolderBase() = default;
    [[nodiscard]] virtual const std::type_info& Type() const noexcept = 0;
  };
  template <typename Signature>
  struct Holder final : HolderBase {
    explicit Holder(std::function<Signature> f) : function(std::move(f)) {}
    [[nodiscard]] const std::type_info& Type() const noexcept override { return typeid(Signature); }
    const std::function<Signature> function;
  };

  std::shared_ptr<const HolderBase> holder_;
};

}  // namespace kelvane::platform
