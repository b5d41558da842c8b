#pragma once

#include <chrono>
#include <functional>

namespace hvn::test {

// Polls predicate until true or timeout; returns its last value.
bool waitUntil(const std::function<bool()> &predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

} // namespace hvn::test
