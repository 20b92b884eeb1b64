#include "support/WindowFixture.h"
#include "support/ConversationPeer.h"
#include "support/WindowWidgets.h"

namespace testing_support {

void WindowTest::SetUp() {
    auto controller = std::make_unique<TFakeHidController>();
    auto testClock = std::make_unique<TManualClock>();
    auto testDialogs = std::make_unique<TRecordingDialogs>();
    hid = controller.get();
    clock = testClock.get();
    dialogs = testDialogs.get();
    form = new TForm1(TFormServices{std::move(controller), std::move(testClock),
                                    std::move(testDialogs), journal});
    form->Timer().SetManual(true); // ticks come from the test only
    hid->NotifyChange();           // the controller's own first notice: nothing attached yet
}

void WindowTest::TearDown() {
    delete form;
}

TFakeHidDevice* WindowTest::PlugTransceiver(uint16_t productId) {
    unit = hid->Plug(TransceiverVendorID, productId);
    return unit;
}

void WindowTest::Tick(int count) {
    for (int i = 0; i < count; ++i) {
        clock->Advance(1);
        form->Timer1Timer();
    }
}

void WindowTest::Answer(const std::string& text) {
    hid->Deliver(unit, LineReport(text));
    Tick();
}

std::vector<std::string> WindowTest::Commands() const {
    std::vector<std::string> commands;
    if (unit)
        for (const auto& r : unit->Sent)
            commands.push_back(CommandOf(r));
    return commands;
}

QStringList WindowTest::LogTexts() const {
    QStringList texts;
    for (const auto& line : form->LogLines())
        texts << line.mid(22); // "yy/MM/dd hh:mm:ss zzz,"
    return texts;
}

void WindowTest::SetPanelText(params::TControl control, const std::string& text) {
    testing_support::TPainterPeer(form->Painter()).SetText(control, text);
    form->Mirror();
}

void WindowTest::SetIdentity(const std::string& version, const std::string& model, bool extended,
                             bool phoneVolume) {
    params::TIdentity id;
    id.version = version;
    id.model = model;
    id.extendedFirmware = extended;
    id.phoneVolume = phoneVolume;
    testing_support::Peer(form->Conversation()).SetIdentity(id);
    form->Mirror();
}

bool WindowTest::LogHas(const QString& text) const {
    return LogTexts().contains(text);
}

} // namespace testing_support
