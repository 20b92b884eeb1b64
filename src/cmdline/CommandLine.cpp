#include "cmdline/CommandLine.h"

#include <QStringList>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace cmdline {

namespace {

// Help or version text lost on its way out (a full disk) is a failure, as any lost output.
int Printed(const char* program) {
    return CloseOutput(program, stdout, QStringLiteral("standard output")) ? 0 : 1;
}

} // namespace

std::optional<int> ParseCommandLine(QCommandLineParser& parser, const char* program,
                                    const QString& description, int argc, char* argv[],
                                    bool takesArguments) {
    parser.setApplicationDescription(description);
    // "-log" must not be read as "-l -o -g".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Not addHelpOption(): its --help-all lists Qt's own options, which are not taken here.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    if (!parser.parse(arguments)) return UsageError(program, parser.errorText());
    if (parser.isSet(help)) {
        // Without an application object Qt cannot know the program's name.
        QString text = parser.helpText();
        text.replace(QStringLiteral("<executable_name>"), QString::fromUtf8(program));
        std::fputs(text.toLocal8Bit().constData(), stdout);
        return Printed(program);
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", program, SV_VERSION);
        return Printed(program);
    }
    if (!takesArguments && !parser.positionalArguments().isEmpty())
        return UsageError(program, QStringLiteral("unexpected argument '%1'.")
                                       .arg(parser.positionalArguments().constFirst()));
    return std::nullopt;
}

int UsageError(const char* program, const QString& message) {
    std::fprintf(stderr, "%s: %s\n", program, message.toLocal8Bit().constData());
    return 2;
}

bool CloseOutput(const char* program, std::FILE* file, const QString& name, int error) {
    errno = 0;
    if (std::fflush(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    // A write that failed before leaves the error flag, perhaps without a reason now.
    if (std::ferror(file) && error == 0) error = EIO;
    errno = 0;
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    if (error == 0) return true;
    std::fprintf(stderr, "%s: cannot write %s: %s\n", program, name.toLocal8Bit().constData(),
                 std::strerror(error));
    return false;
}

} // namespace cmdline
