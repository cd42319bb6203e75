#pragma once

#include <future>
#include <utility>

#include "Platform/core/Result.h"

namespace Platform {

// Hands a completion's result to a waiting future: the value, or the error thrown from
// get() as its own type. The bridge every callback operation's future form uses.
template <class T>
void fulfil(std::promise<T>& promise, Result<T> result) {
    if (result) {
        promise.set_value(std::move(result).value());
        return;
    }
    try {
        result.error()->raise();
    } catch (...) {
        promise.set_exception(std::current_exception());
    }
}

inline void fulfil(std::promise<void>& promise, const Result<void>& result) {
    if (result) {
        promise.set_value();
        return;
    }
    try {
        result.error()->raise();
    } catch (...) {
        promise.set_exception(std::current_exception());
    }
}

}  // namespace Platform
