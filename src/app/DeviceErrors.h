#pragma once
// A device that cannot be opened or identified is raised once, at the end of the pass over
// the device list that first met it. The pass runs from a change notice, outside every
// handler of the window, so its error reaches only the HID layer's main-thread queue; this
// shows it in the window's general error box.
#include "app/Seams.h"
#include "hid/MainThread.h"

// Dialogs must outlive every later run of Main's queue.
void ShowDeviceErrorsInErrorBox(hid::TQueuedMainThread& Main, core::TDialogSink& Dialogs);
