// The channel question on the screen: a modal dialog that asks which logical
// channel a newly attached sensor takes. It never blocks: it is shown and the
// GTK main loop, with the display passes, carries on; OK hands the answer to
// the sensor manager (SensorManager_answerChannelQuestion). Main loop only.
#pragma once

#include <gtk/gtk.h>

#include "sensor_manager.h"

// The dialog's title for the sensor on `port`.
const char* ChannelDialog_title(int port);

// Shows the question for `port` (replacing an open one).
void ChannelDialog_ask(int port);
// Takes the open question off the screen, unanswered.
void ChannelDialog_withdraw();
// The dialog's window while it is open, else null (tests, scripts).
GtkWidget* ChannelDialog_window();

// The pair to hand to SensorManager_setChannelQuestion.
SensorManager_ChannelQuestion ChannelDialog_question();
