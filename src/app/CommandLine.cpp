#include "app/CommandLine.h"

#include <QStringList>

#include <cstdio>

namespace app {

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
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", program, SV_VERSION);
        return 0;
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

} // namespace app
