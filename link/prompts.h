#pragma once

#include <QString>

// Every modal message box and file dialog of the program goes through this
// interface, so the logic can be tested with a scripted stand-in.
class Prompts
{
public:
    enum class Icon { None, Information, Question, Exclamation, Critical };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
    enum class Answer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

    virtual ~Prompts() = default;

    // A message box; an empty title shows the application title "Tessel".
    virtual Answer message(const QString &text, const QString &title = {}, Icon icon = Icon::None,
                           Buttons buttons = Buttons::Ok)
        = 0;

    // File dialogs; an empty result means the user cancelled.
    virtual QString openFileName(const QString &title, const QString &filter, const QString &folder) = 0;
    virtual QString saveFileName(const QString &title, const QString &filter, const QString &folder,
                                 const QString &suggestedName)
        = 0;

    // Shorthand for the most common box: text, error (critical) icon, OK.
    void error(const QString &text, const QString &title = {})
    {
        message(text, title, Icon::Critical, Buttons::Ok);
    }
};

inline const QString applicationTitle = QStringLiteral("Tessel");
