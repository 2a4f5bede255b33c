#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What Flashor's command line asks for.
//   /r            start a run once the window is up
//   /c<n>         port number n: list index n - 1; out of range or not a number -> index 0,
//                 and the option counts as malformed (0 excepted: it names the built-in analyser)
//   /f<path>      firmware file or pattern, e.g. "/f/home/me/fw/*.rfw"
//   /f <path>     the same with the path as the next argument
// Options are recognised in upper and lower case.
struct FlashorOptions
{
    bool autoRun = false;
    std::optional<int> portIndex;  // set by "C"
    std::optional<int> portNumber; // the number as given, when it was numeric
    // The port option, "/" included, when it names no port 1..portCount and is not "0".
    std::optional<QString> malformedPort;
    std::optional<QString> firmwarePath; // set by "F", trimmed
};

// POSIX: every argument (program name excluded) is one option beginning with "/";
// a bare "/f" takes the next argument as its path. Other arguments are ignored.
[[nodiscard]] FlashorOptions parseFlashorArguments(const QStringList &arguments, int portCount);

// The whole command line as one text, split at every "/" (the rule on Windows,
// where paths use "\"): " /r /c4 /f C:\fw\*.rfw".
[[nodiscard]] FlashorOptions parseFlashorCommandLine(const QString &commandLine, int portCount);
