// The project's SCPI engine: program message parsing against a command
// table, parameter readers, result writers, the error queue and the IEEE 488.2
// status registers with their common command handlers.
//
// One context per transport. A context is driven by one thread at a time; two
// contexts share nothing but what the caller hands to both (usually the
// command table). The engine never allocates memory because of input: the
// input buffer and the error queue are the caller's, everything else is of a
// fixed size inside the context.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// Handler results.
using scpi_result_t = int;
inline constexpr scpi_result_t SCPI_RES_OK = 1;
inline constexpr scpi_result_t SCPI_RES_ERR = -1;

struct scpi_t;

using scpi_command_callback_t = scpi_result_t (*)(scpi_t* context);

// One command table row. A table is an array ending with a row whose pattern
// is null (SCPI_CMD_LIST_END).
struct scpi_command_t {
  const char* pattern;
  scpi_command_callback_t callback;
  int32_t tag;
};
#define SCPI_CMD_LIST_END {nullptr, nullptr, 0}

// Control codes for the control callback. Only SCPI_CTRL_SRQ is ever sent by
// the engine; the others are names for the application.
enum scpi_ctrl_name_t : int {
  SCPI_CTRL_SRQ = 1,
  SCPI_CTRL_GTL,
  SCPI_CTRL_SDC,
  SCPI_CTRL_PPC,
  SCPI_CTRL_GET,
  SCPI_CTRL_TCT,
  SCPI_CTRL_LLO,
  SCPI_CTRL_DCL,
  SCPI_CTRL_PPU,
  SCPI_CTRL_SPE,
  SCPI_CTRL_SPD,
  SCPI_CTRL_MLA,
  SCPI_CTRL_UNL,
  SCPI_CTRL_MTA,
  SCPI_CTRL_UNT,
  SCPI_CTRL_MSA,
};

// Transport callbacks. `write` is mandatory; the others may be null.
struct scpi_interface_t {
  int (*error)(scpi_t* context, int_fast16_t code);
  size_t (*write)(scpi_t* context, const char* data, size_t length);
  scpi_result_t (*control)(scpi_t* context, scpi_ctrl_name_t ctrl, uint16_t value);
  scpi_result_t (*flush)(scpi_t* context);
  scpi_result_t (*reset)(scpi_t* context);
};

// Registers, in the order the engine keeps them.
enum scpi_reg_name_t : int {
  SCPI_REG_STB = 0,  // status byte
  SCPI_REG_SRE,      // service request enable
  SCPI_REG_ESR,      // standard event status
  SCPI_REG_ESE,      // standard event status enable
  SCPI_REG_OPER,     // OPERation event
  SCPI_REG_OPERE,    // OPERation enable
  SCPI_REG_OPERC,    // OPERation condition
  SCPI_REG_QUES,     // QUEStionable event
  SCPI_REG_QUESE,    // QUEStionable enable
  SCPI_REG_QUESC,    // QUEStionable condition
  SCPI_REG_COUNT,
};

// Status byte bits.
inline constexpr uint16_t STB_PRO = 0x02;
inline constexpr uint16_t STB_QMA = 0x04;  // error queue not empty
inline constexpr uint16_t STB_QES = 0x08;  // QUEStionable summary
inline constexpr uint16_t STB_MAV = 0x10;  // left to the application
inline constexpr uint16_t STB_ESB = 0x20;  // standard event summary
inline constexpr uint16_t STB_SRQ = 0x40;  // master summary / service request
inline constexpr uint16_t STB_OPS = 0x80;  // OPERation summary

// Standard event status bits.
inline constexpr uint16_t ESR_OPC = 0x01;
inline constexpr uint16_t ESR_REQ = 0x02;
inline constexpr uint16_t ESR_QER = 0x04;
inline constexpr uint16_t ESR_DER = 0x08;
inline constexpr uint16_t ESR_EER = 0x10;
inline constexpr uint16_t ESR_CER = 0x20;
inline constexpr uint16_t ESR_URQ = 0x40;
inline constexpr uint16_t ESR_PON = 0x80;

// Most often used error codes; SCPI_ErrorTranslate knows every standard one.
inline constexpr int16_t SCPI_ERROR_NO_ERROR = 0;
inline constexpr int16_t SCPI_ERROR_COMMAND = -100;
inline constexpr int16_t SCPI_ERROR_INVALID_CHARACTER = -101;
inline constexpr int16_t SCPI_ERROR_DATA_TYPE_ERROR = -104;
inline constexpr int16_t SCPI_ERROR_PARAMETER_NOT_ALLOWED = -108;
inline constexpr int16_t SCPI_ERROR_MISSING_PARAMETER = -109;
inline constexpr int16_t SCPI_ERROR_UNDEFINED_HEADER = -113;
inline constexpr int16_t SCPI_ERROR_INVALID_SUFFIX = -131;
inline constexpr int16_t SCPI_ERROR_SUFFIX_NOT_ALLOWED = -138;
inline constexpr int16_t SCPI_ERROR_EXECUTION_ERROR = -200;
inline constexpr int16_t SCPI_ERROR_PARAMETER_ERROR = -220;
inline constexpr int16_t SCPI_ERROR_DATA_OUT_OF_RANGE = -222;
inline constexpr int16_t SCPI_ERROR_ILLEGAL_PARAMETER_VALUE = -224;
inline constexpr int16_t SCPI_ERROR_SYSTEM_ERROR = -310;
inline constexpr int16_t SCPI_ERROR_MEMORY_ERROR = -311;
inline constexpr int16_t SCPI_ERROR_QUEUE_OVERFLOW = -350;
inline constexpr int16_t SCPI_ERROR_INPUT_BUFFER_OVERRUN = -363;

// Device-dependent information kept with a queued error, at most this long.
inline constexpr size_t SCPI_ERROR_INFO_MAX = 255;

// One error queue entry. The caller provides an array of them per context.
struct scpi_error_t {
  int16_t error_code = 0;
  bool has_info = false;
  uint8_t info_length = 0;
  std::array<char, SCPI_ERROR_INFO_MAX> info{};

  std::string_view Info() const { return {info.data(), info_length}; }
};

// Physical units of the unit-suffix table.
enum scpi_unit_t : int {
  SCPI_UNIT_NONE,
  SCPI_UNIT_VOLT,
  SCPI_UNIT_AMPER,
  SCPI_UNIT_OHM,
  SCPI_UNIT_HERTZ,
  SCPI_UNIT_CELSIUS,
  SCPI_UNIT_KELVIN,
  SCPI_UNIT_SECOND,
  SCPI_UNIT_METER,
  SCPI_UNIT_GRAY,
  SCPI_UNIT_BECQUEREL,
  SCPI_UNIT_MOLE,
  SCPI_UNIT_DEGREE,
  SCPI_UNIT_GRADE,
  SCPI_UNIT_RADIAN,
  SCPI_UNIT_REVOLUTION,
  SCPI_UNIT_STERADIAN,
  SCPI_UNIT_SIEVERT,
  SCPI_UNIT_FARAD,
  SCPI_UNIT_COULOMB,
  SCPI_UNIT_SIEMENS,
  SCPI_UNIT_ELECTRONVOLT,
  SCPI_UNIT_JOULE,
  SCPI_UNIT_NEWTON,
  SCPI_UNIT_LUX,
  SCPI_UNIT_HENRY,
  SCPI_UNIT_ASTRONOMIC_UNIT,
  SCPI_UNIT_PARSEC,
  SCPI_UNIT_LUMEN,
  SCPI_UNIT_CANDELA,
  SCPI_UNIT_WEBER,
  SCPI_UNIT_TESLA,
  SCPI_UNIT_ATOMIC_MASS,
  SCPI_UNIT_KILOGRAM,
  SCPI_UNIT_WATT,
  SCPI_UNIT_DBM,
  SCPI_UNIT_ATMOSPHERE,
  SCPI_UNIT_INHG,
  SCPI_UNIT_MMHG,
  SCPI_UNIT_PASCAL,
  SCPI_UNIT_TORT,
  SCPI_UNIT_BAR,
  SCPI_UNIT_DECIBEL,
  SCPI_UNIT_UNITLESS,
  SCPI_UNIT_LITER,
  SCPI_UNIT_STOKES,
  SCPI_UNIT_POISE,
  SCPI_UNIT_DAY,
  SCPI_UNIT_YEAR,
};

// One unit suffix: its spelling, the unit it gives and the factor applied.
// A table ends with a row whose name is null.
struct scpi_unit_def_t {
  const char* name;
  scpi_unit_t unit;
  double mult;
};
extern const scpi_unit_def_t scpi_units_def[];

// A word list (choices, special numbers, booleans). Names follow the keyword
// rules of command patterns ("MINimum" accepts MIN and MINIMUM). A list ends
// with {nullptr, -1}.
struct scpi_choice_def_t {
  const char* name;
  int32_t tag;
};
#define SCPI_CHOICE_LIST_END {nullptr, -1}

enum scpi_special_number_t : int32_t {
  SCPI_NUM_NUMBER = 0,
  SCPI_NUM_MIN,
  SCPI_NUM_MAX,
  SCPI_NUM_DEF,
  SCPI_NUM_UP,
  SCPI_NUM_DOWN,
  SCPI_NUM_NAN,
  SCPI_NUM_INF,
  SCPI_NUM_NINF,
  SCPI_NUM_AUTO,
};
extern const scpi_choice_def_t scpi_special_numbers_def[];

// A number parameter: either a value (with the unit suffix applied) or one
// of the special words, reported by its tag.
struct scpi_number_t {
  bool special = false;
  int32_t tag = SCPI_NUM_NUMBER;
  double value = 0.0;
  scpi_unit_t unit = SCPI_UNIT_NONE;
  int8_t base = 10;
};

enum scpi_token_type_t : int {
  SCPI_TOKEN_NONE,
  SCPI_TOKEN_HEXNUM,
  SCPI_TOKEN_OCTNUM,
  SCPI_TOKEN_BINNUM,
  SCPI_TOKEN_PROGRAM_MNEMONIC,  // character data
  SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA,
  SCPI_TOKEN_DECIMAL_NUMERIC_PROGRAM_DATA_WITH_SUFFIX,
  SCPI_TOKEN_SINGLE_QUOTE_PROGRAM_DATA,
  SCPI_TOKEN_DOUBLE_QUOTE_PROGRAM_DATA,
  SCPI_TOKEN_ARBITRARY_BLOCK_PROGRAM_DATA,
  SCPI_TOKEN_PROGRAM_EXPRESSION,
};

// One parameter as received. `text` is the whole token as typed; `content`
// is what the raw-text readers give (digits without the #H prefix, the text
// between the quotes, the block payload).
struct scpi_parameter_t {
  scpi_token_type_t type = SCPI_TOKEN_NONE;
  std::string_view text;
  std::string_view content;
};

// Engine state that the application reads through the functions below. The
// members are internal; they sit here only so that a context can be a plain
// member of the application's records.
namespace scpi_detail {
inline constexpr size_t kHeaderMax = 256;    // composed header text
inline constexpr size_t kOutputMax = 2048;   // one unit's staged reply
inline constexpr size_t kMaxSuffixes = 16;   // '#' keywords per pattern

inline constexpr size_t kMaxElements = 16;  // keywords per pattern

// One keyword of a pattern: its text in the pattern, the length of its long
// and short forms, whether it takes a numeric suffix, and, for the first
// keyword of an optional group, how many keywords the group holds.
struct PatternElement {
  const char* text = nullptr;
  char first = 0;  // upper case, for a quick reject
  uint8_t long_length = 0;
  uint8_t short_length = 0;
  uint8_t group_length = 0;
  bool suffix = false;
  int8_t suffix_index = -1;
};

struct CompiledPattern {
  std::array<PatternElement, kMaxElements> elements{};
  uint8_t count = 0;
  uint8_t suffix_count = 0;
  int8_t last_group_start = -1;  // >= 0 when the last keyword is optional
  bool query = false;
  bool valid = false;
};


struct ScanState {
  int mode = 0;            // outside data, inside a string, block header or data
  char quote = 0;          // the quote that opened the current string
  uint32_t digits_left = 0;
  uint64_t block_left = 0;
};

struct Unit {
  std::string_view text;    // the program message unit as received
  std::string_view header;  // header after path completion
  std::string_view params;  // all parameter text of the unit
  size_t cursor = 0;        // next unread parameter within `params`
  bool query = false;
  bool error_flagged = false;
  bool param_error = false;
  size_t results = 0;
  const scpi_command_t* command = nullptr;
  const CompiledPattern* pattern = nullptr;
  std::array<int32_t, kMaxSuffixes> suffixes{};
  std::array<bool, kMaxSuffixes> suffix_given{};
  size_t suffix_count = 0;
};
}  // namespace scpi_detail

struct scpi_t {
  const scpi_command_t* cmdlist = nullptr;
  const scpi_interface_t* interface = nullptr;
  const scpi_unit_def_t* units = nullptr;
  std::array<const char*, 4> idn{};
  void* user_context = nullptr;

  // Input buffer and error queue, both owned by the caller.
  char* buffer = nullptr;
  size_t buffer_length = 0;
  size_t pending = 0;
  size_t scanned = 0;
  size_t message_start = 0;
  scpi_detail::ScanState scan{};
  bool discarding = false;
  bool executing = false;
  bool last_ok = true;

  scpi_error_t* error_queue = nullptr;
  size_t error_queue_size = 0;
  size_t error_first = 0;
  size_t error_count = 0;

  std::array<uint16_t, SCPI_REG_COUNT> registers{};

  // Per message and per unit state.
  std::array<char, scpi_detail::kHeaderMax> header{};
  std::array<char, scpi_detail::kHeaderMax> path{};
  size_t path_length = 0;
  bool query_done = false;
  std::array<char, scpi_detail::kOutputMax> output{};
  size_t output_length = 0;
  bool output_spilled = false;
  scpi_detail::Unit unit{};

  std::vector<scpi_detail::CompiledPattern> patterns;
};

// ---- Context and input ----

// Sets up a context. The table is compiled once here (the only allocation
// the engine makes); the input buffer holds at most input_buffer_length - 1
// pending bytes. Identification fields may be null (written as "0"); a null
// unit table means scpi_units_def. Returns false when a pattern of the table
// is malformed (unbalanced or nested brackets, more than 16 keywords): such a
// row never matches, the others work.
bool SCPI_Init(scpi_t* context, const scpi_command_t* commands, const scpi_interface_t* interface,
               const scpi_unit_def_t* units, const char* idn1, const char* idn2, const char* idn3,
               const char* idn4, char* input_buffer, size_t input_buffer_length,
               scpi_error_t* error_queue_data, int16_t error_queue_size);

// Feeds received bytes: every complete program message (ended by CR, LF or
// CR LF) is executed at once. With length 0 everything pending is executed as
// one message. Returns false if the input overran the buffer or the last
// message executed queued an error. Must not be called from a handler.
bool SCPI_Input(scpi_t* context, const char* data, size_t length);

// Forgets every pending byte and the discard state left by an overrun,
// without executing anything: for a transport whose peer went away, so that
// the next peer's first message starts clean. The error queue and the
// registers are kept. Must not be called from a handler.
void SCPI_InputDiscard(scpi_t* context);

// Executes one complete program message (without terminator) directly.
bool SCPI_Parse(scpi_t* context, std::string_view message);

// ---- Inside a handler ----

// The program message unit being executed, as received: its header as typed
// (before path completion) and its parameters, without the ';' or terminator
// that ends it and without surrounding blanks.
std::string_view SCPI_CurrentMessage(const scpi_t* context);
// The header after path completion, as looked up ("SYST:ERR?").
std::string_view SCPI_CommandHeader(const scpi_t* context);
bool SCPI_IsQuery(const scpi_t* context);
int32_t SCPI_CmdTag(const scpi_t* context);
// Does `text` match the pattern of the row being executed?
bool SCPI_IsCmd(const scpi_t* context, std::string_view text);
// The numbers typed at each '#' of the matched pattern, default where none.
bool SCPI_CommandNumbers(const scpi_t* context, int32_t* numbers, size_t count, int32_t default_value);
// The bare pattern matcher.
bool SCPI_Match(std::string_view pattern, std::string_view header);

// ---- Parameters ----
// Each reader takes the next parameter. An absent optional parameter returns
// false, queues nothing and leaves the output alone; a missing mandatory one
// queues -109. SCPI_ParamErrorOccurred tells the two apart.

bool SCPI_Parameter(scpi_t* context, scpi_parameter_t* parameter, bool mandatory);
bool SCPI_ParamErrorOccurred(const scpi_t* context);
bool SCPI_ParamInt32(scpi_t* context, int32_t* value, bool mandatory);
bool SCPI_ParamUInt32(scpi_t* context, uint32_t* value, bool mandatory);
bool SCPI_ParamInt64(scpi_t* context, int64_t* value, bool mandatory);
bool SCPI_ParamUInt64(scpi_t* context, uint64_t* value, bool mandatory);
bool SCPI_ParamDouble(scpi_t* context, double* value, bool mandatory);
bool SCPI_ParamFloat(scpi_t* context, float* value, bool mandatory);
bool SCPI_ParamNumber(scpi_t* context, const scpi_choice_def_t* specials, scpi_number_t* value,
                      bool mandatory);
bool SCPI_ParamBool(scpi_t* context, bool* value, bool mandatory);
bool SCPI_ParamChoice(scpi_t* context, const scpi_choice_def_t* options, int32_t* value,
                      bool mandatory);
// Raw text of any parameter (see scpi_parameter_t::content); never queues a
// type error.
bool SCPI_ParamCharacters(scpi_t* context, std::string_view* text, bool mandatory);
// A quoted string, doubled quotes collapsed, copied NUL-terminated into the
// buffer. Returns false with -104 for anything but a string; text longer than
// the buffer is cut and *truncated (when given) is set.
bool SCPI_ParamCopyText(scpi_t* context, char* buffer, size_t size, size_t* length,
                        bool mandatory, bool* truncated = nullptr);
// Character data or a quoted string (quotes removed, doubled quotes
// collapsed), copied like SCPI_ParamCopyText.
bool SCPI_ParamString(scpi_t* context, char* buffer, size_t size, size_t* length, bool mandatory,
                      bool* truncated = nullptr);
// Takes the next parameter and gives its text from its first character to
// the end of the current unit (for handlers that parse values themselves).
bool SCPI_ParamTextToEnd(scpi_t* context, std::string_view* text, bool mandatory);
bool SCPI_ParamArbitraryBlock(scpi_t* context, std::string_view* data, bool mandatory);

// ---- Results ----
// Results of one unit are separated by ','. A query's reply is sent only if
// the unit succeeds; replies of successful queries of one message are joined
// by ';' and ended with CR LF. Commands never reply.

size_t SCPI_ResultInt32(scpi_t* context, int32_t value);
size_t SCPI_ResultUInt32(scpi_t* context, uint32_t value);
size_t SCPI_ResultInt64(scpi_t* context, int64_t value);
size_t SCPI_ResultUInt64(scpi_t* context, uint64_t value);
// Base 2, 8 or 16: "#B", "#Q" or "#H" prefix; other bases write decimal.
size_t SCPI_ResultUInt32Base(scpi_t* context, uint32_t value, int8_t base);
size_t SCPI_ResultDouble(scpi_t* context, double value);
size_t SCPI_ResultFloat(scpi_t* context, float value);
size_t SCPI_ResultBool(scpi_t* context, bool value);
// Quoted text with inner double quotes doubled.
size_t SCPI_ResultText(scpi_t* context, std::string_view text);
// Character data, written as given.
size_t SCPI_ResultCharacters(scpi_t* context, std::string_view text);
size_t SCPI_ResultMnemonic(scpi_t* context, std::string_view text);
size_t SCPI_ResultArbitraryBlock(scpi_t* context, std::string_view data);

// ---- Error queue ----

void SCPI_ErrorPush(scpi_t* context, int_fast16_t code);
// With device-dependent information (cut to SCPI_ERROR_INFO_MAX characters).
void SCPI_ErrorPushEx(scpi_t* context, int_fast16_t code, std::string_view info);
// Queues an error that goes with the unit's reply instead of replacing it
// (a reading that is answered but known to be stale): the unit keeps its
// reply and still counts as answered.
void SCPI_ErrorPushWithReply(scpi_t* context, int_fast16_t code, std::string_view info);
// Removes the oldest entry; an empty queue gives code 0.
bool SCPI_ErrorPop(scpi_t* context, scpi_error_t* error);
int32_t SCPI_ErrorCount(const scpi_t* context);
void SCPI_ErrorClear(scpi_t* context);
// The standard text of a code, "Unknown error" for others.
const char* SCPI_ErrorTranslate(int_fast16_t code);

// ---- Registers ----

uint16_t SCPI_RegGet(const scpi_t* context, scpi_reg_name_t name);
// Writes go through the IEEE 488.2 propagation (conditions to events, events
// to status byte summaries, service requests).
void SCPI_RegSet(scpi_t* context, scpi_reg_name_t name, uint16_t value);
void SCPI_RegSetBits(scpi_t* context, scpi_reg_name_t name, uint16_t bits);
void SCPI_RegClearBits(scpi_t* context, scpi_reg_name_t name, uint16_t bits);

// ---- Core command handlers ----

// The IEEE 488.2 common commands and the required SYSTem and STATus rows,
// each with the handler below, in the order the meter lists them ("*CLS" to
// "STATus:PRESet"); ends with SCPI_CMD_LIST_END.
extern const scpi_command_t scpi_core_commands[];

scpi_result_t SCPI_CoreCls(scpi_t* context);
scpi_result_t SCPI_CoreEse(scpi_t* context);
scpi_result_t SCPI_CoreEseQ(scpi_t* context);
scpi_result_t SCPI_CoreEsrQ(scpi_t* context);
scpi_result_t SCPI_CoreIdnQ(scpi_t* context);
scpi_result_t SCPI_CoreOpc(scpi_t* context);
scpi_result_t SCPI_CoreOpcQ(scpi_t* context);
scpi_result_t SCPI_CoreRst(scpi_t* context);
scpi_result_t SCPI_CoreSre(scpi_t* context);
scpi_result_t SCPI_CoreSreQ(scpi_t* context);
scpi_result_t SCPI_CoreStbQ(scpi_t* context);
scpi_result_t SCPI_CoreTstQ(scpi_t* context);
scpi_result_t SCPI_CoreWai(scpi_t* context);
scpi_result_t SCPI_SystemErrorNextQ(scpi_t* context);
scpi_result_t SCPI_SystemErrorCountQ(scpi_t* context);
scpi_result_t SCPI_SystemVersionQ(scpi_t* context);
scpi_result_t SCPI_StatusQuestionableEventQ(scpi_t* context);
scpi_result_t SCPI_StatusQuestionableConditionQ(scpi_t* context);
scpi_result_t SCPI_StatusQuestionableEnable(scpi_t* context);
scpi_result_t SCPI_StatusQuestionableEnableQ(scpi_t* context);
scpi_result_t SCPI_StatusOperationEventQ(scpi_t* context);
scpi_result_t SCPI_StatusOperationConditionQ(scpi_t* context);
scpi_result_t SCPI_StatusOperationEnable(scpi_t* context);
scpi_result_t SCPI_StatusOperationEnableQ(scpi_t* context);
scpi_result_t SCPI_StatusPreset(scpi_t* context);
