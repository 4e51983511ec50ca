// Fixed-size text fields of the meter's records.
//
// Records cross threads as whole copies, so their texts are fixed arrays
// rather than strings. Every write goes through TextField_copy, which always
// leaves a NUL-terminated field and tells the caller when the text was cut.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

// Copies at most N - 1 characters of `text` into `field` and NUL-fills the
// rest. Returns false when the text did not fit and was truncated.
template <std::size_t N>
bool TextField_copy(std::array<char, N>& field, std::string_view text) {
  static_assert(N > 0, "a text field holds at least its terminator");
  const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
  field.fill('\0');
  if (length > 0) std::memcpy(field.data(), text.data(), length);
  return length == text.size();
}

// The text of a field up to its first NUL (or the whole array when a field
// such as a capability mask has no terminator).
template <std::size_t N>
std::string_view TextField_view(const std::array<char, N>& field) {
  const void* nul = std::memchr(field.data(), '\0', N);
  const std::size_t length = nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - field.data()) : N;
  return std::string_view(field.data(), length);
}
