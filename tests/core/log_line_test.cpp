// The log line every front end writes, against the stamp the window has always written
// (QDateTime's "yy/MM/dd HH:mm:ss zzz,"), and the unit's clock value of a local time.
#include "link/Conversation.h"
#include "link/LogLine.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include <cstdint>
#include <string>

namespace {

TEST(FormatLogLine, StampsAsQtDoesAcrossCalendarEdges) {
    const std::int64_t moments[] = {0,             // 1970-01-01
                                    951868799999,  // 2000-02-29 23:59:59.999
                                    951868800000,  // 2000-03-01
                                    1772443800004, // 2026-03-02 09:30:00.004
                                    4107542399999, // 2100-02-28 23:59:59.999
                                    4107542400000, // 2100-03-01 (no leap day in 2100)
                                    -500,          // 1969-12-31 23:59:59.500
                                    946684799000}; // 1999-12-31 23:59:59
    for (const std::int64_t ms : moments) {
        const std::string stamp = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)
                                      .toString(QStringLiteral("yy/MM/dd HH:mm:ss zzz,"))
                                      .toStdString();
        EXPECT_EQ(core::FormatLogLine(ms, "VER", core::kLogSent), stamp + ">>VER") << ms;
    }
}

TEST(FormatLogLine, MarksTheDirectionAndCutsTrailingBlanksAndControls) {
    const struct {
        const char* text;
        int direction;
        const char* line;
    } rows[] = {
        {"OK 201036\r\n", core::kLogReceived, "26/03/02 09:30:00 004,<<OK 201036"},
        {"x\t\r\n \x01", core::kLogSent, "26/03/02 09:30:00 004,>>x"},
        {"6 status \t ", core::kLogNote, "26/03/02 09:30:00 004,  6 status"},
        {"a \tb", core::kLogNote, "26/03/02 09:30:00 004,  a \tb"},
        {"   ", core::kLogNote, "26/03/02 09:30:00 004,  "},
        {"", core::kLogSent, "26/03/02 09:30:00 004,>>"},
        {"\xe3\x83\x90\xe3\x83\xbc ", core::kLogNote,
         "26/03/02 09:30:00 004,  \xe3\x83\x90\xe3\x83\xbc"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(core::FormatLogLine(1772443800004, row.text, row.direction), row.line)
            << row.text;
}

TEST(ClockValueAt, CountsWholeLocalSecondsSince2001) {
    const auto wall = [](QDate d, QTime t) { return QDateTime(d, t, Qt::UTC).toMSecsSinceEpoch(); };
    EXPECT_EQ(core::ClockValueAt(wall(QDate(2001, 1, 2), QTime(0, 0))), 86400);
    EXPECT_EQ(core::ClockValueAt(wall(QDate(2001, 1, 1), QTime(0, 0, 1, 999))), 1);
    EXPECT_EQ(core::ClockValueAt(wall(QDate(2000, 12, 31), QTime(23, 59, 58, 500))), 1);
}

} // namespace
