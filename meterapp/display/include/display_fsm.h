// The per-channel display state machine: each logical channel follows its
// sensor through connecting, measuring and disconnect, in full- or half-
// screen layout, CW or pulse, with or without its graph. Driven by the
// display update pass on the GTK main loop.
#pragma once

#include <array>
#include <atomic>

#include "graph.h"
#include "main_window.h"
#include "sensor_data.h"

// One entry per display channel.
struct SensorDisplayInstance {
  GtkSensorInstance display = gtkSensorSingleChannel1;  // screen instance showing the channel
  // 255 while no sensor is bound; written by the display, read by the graph
  // sampler.
  std::atomic<SensorPort> sensorPort{sensorPort_None};
  // The channel's power history. Kept in a zero-filled table of its own: a
  // record with any non-zero field is stored whole in the program file, and
  // the two histories are 2.8 MB.
  CGraphData& graphDataPwr;
};
extern std::array<SensorDisplayInstance, 2> sensorDisplays;

enum SensorDisplayInstance_t { UpperDisplay = 0, LowerDisplay = 1, NumberOfDisplays = 2 };
enum SensorDisplayEvents_t {
  evSensorDetected = 0,
  evSensorDisconnect = 1,
  evSensorReady = 2,
  evSensorError = 3,
  evSetPulse = 4,
  evSetCW = 5,
  evShowGraph = 6,
  evHideGraph = 7,
  evUpdateMeasurements = 8,
  evUseFullDisplay = 9,
  evUseHalfDisplay = 10,
  evActivate = 11,
  evDeactivate = 12,
};
enum SensorDisplayActiveState_t { NotActive = 0, Active = 1 };
enum SensorDisplayState_t { NotConnected = 0, Connecting = 1, SensorError = 2, Measuring = 3 };
enum SensorTypeSubState_t { Pulse = 0, CW = 1 };
enum SensorGraphSubState_t { ShowGraph = 0, HideGraph = 1 };
enum SensorCountSubState_t { SingleSensor = 0, DualSensors = 1 };

// One state machine per logical channel.
struct CSensorDisplayFSM {
  SensorDisplayInstance_t display = UpperDisplay;  // the channel it drives
  bool fullSCreen = true;                          // full-screen layout (one sensor)
  SensorPort port = sensorPort_None;
  SensorDisplayActiveState_t activeState = NotActive;
  SensorDisplayState_t state = NotConnected;
  SensorTypeSubState_t typeSubState = CW;          // meaningful in Measuring
  SensorGraphSubState_t graphSubState = HideGraph; // meaningful in Measuring and CW
};
extern std::array<CSensorDisplayFSM, NumberOfDisplays> sensorFSM;
extern SensorCountSubState_t countSubState;  // traces only

// Hears every reading the display shows (the remote-control record), with
// the sensor's port; handed in by the application.
using CSensorDisplayFSM_MeasurementListener = void (*)(int port, SENSOR_MEASUREMENTS measurements);
void CSensorDisplayFSM_setMeasurementListener(CSensorDisplayFSM_MeasurementListener listener);

void CSensorDisplayFSM_reset();
void CSensorDisplayFSM_setCW();
void CSensorDisplayFSM_setPulse();
void CSensorDisplayFSM_showGraph();
void CSensorDisplayFSM_hideGraph();
void CSensorDisplayFSM_connect(int port);
void CSensorDisplayFSM_disconnect(int port);
void CSensorDisplayFSM_sensorError(int port);
void CSensorDisplayFSM_updateMeasurements(int port);

// Event entry and its inner levels; true when the event was consumed.
bool CSensorDisplayFSM_handleActivateEvents(CSensorDisplayFSM* instance, SensorDisplayEvents_t event, int port);
bool CSensorDisplayFSM_handleEvent(CSensorDisplayFSM* instance, SensorDisplayEvents_t event, int port);
bool CSensorDisplayFSM_handleTypeSubStateEvent(CSensorDisplayFSM* instance, SensorDisplayEvents_t event, int port);
bool CSensorDisplayFSM_handleGraphSubStateEvent(CSensorDisplayFSM* instance, SensorDisplayEvents_t event, int port);

const char* CSensorDisplayFSM_getEventName(int event);
const char* CSensorDisplayFSM_getStateName(int state);
const char* CSensorDisplayFSM_getTypeSubStateName(int state);
const char* CSensorDisplayFSM_getGraphSubStateName(int state);
const char* CSensorDisplayFSM_getCountSubStateName(int state);
const char* CSensorDisplayFSM_getSensorPortName(int port);
bool CSensorDisplayFSM_sensorIsPulseSensor(const CSensorDisplayFSM* instance);
