#pragma once
// The exception of type E that a call raises, if any, so a test can check its text.
#include <optional>

template <typename E, typename F>
std::optional<E> Caught(F&& call) {
  try {
    call();
  } catch (const E& e) {
    return e;
  }
  return std::nullopt;
}
