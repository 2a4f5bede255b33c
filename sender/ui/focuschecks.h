#pragma once

#include <QHash>
#include <QObject>

#include <functional>

class QLineEdit;

// Field checks of a dialog's text boxes: a box's check runs when it loses the
// focus to another control of the window (not when the window itself loses
// it), and a failed check puts the focus back into the box. The box that took
// the focus meanwhile is not checked on the way back.
class FocusChecks final : public QObject
{
    Q_OBJECT
public:
    using Check = std::function<bool()>;
    using EnterHandler = std::function<void(QLineEdit *box)>;

    explicit FocusChecks(QObject *parent = nullptr);

    void add(QLineEdit *box, Check check);
    // Enter in a box: the handler decides (default: the box's check runs).
    void setEnterHandler(EnterHandler handler) { enter = std::move(handler); }
    // Runs the box's check now; true when it passed (or the box has none).
    bool check(QLineEdit *box) const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void focusLost(QLineEdit *box);

    QHash<QLineEdit *, Check> checks;
    EnterHandler enter;
    bool refocusing = false;
};
