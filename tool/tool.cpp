#include "tool/tool.h"

#include "tool/toolcommands.h"

#include <QTextStream>

namespace {

const char *const usage = R"(Usage: tessel-tool <command> [options]

Commands:
  dbc import FILE.dbc --db PATH [--name NAME]
      Imports a DBC file as a new CAN data base of the Tessel.mdb at PATH
      (a file or its folder) and prints the import report.
  dbc export --db PATH --can NAME OUT.dbc
      Writes the CAN data base NAME as a DBC file.
  decode CAPTURE (--dbc FILE.dbc | --db PATH --can NAME) [--format jsonl|csv]
      Prints one line per frame of a capture or log (any format Tessel opens)
      with its decoded signals.
  convert IN OUT [--to tessel|candump|asc|csv]
      Converts a CAN log (Tessel's capture text, candump, ASC or TRC, told
      by its content) into the format --to names, else the one of OUT's
      extension (.txt, .log, .asc, .csv).
  info IN [--json]
      Prints what a CAN log holds: frames, skipped lines by reason, times,
      buses, and per identifier its count, mean period and frames per second.

Options:
  -h, --help   Shows this text.

Exit status: 0 success, 1 failure, 2 bad usage.
)";

} // namespace

bool ToolArguments::parse(const QStringList &arguments, const QStringList &valueOptions, QString *error)
{
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (!a.startsWith(QLatin1String("--")) || a == QLatin1String("--")) {
            positional << a;
            continue;
        }
        QString name = a.mid(2);
        QString value;
        const qsizetype equals = name.indexOf(QLatin1Char('='));
        if (equals >= 0) {
            value = name.mid(equals + 1);
            name.truncate(equals);
        } else if (i + 1 < arguments.size()) {
            value = arguments.at(++i);
        } else {
            *error = QStringLiteral("option --%1 needs a value").arg(name);
            return false;
        }
        if (!valueOptions.contains(name)) {
            *error = QStringLiteral("unknown option --%1").arg(name);
            return false;
        }
        if (options.contains(name)) {
            *error = QStringLiteral("option --%1 given twice").arg(name);
            return false;
        }
        options.insert(name, value);
    }
    return true;
}

int runTool(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    if (arguments.isEmpty()) {
        err << usage;
        return ToolBadUsage;
    }
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h")) ||
        arguments.first() == QLatin1String("help")) {
        out << usage;
        return ToolOk;
    }
    const QString command = arguments.first();
    const QStringList rest = arguments.mid(1);
    int status = ToolBadUsage;
    QString error;
    if (command == QLatin1String("dbc") && rest.value(0) == QLatin1String("import"))
        status = dbcImportCommand(rest.mid(1), out, err, &error);
    else if (command == QLatin1String("dbc") && rest.value(0) == QLatin1String("export"))
        status = dbcExportCommand(rest.mid(1), out, err, &error);
    else if (command == QLatin1String("decode"))
        status = decodeCommand(rest, out, err, &error);
    else if (command == QLatin1String("convert"))
        status = convertCommand(rest, out, err, &error);
    else if (command == QLatin1String("info"))
        status = infoCommand(rest, out, err, &error);
    else
        error = QStringLiteral("unknown command: %1").arg(arguments.join(QLatin1Char(' ')));
    if (status == ToolBadUsage)
        err << "tessel-tool: " << error << "\n" << "Try 'tessel-tool --help'.\n";
    return status;
}
