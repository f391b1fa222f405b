// SPDX-License-Identifier: Apache-2.0
// kelvane/testing/scoped_environment.h
//
// Test helper: sets environment variables for one test (a null value unsets) and puts the old
// values back when it goes away.
#pragma once

#include <stdlib.h>

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace kelvane::testing {

class ScopedEnvironment {
 public:
  explicit ScopedEnvironment(std::initializer_list<std::pair<std::string, const char*>> values) {
    for (const auto& [name, value] : values) {
      const char* old = ::getenv(name.c_str());
      saved_.try_emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
      Set(name, value);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() {
    for (const auto& [name, value] : saved_) Set(name, value ? value->c_str() : nullptr);
  }

  static void Set(const std::string& name, const char* value) {
    (void)(value ? ::setenv(name.c_str(), value, 1) : ::unsetenv(name.c_str()));
  }

 private:
  std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace kelvane::testing
