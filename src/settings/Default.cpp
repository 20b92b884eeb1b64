// Default: the unit erases its settings to the factory values, and the window shows the
// default set read at connection (step 9), then ends through step 17.
#include "app/Main.h"
#include "params/ApplyValues.h"

void TForm1::SpeedButton3Click() {
    ProgressBar1->setValue(0);
    Label4->setText(QStringLiteral("Clear."));
    SendCommand(std::string(params::CmdClear));
    StepNo = 9;
}

void TForm1::OnClearReply() {
    // The flag stays set: step 17 takes the reply put in place here on the next tick.
    if (!Received || ReplyText.find("Successfully erased") == std::string::npos) return;
    ShowParamSet(initParams);
    AnswerLocally("Parameter saved");
    StepNo = 17;
}
