#pragma once

#include "core/prompts.h"

#include <QList>
#include <QStringList>

// Records every prompt and answers from a script; an empty script answers the
// first button of the box (OK, Yes, Retry or Abort) and an empty file name.
class FakePrompts final : public Prompts
{
public:
    struct Shown
    {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    QList<Shown> shown;
    QList<Answer> answers;
    QStringList fileNames;
    QStringList fileDialogTitles;
    // The file type each save dialog returns ("" when none is left), and the
    // one it was opened with.
    QStringList chosenFilters;
    QStringList preselectedFilters;

    Answer message(const QString &text, const QString &title = {}, Icon icon = Icon::None,
                   Buttons buttons = Buttons::Ok) override
    {
        shown.append({text, title.isEmpty() ? applicationTitle : title, icon, buttons});
        if (!answers.isEmpty())
            return answers.takeFirst();
        switch (buttons) {
        case Buttons::Ok:
        case Buttons::OkCancel: return Answer::Ok;
        case Buttons::YesNo:
        case Buttons::YesNoCancel: return Answer::Yes;
        case Buttons::RetryCancel: return Answer::Retry;
        case Buttons::AbortRetryIgnore: return Answer::Abort;
        }
        return Answer::Ok;
    }

    QString openFileName(const QString &title, const QString &, const QString &) override
    {
        fileDialogTitles << title;
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }

    QString saveFileName(const QString &title, const QString &, const QString &, const QString &) override
    {
        fileDialogTitles << title;
        return fileNames.isEmpty() ? QString() : fileNames.takeFirst();
    }

    QString saveFileNameOfType(const QString &title, const QString &filter, const QString &folder,
                               const QString &suggestedName, QString *chosenFilter) override
    {
        preselectedFilters << *chosenFilter;
        *chosenFilter = chosenFilters.isEmpty() ? QString() : chosenFilters.takeFirst();
        return saveFileName(title, filter, folder, suggestedName);
    }

    [[nodiscard]] QStringList texts() const
    {
        QStringList t;
        for (const Shown &s : shown)
            t << s.text;
        return t;
    }

    void clear() { shown.clear(); }
};
