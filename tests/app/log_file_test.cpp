// The support log file of --log: the same lines as the window's log, stamped alike.
#include "support/WindowFixture.h"

#include <QFile>
#include <QTemporaryDir>

using namespace testing_support;

namespace {

QStringList FileLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {QStringLiteral("cannot read ") + path};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty()) lines.removeLast();
    return lines;
}

using LogFile = WindowTest;

TEST_F(LogFile, HoldsTheEarlierLinesThenEveryNewOneAfterWhatTheFileHad) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("support.log"));
    {
        QFile earlier(path);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("a line of an earlier run\n");
    }
    auto file = std::make_unique<QFile>(path);
    ASSERT_TRUE(file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
    form->AddLog(QStringLiteral("logged before the file was set"));
    form->SetLogFile(std::move(file));

    // A conversation's lines: status, a command sent, replies with device bytes, a note in
    // Japanese, trailing blanks cut.
    PlugTransceiver();
    Tick(2);
    Answer("OK");
    Answer("OK 201036");
    form->AddLog(QStringLiteral("blanks after  \t "));
    clock->Advance(86400000);
    form->WriteLog(std::string("\x01\xff"), kLogReceived);

    QStringList expected{QStringLiteral("a line of an earlier run")};
    expected += form->LogLines();
    EXPECT_GE(form->LogLines().size(), 8);
    EXPECT_TRUE(LogHas(QString::fromUtf8("  バージョン201036")));
    EXPECT_EQ(FileLines(path), expected);
}

} // namespace
