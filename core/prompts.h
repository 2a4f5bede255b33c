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
    // The save dialog with its list of file types: `chosenFilter` comes in as
    // the entry of `filter` to preselect and goes out as the one chosen ("" when
    // the dialog cannot tell, so the name's extension decides).
    virtual QString saveFileNameOfType(const QString &title, const QString &filter, const QString &folder,
                                       const QString &suggestedName, QString *chosenFilter)
    {
        chosenFilter->clear();
        return saveFileName(title, filter, folder, suggestedName);
    }

    // Shorthand for the most common box: text, error (critical) icon, OK.
    void error(const QString &text, const QString &title = {})
    {
        message(text, title, Icon::Critical, Buttons::Ok);
    }
};

// The question before a window with unsaved settings closes, "Settings was been
// chanded. Save?": Yes runs `save`, whose result says whether the window may
// close then; No closes without saving; Cancel keeps the window open.
template <class Save> bool askSaveSettings(Prompts &prompts, Save save)
{
    switch (prompts.message(QStringLiteral("Settings was been chanded. Save?"), QStringLiteral("Save..."),
                            Prompts::Icon::None, Prompts::Buttons::YesNoCancel)) {
    case Prompts::Answer::Yes:
        return save();
    case Prompts::Answer::No:
        return true;
    default:
        return false;
    }
}

inline const QString applicationTitle = QStringLiteral("Tessel");
