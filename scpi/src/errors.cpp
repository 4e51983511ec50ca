// Error queue, standard error texts and the IEEE 488.2 status registers.
#include "internal.h"

#include <algorithm>

namespace {

struct ErrorText {
  int16_t code;
  const char* text;
};

// Every standard code and its text. Some texts repeat on purpose: SCPI-99
// gives several codes the same wording.
constexpr ErrorText kErrorTexts[] = {
    {0, "No error"},
    {-100, "Command error"},
    {-101, "Invalid character"},
    {-102, "Syntax error"},
    {-103, "Invalid separator"},
    {-104, "Data type error"},
    {-105, "GET not allowed"},
    {-108, "Parameter not allowed"},
    {-109, "Missing parameter"},
    {-110, "Command header error"},
    {-111, "Header separator error"},
    {-112, "Program mnemonic too long"},
    {-113, "Undefined header"},
    {-114, "Header suffix out of range"},
    {-115, "Unexpected number of parameters"},
    {-120, "Numeric data error"},
    {-121, "Invalid character in number"},
    {-123, "Exponent too large"},
    {-124, "Too many digits"},
    {-128, "Numeric data not allowed"},
    {-130, "Suffix error"},
    {-131, "Invalid suffix"},
    {-134, "Suffix too long"},
    {-138, "Suffix not allowed"},
    {-140, "Character data error"},
    {-141, "Invalid character data"},
    {-144, "Character data too long"},
    {-148, "Character data not allowed"},
    {-150, "String data error"},
    {-151, "Invalid string data"},
    {-158, "String data not allowed"},
    {-160, "Block data error"},
    {-161, "Invalid block data"},
    {-168, "Block data not allowed"},
    {-170, "Expression error"},
    {-171, "Invalid expression"},
    {-178, "Expression data not allowed"},
    {-180, "Macro error"},
    {-181, "Invalid outside macro definition"},
    {-183, "Invalid inside macro definition"},
    {-184, "Macro parameter error"},
    {-200, "Execution error"},
    {-201, "Invalid while in local"},
    {-202, "Settings lost due to rtl"},
    {-203, "Command protected"},
    {-210, "Trigger error"},
    {-211, "Trigger ignored"},
    {-212, "Arm ignored"},
    {-213, "Init ignored"},
    {-214, "Trigger deadlock"},
    {-215, "Arm deadlock"},
    {-220, "Parameter error"},
    {-221, "Settings conflict"},
    {-222, "Data out of range"},
    {-223, "Too much data"},
    {-224, "Illegal parameter value"},
    {-225, "Out of memory"},
    {-226, "Lists not same length"},
    {-230, "Data corrupt or stale"},
    {-231, "Data questionable"},
    {-233, "Invalid version"},
    {-240, "Hardware error"},
    {-241, "Hardware missing"},
    {-250, "Mass storage error"},
    {-251, "Missing mass storage"},
    {-252, "Missing media"},
    {-253, "Corrupt media"},
    {-254, "Media full"},
    {-255, "Directory full"},
    {-256, "File name not found"},
    {-257, "File name error"},
    {-258, "Media protected"},
    {-260, "Expression error"},
    {-261, "Math error in expression"},
    {-270, "Macro error"},
    {-271, "Macro syntax error"},
    {-272, "Macro execution error"},
    {-273, "Illegal macro label"},
    {-274, "Macro parameter error"},
    {-275, "Macro definition too long"},
    {-276, "Macro recursion error"},
    {-277, "Macro redefinition not allowed"},
    {-278, "Macro header not found"},
    {-280, "Program error"},
    {-281, "Cannot create program"},
    {-282, "Illegal program name"},
    {-283, "Illegal variable name"},
    {-284, "Program currently running"},
    {-285, "Program syntax error"},
    {-286, "Program runtime error"},
    {-290, "Memory use error"},
    {-291, "Out of memory"},
    {-292, "Referenced name does not exist"},
    {-293, "Referenced name already exists"},
    {-294, "Incompatible type"},
    {-300, "Device specific error"},
    {-310, "System error"},
    {-311, "Memory error"},
    {-312, "PUD memory lost"},
    {-313, "Calibration memory lost"},
    {-314, "Save/recall memory lost"},
    {-315, "Configuration memory lost"},
    {-320, "Storage fault"},
    {-321, "Out of memory"},
    {-330, "Self-test failed"},
    {-340, "Calibration failed"},
    {-350, "Queue overflow"},
    {-360, "Communication error"},
    {-361, "Parity error in program message"},
    {-362, "Framing error in program message"},
    {-363, "Input buffer overrun"},
    {-365, "Time out error"},
    {-400, "Query error"},
    {-410, "Query INTERRUPTED"},
    {-420, "Query UNTERMINATED"},
    {-430, "Query DEADLOCKED"},
    {-440, "Query UNTERMINATED after indefinite response"},
    {-500, "Power on"},
    {-600, "User request"},
    {-700, "Request control"},
    {-800, "Operation complete"},
};

// The standard event bit an error code sets; device-defined positive codes
// count as device-dependent errors.
uint16_t EventBitOf(int_fast16_t code) {
  if (code > 0) return ESR_DER;
  if (code <= -100 && code >= -199) return ESR_CER;
  if (code <= -200 && code >= -299) return ESR_EER;
  if (code <= -300 && code >= -399) return ESR_DER;
  if (code <= -400 && code >= -499) return ESR_QER;
  if (code <= -500 && code >= -599) return ESR_PON;
  if (code <= -600 && code >= -699) return ESR_URQ;
  if (code <= -700 && code >= -799) return ESR_REQ;
  if (code <= -800 && code >= -899) return ESR_OPC;
  return 0;
}

uint16_t& Reg(scpi_t* context, scpi_reg_name_t name) { return context->registers[static_cast<size_t>(name)]; }

bool ServiceWanted(const scpi_t* context) {
  return (context->registers[SCPI_REG_STB] & context->registers[SCPI_REG_SRE] & ~STB_SRQ) != 0;
}

void RequestService(scpi_t* context) {
  if (context->interface != nullptr && context->interface->control != nullptr) {
    context->interface->control(context, SCPI_CTRL_SRQ, context->registers[SCPI_REG_STB]);
  }
}

void WriteStatusByte(scpi_t* context, uint16_t value) {
  const uint16_t old = Reg(context, SCPI_REG_STB);
  uint16_t& stb = Reg(context, SCPI_REG_STB);
  stb = value;
  if (ServiceWanted(context)) {
    stb |= STB_SRQ;
  } else {
    stb &= static_cast<uint16_t>(~STB_SRQ);
  }
  if ((stb & ~old) != 0 && ServiceWanted(context)) RequestService(context);
}

void UpdateSummary(scpi_t* context, scpi_reg_name_t event, scpi_reg_name_t enable, uint16_t bit) {
  uint16_t stb = Reg(context, SCPI_REG_STB);
  if ((Reg(context, event) & Reg(context, enable)) != 0) {
    stb |= bit;
  } else {
    stb &= static_cast<uint16_t>(~bit);
  }
  WriteStatusByte(context, stb);
}

void EntrySet(scpi_error_t& entry, int_fast16_t code, std::string_view info, bool has_info) {
  entry.error_code = static_cast<int16_t>(code);
  entry.has_info = has_info;
  const size_t length = std::min(info.size(), SCPI_ERROR_INFO_MAX);
  std::copy_n(info.data(), length, entry.info.data());
  entry.info_length = static_cast<uint8_t>(length);
}

void CallErrorHook(scpi_t* context, int_fast16_t code) {
  if (context->interface != nullptr && context->interface->error != nullptr) context->interface->error(context, code);
}

}  // namespace

namespace scpi_detail {

void Error_push(scpi_t* context, int_fast16_t code, std::string_view info, bool has_info) {
  if (context->executing) {
    context->unit.error_flagged = true;
    context->last_ok = false;
  }
  bool overflow = false;
  if (context->error_queue_size == 0) {
    overflow = true;
  } else if (context->error_count < context->error_queue_size) {
    const size_t slot = (context->error_first + context->error_count) % context->error_queue_size;
    EntrySet(context->error_queue[slot], code, info, has_info);
    ++context->error_count;
  } else {
    // Full: the newest entry becomes "Queue overflow" and the arriving error
    // is dropped, so the queue keeps the oldest errors.
    overflow = true;
    const size_t last = (context->error_first + context->error_count - 1) % context->error_queue_size;
    EntrySet(context->error_queue[last], SCPI_ERROR_QUEUE_OVERFLOW, {}, false);
  }
  const uint16_t bit = EventBitOf(code);
  if (bit != 0) SCPI_RegSetBits(context, SCPI_REG_ESR, bit);
  if (context->error_count > 0) SCPI_RegSetBits(context, SCPI_REG_STB, STB_QMA);
  CallErrorHook(context, code);
  if (overflow) CallErrorHook(context, SCPI_ERROR_QUEUE_OVERFLOW);
}

}  // namespace scpi_detail

void SCPI_ErrorPush(scpi_t* context, int_fast16_t code) { scpi_detail::Error_push(context, code, {}, false); }

void SCPI_ErrorPushEx(scpi_t* context, int_fast16_t code, std::string_view info) {
  scpi_detail::Error_push(context, code, info, true);
}

void SCPI_ErrorPushWithReply(scpi_t* context, int_fast16_t code, std::string_view info) {
  const bool flagged = context->unit.error_flagged;
  const bool lastOk = context->last_ok;
  scpi_detail::Error_push(context, code, info, true);
  context->unit.error_flagged = flagged;
  context->last_ok = lastOk;
}

bool SCPI_ErrorPop(scpi_t* context, scpi_error_t* error) {
  if (context->error_count == 0) {
    if (error != nullptr) *error = scpi_error_t{};
    return false;
  }
  if (error != nullptr) *error = context->error_queue[context->error_first];
  context->error_first = (context->error_first + 1) % context->error_queue_size;
  --context->error_count;
  if (context->error_count == 0) {
    context->error_first = 0;
    const bool was_set = (context->registers[SCPI_REG_STB] & STB_QMA) != 0;
    SCPI_RegClearBits(context, SCPI_REG_STB, STB_QMA);
    if (was_set) CallErrorHook(context, 0);
  }
  return true;
}

int32_t SCPI_ErrorCount(const scpi_t* context) { return static_cast<int32_t>(context->error_count); }

void SCPI_ErrorClear(scpi_t* context) {
  const bool had_errors = context->error_count > 0;
  context->error_count = 0;
  context->error_first = 0;
  const bool was_set = (context->registers[SCPI_REG_STB] & STB_QMA) != 0;
  SCPI_RegClearBits(context, SCPI_REG_STB, STB_QMA);
  if (had_errors && was_set) CallErrorHook(context, 0);
}

const char* SCPI_ErrorTranslate(int_fast16_t code) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code == code) return entry.text;
  }
  return "Unknown error";
}

uint16_t SCPI_RegGet(const scpi_t* context, scpi_reg_name_t name) {
  if (name < 0 || name >= SCPI_REG_COUNT) return 0;
  return context->registers[static_cast<size_t>(name)];
}

void SCPI_RegSet(scpi_t* context, scpi_reg_name_t name, uint16_t value) {
  if (name < 0 || name >= SCPI_REG_COUNT) return;
  switch (name) {
    case SCPI_REG_STB:
      WriteStatusByte(context, value);
      break;
    case SCPI_REG_SRE: {
      const uint16_t old = Reg(context, SCPI_REG_SRE);
      Reg(context, SCPI_REG_SRE) = value;
      uint16_t& stb = Reg(context, SCPI_REG_STB);
      if (ServiceWanted(context)) {
        stb |= STB_SRQ;
      } else {
        stb &= static_cast<uint16_t>(~STB_SRQ);
      }
      if ((value & ~old) != 0 && ServiceWanted(context)) RequestService(context);
      break;
    }
    case SCPI_REG_ESR:
    case SCPI_REG_ESE:
      Reg(context, name) = value;
      UpdateSummary(context, SCPI_REG_ESR, SCPI_REG_ESE, STB_ESB);
      break;
    case SCPI_REG_QUES:
    case SCPI_REG_QUESE:
      Reg(context, name) = value;
      UpdateSummary(context, SCPI_REG_QUES, SCPI_REG_QUESE, STB_QES);
      break;
    case SCPI_REG_OPER:
    case SCPI_REG_OPERE:
      Reg(context, name) = value;
      UpdateSummary(context, SCPI_REG_OPER, SCPI_REG_OPERE, STB_OPS);
      break;
    case SCPI_REG_QUESC: {
      // Only rising condition bits latch into the event register.
      const uint16_t risen = static_cast<uint16_t>(value & ~Reg(context, SCPI_REG_QUESC));
      Reg(context, SCPI_REG_QUESC) = value;
      SCPI_RegSet(context, SCPI_REG_QUES, static_cast<uint16_t>(Reg(context, SCPI_REG_QUES) | risen));
      break;
    }
    case SCPI_REG_OPERC: {
      const uint16_t risen = static_cast<uint16_t>(value & ~Reg(context, SCPI_REG_OPERC));
      Reg(context, SCPI_REG_OPERC) = value;
      SCPI_RegSet(context, SCPI_REG_OPER, static_cast<uint16_t>(Reg(context, SCPI_REG_OPER) | risen));
      break;
    }
    default:
      break;
  }
}

void SCPI_RegSetBits(scpi_t* context, scpi_reg_name_t name, uint16_t bits) {
  SCPI_RegSet(context, name, static_cast<uint16_t>(SCPI_RegGet(context, name) | bits));
}

void SCPI_RegClearBits(scpi_t* context, scpi_reg_name_t name, uint16_t bits) {
  SCPI_RegSet(context, name, static_cast<uint16_t>(SCPI_RegGet(context, name) & ~bits));
}
