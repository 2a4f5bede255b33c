#pragma once

#include "uploader/flashorprompts.h"

class QWidget;

// Flashor's prompts as Qt message boxes and the Qt file-open dialog.
class QtFlashorPrompts final : public FlashorPrompts
{
public:
    explicit QtFlashorPrompts(QWidget *parent = nullptr)
        : parent(parent)
    {}

    void setParent(QWidget *p) { parent = p; }

    void message(const QString &text, const QString &title = {}, Icon icon = Icon::None) override;
    QString openFileName(const QString &title, const QString &filter, const QString &startFile) override;

private:
    QWidget *parent;
};
