#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

class QTextStream;

// A command's arguments: words in order, and options that each take a value
// ("--db PATH" or "--db=PATH").
struct ToolArguments
{
    QStringList positional;
    QHash<QString, QString> options;

    // False (with *error) for an option not in `valueOptions`, one without
    // its value, or one given twice.
    bool parse(const QStringList &arguments, const QStringList &valueOptions, QString *error);
};

// The commands return a ToolStatus; for ToolBadUsage *usageError says what
// is wrong (the caller prints it with a hint), other messages go to `err`.
int dbcImportCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError);
int dbcExportCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError);
int decodeCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError);
int convertCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError);
int infoCommand(const QStringList &arguments, QTextStream &out, QTextStream &err, QString *usageError);
