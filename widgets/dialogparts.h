#pragma once

#include "core/queries.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <initializer_list>

// Small builders shared by the data base dialogs.
namespace dialogparts {

inline QLineEdit *lineEdit(QWidget *parent, const char *name)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

inline QComboBox *comboBox(QWidget *parent, const char *name)
{
    auto *combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->setMinimumContentsLength(14);
    return combo;
}

inline QPushButton *button(QWidget *parent, const char *name, const QString &caption)
{
    auto *push = new QPushButton(caption, parent);
    push->setObjectName(QLatin1String(name));
    push->setAutoDefault(false);
    return push;
}

// The "+" beside a speed or timer list. Only the listed rows have bit timings
// known to suit the analyser, so there is nothing to add: the button stays
// disabled and its tool tip says why.
inline QPushButton *smallButton(QWidget *parent, const char *name, const QString &toolTip)
{
    QPushButton *push = button(parent, name, QStringLiteral("+"));
    push->setFixedWidth(push->sizeHint().height());
    push->setEnabled(false);
    push->setToolTip(toolTip);
    return push;
}

inline const QString otherSpeedTip = QStringLiteral("Only the speeds of the list can be used.");
inline const QString otherTimerTip = QStringLiteral("Only the timers of the list can be used.");

inline void fillCombo(QComboBox *combo, const ComboList &list)
{
    const QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(list.items);
    combo->setCurrentIndex(list.selected);
}

// Buttons at the left, a gap, buttons at the right.
inline QHBoxLayout *buttonRow(std::initializer_list<QPushButton *> left, std::initializer_list<QPushButton *> right)
{
    auto *row = new QHBoxLayout;
    for (QPushButton *push : left)
        row->addWidget(push);
    row->addStretch(1);
    for (QPushButton *push : right)
        row->addWidget(push);
    return row;
}

// The buttons of an editing window (`cmdOk`, `cmdApply`, `cmdDelete`,
// `cmdCancel`) and their row: Delete at the left, Ok, Apply and Cancel at the right.
template <class Dialog> QHBoxLayout *editButtons(Dialog *dialog)
{
    dialog->cmdOk = button(dialog, "cmdOk", QStringLiteral("Ok"));
    dialog->cmdApply = button(dialog, "cmdApply", QStringLiteral("Apply"));
    dialog->cmdDelete = button(dialog, "cmdDelete", QStringLiteral("Delete"));
    dialog->cmdCancel = button(dialog, "cmdCancel", QStringLiteral("Cancel"));
    return buttonRow({dialog->cmdDelete}, {dialog->cmdOk, dialog->cmdApply, dialog->cmdCancel});
}

// Apply, Ok and Delete of an editing window handed to its `logic`; Ok and
// Delete close the window when the editor says so. `refresh` shows the
// editor's state again. Cancel is each window's own.
template <class Dialog, class Refresh> void connectEditButtons(Dialog *dialog, Refresh refresh)
{
    QObject::connect(dialog->cmdApply, &QPushButton::clicked, dialog, [dialog, refresh] {
        dialog->logic.cmdApply_Click();
        refresh();
    });
    QObject::connect(dialog->cmdOk, &QPushButton::clicked, dialog, [dialog, refresh] {
        if (dialog->logic.cmdOk_Click())
            dialog->accept();
        refresh();
    });
    QObject::connect(dialog->cmdDelete, &QPushButton::clicked, dialog, [dialog] {
        if (dialog->logic.cmdDelete_Click())
            dialog->accept();
    });
}

} // namespace dialogparts
