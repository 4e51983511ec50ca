// The values the sensor commands take and give: the parameter readers
// (booleans, words, times, levels, frequencies) and the number format of
// the replies. The text functions are pure, so that they can be tested
// without a parser context.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "scpi/scpi.h"

// A value parameter as the readers see it: upper case, blanks removed (so
// that "10 US" reads as "10US", as IEEE 488.2 allows white space before a
// suffix). Values longer than the buffer are refused: no number the meter
// takes needs 63 characters.
struct ScpiValueText {
  std::array<char, 64> text{};
  std::size_t length = 0;
  std::string_view view() const { return {text.data(), length}; }
};
// False when the text does not fit.
bool ScpiValueText_set(ScpiValueText* value, std::string_view raw);

// One decimal number filling the whole text ("+1.5E-3", ".5", "7."),
// finite and within a float. NaN, infinities, hexadecimal and anything
// beyond a float (1e39) are refused, as is a non-zero number so small that
// it would become 0.
bool stringIsFloat(std::string_view text, float* value);

enum class ScpiBoolean { False, True, Negative, Invalid };
ScpiBoolean ScpiValue_boolean(std::string_view text);
// "PULS"/"PULSE" -> false (pulse gate), "TRIG"/"TRIGGERED" -> true.
std::optional<bool> ScpiValue_gateModel(std::string_view text);
// "POS"/"POSITIVE" -> 1, "NEG"/"NEGATIVE" -> 0.
std::optional<std::uint8_t> ScpiValue_slope(std::string_view text);
// Seconds: no suffix, "S", "MS" or "US".
std::optional<float> ScpiValue_time(std::string_view text);
// Watts: no suffix, "W", "MW" or "KW".
std::optional<float> ScpiValue_level(std::string_view text);
// Hertz. A plain number, or one followed by "HZ", is in MHz; "KHZ", "MHZ"
// and "GHZ" mean what they say.
std::optional<float> ScpiValue_frequency(std::string_view text);

// The shortest text that reads back as the same single-precision number,
// after moving the decimal point by `pow10` places (the scaling of the
// replies: Hz to MHz is -6, seconds to microseconds +6). Scaling the digits
// rather than the number keeps 915.5 MHz from turning into 915.500032.
// Plain notation for decimal exponents -4 to 14, else "4e-08"; NaN and the
// infinities as 9.91E+37, 9.9E+37 and -9.9E+37.
struct ScpiNumberText {
  std::array<char, 48> text{};
  std::size_t length = 0;
  std::string_view view() const { return {text.data(), length}; }
};
ScpiNumberText scpiFormatFloat(float value, int pow10 = 0);

// Readers over a parser context. Each takes the next (mandatory)
// parameter; a missing one queues -109 from the engine and once more from
// the reader, a bad one -220 (a negative boolean custom error 103).
bool SCPI_ReadStringParameter(scpi_t* context, ScpiValueText* value);
bool SCPI_ReadBooleanParameter(scpi_t* context, bool* value);
bool SCPI_ReadGateModelParameter(scpi_t* context, bool* triggeredGates);
bool SCPI_ReadSlopeParameter(scpi_t* context, std::uint8_t* slope);
bool SCPI_ReadTimeParameter(scpi_t* context, float* seconds);
bool SCPI_ReadLevelParameter(scpi_t* context, float* watts);
bool SCPI_ReadFrequencyParameter(scpi_t* context, float* hertz);

// Writes a number result in the reply format above.
void SCPI_ResultSensorFloat(scpi_t* context, float value, int pow10 = 0);
