// libFuzzer target over SCPI_Input: arbitrary bytes, fed in arbitrary chunks
// to a context of arbitrary buffer size, against a table whose handlers use
// every parameter reader and result writer. The engine's own invariants are
// checked after every call.
#include <scpi/scpi.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

size_t Write(scpi_t* /*context*/, const char* data, size_t length) {
  if (length == 0 || data == nullptr) std::abort();  // never called empty
  volatile char sink = data[length - 1];            // touch the last byte
  (void)sink;
  return length;
}

const scpi_interface_t kInterface = {nullptr, Write, nullptr, nullptr, nullptr};

const scpi_choice_def_t kChoices[] = {{"POSitive", 1}, {"NEGative", 0}, {"EITHer", 2}, SCPI_CHOICE_LIST_END};

scpi_result_t Numbers(scpi_t* context) {
  scpi_number_t number;
  SCPI_ParamNumber(context, scpi_special_numbers_def, &number, true);
  int32_t i32 = 0;
  SCPI_ParamInt32(context, &i32, false);
  int64_t i64 = 0;
  SCPI_ParamInt64(context, &i64, false);
  uint32_t u32 = 0;
  SCPI_ParamUInt32(context, &u32, false);
  uint64_t u64 = 0;
  SCPI_ParamUInt64(context, &u64, false);
  double d = 0;
  SCPI_ParamDouble(context, &d, false);
  float f = 0;
  SCPI_ParamFloat(context, &f, false);
  if (SCPI_IsQuery(context)) {
    SCPI_ResultDouble(context, number.value);
    SCPI_ResultInt32(context, i32);
    SCPI_ResultInt64(context, i64);
    SCPI_ResultUInt32Base(context, u32, 16);
    SCPI_ResultUInt64(context, u64);
    SCPI_ResultFloat(context, f);
  }
  return SCPI_RES_OK;
}

scpi_result_t Words(scpi_t* context) {
  bool flag = false;
  SCPI_ParamBool(context, &flag, false);
  int32_t choice = 0;
  SCPI_ParamChoice(context, kChoices, &choice, false);
  char text[8];
  size_t length = 0;
  bool truncated = false;
  SCPI_ParamCopyText(context, text, sizeof text, &length, false, &truncated);
  SCPI_ParamString(context, text, sizeof text, &length, false, &truncated);
  std::string_view raw;
  SCPI_ParamCharacters(context, &raw, false);
  std::string_view block;
  SCPI_ParamArbitraryBlock(context, &block, false);
  if (SCPI_IsQuery(context)) {
    SCPI_ResultBool(context, flag);
    SCPI_ResultText(context, {text, length});
    SCPI_ResultCharacters(context, raw);
    SCPI_ResultArbitraryBlock(context, block);
  }
  return choice == 2 ? SCPI_RES_ERR : SCPI_RES_OK;
}

scpi_result_t Echo(scpi_t* context) {
  std::string_view rest;
  SCPI_ParamTextToEnd(context, &rest, false);
  int32_t numbers[4];
  SCPI_CommandNumbers(context, numbers, 4, -1);
  SCPI_ResultText(context, SCPI_CurrentMessage(context));
  SCPI_ResultText(context, rest);
  SCPI_ResultMnemonic(context, SCPI_CommandHeader(context));
  SCPI_ResultInt32(context, numbers[0]);
  if (SCPI_IsCmd(context, "MEAS:GATE:MAX?")) SCPI_ErrorPushEx(context, -220, rest);
  return SCPI_RES_OK;
}

const scpi_command_t kFuzzRows[] = {
    {"NUMber", Numbers, 1},
    {"NUMber?", Numbers, 2},
    {"WORDs", Words, 3},
    {"WORDs?", Words, 4},
    {"MEASure[:SCALar][:POWer]:GATE:MAXimum?", Echo, 5},
    {"OUTPut#[:MODulation#]:FM#?", Echo, 6},
    {"TEST:TREEA?", Echo, 7},
    {"TEST:TREEB?", Echo, 8},
    SCPI_CMD_LIST_END,
};

// The core rows followed by the rows above, built once.
const scpi_command_t* Table() {
  static const std::vector<scpi_command_t> table = [] {
    std::vector<scpi_command_t> rows;
    for (const scpi_command_t* row = scpi_core_commands; row->pattern != nullptr; ++row) rows.push_back(*row);
    for (const scpi_command_t* row = kFuzzRows; row->pattern != nullptr; ++row) rows.push_back(*row);
    rows.push_back(SCPI_CMD_LIST_END);
    return rows;
  }();
  return table.data();
}


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the buffer size and the chunking.
  const size_t buffer_length = 8 + data[0] % 300;
  const uint8_t chunking = data[1];
  data += 2;
  size -= 2;
  std::vector<char> buffer(buffer_length);
  std::vector<scpi_error_t> queue(1 + chunking % 17);
  scpi_t context;
  SCPI_Init(&context, Table(), &kInterface, scpi_units_def, "TALVEK", nullptr, "", "1.0", buffer.data(),
            buffer.size(), queue.data(), static_cast<int16_t>(queue.size()));
  const char* text = reinterpret_cast<const char*>(data);
  size_t pos = 0;
  size_t step = 1 + chunking % 23;
  while (pos < size) {
    const size_t n = std::min(step, size - pos);
    SCPI_Input(&context, text + pos, n);
    if (context.pending >= buffer_length) std::abort();
    if (static_cast<size_t>(SCPI_ErrorCount(&context)) > queue.size()) std::abort();
    pos += n;
    step = 1 + (step * 7 + n) % 41;
  }
  SCPI_Input(&context, nullptr, 0);
  if (context.pending != 0) std::abort();
  return 0;
}
