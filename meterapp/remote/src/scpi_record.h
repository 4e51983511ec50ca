// The remote-control record shared by the SCPI command handlers of both
// transports, the command table, and the entry points the servers and the
// tests use. Private to the remote layer.
#pragma once

#include <termios.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "network.h"
#include "scpi/scpi.h"
#include "sensor_data.h"
#include "sensor_manager.h"

inline constexpr std::size_t kScpiInputBufferLength = 256;
inline constexpr int16_t kScpiErrorQueueLength = 17;
inline constexpr const char* kScpiManufacturer = "TALVEK";

// Pending RS-232 values as numbers (0 = not given). `parity` is the row of
// parity_table: 1 none, 2 even, 3 odd.
struct TTY_CONFIG_S {
  int speed = 0;
  int size = 0;
  int stopb = 0;
  int parity = 0;
};

// The same pending values as termios bits.
struct TTY_CONFIG_BITS_S {
  speed_t speed = 0;
  tcflag_t size = 0;
  tcflag_t stopb = 0;
  tcflag_t parity = 0;
};

// Pending LAN values: method 0 = DHCP, 1 = static; empty text = not given.
struct LANCONFIG_IP_S {
  int method = INET_METHOD_DHCP;
  IpText address{};
  IpText netmask{};
  IpText gateway{};
};

enum scpi_sensor_config_state_t { NotInitialized = 0, Syncronized = 1, Modified = 2 };

// The sensor a staged configuration or a measurement copy belongs to: its
// port and serial number, and whether it was measuring. A channel whose
// sensor is swapped gets a new owner, and what belonged to the old one is
// dropped, so that a COMMit never sends one sensor's staging to another and
// a query never answers another sensor's reading. Readiness is part of it
// because a sensor that is still identifying (or restarting) has not had its
// configuration read yet: what was staged from it is reloaded once it
// measures.
struct ScpiSensorOwner {
  int port = sensorPort_None;
  std::array<char, 9> serialNumber{};
  bool ready = false;
  bool operator==(const ScpiSensorOwner&) const = default;
};

struct scpi_sensor_config {
  scpi_sensor_config_state_t state = NotInitialized;
  SENSOR_CONFIGS config{};
  ScpiSensorOwner owner{};
  // Counts the edits, so that a COMMit that waited for the sensor can tell
  // whether the staging changed meanwhile (from the other transport).
  std::uint64_t revision = 0;
};

// The measurement copy of one channel and whose it is; `valid` is false
// until the display pass has pushed a reading of the current owner.
struct ScpiMeasurementCopy {
  ScpiSensorOwner owner{};
  bool valid = false;
};

// Where a parser context sends its replies: the descriptor (the client socket,
// or the RS-232 port), and whether a write failed so that the server drops the
// peer. A socket is written with MSG_NOSIGNAL so that a vanished client gives
// an error, never SIGPIPE.
struct ScpiTransport {
  int* fd = nullptr;
  bool socket = false;
  bool broken = false;
  // A socket reply gathered until its terminator (see SCPI_Flush).
  std::array<char, 1024> pending{};
  std::size_t pendingLength = 0;
};

struct SCPI_S {
  // Guards everything below that both server threads and the display pass
  // reach: chanValid, sensor, measurements, configs, newTty(Bits), newLan.
  // Never held while a reply is written to a transport.
  std::mutex lock;
  std::array<bool, 2> chanValid{};
  // The active sensor of SCPI channel 1 / 2 as a copy of its instance, taken
  // from the sensor manager under its lock (the server threads never follow
  // the manager's own pointers); meaningful where chanValid is set.
  std::array<SensorInstance, 2> sensor{};
  std::array<char, 16> modelNum{};
  std::array<char, 16> serialNum{};
  std::array<char, 128> fwVersion{};
  std::array<SENSOR_MEASUREMENTS, 2> measurements{};
  std::array<ScpiMeasurementCopy, 2> measurementOwner{};
  std::array<scpi_sensor_config, 2> configs{};

  scpi_t tcpContext{};
  std::array<char, kScpiInputBufferLength> tcpInputBuffer{};
  std::array<scpi_error_t, kScpiErrorQueueLength> tcpErrorQueueData{};
  scpi_t serContext{};
  std::array<char, kScpiInputBufferLength> serInputBuffer{};
  std::array<scpi_error_t, kScpiErrorQueueLength> serErrorQueueData{};

  TTY_CONFIG_S newTty{};
  TTY_CONFIG_BITS_S newTtyBits{};
  LANCONFIG_IP_S curLan{};  // reserved
  LANCONFIG_IP_S newLan{};
  bool (*checkIp)(std::string_view) = nullptr;
  bool (*checkNetmask)(std::string_view) = nullptr;

  // Reply targets of the two contexts (their user contexts).
  int tcpClientFd = -1;
  ScpiTransport tcpTransport{};
  ScpiTransport serTransport{};
};

// The process-wide record, null before initScpiParser and after
// destroyScpiParser.
extern SCPI_S* scpi;

// The command table, in the order the meter answers it; ends with
// SCPI_CMD_LIST_END.
extern const scpi_command_t scpi_commands[];
// Number of rows before the end marker.
std::size_t scpiCommandCount();
extern const scpi_interface_t scpi_interface;

// Sets up a parser context of the record for one transport.
void scpiContext_init(scpi_t* context, char* buffer, scpi_error_t* queue, ScpiTransport* transport);

// Queues the custom error `key` (101..110) with its own text; a key not in
// the table is queued as an error code by itself.
void pushCustomScpiError(scpi_t* context, int key);
void pushCustomScpiErrorWithMsg(scpi_t* context, int key, std::string_view text);

// Refreshes chanValid and sensor from the sensor manager's active sensors.
// Called with the record's lock held.
bool scpiGetSensor();

// The five preconditions a sensor command may have, checked in the order
// S, M, T, G, P (see SCPI_CheckConditions).
struct PulseSensorConditions {
  bool bPulseMode = false;      // M: the meter is in pulse mode
  bool bPulseSensor = false;    // S: the channel has a USB CW & Pulse sensor
  bool bP804 = false;           // T: the sensor has triggered gates (not P803)
  bool bPulseGate = false;      // P: the staged model is the pulse gate
  bool bTriggeredGate = false;  // G: the staged model is the triggered gates
};

// The optional channel parameter: absent 1; 0, 3, -1 and the like queue
// custom error 101, special words and non-numbers -220. Only parses.
bool SCPI_ReadChannelParameter(scpi_t* context, int* channel);
// With the record's lock held: refreshes the channel map, drops what belonged
// to a previous sensor, queues 102 for an empty channel, and loads the staged
// configuration of a channel that has none yet. `index` is channel - 1.
bool SCPI_IsChannelValid(scpi_t* context, int index);
// With the record's lock held, after SCPI_IsChannelValid.
bool SCPI_CheckConditions(scpi_t* context, const PulseSensorConditions& conditions, int index);
// The owner the channel's sensor has now.
ScpiSensorOwner scpiSensorOwner(const SensorInstance& sensor);

// The TCP port the server listens on (0 until it listens).
std::uint16_t scpiTcpServer_port();
