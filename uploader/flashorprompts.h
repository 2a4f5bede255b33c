#pragma once

#include <QString>

// Flashor's message boxes and its file-open dialog, so the run flow can be
// tested with a scripted stand-in. Flashor has its own, small one: it shares
// nothing with Tessel but the serial-port layer.
class FlashorPrompts
{
public:
    enum class Icon { None, Critical };

    virtual ~FlashorPrompts() = default;

    // A modal message box with an OK button; an empty title shows "Flashor".
    virtual void message(const QString &text, const QString &title = {}, Icon icon = Icon::None) = 0;

    // filter: "RFW-files|*.rfw|All files|*.*"; startFile: the current path or pattern.
    // Returns the chosen path, or "" when the user cancelled.
    virtual QString openFileName(const QString &title, const QString &filter, const QString &startFile) = 0;
};

inline const QString flashorTitle = QStringLiteral("Flashor");
