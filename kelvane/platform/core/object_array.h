// SPDX-License-Identifier: Apache-2.0
// kelvane/platform/core/object_array.h
//
// The platform's object arrays: ordered runs of shared object references. An element is a
// std::shared_ptr, so "the same object" means the same pointer, and an array keeps its
// elements alive. A null element stands for nothing and is passed on as a null address.
//
// One of three headers named object_array.h: this one defines the array type; the ordered
// insertion and the binary search over such arrays are in kelvane/containers/object_array.h, and
// kelvane/platform/object_array.h is this header's earlier path, kept for old includes.
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
