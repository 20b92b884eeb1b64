#pragma once
// The demo's second window: the simulated transceiver's front panel. Choose a profile,
// plug and unplug, switch faults, see what the unit has stored.
#include "demo/DemoRig.h"

#include <QWidget>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace demo {

class TSimPanel : public QWidget {
    Q_OBJECT
  public:
    explicit TSimPanel(TDemoRig& rig);

  private:
    void ApplyFaults();
    void Refresh();

    TDemoRig& rig_;
    QComboBox* profile_;
    QPushButton* plug_;
    QPushButton* unplug_;
    QLineEdit* ng_;
    QLineEdit* silent_;
    QLineEdit* garbage_;
    QSpinBox* vanishAfter_;
    QPlainTextEdit* state_;
};

} // namespace demo
