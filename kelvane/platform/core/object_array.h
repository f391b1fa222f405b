// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/object_array.h
//
// The platform's object arrays: ordered runs of shared object references. An element is a
// std::shared_ptr, so "the same object" means the same pointer, and an array keeps its
// elements alive. A null element stands for nothing and is passed on as a null address.
//
// Threads: a plain std::vector; callers serialise access to one array.
#pragma once

#include <memory>
#include <vector>

namespace kelvane::platform {

// An ordered run of shared references to objects of T.
template <typename T>
using ObjectArray = std::vector<std::shared_ptr<T>>;

}  // namespace kelvane::platform
