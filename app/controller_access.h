// Where the exported functions find the one port controller of the process.
#pragma once

#include "../port/port_controller.h"

PortController& TheController();

// Shows the setup window, if there is one.
void ShowSetupWindow();
