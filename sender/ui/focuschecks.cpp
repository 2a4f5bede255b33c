#include "sender/ui/focuschecks.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

FocusChecks::FocusChecks(QObject *parent)
    : QObject(parent)
{
}

void FocusChecks::add(QLineEdit *box, Check check)
{
    checks.insert(box, std::move(check));
    box->installEventFilter(this);
}

bool FocusChecks::check(QLineEdit *box) const
{
    const auto it = checks.constFind(box);
    return it == checks.constEnd() || !*it || (*it)();
}

bool FocusChecks::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (!box || !checks.contains(box))
        return QObject::eventFilter(watched, event);
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        // Switching windows or opening a menu is not leaving the box.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            focusLost(box);
    } else if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (enter)
                enter(box);
            else
                check(box);
            return true; // never a dialog's default button
        }
    }
    return QObject::eventFilter(watched, event);
}

void FocusChecks::focusLost(QLineEdit *box)
{
    if (refocusing || !box->isEnabled() || !box->isVisible())
        return;
    if (check(box))
        return;
    refocusing = true;
    QTimer::singleShot(0, box, [this, box] {
        box->setFocus(Qt::OtherFocusReason);
        box->selectAll();
        refocusing = false;
    });
}
