// The 1 ms tick and the step table that drives the whole conversation.
#include "app/Main.h"

void TForm1::Timer1Timer() {
    // Detached for the length of the tick: a handler that processes pending events
    // cannot re-enter it, and the next tick comes a full interval after this one ends.
    Timer1->Detach();
    Guarded([this] {
        if (StepNo != Timer1->Tag) {
            AddLog(QStringLiteral("%1 status").arg(StepNo));
            Timer1->Tag = StepNo;
        }
        if (Running) {
            TakeNextReply();
            StepDispatch();
            if (LocalReply) {
                // The step's own reply replaces whatever had come before it.
                LocalReply = false;
                ReplySeen = false;
                PendingReplies.clear();
            } else {
                ReplySeen = true;
            }
        }
    });
    Guarded([this] { UpdateMenus(); });
    Timer1->Attach([this] { Timer1Timer(); });
}

void TForm1::StepDispatch() {
    using Handler = void (TForm1::*)();
    struct TStep {
        int32_t No;
        Handler Run;
    };
    // Write-back steps run 10, 11, 12, 19, 13 ... 23, 17: the next step comes from the
    // handler, never from the number.
    static constexpr TStep kSteps[] = {
        {2, &TForm1::SendClock},
        {3, &TForm1::OnClockReply},
        {4, &TForm1::OnVersionReply},
        {5, &TForm1::OnUploadPacket},
        {6, &TForm1::OnSerialReply},
        {7, &TForm1::ReadInitialParameters},
        {8, &TForm1::ReadCurrentParameters},
        {9, &TForm1::OnClearReply},
        {10, &TForm1::ApplyStep10},
        {11, &TForm1::ApplyStep11},
        {12, &TForm1::ApplyStep12},
        {13, &TForm1::ApplyStep13},
        {14, &TForm1::ApplyStep14},
        {15, &TForm1::ApplyStep15},
        {16, &TForm1::ApplyStep16},
        {17, &TForm1::OnSaveReply},
        {18, &TForm1::OnModelReply},
        {19, &TForm1::ApplyStep19},
        {21, &TForm1::ApplyStep21},
        {22, &TForm1::ApplyStep22},
        {23, &TForm1::ApplyStep23},
        {24, &TForm1::OnLanguageReply},
        {99, &TForm1::CloseDevice},
    };
    for (const auto& step : kSteps) {
        if (step.No == StepNo) {
            (this->*step.Run)();
            return;
        }
    }
}

void TForm1::CloseDevice() {
    HidCtrl1->CheckIn(HidDev);
    Running = false;
}

void TForm1::UpdateMenus() { EnableMenus(StepNo == 1); }

void TForm1::EnableMenus(bool enabled) {
    File1->menuAction()->setEnabled(enabled);
    Info1->menuAction()->setEnabled(enabled);
}
