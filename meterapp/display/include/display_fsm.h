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
  CGraphData graphDataPwr;  // the channel's power history
};
extern std::array<SensorDisplayInstance, 2> sensorDisplays;

void CSensorDisplayFSM_reset();
void CSensorDisplayFSM_setCW();
void CSensorDisplayFSM_setPulse();
void CSensorDisplayFSM_showGraph();
void CSensorDisplayFSM_hideGraph();
void CSensorDisplayFSM_connect(int port);
void CSensorDisplayFSM_disconnect(int port);
void CSensorDisplayFSM_sensorError(int port);
void CSensorDisplayFSM_updateMeasurements(int port);
