#pragma once
// The window against a simulated unit, tick by tick, keeping every report the unit sent so
// that a test can check each one reached the log.
#include "support/SimLink.h"
#include "support/WindowWidgets.h"

#include <QStringList>

#include <string>
#include <vector>

namespace stress {

using namespace testing_support;

class StressWindowTest : public testing_support::SimWindowTest {
  protected:
    // One tick as SimWindowTest::Step, noting each report handed to the window.
    void Pump();
    bool PumpUntil(const std::function<bool()>& done, int maxTicks);
    bool Resting() const {
        return form->Conversation().Phase() == core::TPhase::Ready ||
               form->Conversation().Phase() == core::TPhase::Closing;
    }
    bool PanelReady() const {
        return form->Conversation().Phase() == core::TPhase::Ready &&
               SpeedButton2(form)->isEnabled();
    }
    // Moves the volume choice on, so that an Apply has something to write.
    void ChangeASetting();
    // The log lines of received reports ("<<" hex "-" printable), in order.
    QStringList ReceivedReportLines() const;
    // What those lines must be: one per report handed over, as the channel logs it.
    QStringList ExpectedReportLines() const;

    std::vector<std::string> delivered; // report-ID byte included
};

} // namespace stress
