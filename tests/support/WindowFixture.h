#pragma once
// The real window on the deterministic HID contract, a settable clock and recording
// dialogs. The test drives the tick itself.
#include "app/Main.h"
#include "support/FakeHid.h"
#include "support/QtPrinters.h"
#include "support/Recording.h"
#include "support/Reports.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace testing_support {

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Plugs a transceiver after start-up (the first device change has found none).
    TFakeHidDevice* PlugTransceiver(uint16_t productId = 0x7802);
    void Tick(int count = 1);
    // Delivers a line reply to the checked-out transceiver, then ticks once.
    void Answer(const std::string& text);
    std::vector<std::string> Commands() const; // commands written to `unit`
    QStringList LogTexts() const;              // log lines without their time stamps
    bool LogHas(const QString& text) const;
    // A control's text in the conversation's panel, shown at once.
    void SetPanelText(params::TControl control, const std::string& text);
    // Identification's outcome put in place directly, as if the unit had answered.
    void SetIdentity(const std::string& version, const std::string& model, bool extended,
                     bool phoneVolume);

    // Set before SetUp: the window keeps backups and a service record.
    std::optional<store::TJournalOptions> journal;
    TForm1* form = nullptr;
    TFakeHidController* hid = nullptr;
    TManualClock* clock = nullptr;
    TRecordingDialogs* dialogs = nullptr;
    TFakeHidDevice* unit = nullptr;
};

} // namespace testing_support
