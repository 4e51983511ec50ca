// Handlers of the IEEE 488.2 common commands and the SCPI-99 required
// SYSTem and STATus commands.
#include "internal.h"

#include <charconv>

namespace {

// Integer parameter stored into a 16-bit register. Values are kept as 16 bits
// without a range check, as the clients of the meter expect ("-1" sets all).
scpi_result_t SetRegisterFromParameter(scpi_t* context, scpi_reg_name_t name) {
  int32_t value = 0;
  if (SCPI_ParamInt32(context, &value, true)) SCPI_RegSet(context, name, static_cast<uint16_t>(value));
  return SCPI_RES_OK;
}

scpi_result_t ReplyRegister(scpi_t* context, scpi_reg_name_t name) {
  SCPI_ResultInt32(context, SCPI_RegGet(context, name));
  return SCPI_RES_OK;
}

// Replies the register's value and clears it (event registers).
scpi_result_t ReplyAndClear(scpi_t* context, scpi_reg_name_t name) {
  SCPI_ResultInt32(context, SCPI_RegGet(context, name));
  SCPI_RegSet(context, name, 0);
  return SCPI_RES_OK;
}

// Appends text to an error reply, doubling quotes, within the 255 characters
// allowed between the outer quotes.
struct ErrorReply {
  std::array<char, 8 + 1 + 1 + SCPI_ERROR_INFO_MAX + 1> text{};
  size_t length = 0;
  size_t quoted = 0;  // characters written between the quotes

  void Raw(std::string_view s) {
    for (char c : s) text[length++] = c;
  }
  void Quoted(std::string_view s) {
    for (char c : s) {
      const size_t need = c == '"' ? 2 : 1;
      if (quoted + need > SCPI_ERROR_INFO_MAX) return;
      text[length++] = c;
      if (c == '"') text[length++] = c;
      quoted += need;
    }
  }
};

}  // namespace

scpi_result_t SCPI_CoreCls(scpi_t* context) {
  SCPI_ErrorClear(context);
  SCPI_RegSet(context, SCPI_REG_ESR, 0);
  SCPI_RegSet(context, SCPI_REG_OPER, 0);
  SCPI_RegSet(context, SCPI_REG_QUES, 0);
  return SCPI_RES_OK;
}

scpi_result_t SCPI_CoreEse(scpi_t* context) { return SetRegisterFromParameter(context, SCPI_REG_ESE); }
scpi_result_t SCPI_CoreEseQ(scpi_t* context) { return ReplyRegister(context, SCPI_REG_ESE); }
scpi_result_t SCPI_CoreEsrQ(scpi_t* context) { return ReplyAndClear(context, SCPI_REG_ESR); }

scpi_result_t SCPI_CoreIdnQ(scpi_t* context) {
  for (const char* field : context->idn) {
    if (field == nullptr) {
      SCPI_ResultCharacters(context, "0");
    } else {
      SCPI_ResultCharacters(context, field);
    }
  }
  return SCPI_RES_OK;
}

scpi_result_t SCPI_CoreOpc(scpi_t* context) {
  SCPI_RegSetBits(context, SCPI_REG_ESR, ESR_OPC);
  return SCPI_RES_OK;
}

scpi_result_t SCPI_CoreOpcQ(scpi_t* context) {
  SCPI_ResultInt32(context, 1);
  return SCPI_RES_OK;
}

scpi_result_t SCPI_CoreRst(scpi_t* context) {
  if (context->interface != nullptr && context->interface->reset != nullptr) {
    return context->interface->reset(context);
  }
  return SCPI_RES_OK;
}

scpi_result_t SCPI_CoreSre(scpi_t* context) { return SetRegisterFromParameter(context, SCPI_REG_SRE); }
scpi_result_t SCPI_CoreSreQ(scpi_t* context) { return ReplyRegister(context, SCPI_REG_SRE); }
scpi_result_t SCPI_CoreStbQ(scpi_t* context) { return ReplyRegister(context, SCPI_REG_STB); }

scpi_result_t SCPI_CoreTstQ(scpi_t* context) {
  SCPI_ResultInt32(context, 0);
  return SCPI_RES_OK;
}

scpi_result_t SCPI_CoreWai(scpi_t* /*context*/) { return SCPI_RES_OK; }

scpi_result_t SCPI_SystemErrorNextQ(scpi_t* context) {
  scpi_error_t error;
  SCPI_ErrorPop(context, &error);
  ErrorReply reply;
  std::array<char, 8> code{};
  const auto end = std::to_chars(code.data(), code.data() + code.size(), error.error_code).ptr;
  reply.Raw({code.data(), static_cast<size_t>(end - code.data())});
  reply.Raw(",\"");
  reply.Quoted(SCPI_ErrorTranslate(error.error_code));
  if (error.has_info) {
    reply.Quoted(";");
    reply.Quoted(error.Info());
  }
  reply.Raw("\"");
  SCPI_ResultCharacters(context, {reply.text.data(), reply.length});
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemErrorCountQ(scpi_t* context) {
  SCPI_ResultInt32(context, SCPI_ErrorCount(context));
  return SCPI_RES_OK;
}

scpi_result_t SCPI_SystemVersionQ(scpi_t* context) {
  SCPI_ResultCharacters(context, "1999.0");
  return SCPI_RES_OK;
}

scpi_result_t SCPI_StatusQuestionableEventQ(scpi_t* context) { return ReplyAndClear(context, SCPI_REG_QUES); }
scpi_result_t SCPI_StatusQuestionableConditionQ(scpi_t* context) { return ReplyRegister(context, SCPI_REG_QUESC); }
scpi_result_t SCPI_StatusQuestionableEnable(scpi_t* context) { return SetRegisterFromParameter(context, SCPI_REG_QUESE); }
scpi_result_t SCPI_StatusQuestionableEnableQ(scpi_t* context) { return ReplyRegister(context, SCPI_REG_QUESE); }
scpi_result_t SCPI_StatusOperationEventQ(scpi_t* context) { return ReplyAndClear(context, SCPI_REG_OPER); }
scpi_result_t SCPI_StatusOperationConditionQ(scpi_t* context) { return ReplyRegister(context, SCPI_REG_OPERC); }
scpi_result_t SCPI_StatusOperationEnable(scpi_t* context) { return SetRegisterFromParameter(context, SCPI_REG_OPERE); }
scpi_result_t SCPI_StatusOperationEnableQ(scpi_t* context) { return ReplyRegister(context, SCPI_REG_OPERE); }

scpi_result_t SCPI_StatusPreset(scpi_t* context) {
  // Only the QUEStionable event register: enables and OPERation are kept.
  SCPI_RegSet(context, SCPI_REG_QUES, 0);
  return SCPI_RES_OK;
}

const scpi_command_t scpi_core_commands[] = {
    {"*CLS", SCPI_CoreCls, 0},
    {"*ESE", SCPI_CoreEse, 0},
    {"*ESE?", SCPI_CoreEseQ, 0},
    {"*ESR?", SCPI_CoreEsrQ, 0},
    {"*IDN?", SCPI_CoreIdnQ, 0},
    {"*OPC", SCPI_CoreOpc, 0},
    {"*OPC?", SCPI_CoreOpcQ, 0},
    {"*RST", SCPI_CoreRst, 0},
    {"*SRE", SCPI_CoreSre, 0},
    {"*SRE?", SCPI_CoreSreQ, 0},
    {"*STB?", SCPI_CoreStbQ, 0},
    {"*TST?", SCPI_CoreTstQ, 0},
    {"*WAI", SCPI_CoreWai, 0},
    {"SYSTem:ERRor[:NEXT]?", SCPI_SystemErrorNextQ, 0},
    {"SYSTem:ERRor:COUNt?", SCPI_SystemErrorCountQ, 0},
    {"SYSTem:VERSion?", SCPI_SystemVersionQ, 0},
    {"STATus:QUEStionable[:EVENt]?", SCPI_StatusQuestionableEventQ, 0},
    {"STATus:QUEStionable:ENABle", SCPI_StatusQuestionableEnable, 0},
    {"STATus:QUEStionable:ENABle?", SCPI_StatusQuestionableEnableQ, 0},
    {"STATus:PRESet", SCPI_StatusPreset, 0},
    SCPI_CMD_LIST_END,
};
