#include "scpi_values.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "scpi_record.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Decimal syntax only: [+-] digits [. digits] [E [+-] digits], at least one
// mantissa digit. Keeps out what a C scan would also take: "nan", "inf",
// "0x1p3", leading blanks.
bool isDecimal(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++exponent;
    if (exponent == 0) return false;
  }
  return i == text.size();
}

// Splits "12.5MS" into the number and its trailing letters. An exponent's
// 'E' is followed by digits, so it never ends up in the suffix.
struct Split {
  std::string_view number;
  std::string_view suffix;
};
Split splitSuffix(std::string_view text) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] >= 'A' && text[end - 1] <= 'Z') --end;
  return {text.substr(0, end), text.substr(end)};
}

struct SuffixFactor {
  std::string_view suffix;
  double factor;
};

template <std::size_t N>
std::optional<float> scaled(std::string_view text, const std::array<SuffixFactor, N>& table) {
  const Split split = splitSuffix(text);
  for (const SuffixFactor& row : table) {
    if (row.suffix != split.suffix) continue;
    float number = 0.0F;
    if (!stringIsFloat(split.number, &number)) return std::nullopt;
    const double value = static_cast<double>(number) * row.factor;
    // The scaled value must still be a float (1E38 KW is not).
    if (!(std::fabs(value) <= std::numeric_limits<float>::max())) return std::nullopt;
    if (value != 0.0 && static_cast<float>(value) == 0.0F) return std::nullopt;
    return static_cast<float>(value);
  }
  return std::nullopt;
}

bool parameterError(scpi_t* context) {
  SCPI_ErrorPush(context, SCPI_ERROR_PARAMETER_ERROR);
  return false;
}

template <typename T>
bool readWith(scpi_t* context, T* out, std::optional<T> (*parse)(std::string_view)) {
  ScpiValueText text;
  if (!SCPI_ReadStringParameter(context, &text)) return false;
  const std::optional<T> value = parse(text.view());
  if (!value) return parameterError(context);
  *out = *value;
  return true;
}

void append(ScpiNumberText& out, std::string_view text) {
  for (const char c : text) {
    if (out.length < out.text.size()) out.text[out.length++] = c;
  }
}

void appendChar(ScpiNumberText& out, char c, std::size_t count = 1) {
  for (std::size_t i = 0; i < count && out.length < out.text.size(); ++i) out.text[out.length++] = c;
}

}  // namespace

bool ScpiValueText_set(ScpiValueText* value, std::string_view raw) {
  value->length = 0;
  for (const char c : raw) {
    if (c == ' ' || c == '\t') continue;
    if (value->length >= value->text.size()) return false;
    value->text[value->length++] = upper(c);
  }
  return true;
}

bool stringIsFloat(std::string_view text, float* value) {
  if (!isDecimal(text)) return false;
  const char* begin = text.data() + (text.front() == '+' ? 1 : 0);
  double number = 0.0;
  const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), number);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  if (!(std::fabs(number) <= std::numeric_limits<float>::max())) return false;
  const float single = static_cast<float>(number);
  if (number != 0.0 && single == 0.0F) return false;
  *value = single;
  return true;
}

ScpiBoolean ScpiValue_boolean(std::string_view text) {
  if (text == "ON" || text == "1") return ScpiBoolean::True;
  if (text == "OFF" || text == "0") return ScpiBoolean::False;
  float number = 0.0F;
  if (!stringIsFloat(text, &number)) return ScpiBoolean::Invalid;
  if (number < 0.0F) return ScpiBoolean::Negative;
  return std::round(number) != 0.0F ? ScpiBoolean::True : ScpiBoolean::False;
}

std::optional<bool> ScpiValue_gateModel(std::string_view text) {
  if (text == "PULS" || text == "PULSE") return false;
  if (text == "TRIG" || text == "TRIGGERED") return true;
  return std::nullopt;
}

std::optional<std::uint8_t> ScpiValue_slope(std::string_view text) {
  if (text == "POS" || text == "POSITIVE") return std::uint8_t{1};
  if (text == "NEG" || text == "NEGATIVE") return std::uint8_t{0};
  return std::nullopt;
}

std::optional<float> ScpiValue_time(std::string_view text) {
  static constexpr std::array<SuffixFactor, 4> kTime{{{"", 1.0}, {"S", 1.0}, {"MS", 1e-3}, {"US", 1e-6}}};
  return scaled(text, kTime);
}

std::optional<float> ScpiValue_level(std::string_view text) {
  static constexpr std::array<SuffixFactor, 4> kLevel{{{"", 1.0}, {"W", 1.0}, {"MW", 1e-3}, {"KW", 1e3}}};
  return scaled(text, kLevel);
}

std::optional<float> ScpiValue_frequency(std::string_view text) {
  static constexpr std::array<SuffixFactor, 5> kFrequency{
      {{"", 1e6}, {"HZ", 1e6}, {"KHZ", 1e3}, {"MHZ", 1e6}, {"GHZ", 1e9}}};
  return scaled(text, kFrequency);
}

ScpiNumberText scpiFormatFloat(float value, int pow10) {
  ScpiNumberText out;
  if (std::isnan(value)) {
    append(out, "9.91E+37");
    return out;
  }
  if (std::isinf(value)) {
    append(out, value > 0 ? "9.9E+37" : "-9.9E+37");
    return out;
  }
  if (value == 0.0F) {
    append(out, "0");
    return out;
  }
  // The shortest digits that read back as this float: "-9.155e+08".
  std::array<char, 32> sci{};
  const auto result = std::to_chars(sci.data(), sci.data() + sci.size(), value, std::chars_format::scientific);
  const std::string_view text(sci.data(), static_cast<std::size_t>(result.ptr - sci.data()));
  const std::size_t e = text.find('e');
  std::string digits;
  for (const char c : text.substr(0, e)) {
    if (isDigit(c)) digits.push_back(c);
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
  exponent += pow10;

  if (value < 0.0F) appendChar(out, '-');
  const int count = static_cast<int>(digits.size());
  if (exponent < -4 || exponent >= 15) {
    appendChar(out, digits[0]);
    if (count > 1) {
      appendChar(out, '.');
      append(out, std::string_view(digits).substr(1));
    }
    appendChar(out, 'e');
    appendChar(out, exponent < 0 ? '-' : '+');
    const int magnitude = std::abs(exponent);
    if (magnitude < 10) appendChar(out, '0');
    append(out, std::to_string(magnitude));
  } else if (exponent >= 0) {
    const int whole = exponent + 1;
    append(out, std::string_view(digits).substr(0, static_cast<std::size_t>(std::min(whole, count))));
    if (count < whole) appendChar(out, '0', static_cast<std::size_t>(whole - count));
    if (count > whole) {
      appendChar(out, '.');
      append(out, std::string_view(digits).substr(static_cast<std::size_t>(whole)));
    }
  } else {
    append(out, "0.");
    appendChar(out, '0', static_cast<std::size_t>(-exponent - 1));
    append(out, digits);
  }
  return out;
}

bool SCPI_ReadStringParameter(scpi_t* context, ScpiValueText* value) {
  scpi_parameter_t parameter;
  if (!SCPI_Parameter(context, &parameter, true)) {
    SCPI_ErrorPush(context, SCPI_ERROR_MISSING_PARAMETER);
    return false;
  }
  const bool quoted =
      parameter.type == SCPI_TOKEN_SINGLE_QUOTE_PROGRAM_DATA || parameter.type == SCPI_TOKEN_DOUBLE_QUOTE_PROGRAM_DATA;
  if (!ScpiValueText_set(value, quoted ? parameter.content : parameter.text)) {
    SCPI_ErrorPushEx(context, SCPI_ERROR_PARAMETER_ERROR, "The value is too long");
    return false;
  }
  return true;
}

bool SCPI_ReadBooleanParameter(scpi_t* context, bool* value) {
  ScpiValueText text;
  if (!SCPI_ReadStringParameter(context, &text)) return false;
  switch (ScpiValue_boolean(text.view())) {
    case ScpiBoolean::True:
      *value = true;
      return true;
    case ScpiBoolean::False:
      *value = false;
      return true;
    case ScpiBoolean::Negative:
      pushCustomScpiError(context, 103);
      return false;
    case ScpiBoolean::Invalid:
      break;
  }
  return parameterError(context);
}

bool SCPI_ReadGateModelParameter(scpi_t* context, bool* triggeredGates) {
  return readWith(context, triggeredGates, ScpiValue_gateModel);
}

bool SCPI_ReadSlopeParameter(scpi_t* context, std::uint8_t* slope) { return readWith(context, slope, ScpiValue_slope); }

bool SCPI_ReadTimeParameter(scpi_t* context, float* seconds) { return readWith(context, seconds, ScpiValue_time); }

bool SCPI_ReadLevelParameter(scpi_t* context, float* watts) { return readWith(context, watts, ScpiValue_level); }

bool SCPI_ReadFrequencyParameter(scpi_t* context, float* hertz) {
  return readWith(context, hertz, ScpiValue_frequency);
}

void SCPI_ResultSensorFloat(scpi_t* context, float value, int pow10) {
  SCPI_ResultCharacters(context, scpiFormatFloat(value, pow10).view());
}
