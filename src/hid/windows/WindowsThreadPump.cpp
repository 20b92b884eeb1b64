#include "hid/ThreadPump.h"

#include <windows.h>

namespace hid {

int DispatchThreadMessages() {
    int n = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: leave it for the loop that asked for it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        ++n;
    }
    return n;
}

// Window messages cannot wake a condition variable.
bool ThreadMessagesNeedSlices() {
    return true;
}

int WaitForSources(const std::vector<intptr_t>& Sources, int TimeoutMs,
                   const std::function<void(size_t)>& OnReady) {
    // The handles and the thread's window messages, waited for together; one slot of the
    // wait is the message queue's.
    std::vector<HANDLE> handles;
    for (const intptr_t source : Sources) {
        if (handles.size() == MAXIMUM_WAIT_OBJECTS - 1) break;
        handles.push_back(reinterpret_cast<HANDLE>(source));
    }
    const DWORD count = static_cast<DWORD>(handles.size());
    const DWORD r = MsgWaitForMultipleObjectsEx(
        count, handles.data(), static_cast<DWORD>(TimeoutMs), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    const int dispatched = DispatchThreadMessages();
    if (r >= WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + count) {
        for (size_t i = 0; i < handles.size(); ++i) {
            if (i != r - WAIT_OBJECT_0 && WaitForSingleObject(handles[i], 0) != WAIT_OBJECT_0)
                continue;
            OnReady(i);
        }
    }
    return dispatched;
}

} // namespace hid
