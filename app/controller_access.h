// Where the exported functions find the one port controller of the process,
// and the gate every export passes.
#pragma once

#include "../port/port_controller.h"

PortController& TheController();

// Starts or ends the recording of the pins (record/recording.h).
int RecordPins(const char* path);

// Shows the setup window, if there is one.
void ShowSetupWindow();

// Marks a call of an export as inside the library for its life. Admitted()
// is false once the unload has begun: the export then returns -1 and touches
// nothing. The unload waits (up to 3 s, longer than any wait a call makes)
// until no admitted call is left.
class ExportCall {
public:
    ExportCall();
    ~ExportCall();
    ExportCall(const ExportCall&) = delete;
    ExportCall& operator=(const ExportCall&) = delete;
    bool Admitted() const { return admitted; }

private:
    bool admitted;
    long long load;  // the mark of the load the call counted itself into
};

// The result of a call that arrives once the unload has begun.
constexpr int kRefusedAtUnload = -1;
