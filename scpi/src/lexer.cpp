// Lexing of received program messages: message boundaries, units, headers
// and parameters. Nothing here writes into the received text.
#include "internal.h"

namespace scpi_detail {

namespace {

enum ScanMode : int { kOutside = 0, kString, kBlockCount, kBlockLength, kBlockData };

bool IsHexDigit(char c) { return IsDigit(c) || (Upper(c) >= 'A' && Upper(c) <= 'F'); }
bool IsOctDigit(char c) { return c >= '0' && c <= '7'; }
bool IsBinDigit(char c) { return c == '0' || c == '1'; }

size_t SkipDigits(std::string_view s, size_t pos) {
  while (pos < s.size() && IsDigit(s[pos])) ++pos;
  return pos;
}

bool LexNonDecimal(std::string_view s, size_t& pos, scpi_parameter_t& out) {
  if (pos + 1 >= s.size()) return false;
  const char kind = Upper(s[pos + 1]);
  bool (*digit)(char) = nullptr;
  scpi_token_type_t type = SCPI_TOKEN_NONE;
  switch (kind) {
    case 'H': digit = IsHexDigit; type = SCPI_TOKEN_HEXNUM; break;
    case 'Q': digit = IsOctDigit; type = SCPI_TOKEN_OCTNUM; break;
    case 'B': digit = IsBinDigit; type = SCPI_TOKEN_BINNUM; break;
    default: return false;
  }
  size_t end = pos + 2;
  while (end < s.size() && digit(s[end])) ++end;
  if (end == pos + 2) return false;
  out.type = type;
  out.text = s.substr(pos, end - pos);
  out.content = s.substr(pos + 2, end - pos - 2);
  pos = end;
  return true;
}

bool LexBlock(std::string_view s, size_t& pos, scpi_parameter_t& out) {
  if (pos + 1 >= s.size() || s[pos + 1] < '1' || s[pos + 1] > '9') return false;
  const size_t count = static_cast<size_t>(s[pos + 1] - '0');
  const size_t digits_at = pos + 2;
  if (digits_at + count > s.size()) return false;
  uint64_t length = 0;
  for (size_t i = 0; i < count; ++i) {
    if (!IsDigit(s[digits_at + i])) return false;
    length = length * 10 + static_cast<uint64_t>(s[digits_at + i] - '0');
  }
  const size_t data_at = digits_at + count;
  if (length > s.size() - data_at) return false;
  out.type = SCPI_TOKEN_ARBITRARY_BLOCK_PROGRAM_DATA;
  out.content = s.substr(data_at, static_cast<size_t>(length));
  out.text = s.substr(pos, data_at + static_cast<size_t>(length) - pos);
  pos = data_at + static_cast<size_t>(length);
  return true;
}

bool LexMnemonic(std::string_view s, size_t& pos, scpi_parameter_t& out) {
  size_t end = pos + 1;
  while (end < s.size() && IsKeywordChar(s[end])) ++end;
  out.type = SCPI_TOKEN_PROGRAM_MNEMONIC;
  out.text = out.content = s.substr(pos, end - pos);
  pos = end;
  return true;
}

// A suffix: an optional '/', then pieces of letters (each optionally followed
// by a digit or '-' and a digit) joined by '/' or '.'.
size_t LexSuffix(std::string_view s, size_t pos) {
  size_t p = pos;
  if (p < s.size() && s[p] == '/') ++p;
  size_t end = 0;
  for (;;) {
    const size_t letters = p;
    while (p < s.size() && IsAlpha(s[p])) ++p;
    if (p == letters) break;
    if (p + 1 < s.size() && s[p] == '-' && IsDigit(s[p + 1])) {
      p += 2;
    } else if (p < s.size() && IsDigit(s[p])) {
      ++p;
    }
    end = p;
    if (p + 1 < s.size() && (s[p] == '/' || s[p] == '.') && IsAlpha(s[p + 1])) {
      ++p;
    } else {
      break;
    }
  }
  return end;
}

bool LexDecimal(std::string_view s, size_t& pos, scpi_parameter_t& out) {
  size_t p = pos;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
  const size_t int_start = p;
  p = SkipDigits(s, p);
  size_t digits = p - int_start;
  if (p < s.size() && s[p] == '.') {
    const size_t frac_start = ++p;
    p = SkipDigits(s, p);
    digits += p - frac_start;
  }
  if (digits == 0) return false;
  // Exponent, blanks allowed around the 'E'.
  size_t q = Lex_skipWhite(s, p);
  if (q < s.size() && Upper(s[q]) == 'E') {
    size_t r = Lex_skipWhite(s, q + 1);
    if (r < s.size() && (s[r] == '+' || s[r] == '-')) ++r;
    const size_t exp_digits = SkipDigits(s, r);
    if (exp_digits > r) p = exp_digits;
  }
  const size_t number_end = p;
  const size_t suffix_start = Lex_skipWhite(s, p);
  const size_t suffix_end = LexSuffix(s, suffix_start);
  if (suffix_end > 0) {
    out.type = SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA_WITH_SUFFIX;
    p = suffix_end;
  } else {
    out.type = SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA;
    p = number_end;
  }
  out.text = out.content = s.substr(pos, p - pos);
  pos = p;
  return true;
}

bool LexString(std::string_view s, size_t& pos, scpi_parameter_t& out) {
  const char quote = s[pos];
  size_t p = pos + 1;
  for (;;) {
    if (p >= s.size()) return false;
    const char c = s[p];
    if (static_cast<unsigned char>(c) > 0x7F) return false;
    if (c == quote) {
      if (p + 1 < s.size() && s[p + 1] == quote) {
        p += 2;
        continue;
      }
      break;
    }
    ++p;
  }
  out.type = quote == '"' ? SCPI_TOKEN_DOUBLE_QUOTE_PROGRAM_DATA : SCPI_TOKEN_SINGLE_QUOTE_PROGRAM_DATA;
  out.text = s.substr(pos, p + 1 - pos);
  out.content = s.substr(pos + 1, p - pos - 1);
  pos = p + 1;
  return true;
}

bool LexExpression(std::string_view s, size_t& pos, scpi_parameter_t& out) {
  size_t p = pos + 1;
  for (;; ++p) {
    if (p >= s.size()) return false;
    const char c = s[p];
    if (c == ')') break;
    if (c < 0x20 || c > 0x7E || c == '"' || c == '#' || c == '\'' || c == '(' || c == ';') return false;
  }
  out.type = SCPI_TOKEN_PROGRAM_EXPRESSION;
  out.text = out.content = s.substr(pos, p + 1 - pos);
  pos = p + 1;
  return true;
}

// Header: '*' keyword, or [':'] keyword (':' keyword)* [':'], then an
// optional '?'. Blanks are not allowed anywhere inside.
bool LexHeader(std::string_view s, size_t& pos) {
  size_t p = pos;
  auto keyword = [&]() {
    if (p >= s.size() || !IsAlpha(s[p])) return false;
    while (p < s.size() && IsKeywordChar(s[p])) ++p;
    return true;
  };
  if (s[p] == '*') {
    ++p;
    if (!keyword()) return false;
  } else {
    if (s[p] == ':') ++p;
    if (!keyword()) return false;
    while (p < s.size() && s[p] == ':') {
      ++p;
      if (p < s.size() && IsAlpha(s[p])) {
        keyword();
      } else {
        break;  // a trailing ':' is kept and looked up as typed
      }
    }
  }
  if (p < s.size() && s[p] == '?') ++p;
  pos = p;
  return true;
}

// Skips to the ';' that ends the unit (or the end), stepping over strings and
// blocks so that their contents are not taken for separators.
size_t SkipToUnitEnd(std::string_view s, size_t pos) {
  while (pos < s.size() && s[pos] != ';') {
    scpi_parameter_t ignored;
    size_t p = pos;
    if ((s[p] == '"' || s[p] == '\'') && LexString(s, p, ignored)) {
      pos = p;
    } else if (s[p] == '#' && LexBlock(s, p, ignored)) {
      pos = p;
    } else if (s[p] == '"' || s[p] == '\'') {
      return s.size();  // an unterminated string runs to the end
    } else {
      ++pos;
    }
  }
  return pos;
}

std::string_view TrimEnd(std::string_view s) {
  while (!s.empty() && IsWhite(s.back())) s.remove_suffix(1);
  return s;
}

LexedUnit Reject(std::string_view message, size_t start, size_t bad, UnitStatus status) {
  LexedUnit unit;
  unit.status = status;
  const size_t end = SkipToUnitEnd(message, bad);
  unit.text = TrimEnd(message.substr(start, end - start));
  unit.next = end < message.size() ? end + 1 : end;
  return unit;
}

}  // namespace

size_t Lex_skipWhite(std::string_view text, size_t pos) {
  while (pos < text.size() && IsWhite(text[pos])) ++pos;
  return pos;
}

bool Scan_byte(ScanState& state, char c) {
  switch (state.mode) {
    case kString:
      if (c == state.quote) state.mode = kOutside;  // a doubled quote reopens at once
      return false;
    case kBlockCount:
      if (c >= '1' && c <= '9') {
        state.digits_left = static_cast<uint32_t>(c - '0');
        state.block_left = 0;
        state.mode = kBlockLength;
        return false;
      }
      state.mode = kOutside;
      break;
    case kBlockLength:
      if (IsDigit(c)) {
        state.block_left = state.block_left * 10 + static_cast<uint64_t>(c - '0');
        if (--state.digits_left == 0) state.mode = state.block_left > 0 ? kBlockData : kOutside;
        return false;
      }
      state.mode = kOutside;
      break;
    case kBlockData:
      if (--state.block_left == 0) state.mode = kOutside;
      return false;
    default:
      break;
  }
  if (c == '"' || c == '\'') {
    state.mode = kString;
    state.quote = c;
    return false;
  }
  if (c == '#') {
    state.mode = kBlockCount;
    return false;
  }
  return IsTerminator(c);
}

bool Lex_parameter(std::string_view s, size_t& pos, scpi_parameter_t& out) {
  if (pos >= s.size()) return false;
  const char c = s[pos];
  if (c == '#') return LexNonDecimal(s, pos, out) || LexBlock(s, pos, out);
  if (IsAlpha(c)) return LexMnemonic(s, pos, out);
  if (IsDigit(c) || c == '+' || c == '-' || c == '.') return LexDecimal(s, pos, out);
  if (c == '"' || c == '\'') return LexString(s, pos, out);
  if (c == '(') return LexExpression(s, pos, out);
  return false;
}

LexedUnit Lex_unit(std::string_view message, size_t pos) {
  const size_t start = pos;
  size_t p = pos;
  if (!LexHeader(message, p)) return Reject(message, start, p, UnitStatus::InvalidCharacter);
  LexedUnit unit;
  unit.header = message.substr(start, p - start);
  size_t params_start = p;
  size_t params_end = p;
  if (p < message.size() && message[p] != ';') {
    if (!IsWhite(message[p])) return Reject(message, start, p, UnitStatus::InvalidCharacter);
    p = Lex_skipWhite(message, p);
    params_start = params_end = p;
    while (p < message.size() && message[p] != ';') {
      scpi_parameter_t parameter;
      if (!Lex_parameter(message, p, parameter)) return Reject(message, start, p, UnitStatus::InvalidCharacter);
      params_end = p;
      p = Lex_skipWhite(message, p);
      if (p >= message.size() || message[p] == ';') break;
      if (message[p] != ',') return Reject(message, start, p, UnitStatus::InvalidCharacter);
      p = Lex_skipWhite(message, p + 1);
      if (p >= message.size() || message[p] == ';') return Reject(message, start, p, UnitStatus::MissingParameter);
    }
  }
  unit.params = message.substr(params_start, params_end - params_start);
  unit.text = TrimEnd(message.substr(start, p - start));
  unit.next = p < message.size() ? p + 1 : p;
  return unit;
}

}  // namespace scpi_detail
