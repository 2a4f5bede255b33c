#pragma once

#include <QStringList>

class QTextStream;

// Exit status of tessel-tool.
enum ToolStatus : int { ToolOk = 0, ToolFailed = 1, ToolBadUsage = 2 };

// Runs one command line of tessel-tool (without the program's name): results
// go to `out`, messages to `err`.
int runTool(const QStringList &arguments, QTextStream &out, QTextStream &err);
