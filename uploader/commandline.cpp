#include "uploader/commandline.h"

namespace {

// One option piece, without its "/". Its first character selects it; the piece
// is not trimmed before that character is examined.
void applyOption(FlashorOptions &options, const QString &piece, int portCount)
{
    if (piece.isEmpty())
        return;
    const QChar key = piece[0].toUpper();
    const QString value = piece.mid(1);
    if (key == 'R') {
        options.autoRun = true;
    } else if (key == 'C') {
        bool numeric = false;
        const int number = value.trimmed().toInt(&numeric);
        int index = numeric ? number - 1 : 0;
        if (index < 0 || index >= portCount)
            index = 0;
        options.portIndex = index;
        options.portNumber = numeric ? std::optional<int>(number) : std::nullopt;
        const bool inRange = numeric && number >= 0 && number <= portCount;
        options.malformedPort = inRange ? std::nullopt : std::optional<QString>("/" + piece);
    } else if (key == 'F') {
        options.firmwarePath = value.trimmed();
    }
}

} // namespace

FlashorOptions parseFlashorArguments(const QStringList &arguments, int portCount)
{
    FlashorOptions options;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (!argument.startsWith('/'))
            continue;
        const QString piece = argument.mid(1);
        // Paths begin with "/" here, so "/f" alone takes the next argument whole.
        if (piece.compare("f", Qt::CaseInsensitive) == 0 && i + 1 < arguments.size()) {
            options.firmwarePath = arguments[++i].trimmed();
            continue;
        }
        applyOption(options, piece, portCount);
    }
    return options;
}

FlashorOptions parseFlashorCommandLine(const QString &commandLine, int portCount)
{
    FlashorOptions options;
    for (const QString &piece : commandLine.split('/'))
        applyOption(options, piece, portCount);
    return options;
}
