// Context set-up, input buffering and program message execution.
#include "internal.h"

#include <algorithm>
#include <cstring>

namespace scpi_detail {

namespace {

constexpr std::string_view kTerminator = "\r\n";

void Write(scpi_t* context, std::string_view bytes) {
  if (!bytes.empty() && context->interface != nullptr && context->interface->write != nullptr) {
    context->interface->write(context, bytes.data(), bytes.size());
  }
}

// Sends the staged reply of the unit being executed (it starts with the ';'
// that StartUnitOutput staged when an earlier query of the message replied).
void CommitOutput(scpi_t* context) {
  if (context->output_length == 0) return;
  Write(context, {context->output.data(), context->output_length});
  context->output_length = 0;
}

void StartUnitOutput(scpi_t* context) {
  context->output_length = 0;
  context->output_spilled = false;
  if (context->query_done) {
    context->output[0] = ';';
    context->output_length = 1;
  }
}

// The path of a matched header: its text up to and including the last ':'.
void RememberPath(scpi_t* context, std::string_view header) {
  if (!header.empty() && header.front() == '*') {
    context->path_length = 0;  // a common command sends the next header to the root
    return;
  }
  const size_t colon = header.rfind(':');
  size_t length = colon == std::string_view::npos ? 0 : colon + 1;
  if (length > context->path.size()) length = 0;  // too long to complete anything with
  std::copy_n(header.data(), length, context->path.data());
  context->path_length = length;
}

// Completes a relative header with the current path. Returns false when the
// result does not fit; such a header cannot match any pattern.
bool ComposeHeader(scpi_t* context, std::string_view typed, std::string_view& composed) {
  if (typed.front() == ':' || typed.front() == '*' || context->path_length == 0) {
    composed = typed;
    return true;
  }
  if (context->path_length + typed.size() > context->header.size()) return false;
  std::copy_n(context->path.data(), context->path_length, context->header.data());
  std::copy_n(typed.data(), typed.size(), context->header.data() + context->path_length);
  composed = {context->header.data(), context->path_length + typed.size()};
  return true;
}

const CompiledPattern* FindCommand(scpi_t* context, std::string_view header, size_t& index) {
  Keywords keywords;
  if (!Header_split(header, keywords)) return nullptr;
  for (size_t i = 0; i < context->patterns.size(); ++i) {
    if (Pattern_matchKeywords(context->patterns[i], keywords, &context->unit)) {
      index = i;
      return &context->patterns[i];
    }
  }
  return nullptr;
}

void ExecuteUnit(scpi_t* context, const LexedUnit& lexed) {
  Unit& unit = context->unit;
  unit = Unit{};
  unit.text = lexed.text;
  unit.params = lexed.params;
  std::string_view header;
  size_t index = 0;
  const CompiledPattern* pattern = nullptr;
  if (ComposeHeader(context, lexed.header, header)) pattern = FindCommand(context, header, index);
  if (pattern == nullptr) {
    Error_push(context, SCPI_ERROR_UNDEFINED_HEADER, lexed.text, true);
    return;
  }
  RememberPath(context, header);
  unit.header = header;
  unit.query = pattern->query;
  unit.pattern = pattern;
  unit.command = &context->cmdlist[index];
  unit.error_flagged = false;
  StartUnitOutput(context);

  const scpi_result_t result = unit.command->callback(context);
  if (result != SCPI_RES_OK && !unit.error_flagged) Error_push(context, SCPI_ERROR_EXECUTION_ERROR, {}, false);

  const bool succeeded = result == SCPI_RES_OK && !unit.error_flagged;
  if (unit.query && (succeeded || context->output_spilled)) {
    // A query that replied part of a long answer before failing still needs
    // its message framed, so it counts as having replied.
    if (succeeded) CommitOutput(context);
    context->query_done = true;
  }
  context->output_length = 0;
  if (succeeded) {
    const size_t rest = Lex_skipWhite(unit.params, unit.cursor);
    if (rest < unit.params.size()) Error_push(context, SCPI_ERROR_PARAMETER_NOT_ALLOWED, {}, false);
  }
}

void ExecuteMessage(scpi_t* context, std::string_view message) {
  context->path_length = 0;
  context->query_done = false;
  context->executing = true;
  context->last_ok = true;
  size_t pos = 0;
  while (pos < message.size()) {
    pos = Lex_skipWhite(message, pos);
    if (pos >= message.size()) break;
    if (message[pos] == ';') {
      ++pos;
      continue;
    }
    const LexedUnit lexed = Lex_unit(message, pos);
    pos = lexed.next;
    switch (lexed.status) {
      case UnitStatus::Ok:
        ExecuteUnit(context, lexed);
        break;
      case UnitStatus::InvalidCharacter:
        Error_push(context, SCPI_ERROR_INVALID_CHARACTER, {}, false);
        break;
      case UnitStatus::MissingParameter:
        Error_push(context, SCPI_ERROR_MISSING_PARAMETER, {}, false);
        break;
    }
  }
  context->unit = Unit{};
  context->executing = false;
  if (context->query_done) {
    Write(context, kTerminator);
    if (context->interface != nullptr && context->interface->flush != nullptr) context->interface->flush(context);
  }
}

void ResetScan(scpi_t* context) {
  context->pending = 0;
  context->scanned = 0;
  context->message_start = 0;
  context->scan = ScanState{};
}

// Executes every complete message among the pending bytes and moves what is
// left to the front of the buffer.
void ExecutePending(scpi_t* context) {
  while (context->scanned < context->pending) {
    const char c = context->buffer[context->scanned++];
    if (Scan_byte(context->scan, c)) {
      const std::string_view message(context->buffer + context->message_start,
                                     context->scanned - 1 - context->message_start);
      if (!message.empty()) ExecuteMessage(context, message);
      context->message_start = context->scanned;
    }
  }
  if (context->message_start > 0) {
    const size_t left = context->pending - context->message_start;
    std::memmove(context->buffer, context->buffer + context->message_start, left);
    context->pending = left;
    context->scanned = left;
    context->message_start = 0;
  }
}

void Overrun(scpi_t* context) {
  ResetScan(context);
  context->discarding = true;
  Error_push(context, SCPI_ERROR_INPUT_BUFFER_OVERRUN, {}, false);
}

}  // namespace

void Output_append(scpi_t* context, std::string_view text) {
  // Only queries reply; output of commands, or from outside a handler, is dropped.
  if (!context->executing || !context->unit.query) return;
  while (!text.empty()) {
    const size_t room = context->output.size() - context->output_length;
    if (room == 0) {
      // An answer longer than the staging area goes out as it comes.
      CommitOutput(context);
      context->output_spilled = true;
      continue;
    }
    const size_t n = std::min(room, text.size());
    std::copy_n(text.data(), n, context->output.data() + context->output_length);
    context->output_length += n;
    text.remove_prefix(n);
  }
}

void Output_beginResult(scpi_t* context) {
  if (context->unit.results++ > 0) Output_append(context, ",");
}

}  // namespace scpi_detail

bool SCPI_Init(scpi_t* context, const scpi_command_t* commands, const scpi_interface_t* interface,
               const scpi_unit_def_t* units, const char* idn1, const char* idn2, const char* idn3,
               const char* idn4, char* input_buffer, size_t input_buffer_length,
               scpi_error_t* error_queue_data, int16_t error_queue_size) {
  context->cmdlist = commands;
  context->interface = interface;
  context->units = units != nullptr ? units : scpi_units_def;
  context->idn = {idn1, idn2, idn3, idn4};
  context->buffer = input_buffer;
  context->buffer_length = input_buffer != nullptr ? input_buffer_length : 0;
  context->error_queue = error_queue_data;
  context->error_queue_size = error_queue_data != nullptr && error_queue_size > 0 ? static_cast<size_t>(error_queue_size) : 0;
  context->error_first = 0;
  context->error_count = 0;
  context->registers.fill(0);
  context->discarding = false;
  context->executing = false;
  context->last_ok = true;
  scpi_detail::ResetScan(context);
  context->patterns.clear();
  bool all_valid = true;
  for (const scpi_command_t* row = commands; row != nullptr && row->pattern != nullptr; ++row) {
    context->patterns.push_back(scpi_detail::Pattern_compile(row->pattern));
    all_valid = all_valid && context->patterns.back().valid;
  }
  return all_valid;
}

bool SCPI_Input(scpi_t* context, const char* data, size_t length) {
  if (context->executing || context->buffer == nullptr) return false;
  if (length == 0) {
    // Silence on the line: what is pending is taken as a complete message.
    context->discarding = false;
    const std::string_view message(context->buffer, context->pending);
    scpi_detail::ResetScan(context);
    context->last_ok = true;
    if (!message.empty()) scpi_detail::ExecuteMessage(context, message);
    return context->last_ok;
  }
  bool overrun = false;
  std::string_view rest(data, length);
  while (!rest.empty()) {
    if (context->discarding) {
      const size_t end = rest.find_first_of("\r\n");
      if (end == std::string_view::npos) break;
      rest.remove_prefix(end + 1);
      context->discarding = false;
      continue;
    }
    const size_t room = context->buffer_length > 0 ? context->buffer_length - 1 - context->pending : 0;
    if (room == 0) {
      overrun = true;
      scpi_detail::Overrun(context);
      continue;
    }
    const size_t n = std::min(room, rest.size());
    std::memcpy(context->buffer + context->pending, rest.data(), n);
    context->pending += n;
    rest.remove_prefix(n);
    scpi_detail::ExecutePending(context);
  }
  return !overrun && context->last_ok;
}

void SCPI_InputDiscard(scpi_t* context) {
  if (context->executing) return;
  context->discarding = false;
  context->pending = 0;
  scpi_detail::ResetScan(context);
}

bool SCPI_Parse(scpi_t* context, std::string_view message) {
  if (context->executing) return false;
  scpi_detail::ExecuteMessage(context, message);
  return context->last_ok;
}

std::string_view SCPI_CurrentMessage(const scpi_t* context) { return context->unit.text; }

std::string_view SCPI_CommandHeader(const scpi_t* context) { return context->unit.header; }

bool SCPI_IsQuery(const scpi_t* context) { return context->unit.query; }

int32_t SCPI_CmdTag(const scpi_t* context) {
  return context->unit.command != nullptr ? context->unit.command->tag : 0;
}

bool SCPI_IsCmd(const scpi_t* context, std::string_view text) {
  return context->unit.pattern != nullptr && scpi_detail::Pattern_match(*context->unit.pattern, text, nullptr);
}

bool SCPI_CommandNumbers(const scpi_t* context, int32_t* numbers, size_t count, int32_t default_value) {
  if (numbers == nullptr || context->unit.pattern == nullptr) return false;
  for (size_t i = 0; i < count; ++i) {
    const bool given = i < context->unit.suffix_count && context->unit.suffix_given[i];
    numbers[i] = given ? context->unit.suffixes[i] : default_value;
  }
  return true;
}
