#include "hid/qt/QtMainThread.h"

#include <QMetaObject>
#include <QObject>
#include <QtGlobal>

#include <exception>

#ifdef _WIN32
#include <QWinEventNotifier>
#else
#include <QSocketNotifier>
#endif

namespace hid {

TQtMainThread::TQtMainThread() : context_(std::make_unique<QObject>()) {
    // Nothing may cross the event loop; the application installs its error box instead.
    SetErrorHandler([](std::exception_ptr Error) {
        try {
            std::rethrow_exception(Error);
        } catch (const std::exception& e) {
            qWarning("HID: %s", e.what());
        } catch (...) {
            qWarning("HID: unknown error");
        }
    });
}

TQtMainThread::~TQtMainThread() {
    for (auto& [id, notifier] : watches_)
        delete notifier;
}

void TQtMainThread::Post(TOperation Op) {
    QMetaObject::invokeMethod(
        context_.get(), [this, Op = std::move(Op)] { RunGuarded(Op); }, Qt::QueuedConnection);
}

void TQtMainThread::Poke() {
    // One posted event per hand-over wakes the main loop at once; draining it from a timer
    // instead would cost up to a tick per report.
    QMetaObject::invokeMethod(
        context_.get(), [this] { RunGuarded([this] { Drain(); }); }, Qt::QueuedConnection);
}

int TQtMainThread::Watch(intptr_t Source, TOperation OnReady) {
    const int id = nextWatch_++;
#ifdef _WIN32
    auto* notifier = new QWinEventNotifier(reinterpret_cast<Qt::HANDLE>(Source), context_.get());
    QObject::connect(notifier, &QWinEventNotifier::activated, context_.get(),
                     [this, OnReady] { RunGuarded(OnReady); });
#else
    auto* notifier =
        new QSocketNotifier(static_cast<qintptr>(Source), QSocketNotifier::Read, context_.get());
    QObject::connect(notifier, &QSocketNotifier::activated, context_.get(),
                     [this, OnReady] { RunGuarded(OnReady); });
#endif
    watches_[id] = notifier;
    return id;
}

void TQtMainThread::Unwatch(int Id) {
    const auto it = watches_.find(Id);
    if (it == watches_.end()) return;
    // No call after this, though the notifier may be inside its own signal: Qt deletes it
    // once that has returned.
    QObject::disconnect(it->second, nullptr, context_.get(), nullptr);
    it->second->deleteLater();
    watches_.erase(it);
}

} // namespace hid
