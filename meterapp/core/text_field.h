// Fixed-size text fields of the meter's records.
//
// Records that cross threads or go to files hold their text in
// std::array<char, N>, always NUL-terminated. copyText is the one way to fill
// such a field: it never writes past the array and tells the caller when the
// text did not fit, so truncation is always a visible decision.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

// Copies at most N - 1 characters of text into field and terminates it.
// Returns false when text was longer and had to be cut.
template <std::size_t N>
bool copyText(std::array<char, N>& field, std::string_view text) {
  static_assert(N > 0, "a text field needs room for its terminator");
  const std::size_t length = text.size() < N ? text.size() : N - 1;
  std::memcpy(field.data(), text.data(), length);
  field[length] = '\0';
  return length == text.size();
}

// The text held in a field, up to its terminator.
template <std::size_t N>
std::string_view textOf(const std::array<char, N>& field) {
  return std::string_view(field.data(), ::strnlen(field.data(), N));
}
