#include "app/DeviceErrors.h"

void ShowDeviceErrorsInErrorBox(hid::TQueuedMainThread& Main, core::TDialogSink& Dialogs) {
    Main.SetErrorHandler([&Dialogs](std::exception_ptr Error) { ShowErrorBoxFor(Dialogs, Error); });
}
