#pragma once

#include "sim/bootloader.h"
#include "sim/virtualanalyser.h"

#include <QCommandLineParser>
#include <QString>

// What tessel-sim's command line asks for. A value that is not a number, lies
// outside its option's range, or a firmware file that could not be written is
// refused with `error`; nothing is cut to fit, since a simulator that quietly
// runs with other settings than asked gives tests that prove nothing.
struct SimCommandLine
{
    VirtualAnalyserOptions analyser;
    BootLoaderOptions boot;
    QString linkPath;             // --link, "" = none
    bool bootLoaderFirst = false; // --bootloader
    QString error;                // "" when every option is usable
};

// Adds tessel-sim's options and help texts to the parser.
void addSimOptions(QCommandLineParser &parser);

// Reads the options of a parser that has parsed the arguments, e.g.
// "--status 1FF" -> error "bad value for --status: 1FF (00..FF)".
[[nodiscard]] SimCommandLine readSimOptions(const QCommandLineParser &parser);
