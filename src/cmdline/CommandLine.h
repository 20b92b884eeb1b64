#pragma once
// The command-line conventions every executable of the tool follows. Parsing happens
// before any QApplication exists, so that --help, --version and a mistake work without a
// display and never open a window.
#include <QCommandLineParser>
#include <QString>

#include <cstdio>
#include <optional>

namespace cmdline {

// Adds --help and --version, parses argv and answers the conventional cases itself:
// --help and --version print to stdout (exit code 0); an unknown option, a missing value or
// an argument where none is taken is one line on stderr (exit code 2). Returns the exit code
// when the program must stop there, nothing when it goes on with the parsed options.
// With takesArguments, positional arguments are left to the caller.
std::optional<int> ParseCommandLine(QCommandLineParser& parser, const char* program,
                                    const QString& description, int argc, char* argv[],
                                    bool takesArguments = false);

// One line "program: message" on stderr; returns the exit code for a usage error, 2.
int UsageError(const char* program, const QString& message);

// Flushes and closes an output the program wrote its results to, as cat does: when this or
// an earlier write failed (error: its errno, 0 when none was seen), one line
// "program: cannot write NAME: reason" on stderr and false. A result lost on a full disk
// must not look like success.
bool CloseOutput(const char* program, std::FILE* file, const QString& name, int error = 0);

} // namespace cmdline
