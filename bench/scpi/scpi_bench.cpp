// Program messages parsed and executed per second through SCPI_Input, against
// a generated table of about 150 patterns shaped like the meter's command set
// (IEEE 488.2 commands first, then MEASure, CALCulate, SENSe, TRIGger and
// SYSTem families with optional keywords and numbered states).
#include <benchmark/benchmark.h>
#include <scpi/scpi.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

size_t g_bytes_written = 0;

size_t Write(scpi_t* /*context*/, const char* /*data*/, size_t length) {
  g_bytes_written += length;
  return length;
}

const scpi_interface_t kInterface = {nullptr, Write, nullptr, nullptr, nullptr};

// A measurement query as the meter answers it: optional channel, keyword
// search in its own message, a rounded double.
scpi_result_t MeasureQuery(scpi_t* context) {
  scpi_number_t channel;
  channel.value = 1;
  if (SCPI_ParamNumber(context, scpi_special_numbers_def, &channel, false) && channel.special) {
    SCPI_ErrorPush(context, SCPI_ERROR_PARAMETER_ERROR);
    return SCPI_RES_ERR;
  }
  const std::string_view message = SCPI_CurrentMessage(context);
  const double value = message.find("REFL") != std::string_view::npos ? 0.0123 : 12.3456789;
  SCPI_ResultDouble(context, value);
  return SCPI_RES_OK;
}

// A setting: value text then optional channel.
scpi_result_t SetCommand(scpi_t* context) {
  std::string_view value;
  if (!SCPI_ParamCharacters(context, &value, true)) return SCPI_RES_ERR;
  scpi_number_t channel;
  SCPI_ParamNumber(context, scpi_special_numbers_def, &channel, false);
  return SCPI_RES_OK;
}

struct Table {
  std::vector<std::string> patterns;
  std::vector<scpi_command_t> rows;
};

Table MakeMeterShapedTable() {
  Table table;
  std::vector<std::pair<std::string, scpi_command_callback_t>> rows;
  for (const scpi_command_t* row = scpi_core_commands; row->pattern != nullptr; ++row) {
    rows.emplace_back(row->pattern, row->callback);
  }
  const std::string meas = "MEASure[:SCALar]";
  const std::string pow = meas + "[:POWer]";
  rows.emplace_back(meas + ":TEMPerature?", MeasureQuery);
  for (const char* leaf : {":FREQuency?", ":DCYCle?", ":PERiod?", ":PRF?", ":WIDTh?", "[:FORWard]:AVERage?",
                           ":REFLected:AVERage?", ":GATE:MAXimum?", ":GATE[:MEAN]?", ":GATE:MINimum?"}) {
    rows.emplace_back(pow + leaf, MeasureQuery);
  }
  for (const char* stat : {"[:MEAN]?", ":MAXimum?", ":MINimum?"}) {
    for (const char* form : {"STATe", "STAT"}) {
      for (int n = 1; n <= 4; ++n) rows.emplace_back(pow + ":" + form + std::to_string(n) + stat, MeasureQuery);
    }
  }
  rows.emplace_back("CALCulate:PULSe[:MODel]", SetCommand);
  rows.emplace_back("CALCulate:PULSe[:MODel]?", MeasureQuery);
  for (const char* leaf : {":ENABle", ":BEGin[:Delay]", ":END[:Delay]"}) {
    for (int n = 1; n <= 4; ++n) {
      for (const char* form : {"STATe", "STAT"}) {
        const std::string base = std::string("CALCulate:") + form + std::to_string(n) + leaf;
        rows.emplace_back(base + "?", MeasureQuery);
        rows.emplace_back(base, SetCommand);
      }
    }
  }
  for (const char* base : {"CALCulate:GATE:BEGin[:DELay]", "CALCulate:GATE:END[:DELay]", "SENSe:FREQuency:AUTO",
                           "SENSe:FREQuency", "SENSe:PERiod:AUTO", "SENSe:PERiod", "TRIGger:LEVel:AUTO",
                           "TRIGger:LEVel", "TRIGger:SLOPe", "TRIGger:DELay"}) {
    rows.emplace_back(std::string(base) + "?", MeasureQuery);
    rows.emplace_back(base, SetCommand);
  }
  for (const char* query : {"SYSTem:IDENtity[:R9050][:MODel]?", "SYSTem:IDENtity[:R9050]:SN?",
                            "SYSTem:IDENtity[:R9050]:FWRev?", "SYSTem:IDENtity:SENSor[:MODel]?",
                            "SYSTem:IDENtity:SENSor:SN?", "SYSTem:IDENtity:SENSor:FWRev?"}) {
    rows.emplace_back(query, MeasureQuery);
  }
  for (const char* base : {"SYSTem:COMMunicate:RS232:BAUD", "SYSTem:COMMunicate:RS232:LENGTH",
                           "SYSTem:COMMunicate:RS232:STOPbits", "SYSTem:COMMunicate:RS232:PARity"}) {
    rows.emplace_back(std::string(base) + "?", MeasureQuery);
    rows.emplace_back(base, SetCommand);
  }
  rows.emplace_back("SYSTem:COMMunicate:RS232:FLOWcontrol?", MeasureQuery);
  rows.emplace_back("SYSTem:COMMunicate:RS232:RESTart", SetCommand);
  for (const char* base : {"SYSTem:COMMunicate:LAN:ADDRess", "SYSTem:COMMunicate:LAN:GATeway",
                           "SYSTem:COMMunicate:LAN:MASk", "SYSTem:COMMunicate:LAN:DHCP[:STATe]"}) {
    rows.emplace_back(std::string(base) + "?", MeasureQuery);
    rows.emplace_back(base, SetCommand);
  }
  rows.emplace_back("SYSTem:COMMunicate:LAN:MAC?", MeasureQuery);
  rows.emplace_back("SYSTem:COMMunicate:LAN:RESTart", SetCommand);
  rows.emplace_back("SYSTem:PRESet", SetCommand);
  rows.emplace_back("SYSTem:PULSe[:ENABle]", SetCommand);
  rows.emplace_back("SYSTem:PULSe[:ENABle]?", MeasureQuery);
  rows.emplace_back("SYSTem:PULSe:CONFig[:SYNCronize]", SetCommand);
  rows.emplace_back("SYSTem:PULSe:CONFig:COMMit", SetCommand);

  table.patterns.reserve(rows.size());
  for (auto& row : rows) table.patterns.push_back(row.first);
  for (size_t i = 0; i < rows.size(); ++i) {
    table.rows.push_back({table.patterns[i].c_str(), rows[i].second, static_cast<int32_t>(i)});
  }
  table.rows.push_back(SCPI_CMD_LIST_END);
  return table;
}

struct Engine {
  Table table = MakeMeterShapedTable();
  scpi_t context;
  char buffer[256];
  scpi_error_t queue[17];

  Engine() {
    SCPI_Init(&context, table.rows.data(), &kInterface, scpi_units_def, "TALVEK", "", "", "", buffer, sizeof buffer,
              queue, 17);
  }
};

void RunMessage(benchmark::State& state, std::string_view message) {
  Engine engine;
  state.counters["patterns"] = static_cast<double>(engine.table.rows.size() - 1);
  g_bytes_written = 0;
  for (auto _ : state) {
    SCPI_Input(&engine.context, message.data(), message.size());
  }
  if (SCPI_ErrorCount(&engine.context) != 0 || g_bytes_written == 0) state.SkipWithError("the message failed");
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * message.size()));
}

void BM_SimpleQuery(benchmark::State& state) { RunMessage(state, "MEAS:POW:AVER? 1\n"); }
BENCHMARK(BM_SimpleQuery);

void BM_CompoundMessage(benchmark::State& state) {
  RunMessage(state, "MEAS:POW:AVER? 1;:MEAS:POW:REFL:AVER? 1;:TRIG:LEV 0.5,1;:TRIG:LEV? 1;*OPC?\n");
}
BENCHMARK(BM_CompoundMessage);

// The last row of the table: every pattern is tried before it matches.
void BM_LastRowCommand(benchmark::State& state) { RunMessage(state, "SYST:PULS:CONF:COMM 1\n*OPC?\n"); }
BENCHMARK(BM_LastRowCommand);

void BM_CoreQuery(benchmark::State& state) { RunMessage(state, "*IDN?\n"); }
BENCHMARK(BM_CoreQuery);

}  // namespace

BENCHMARK_MAIN();
