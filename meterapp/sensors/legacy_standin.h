// The one call the sensor handlers make into the legacy serial command
// interface. Until that interface is part of the meter, a stand-in that only
// records the call in the sensor communications log takes its place.
#pragma once

// A port handler has produced a new forward reading.
void SerialCommand_SignalReadingAvailable();
