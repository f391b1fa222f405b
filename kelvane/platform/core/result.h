// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/result.h
//
// A value or the reason there is none. Platform loaders and savers return a Result so that the
// reason a file was refused (missing, a folder, too large, damaged, ...) survives to whoever wants
// it; the facade turns it into its contract's null, false or empty, and the tool prints the
// message.
//
// Threads: a Result is a plain value; one may be used from one thread at a time.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "kelvane/export.h"

namespace kelvane::platform {

// What kind of failure an Error reports.
enum class ErrorKind {
  kMissing,         // the path names nothing
  kNotRegularFile,  // a folder, a named pipe, a device, ...
  kPermission,      // the system refused access
  kTooLarge,        // beyond a documented limit, which the message gives
  kMalformed,       // not what it claims to be, damaged, or cut short
  kUnsupported,     // well formed, but of a kind this library does not handle
  kIo,              // a read or write failed; the message gives the system's reason
};

// Why there is no value: a kind and a message.
struct KELVANE_EXPORT Error {
  // The kind of failure.
  ErrorKind kind;
  // One line in lower case, without the path ("a folder, not a regular file", "over the limit of
  // 128 MiB"); callers prefix what they were working on.
  std::string message;

  // The error for a failed system call on a path: ENOENT and ENOTDIR are kMissing, EACCES and
  // EPERM kPermission, anything else kIo; the message is the system's text for `error`.
  [[nodiscard]] static Error FromErrno(int error);

  // Equal when kind and message are equal.
  friend bool operator==(const Error&, const Error&) = default;
};

// A T, or the Error that stands in its place.
template <typename T>
class [[nodiscard]] Result {
 public:
  // A result holding `value`, or `error`; implicit, so that a function returns either.
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT: implicit
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

  // True when the result holds a value.
  [[nodiscard]] bool ok() const noexcept { return state_.index() == 0; }
  // ok(), so that a result reads as a condition.
  explicit operator bool() const noexcept { return ok(); }

  // REQUIRES: ok().
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  // The value's members. REQUIRES: ok().
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  // The value. REQUIRES: ok().
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  // REQUIRES: !ok().
  [[nodiscard]] const Error& error() const { return std::get<1>(state_); }

  // The value, or nullopt when there is none: the facade's shape of the same answer.
  [[nodiscard]] std::optional<T> ToOptional() && {
    if (!ok()) return std::nullopt;
    return std::move(*this).value();
  }

 private:
  std::variant<T, Error> state_;
};

// The result of an operation that gives nothing back but may fail (a file written, a buffer
// filled): ok() on success, else error() says why. Success is `Status(std::monostate())`.
using Status = Result<std::monostate>;

}  // namespace kelvane::platform
