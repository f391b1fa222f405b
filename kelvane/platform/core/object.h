// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/object.h
//
// The platform's root object and its block type.
//
//   Object  a heap object with identity (its address), a recursive monitor that callers take to
//           serialise work on it, and associated-object slots: values attached to an object under
//           a key that is itself an address (the identity of some constant), so separate modules
//           can attach state to an object without knowing each other.
//   Block   a copyable, immutable callable whose signature travels with it. Whoever invokes it
//           names the arguments; a block of another signature is refused, never cast blindly.
//           Making one never throws (a block that could not be made is empty).
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

// The root object: identity, a recursive monitor and associated-object slots.
class KELVANE_EXPORT Object {
 public:
  // An object with no associated values.
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

// Objects are shared: the same ref is the same object.
using ObjectRef = std::shared_ptr<Object>;

// A block: empty or a std::function of one signature. Copies share the same callable.
// Making a block never throws: when memory runs out the block is empty, which every taker of a
// block already refuses.
class Block {
 public:
  // The empty block.
  Block() noexcept = default;

  // A block around `function`; empty when `function` is empty or memory ran out.
  template <typename R, typename... Args>
  Block(std::function<R(Args...)>
            function) noexcept {  // NOLINT: implicit, as blocks are passed inline
    if (!function) return;
    try {
      holder_ = std::make_shared<Holder<R(Args...)>>(std::move(function));
    } catch (...) {
      // Out of memory: the block stays empty.
    }
  }

  // A block around a lambda or function pointer of the given signature:
  // Block::Of<void(int)>([](int x) { ... }). Empty when memory ran out (or copying `f` threw).
  template <typename Signature, typename F>
  [[nodiscard]] static Block Of(F&& f) noexcept {
    try {
      return Block(std::function<Signature>(std::forward<F>(f)));
    } catch (...) {
      return Block();
    }
  }

  // True when the block is not empty.
  [[nodiscard]] explicit operator bool() const noexcept { return holder_ != nullptr; }

  // The callable when the block has exactly the signature `Signature`, else nullptr (also for
  // the empty block).
  template <typename Signature>
  [[nodiscard]] const std::function<Signature>* Target() const noexcept {
    if (holder_ == nullptr || holder_->Type() != typeid(Signature)) return nullptr;
    return &static_cast<const Holder<Signature>*>(holder_.get())->function;
  }

  // Calls a block of exactly the signature void(Args...). Returns false, calling nothing, when
  // the block is empty or has another signature.
  template <typename... Args>
  bool Invoke(Args... args) const {
    const auto* target = Target<void(Args...)>();
    if (target == nullptr) return false;
    (*target)(std::forward<Args>(args)...);
    return true;
  }

  // Calls a block of signature void(P...) where each P is Args by value or by const reference,
  // in any mix (void(int, const std::string&) for Args int, std::string): the arguments are
  // read, never moved from, so one set of them may go to many blocks. Returns false, calling
  // nothing, when the block is empty, has other parameter types, takes a parameter by non-const
  // or rvalue reference (it could change or take what the next block gets), or returns a value.
  template <typename... Args>
  bool InvokeWith(const Args&... args) const {
    if (holder_ == nullptr || holder_->ReadingType() != typeid(void(Args...))) return false;
    const void* const arguments[] = {static_cast<const void*>(&args)..., nullptr};
    holder_->CallReading(arguments);
    return true;
  }

  // True when both are empty or both share the same callable (copies of one block).
  [[nodiscard]] bool SameAs(const Block& other) const noexcept { return holder_ == other.holder_; }

 private:
  struct HolderBase {
    virtual ~HolderBase() = default;
    [[nodiscard]] virtual const std::type_info& Type() const noexcept = 0;
    // void(plain parameter types...) when the block can be called by reading its arguments
    // (see InvokeWith); typeid(void) otherwise, which no argument list asks for.
    [[nodiscard]] virtual const std::type_info& ReadingType() const noexcept = 0;
    // REQUIRES: ReadingType() is void(T...) and arguments[i] points at a T_i.
    virtual void CallReading(const void* const* arguments) const = 0;
  };

  template <typename Signature>
  struct Holder;

  template <typename R, typename... P>
  struct Holder<R(P...)> final : HolderBase {
    // A parameter that can be served from a const argument without touching it.
    template <typename T>
    static constexpr bool kReadable =
        std::is_lvalue_reference_v<T>
            ? std::is_const_v<std::remove_reference_t<T>>
            : !std::is_reference_v<T> && std::is_copy_constructible_v<std::remove_cv_t<T>>;
    static constexpr bool kCallableByReading = std::is_void_v<R> && (kReadable<P> && ...);

    explicit Holder(std::function<R(P...)> f) : function(std::move(f)) {}
    [[nodiscard]] const std::type_info& Type() const noexcept override { return typeid(R(P...)); }
    [[nodiscard]] const std::type_info& ReadingType() const noexcept override {
      if constexpr (kCallableByReading) {
        return typeid(void(std::remove_cvref_t<P>...));
      } else {
        return typeid(void);
      }
    }
    void CallReading(const void* const* arguments) const override {
      if constexpr (kCallableByReading) Call(arguments, std::index_sequence_for<P...>{});
    }
    template <std::size_t... I>
    void Call(const void* const* arguments, std::index_sequence<I...>) const {
      function(*static_cast<const std::remove_cvref_t<P>*>(arguments[I])...);
    }

    const std::function<R(P...)> function;
  };

  std::shared_ptr<const HolderBase> holder_;
};

}  // namespace kelvane::platform
