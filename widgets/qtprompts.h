#pragma once

#include "core/prompts.h"

class QWidget;

// Prompts shown as Qt message boxes and file dialogs, owned by a parent window.
class QtPrompts final : public Prompts
{
public:
    explicit QtPrompts(QWidget *parent = nullptr)
        : parent(parent)
    {}

    void setParent(QWidget *p) { parent = p; }

    Answer message(const QString &text, const QString &title = {}, Icon icon = Icon::None,
                   Buttons buttons = Buttons::Ok) override;
    QString openFileName(const QString &title, const QString &filter, const QString &folder) override;
    QString saveFileName(const QString &title, const QString &filter, const QString &folder,
                         const QString &suggestedName) override;
    QString saveFileNameOfType(const QString &title, const QString &filter, const QString &folder,
                               const QString &suggestedName, QString *chosenFilter) override;

private:
    QWidget *parent;
};
