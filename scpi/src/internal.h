// Internals shared by the engine's source files; not part of the interface.
#pragma once

#include <scpi/scpi.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace scpi_detail {

inline constexpr bool IsWhite(char c) { return c == ' ' || c == '\t'; }
inline constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline constexpr bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline constexpr bool IsKeywordChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '_'; }
inline constexpr bool IsTerminator(char c) { return c == '\r' || c == '\n'; }
inline constexpr char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-insensitive equality of two ASCII texts.
bool EqualNoCase(std::string_view a, std::string_view b);

// ---- Command patterns ----

// A received header split at its colons.
struct Keywords {
  std::array<std::string_view, kMaxElements> items{};
  size_t count = 0;
  bool query = false;
};

// Splits a header (leading ':' ignored, trailing '?' noted). False when it
// cannot match any pattern (empty, or more keywords than a pattern holds).
bool Header_split(std::string_view header, Keywords& keywords);
bool Pattern_matchKeywords(const CompiledPattern& pattern, const Keywords& keywords, Unit* unit);

// Compiles a pattern. An unusable pattern (nested brackets, too many
// keywords) compiles to one that never matches.
CompiledPattern Pattern_compile(std::string_view pattern);
// Matches a header (leading ':' ignored, trailing '?' for queries). When
// `unit` is given, the numbers typed at '#' keywords are stored there.
bool Pattern_match(const CompiledPattern& pattern, std::string_view header, Unit* unit);
// Matches one word against a keyword written in pattern notation ("MINimum").
bool Keyword_matches(std::string_view keyword, std::string_view word);

// ---- Lexing of received text ----

// Keeps track of strings and blocks while looking for message terminators.
// Returns true when `c` ends a program message.
bool Scan_byte(ScanState& state, char c);

enum class UnitStatus { Ok, InvalidCharacter, MissingParameter };

struct LexedUnit {
  UnitStatus status = UnitStatus::Ok;
  std::string_view text;    // first to last non-blank of the unit
  std::string_view header;  // as typed
  std::string_view params;  // parameter text, blanks trimmed
  size_t next = 0;          // where the next unit starts (after ';')
};

// Lexes the unit starting at `pos` (at a non-blank that is not ';').
LexedUnit Lex_unit(std::string_view message, size_t pos);
// Lexes one parameter at `pos` of a unit's parameter text.
bool Lex_parameter(std::string_view text, size_t& pos, scpi_parameter_t& out);
size_t Lex_skipWhite(std::string_view text, size_t pos);

// ---- Errors and registers ----

void Error_push(scpi_t* context, int_fast16_t code, std::string_view info, bool has_info);

// ---- Output ----

// Appends reply text for the unit being executed.
void Output_append(scpi_t* context, std::string_view text);
// Starts a new result: writes the ',' before every result but the first.
void Output_beginResult(scpi_t* context);

}  // namespace scpi_detail
