#pragma once
// The HID layer's main-thread hand-over on Qt's event loop. Make it in the main thread,
// after the QCoreApplication, and keep it alive as long as the controller.
#include "hid/MainThread.h"

#include <map>
#include <memory>

class QObject;

namespace hid {

class TQtMainThread final : public TQueuedMainThread {
  public:
    TQtMainThread();
    ~TQtMainThread() override;
    TQtMainThread(const TQtMainThread&) = delete;
    TQtMainThread& operator=(const TQtMainThread&) = delete;

    void Post(TOperation Op) override;
    int Watch(intptr_t Source, TOperation OnReady) override;
    void Unwatch(int Id) override;

  protected:
    void Poke() override;

  private:
    // Lives in the main thread: the receiver of every queued call and the parent of the
    // notifiers, so that nothing queued runs after this object is gone.
    std::unique_ptr<QObject> context_;
    std::map<int, QObject*> watches_;
    int nextWatch_ = 1;
};

} // namespace hid
