// Parameter readers. A handler reads its parameters in order, one call each.
//
// Numbers are converted as whole values, whatever the locale: an integer
// reader refuses "10.7" (-104) rather than truncating it, and values that do
// not fit give -222 instead of wrapping.
#include "internal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

using scpi_detail::EqualNoCase;
using scpi_detail::IsDigit;
using scpi_detail::IsWhite;

namespace {

void ParamError(scpi_t* context, int_fast16_t code) {
  context->unit.param_error = true;
  scpi_detail::Error_push(context, code, {}, false);
}

bool NextParameter(scpi_t* context, scpi_parameter_t& parameter, bool mandatory) {
  scpi_detail::Unit& unit = context->unit;
  const std::string_view params = unit.params;
  size_t pos = scpi_detail::Lex_skipWhite(params, unit.cursor);
  if (pos < params.size() && params[pos] == ',' && unit.cursor > 0) {
    pos = scpi_detail::Lex_skipWhite(params, pos + 1);
  }
  if (pos >= params.size() || !scpi_detail::Lex_parameter(params, pos, parameter)) {
    if (mandatory) ParamError(context, SCPI_ERROR_MISSING_PARAMETER);
    return false;
  }
  unit.cursor = pos;
  return true;
}

bool IsNumber(scpi_token_type_t type) {
  return type == SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA || type == SCPI_TOKEN_HEXNUM ||
         type == SCPI_TOKEN_OCTNUM || type == SCPI_TOKEN_BINNUM;
}

bool IsString(scpi_token_type_t type) {
  return type == SCPI_TOKEN_DOUBLE_QUOTE_PROGRAM_DATA || type == SCPI_TOKEN_SINGLE_QUOTE_PROGRAM_DATA;
}

// A decimal number split into its parts: sign, digits before and after the
// point, exponent (saturated) and unit suffix.
struct Decimal {
  bool negative = false;
  std::string_view integer;
  std::string_view fraction;
  int64_t exponent = 0;
  std::string_view suffix;
};

Decimal SplitDecimal(std::string_view text) {
  Decimal d;
  size_t p = 0;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) d.negative = text[p++] == '-';
  size_t start = p;
  while (p < text.size() && IsDigit(text[p])) ++p;
  d.integer = text.substr(start, p - start);
  if (p < text.size() && text[p] == '.') {
    start = ++p;
    while (p < text.size() && IsDigit(text[p])) ++p;
    d.fraction = text.substr(start, p - start);
  }
  size_t q = scpi_detail::Lex_skipWhite(text, p);
  if (q < text.size() && scpi_detail::Upper(text[q]) == 'E') {
    size_t r = scpi_detail::Lex_skipWhite(text, q + 1);
    bool exp_negative = false;
    if (r < text.size() && (text[r] == '+' || text[r] == '-')) exp_negative = text[r++] == '-';
    if (r < text.size() && IsDigit(text[r])) {
      int64_t e = 0;
      while (r < text.size() && IsDigit(text[r])) {
        e = std::min<int64_t>(e * 10 + (text[r++] - '0'), 1'000'000'000);
      }
      d.exponent = exp_negative ? -e : e;
      p = r;
    }
  }
  p = scpi_detail::Lex_skipWhite(text, p);
  d.suffix = text.substr(p);
  return d;
}

enum class Conversion { Ok, NotInteger, OutOfRange, TooLong };

// Exact conversion of a decimal to an integer magnitude.
Conversion DecimalMagnitude(const Decimal& d, uint64_t& magnitude) {
  // Significant digits: integer then fraction, without leading and trailing zeros.
  std::array<char, 40> digits{};
  size_t count = 0;
  int64_t scale = d.exponent - static_cast<int64_t>(d.fraction.size());
  bool leading = true;
  size_t trailing_zeros = 0;
  for (std::string_view part : {d.integer, d.fraction}) {
    for (char c : part) {
      if (leading && c == '0') continue;
      leading = false;
      if (c == '0') {
        ++trailing_zeros;
        continue;
      }
      // Flush the zeros seen before this non-zero digit.
      if (count + trailing_zeros + 1 > digits.size()) return Conversion::OutOfRange;
      for (; trailing_zeros > 0; --trailing_zeros) digits[count++] = '0';
      digits[count++] = c;
    }
  }
  scale += static_cast<int64_t>(trailing_zeros);
  magnitude = 0;
  if (count == 0) return Conversion::Ok;
  if (scale < 0) return Conversion::NotInteger;
  if (static_cast<int64_t>(count) + scale > 20) return Conversion::OutOfRange;
  for (size_t i = 0; i < count; ++i) {
    if (__builtin_mul_overflow(magnitude, 10u, &magnitude) ||
        __builtin_add_overflow(magnitude, static_cast<uint64_t>(digits[i] - '0'), &magnitude)) {
      return Conversion::OutOfRange;
    }
  }
  for (int64_t i = 0; i < scale; ++i) {
    if (__builtin_mul_overflow(magnitude, 10u, &magnitude)) return Conversion::OutOfRange;
  }
  return Conversion::Ok;
}

// Decimal to double through a normalised copy, so blanks around the exponent
// and the locale cannot change the value.
Conversion DecimalToDouble(const Decimal& d, double& value) {
  std::array<char, 512> text{};
  const size_t needed = d.integer.size() + d.fraction.size() + 24;
  if (needed > text.size()) return Conversion::TooLong;
  char* out = text.data();
  out = std::copy(d.integer.begin(), d.integer.end(), out);
  if (d.integer.empty()) *out++ = '0';
  *out++ = '.';
  out = std::copy(d.fraction.begin(), d.fraction.end(), out);
  *out++ = '0';
  *out++ = 'e';
  out = std::to_chars(out, text.data() + text.size(), d.exponent).ptr;
  double parsed = 0.0;
  const auto result = std::from_chars(text.data(), out, parsed);
  if (result.ec == std::errc::result_out_of_range) {
    // Tell overflow from underflow by the position of the first significant digit.
    const size_t lead = d.integer.find_first_not_of('0');
    int64_t magnitude = d.exponent;
    if (lead != std::string_view::npos) {
      magnitude += static_cast<int64_t>(d.integer.size() - lead);
    } else {
      const size_t frac_lead = d.fraction.find_first_not_of('0');
      if (frac_lead == std::string_view::npos) {
        parsed = 0.0;
        magnitude = 0;
      } else {
        magnitude -= static_cast<int64_t>(frac_lead);
      }
    }
    if (magnitude > 0) return Conversion::OutOfRange;
    parsed = 0.0;
  } else if (result.ec != std::errc()) {
    return Conversion::OutOfRange;
  }
  value = d.negative ? -parsed : parsed;
  return Conversion::Ok;
}

bool NonDecimalValue(const scpi_parameter_t& parameter, uint64_t& value) {
  const uint64_t base = parameter.type == SCPI_TOKEN_HEXNUM ? 16 : parameter.type == SCPI_TOKEN_OCTNUM ? 8 : 2;
  value = 0;
  for (char c : parameter.content) {
    const char u = scpi_detail::Upper(c);
    const uint64_t digit = IsDigit(u) ? static_cast<uint64_t>(u - '0') : static_cast<uint64_t>(u - 'A' + 10);
    if (__builtin_mul_overflow(value, base, &value) || __builtin_add_overflow(value, digit, &value)) return false;
  }
  return true;
}

int8_t BaseOf(scpi_token_type_t type) {
  switch (type) {
    case SCPI_TOKEN_HEXNUM: return 16;
    case SCPI_TOKEN_OCTNUM: return 8;
    case SCPI_TOKEN_BINNUM: return 2;
    default: return 10;
  }
}

void ReportConversion(scpi_t* context, Conversion conversion) {
  switch (conversion) {
    case Conversion::NotInteger: ParamError(context, SCPI_ERROR_DATA_TYPE_ERROR); break;
    case Conversion::OutOfRange: ParamError(context, SCPI_ERROR_DATA_OUT_OF_RANGE); break;
    case Conversion::TooLong: ParamError(context, -124); break;
    case Conversion::Ok: break;
  }
}

// Checks that a parameter is a plain number; queues the reader's error if not.
bool RequirePlainNumber(scpi_t* context, const scpi_parameter_t& parameter) {
  if (IsNumber(parameter.type)) return true;
  ParamError(context, parameter.type == SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA_WITH_SUFFIX
                          ? SCPI_ERROR_SUFFIX_NOT_ALLOWED
                          : SCPI_ERROR_DATA_TYPE_ERROR);
  return false;
}

// Reads an integer parameter as a sign and magnitude, checked against limits.
bool ReadInteger(scpi_t* context, bool mandatory, int64_t min, uint64_t max, bool& negative, uint64_t& magnitude) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  if (!RequirePlainNumber(context, parameter)) return false;
  negative = false;
  if (parameter.type == SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA) {
    const Decimal d = SplitDecimal(parameter.text);
    const Conversion conversion = DecimalMagnitude(d, magnitude);
    if (conversion != Conversion::Ok) {
      ReportConversion(context, conversion);
      return false;
    }
    negative = d.negative && magnitude != 0;
  } else if (!NonDecimalValue(parameter, magnitude)) {
    ReportConversion(context, Conversion::OutOfRange);
    return false;
  }
  const uint64_t negative_limit = min < 0 ? static_cast<uint64_t>(-(min + 1)) + 1 : 0;
  if ((negative && magnitude > negative_limit) || (!negative && magnitude > max)) {
    ReportConversion(context, Conversion::OutOfRange);
    return false;
  }
  return true;
}

template <typename T>
bool ReadSigned(scpi_t* context, T* value, bool mandatory) {
  bool negative = false;
  uint64_t magnitude = 0;
  if (!ReadInteger(context, mandatory, std::numeric_limits<T>::min(),
                   static_cast<uint64_t>(std::numeric_limits<T>::max()), negative, magnitude)) {
    return false;
  }
  if (value != nullptr) {
    *value = negative ? static_cast<T>(-static_cast<T>(magnitude - 1) - 1) : static_cast<T>(magnitude);
  }
  return true;
}

template <typename T>
bool ReadUnsigned(scpi_t* context, T* value, bool mandatory) {
  bool negative = false;
  uint64_t magnitude = 0;
  if (!ReadInteger(context, mandatory, 0, std::numeric_limits<T>::max(), negative, magnitude)) return false;
  if (value != nullptr) *value = static_cast<T>(magnitude);
  return true;
}

// Value of a number token without suffix handling.
bool NumberValue(scpi_t* context, const scpi_parameter_t& parameter, double& value) {
  if (parameter.type == SCPI_TOKEN_HEXNUM || parameter.type == SCPI_TOKEN_OCTNUM || parameter.type == SCPI_TOKEN_BINNUM) {
    uint64_t magnitude = 0;
    if (!NonDecimalValue(parameter, magnitude)) {
      ReportConversion(context, Conversion::OutOfRange);
      return false;
    }
    value = static_cast<double>(magnitude);
    return true;
  }
  const Conversion conversion = DecimalToDouble(SplitDecimal(parameter.text), value);
  ReportConversion(context, conversion);
  return conversion == Conversion::Ok;
}

const scpi_unit_def_t* FindUnit(const scpi_t* context, std::string_view suffix) {
  for (const scpi_unit_def_t* unit = context->units; unit != nullptr && unit->name != nullptr; ++unit) {
    if (EqualNoCase(suffix, unit->name)) return unit;
  }
  return nullptr;
}

const scpi_choice_def_t* FindChoice(const scpi_choice_def_t* options, std::string_view word) {
  for (const scpi_choice_def_t* option = options; option != nullptr && option->name != nullptr; ++option) {
    if (scpi_detail::Keyword_matches(option->name, word)) return option;
  }
  return nullptr;
}

// Copies a parameter's content, collapsing doubled quotes of a string.
void CopyContent(const scpi_parameter_t& parameter, char* buffer, size_t size, size_t* length, bool* truncated) {
  const bool quoted = IsString(parameter.type);
  const char quote = quoted ? parameter.text.front() : '\0';
  size_t written = 0;
  bool cut = false;
  const std::string_view content = parameter.content;
  for (size_t i = 0; i < content.size(); ++i) {
    if (quoted && content[i] == quote) ++i;  // the second of a doubled quote
    if (buffer == nullptr || written + 1 >= size) {
      cut = true;
      break;
    }
    buffer[written++] = content[i];
  }
  if (buffer != nullptr && size > 0) buffer[written] = '\0';
  if (length != nullptr) *length = written;
  if (truncated != nullptr) *truncated = cut;
}

}  // namespace

bool SCPI_Parameter(scpi_t* context, scpi_parameter_t* parameter, bool mandatory) {
  scpi_parameter_t local;
  if (!NextParameter(context, local, mandatory)) return false;
  if (parameter != nullptr) *parameter = local;
  return true;
}

bool SCPI_ParamErrorOccurred(const scpi_t* context) { return context->unit.param_error; }

bool SCPI_ParamInt32(scpi_t* context, int32_t* value, bool mandatory) { return ReadSigned(context, value, mandatory); }
bool SCPI_ParamInt64(scpi_t* context, int64_t* value, bool mandatory) { return ReadSigned(context, value, mandatory); }
bool SCPI_ParamUInt32(scpi_t* context, uint32_t* value, bool mandatory) { return ReadUnsigned(context, value, mandatory); }
bool SCPI_ParamUInt64(scpi_t* context, uint64_t* value, bool mandatory) { return ReadUnsigned(context, value, mandatory); }

bool SCPI_ParamDouble(scpi_t* context, double* value, bool mandatory) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  if (!RequirePlainNumber(context, parameter)) return false;
  double result = 0.0;
  if (!NumberValue(context, parameter, result)) return false;
  if (value != nullptr) *value = result;
  return true;
}

bool SCPI_ParamFloat(scpi_t* context, float* value, bool mandatory) {
  double result = 0.0;
  if (!SCPI_ParamDouble(context, &result, mandatory)) return false;
  if (std::fabs(result) > static_cast<double>(std::numeric_limits<float>::max())) {
    ParamError(context, SCPI_ERROR_DATA_OUT_OF_RANGE);
    return false;
  }
  if (value != nullptr) *value = static_cast<float>(result);
  return true;
}

bool SCPI_ParamNumber(scpi_t* context, const scpi_choice_def_t* specials, scpi_number_t* value, bool mandatory) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  scpi_number_t result;
  if (parameter.type == SCPI_TOKEN_PROGRAM_MNEMONIC) {
    if (specials == nullptr) {
      ParamError(context, SCPI_ERROR_DATA_TYPE_ERROR);
      return false;
    }
    const scpi_choice_def_t* special = FindChoice(specials, parameter.content);
    if (special == nullptr) {
      ParamError(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
      return false;
    }
    result.special = true;
    result.tag = special->tag;
  } else if (IsNumber(parameter.type) || parameter.type == SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA_WITH_SUFFIX) {
    const Decimal d = SplitDecimal(parameter.text);
    const scpi_unit_def_t* unit = nullptr;
    if (parameter.type == SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA_WITH_SUFFIX) {
      unit = FindUnit(context, d.suffix);
      if (unit == nullptr) {
        ParamError(context, SCPI_ERROR_INVALID_SUFFIX);
        return false;
      }
      const Conversion conversion = DecimalToDouble(d, result.value);
      if (conversion != Conversion::Ok) {
        ReportConversion(context, conversion);
        return false;
      }
      result.value *= unit->mult;
      result.unit = unit->unit;
    } else if (!NumberValue(context, parameter, result.value)) {
      return false;
    }
    result.base = BaseOf(parameter.type);
  } else {
    ParamError(context, SCPI_ERROR_DATA_TYPE_ERROR);
    return false;
  }
  if (value != nullptr) *value = result;
  return true;
}

bool SCPI_ParamBool(scpi_t* context, bool* value, bool mandatory) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  bool result = false;
  if (parameter.type == SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA) {
    double number = 0.0;
    if (!NumberValue(context, parameter, number)) return false;
    result = std::trunc(number) != 0.0;  // 0.4 is false, as the integer part decides
  } else if (parameter.type == SCPI_TOKEN_PROGRAM_MNEMONIC) {
    if (EqualNoCase(parameter.content, "ON")) {
      result = true;
    } else if (!EqualNoCase(parameter.content, "OFF")) {
      ParamError(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
      return false;
    }
  } else {
    ParamError(context, SCPI_ERROR_DATA_TYPE_ERROR);
    return false;
  }
  if (value != nullptr) *value = result;
  return true;
}

bool SCPI_ParamChoice(scpi_t* context, const scpi_choice_def_t* options, int32_t* value, bool mandatory) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  if (parameter.type != SCPI_TOKEN_PROGRAM_MNEMONIC) {
    ParamError(context, SCPI_ERROR_DATA_TYPE_ERROR);
    return false;
  }
  const scpi_choice_def_t* choice = FindChoice(options, parameter.content);
  if (choice == nullptr) {
    ParamError(context, SCPI_ERROR_ILLEGAL_PARAMETER_VALUE);
    return false;
  }
  if (value != nullptr) *value = choice->tag;
  return true;
}

bool SCPI_ParamCharacters(scpi_t* context, std::string_view* text, bool mandatory) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  if (text != nullptr) *text = parameter.content;
  return true;
}

bool SCPI_ParamCopyText(scpi_t* context, char* buffer, size_t size, size_t* length, bool mandatory, bool* truncated) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  if (!IsString(parameter.type)) {
    ParamError(context, SCPI_ERROR_DATA_TYPE_ERROR);
    return false;
  }
  CopyContent(parameter, buffer, size, length, truncated);
  return true;
}

bool SCPI_ParamString(scpi_t* context, char* buffer, size_t size, size_t* length, bool mandatory, bool* truncated) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  if (!IsString(parameter.type) && parameter.type != SCPI_TOKEN_PROGRAM_MNEMONIC) {
    ParamError(context, SCPI_ERROR_DATA_TYPE_ERROR);
    return false;
  }
  CopyContent(parameter, buffer, size, length, truncated);
  return true;
}

bool SCPI_ParamTextToEnd(scpi_t* context, std::string_view* text, bool mandatory) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  const std::string_view params = context->unit.params;
  if (text != nullptr) *text = params.substr(static_cast<size_t>(parameter.text.data() - params.data()));
  return true;
}

bool SCPI_ParamArbitraryBlock(scpi_t* context, std::string_view* data, bool mandatory) {
  scpi_parameter_t parameter;
  if (!NextParameter(context, parameter, mandatory)) return false;
  if (parameter.type != SCPI_TOKEN_ARBITRARY_BLOCK_PROGRAM_DATA) {
    ParamError(context, SCPI_ERROR_DATA_TYPE_ERROR);
    return false;
  }
  if (data != nullptr) *data = parameter.content;
  return true;
}
