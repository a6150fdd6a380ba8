// Where the exported functions find the one port controller of the process.
// The gate every export passes is unload_gate.h.
#pragma once

#include "../port/port_controller.h"

PortController& TheController();

// Starts or ends the recording of the pins (record/recording.h).
int RecordPins(const char* path);

// Plays a VCD file onto the selected port's pins (PortController::PlayPins).
int PlayPins(const char* path);

// Shows the setup window, if there is one.
void ShowSetupWindow();
