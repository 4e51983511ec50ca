#include "harness.h"

namespace scpi_test {

namespace {

Harness& Of(scpi_t* context) { return *static_cast<Harness*>(context->user_context); }

size_t Write(scpi_t* context, const char* data, size_t length) {
  Of(context).output.append(data, length);
  Of(context).write_sizes.push_back(length);
  return length;
}

int Error(scpi_t* context, int_fast16_t code) {
  Of(context).error_calls.push_back(static_cast<int>(code));
  Of(context).error_states.push_back(
      {SCPI_ErrorCount(context), SCPI_RegGet(context, SCPI_REG_ESR), SCPI_RegGet(context, SCPI_REG_STB)});
  return 0;
}

scpi_result_t Control(scpi_t* context, scpi_ctrl_name_t ctrl, uint16_t value) {
  Of(context).control_calls.emplace_back(static_cast<int>(ctrl), value);
  return SCPI_RES_OK;
}

scpi_result_t FlushHook(scpi_t* context) {
  ++Of(context).flush_calls;
  return SCPI_RES_OK;
}

scpi_result_t Reset(scpi_t* context) {
  ++Of(context).reset_calls;
  return Of(context).reset_result;
}

scpi_result_t Dispatch(scpi_t* context) {
  Harness& harness = Of(context);
  return harness.on_command ? harness.on_command(context) : SCPI_RES_OK;
}

const scpi_interface_t kInterface = {Error, Write, Control, FlushHook, Reset};

// Rows after the core ones: the remaining STATus handlers, then test rows
// all served by the test's lambda; the tag tells them apart.
const scpi_command_t kExtraCommands[] = {
    {"STATus:QUEStionable:CONDition?", SCPI_StatusQuestionableConditionQ, 0},
    {"STATus:OPERation[:EVENt]?", SCPI_StatusOperationEventQ, 0},
    {"STATus:OPERation:CONDition?", SCPI_StatusOperationConditionQ, 0},
    {"STATus:OPERation:ENABle", SCPI_StatusOperationEnable, 0},
    {"STATus:OPERation:ENABle?", SCPI_StatusOperationEnableQ, 0},
    {"TEST:TREEA?", Dispatch, 1},
    {"TEST:TREEB?", Dispatch, 2},
    {"MEASure[:SCALar][:POWer]:GATE:MAXimum?", Dispatch, 3},
    {"MEASure[:SCALar][:POWer]:GATE[:MEAN]?", Dispatch, 4},
    {"MEASure[:SCALar][:POWer]:GATE:MINimum?", Dispatch, 5},
    {"TRIGger:LEVel", Dispatch, 6},
    {"TRIGger:LEVel?", Dispatch, 7},
    {"X", Dispatch, 8},
    {"X?", Dispatch, 9},
    {"A:B:C", Dispatch, 10},
    {"A:B:D", Dispatch, 11},
    {"A:B:E", Dispatch, 12},
    {"A:C", Dispatch, 13},
    {"OUTPut#:MODulation#:FM#", Dispatch, 14},
    SCPI_CMD_LIST_END,
};

std::vector<scpi_command_t> MakeTable() {
  std::vector<scpi_command_t> table;
  for (const scpi_command_t* row = scpi_core_commands; row->pattern != nullptr; ++row) table.push_back(*row);
  for (const scpi_command_t* row = kExtraCommands; row->pattern != nullptr; ++row) table.push_back(*row);
  table.push_back(SCPI_CMD_LIST_END);
  return table;
}


}  // namespace

Harness::Harness(size_t buffer_length, int16_t queue_size)
    : commands(MakeTable()), buffer(buffer_length), queue(static_cast<size_t>(queue_size)) {
  SCPI_Init(&context, commands.data(), &kInterface, scpi_units_def, "MA", "IN", nullptr, "VER", buffer.data(),
            buffer.size(), queue.data(), queue_size);
  context.user_context = this;
}

std::string Harness::Send(std::string_view bytes) {
  output.clear();
  SCPI_Input(&context, bytes.data(), bytes.size());
  return output;
}

std::string Harness::SendSplit(std::string_view bytes, size_t chunk) {
  output.clear();
  for (size_t pos = 0; pos < bytes.size(); pos += chunk) {
    const std::string_view piece = bytes.substr(pos, chunk);
    SCPI_Input(&context, piece.data(), piece.size());
  }
  return output;
}

std::string Harness::Flush() {
  output.clear();
  SCPI_Input(&context, nullptr, 0);
  return output;
}

std::vector<QueuedError> Harness::Errors() {
  std::vector<QueuedError> errors;
  scpi_error_t error;
  while (SCPI_ErrorPop(&context, &error)) {
    errors.push_back({error.error_code, std::string(error.Info()), error.has_info});
  }
  return errors;
}

std::vector<int> Harness::Codes() {
  std::vector<int> codes;
  for (const QueuedError& error : Errors()) codes.push_back(error.code);
  return codes;
}

}  // namespace scpi_test
