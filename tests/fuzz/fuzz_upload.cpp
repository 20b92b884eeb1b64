// A series of packets through the window's upload step with its state: each packet is
// preceded by a two-byte little-endian length and goes through the reply framing first,
// as a real input report would.
#include "app/Main.h"
#include "link/Upload.h"
#include "support/FakeHid.h"

#include <QApplication>

#include <cstdlib>

namespace {

class TNullDialogs final : public TDialogs {
  public:
    void ShowErrorBox(const QString&) override {}
    void ShowErrorMessage(const QString&, const QString&) override {}
    void ShowAbout(const QString&, const QStringList&) override {}
};

TForm1* Form() {
    static int argc = 1;
    static char name[] = "fuzz_upload";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(argc, argv);
    }();
    (void)app;
    static TForm1* form = new TForm1(TFormServices{
        std::make_unique<testing_support::TFakeHidController>(), nullptr,
        std::make_unique<TNullDialogs>()});
    return form;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TForm1* form = Form();
    form->uploadState = 0;
    form->uploadPacketNo = 0;
    form->uploadEndSeen = 0;
    form->uploadData.clear();
    form->ClearLog();
    size_t pos = 0;
    while (pos + 2 <= size) {
        const size_t len = std::min<size_t>(data[pos] | (data[pos + 1] << 8), size - pos - 2);
        form->HidCtrl1DeviceData(nullptr, 0, data + pos + 2, static_cast<uint16_t>(len));
        pos += 2 + len;
        form->StepNo = 5;
        form->OnUploadPacket();
        if (form->uploadData.size() > channel::kMaxUploadBytes) std::abort();
    }
    return 0;
}
