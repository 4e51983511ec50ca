// Result writers. Every result of a unit is staged and only sent when the
// unit succeeds; numbers are formatted without the locale.
#include "internal.h"

#include <charconv>
#include <cmath>

using scpi_detail::Output_append;
using scpi_detail::Output_beginResult;

namespace {

template <typename T>
size_t WriteNumber(scpi_t* context, T value) {
  std::array<char, 32> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value);
  Output_beginResult(context);
  const size_t length = static_cast<size_t>(result.ptr - text.data());
  Output_append(context, {text.data(), length});
  return length;
}

// %g-style text with the given precision. NaN and the infinities use the
// SCPI-99 values, which every instrument client understands.
size_t WriteFloating(scpi_t* context, double value, int precision) {
  std::string_view text;
  std::array<char, 40> buffer{};
  if (std::isnan(value)) {
    text = "9.91E+37";
  } else if (std::isinf(value)) {
    text = value > 0 ? "9.9E+37" : "-9.9E+37";
  } else {
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, precision);
    text = {buffer.data(), static_cast<size_t>(result.ptr - buffer.data())};
  }
  Output_beginResult(context);
  Output_append(context, text);
  return text.size();
}

}  // namespace

size_t SCPI_ResultInt32(scpi_t* context, int32_t value) { return WriteNumber(context, value); }
size_t SCPI_ResultUInt32(scpi_t* context, uint32_t value) { return WriteNumber(context, value); }
size_t SCPI_ResultInt64(scpi_t* context, int64_t value) { return WriteNumber(context, value); }
size_t SCPI_ResultUInt64(scpi_t* context, uint64_t value) { return WriteNumber(context, value); }

size_t SCPI_ResultUInt32Base(scpi_t* context, uint32_t value, int8_t base) {
  const char* prefix = base == 16 ? "#H" : base == 8 ? "#Q" : base == 2 ? "#B" : nullptr;
  if (prefix == nullptr) return SCPI_ResultUInt32(context, value);
  std::array<char, 40> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value, base);
  for (char* p = text.data(); p != result.ptr; ++p) *p = scpi_detail::Upper(*p);
  Output_beginResult(context);
  Output_append(context, prefix);
  const size_t length = static_cast<size_t>(result.ptr - text.data());
  Output_append(context, {text.data(), length});
  return length + 2;
}

size_t SCPI_ResultDouble(scpi_t* context, double value) { return WriteFloating(context, value, 15); }

size_t SCPI_ResultFloat(scpi_t* context, float value) {
  return WriteFloating(context, static_cast<double>(value), 6);
}

size_t SCPI_ResultBool(scpi_t* context, bool value) { return SCPI_ResultCharacters(context, value ? "1" : "0"); }

size_t SCPI_ResultText(scpi_t* context, std::string_view text) {
  Output_beginResult(context);
  Output_append(context, "\"");
  size_t written = 2;
  for (size_t start = 0; start <= text.size();) {
    const size_t quote = text.find('"', start);
    const std::string_view piece = text.substr(start, quote == text.npos ? text.npos : quote + 1 - start);
    Output_append(context, piece);
    written += piece.size();
    if (quote == text.npos) break;
    Output_append(context, "\"");
    ++written;
    start = quote + 1;
  }
  Output_append(context, "\"");
  return written;
}

size_t SCPI_ResultCharacters(scpi_t* context, std::string_view text) {
  Output_beginResult(context);
  Output_append(context, text);
  return text.size();
}

size_t SCPI_ResultMnemonic(scpi_t* context, std::string_view text) { return SCPI_ResultCharacters(context, text); }

size_t SCPI_ResultArbitraryBlock(scpi_t* context, std::string_view data) {
  std::array<char, 24> length{};
  const auto result = std::to_chars(length.data(), length.data() + length.size(), data.size());
  const size_t digits = static_cast<size_t>(result.ptr - length.data());
  const char count = static_cast<char>('0' + digits);
  Output_beginResult(context);
  Output_append(context, "#");
  Output_append(context, {&count, 1});
  Output_append(context, {length.data(), digits});
  Output_append(context, data);
  return 2 + digits + data.size();
}
