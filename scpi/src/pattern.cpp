// Command pattern compilation and matching.
//
// A keyword's short form is its upper-case prefix (up to the first lower-case
// letter, so "STATe1" has the short form "STAT" and the long form "STATE1");
// input must equal one of the two forms, ignoring case. A '#' after a keyword
// lets the input add an unsigned decimal suffix. Bracketed keywords may be
// omitted; the order of keywords is fixed.
#include "internal.h"

namespace scpi_detail {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

namespace {

bool IsPatternKeywordChar(char c) { return IsKeywordChar(c) || c == '*'; }

// Reads one keyword of a pattern at `pos`; returns false on a malformed one.
bool CompileKeyword(std::string_view pattern, size_t& pos, CompiledPattern& out) {
  const size_t start = pos;
  while (pos < pattern.size() && IsPatternKeywordChar(pattern[pos])) ++pos;
  const size_t length = pos - start;
  if (length == 0 || length > 255 || out.count >= kMaxElements) return false;
  PatternElement& element = out.elements[out.count++];
  element.text = pattern.data() + start;
  element.first = Upper(pattern[start]);
  element.long_length = static_cast<uint8_t>(length);
  size_t short_length = 0;
  while (short_length < length && !(pattern[start + short_length] >= 'a' && pattern[start + short_length] <= 'z')) {
    ++short_length;
  }
  element.short_length = static_cast<uint8_t>(short_length);
  if (pos < pattern.size() && pattern[pos] == '#') {
    ++pos;
    if (out.suffix_count >= kMaxSuffixes) return false;
    element.suffix = true;
    element.suffix_index = static_cast<int8_t>(out.suffix_count++);
  }
  return true;
}

// Parses an unsigned decimal suffix of at most nine digits.
bool ParseSuffix(std::string_view digits, int32_t& value) {
  if (digits.size() > 9) return false;
  int32_t result = 0;
  for (char c : digits) {
    if (!IsDigit(c)) return false;
    result = result * 10 + (c - '0');
  }
  value = result;
  return true;
}

bool FormMatches(std::string_view keyword, const char* form, size_t form_length, bool suffix,
                 int32_t& number, bool& given) {
  if (suffix ? keyword.size() < form_length : keyword.size() != form_length) return false;
  if (!EqualNoCase(keyword.substr(0, form_length), std::string_view(form, form_length))) return false;
  if (!suffix) return true;
  std::string_view rest = keyword.substr(form_length);
  given = !rest.empty();
  return ParseSuffix(rest, number);
}

bool KeywordMatches(const PatternElement& element, std::string_view keyword, Unit* unit) {
  if (keyword.empty() || Upper(keyword.front()) != element.first) return false;
  int32_t number = 0;
  bool given = false;
  bool ok = FormMatches(keyword, element.text, element.long_length, element.suffix, number, given) ||
            (element.short_length != element.long_length &&
             FormMatches(keyword, element.text, element.short_length, element.suffix, number, given));
  if (ok && element.suffix && unit != nullptr) {
    unit->suffixes[static_cast<size_t>(element.suffix_index)] = number;
    unit->suffix_given[static_cast<size_t>(element.suffix_index)] = given;
  }
  return ok;
}

bool MatchFrom(const CompiledPattern& pattern, size_t pi, const Keywords& keywords, size_t ki, Unit* unit) {
  if (pi == pattern.count) return ki == keywords.count;
  const PatternElement& element = pattern.elements[pi];
  if (element.group_length == 0) {
    return ki < keywords.count && KeywordMatches(element, keywords.items[ki], unit) &&
           MatchFrom(pattern, pi + 1, keywords, ki + 1, unit);
  }
  const size_t group_end = pi + element.group_length;
  size_t k = ki;
  bool present = true;
  for (size_t j = pi; j < group_end && present; ++j, ++k) {
    present = k < keywords.count && KeywordMatches(pattern.elements[j], keywords.items[k], unit);
  }
  if (present && MatchFrom(pattern, group_end, keywords, k, unit)) return true;
  if (unit != nullptr) {
    for (size_t j = pi; j < group_end; ++j) {
      if (pattern.elements[j].suffix) unit->suffix_given[static_cast<size_t>(pattern.elements[j].suffix_index)] = false;
    }
  }
  return MatchFrom(pattern, group_end, keywords, ki, unit);
}

}  // namespace

CompiledPattern Pattern_compile(std::string_view pattern) {
  CompiledPattern out;
  size_t pos = 0;
  int group_start = -1;
  while (pos < pattern.size()) {
    const char c = pattern[pos];
    if (c == ':') {
      ++pos;
    } else if (c == '[') {
      if (group_start >= 0) return CompiledPattern{};
      group_start = out.count;
      ++pos;
    } else if (c == ']') {
      if (group_start < 0 || out.count == group_start) return CompiledPattern{};
      out.elements[static_cast<size_t>(group_start)].group_length = static_cast<uint8_t>(out.count - group_start);
      out.last_group_start = static_cast<int8_t>(group_start);
      group_start = -1;
      ++pos;
    } else if (c == '?') {
      if (pos + 1 != pattern.size()) return CompiledPattern{};
      out.query = true;
      ++pos;
    } else {
      if (group_start < 0) out.last_group_start = -1;  // a mandatory keyword follows any group
      if (!CompileKeyword(pattern, pos, out)) return CompiledPattern{};
    }
  }
  out.valid = group_start < 0 && out.count > 0;
  return out;
}

bool Header_split(std::string_view header, Keywords& keywords) {
  keywords.count = 0;
  keywords.query = !header.empty() && header.back() == '?';
  if (keywords.query) header.remove_suffix(1);
  if (!header.empty() && header.front() == ':') header.remove_prefix(1);
  if (header.empty()) return false;
  size_t start = 0;
  for (;;) {
    const size_t colon = header.find(':', start);
    if (keywords.count >= kMaxElements) return false;
    keywords.items[keywords.count++] = header.substr(start, colon == std::string_view::npos ? header.npos : colon - start);
    if (colon == std::string_view::npos) return true;
    start = colon + 1;
  }
}

bool Pattern_matchKeywords(const CompiledPattern& pattern, const Keywords& keywords, Unit* unit) {
  if (!pattern.valid || keywords.query != pattern.query) return false;
  // Most rows differ in their first keyword: reject them before any set-up.
  const PatternElement& first = pattern.elements[0];
  if (first.group_length == 0 && !KeywordMatches(first, keywords.items[0], nullptr)) return false;
  // Rows of one family usually differ in their last keyword.
  const PatternElement& last = pattern.elements[pattern.count - 1];
  const bool last_optional = pattern.count > 1 && pattern.last_group_start >= 0;
  if (!last_optional && !last.suffix && pattern.count > 1 &&
      !KeywordMatches(last, keywords.items[keywords.count - 1], nullptr)) {
    return false;
  }
  if (unit != nullptr) {
    unit->suffix_count = pattern.suffix_count;
    unit->suffix_given.fill(false);
  }
  return MatchFrom(pattern, 0, keywords, 0, unit);
}

bool Pattern_match(const CompiledPattern& pattern, std::string_view header, Unit* unit) {
  Keywords keywords;
  return Header_split(header, keywords) && Pattern_matchKeywords(pattern, keywords, unit);
}

bool Keyword_matches(std::string_view keyword, std::string_view word) {
  size_t short_length = 0;
  while (short_length < keyword.size() && !(keyword[short_length] >= 'a' && keyword[short_length] <= 'z')) {
    ++short_length;
  }
  return EqualNoCase(word, keyword) || EqualNoCase(word, keyword.substr(0, short_length));
}

}  // namespace scpi_detail

bool SCPI_Match(std::string_view pattern, std::string_view header) {
  return scpi_detail::Pattern_match(scpi_detail::Pattern_compile(pattern), header, nullptr);
}
