#pragma once

#include "candb/queries.h"

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

// The "+" beside a speed or timer list; it has no command.
inline QPushButton *smallButton(QWidget *parent, const char *name)
{
    QPushButton *push = button(parent, name, QStringLiteral("+"));
    push->setFixedWidth(push->sizeHint().height());
    return push;
}

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

} // namespace dialogparts
