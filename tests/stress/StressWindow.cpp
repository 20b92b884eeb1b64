#include "StressWindow.h"
#include "support/WindowWidgets.h"

#include "link/Framing.h"

#include <QRegularExpression>

namespace stress {

void StressWindowTest::Pump() {
    nowUs += 1000;
    clock->Advance(1);
    if (unit && sim->Vanished()) {
        UnplugUnit();
    } else if (unit) {
        if (auto report = sim->Read(nowUs)) {
            std::string bytes(report->begin(), report->end());
            if (hid->Deliver(unit, bytes)) delivered.push_back(std::move(bytes));
        }
    }
    form->Timer1Timer();
}

bool StressWindowTest::PumpUntil(const std::function<bool()>& done, int maxTicks) {
    for (int i = 0; i < maxTicks; ++i) {
        if (done()) return true;
        Pump();
    }
    return done();
}

void StressWindowTest::ChangeASetting() {
    TRadioGroup* volume = RadioGroup1(form);
    volume->SetItemIndex((volume->ItemIndex() + 1) % volume->Count());
}

QStringList StressWindowTest::ReceivedReportLines() const {
    static const QRegularExpression hexLine(QStringLiteral("^<<([0-9A-F]{2}(,[0-9A-F]{2})*)?-"));
    QStringList lines;
    for (const QString& text : LogTexts())
        if (hexLine.match(text).hasMatch()) lines << text;
    return lines;
}

QStringList StressWindowTest::ExpectedReportLines() const {
    QStringList lines;
    for (const auto& report : delivered) {
        const auto* data = reinterpret_cast<const uint8_t*>(report.data());
        const std::string logged =
            channel::ReplyLogText(channel::ParseReply(data + 1, report.size() - 1));
        QString line = QStringLiteral("<<") +
                       QString::fromLatin1(logged.data(), static_cast<qsizetype>(logged.size()));
        while (!line.isEmpty() && line.back().unicode() <= 0x20)
            line.chop(1);
        lines << line;
    }
    return lines;
}

} // namespace stress
