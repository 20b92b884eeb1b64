// Handlers whose concern is not built yet: they do nothing, so the step table and the
// controls are complete while the read-back and the write-back are being written.
#include "app/Main.h"

void TForm1::ReadInitialParameters() {}
void TForm1::ReadCurrentParameters() {}
void TForm1::Edit1Change() {}
void TForm1::EditKINDChange() {}
void TForm1::CheckBoxDivingTimeSignalEnableClick() {}
void TForm1::SpeedButton2Click() {}
void TForm1::SpeedButton3Click() {}
void TForm1::OnClearReply() {}
void TForm1::OnSaveReply() {}
void TForm1::ApplyStep10() {}
void TForm1::ApplyStep11() {}
void TForm1::ApplyStep12() {}
void TForm1::ApplyStep19() {}
void TForm1::ApplyStep13() {}
void TForm1::ApplyStep14() {}
void TForm1::ApplyStep15() {}
void TForm1::ApplyStep16() {}
void TForm1::ApplyStep21() {}
void TForm1::ApplyStep22() {}
void TForm1::ApplyStep23() {}
void TForm1::ResetReadBackState() { initParamRecvCnt = 0; }
