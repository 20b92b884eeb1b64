#pragma once
// The window's widgets by object name, as a test reaches them: Edit5(form)->text().
#include "app/Main.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <stdexcept>
#include <string>

namespace testing_support {

template <typename W> W* Find(const QObject* form, const char* name) {
    auto* w = form->findChild<W*>(QLatin1String(name));
    if (!w) throw std::logic_error(std::string("no widget named ") + name);
    return w;
}

#define SV_WIDGET(Type, Name)                                                                      \
    inline Type* Name(const QObject* form) {                                                       \
        return Find<Type>(form, #Name);                                                            \
    }
SV_WIDGET(QWidget, Client)
SV_WIDGET(QWidget, Panel1)
SV_WIDGET(QWidget, Panel2)
SV_WIDGET(TEdit, Edit1)
SV_WIDGET(TEdit, Edit2)
SV_WIDGET(TEdit, EditKIND)
SV_WIDGET(TEdit, EditLanguage)
SV_WIDGET(TEdit, Edit5)
SV_WIDGET(TEdit, Edit7)
SV_WIDGET(TEdit, Edit8)
SV_WIDGET(TEdit, Edit9)
SV_WIDGET(TEdit, EdtChannel)
SV_WIDGET(TEdit, EdtDiveComInterface)
SV_WIDGET(TEdit, EditVoiceGuideLevel)
SV_WIDGET(TEdit, EditDivingTimeSignal)
SV_WIDGET(QLabel, Label1)
SV_WIDGET(QLabel, Label2)
SV_WIDGET(QLabel, Label3)
SV_WIDGET(QLabel, Label4)
SV_WIDGET(QLabel, Label5)
SV_WIDGET(QLabel, Label6)
SV_WIDGET(QLabel, Label7)
SV_WIDGET(QLabel, Label8)
SV_WIDGET(QLabel, Label9)
SV_WIDGET(QLabel, Label10)
SV_WIDGET(QLabel, Label11)
SV_WIDGET(QLabel, Label12)
SV_WIDGET(QLabel, Label13)
SV_WIDGET(QLabel, LabelParamCnt)
SV_WIDGET(QGroupBox, GroupBox1)
SV_WIDGET(QGroupBox, GroupBox2)
SV_WIDGET(QGroupBox, GroupBoxDivingTimeSignal)
SV_WIDGET(TRadioGroup, RadioGroup1)
SV_WIDGET(TRadioGroup, RadioGroup3)
SV_WIDGET(TRadioGroup, RadioGroup4)
SV_WIDGET(TRadioGroup, RadioGroup5)
SV_WIDGET(TRadioGroup, RGChannel)
SV_WIDGET(TRadioGroup, RgDiveComInterface)
SV_WIDGET(TRadioGroup, RadioGroupVoiceGuideLevel)
SV_WIDGET(QComboBox, ComboBoxDivingTimeSignal1)
SV_WIDGET(QComboBox, ComboBoxDivingTimeSignal2)
SV_WIDGET(QCheckBox, CheckBoxDivingTimeSignalEnable)
SV_WIDGET(TSpeedButton, SpeedButton1)
SV_WIDGET(TSpeedButton, SpeedButton2)
SV_WIDGET(TSpeedButton, SpeedButton3)
SV_WIDGET(QPushButton, ButtonReconnect)
SV_WIDGET(QProgressBar, ProgressBar1)
SV_WIDGET(QPlainTextEdit, Memo1)
SV_WIDGET(QMenu, File1)
SV_WIDGET(QMenu, Info1)
SV_WIDGET(QAction, SaveSettings1)
SV_WIDGET(QAction, LoadSettings1)
SV_WIDGET(QAction, Restore1)
SV_WIDGET(QAction, ServiceRecord1)
SV_WIDGET(QAction, SaveRecordCsv1)
SV_WIDGET(QAction, Exit1)
SV_WIDGET(QAction, Version1)
#undef SV_WIDGET

} // namespace testing_support
