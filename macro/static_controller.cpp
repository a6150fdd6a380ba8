// The process's one controller while the library has no window: a static
// object that discovers the ports when the library loads.
#include "controller_access.h"

namespace {

struct DiscoveredController {
    PortController controller;
    DiscoveredController() { controller.EnumeratePorts(); }
};

DiscoveredController instance;

}  // namespace

PortController& TheController()
{
    return instance.controller;
}

void ShowSetupWindow()
{
}
