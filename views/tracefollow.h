#pragma once

#include <QObject>

// Whether the message list follows the newest row while frames come in. It
// follows until the user scrolls away from the end or picks a row; then the
// list stays where the user put it until End, the "Follow" button or a
// scroll back to the very end resumes. The program's own moves (selecting
// the newest row, a rebuild) are not the user's and change nothing.
class TraceFollow final : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    [[nodiscard]] bool isFollowing() const { return following; }

    // The user moved the list's scroll bar; `atEnd`: it is at its end now.
    void userScrolled(bool atEnd) { setFollowing(atEnd); }
    // The user made a row current (click, arrow keys, find).
    void userSelected() { setFollowing(false); }
    // End, the Follow button, a new capture.
    void resume() { setFollowing(true); }

    // Rows were appended and `newestRow` is the newest shown one (-1: none
    // shown): the row to select and scroll to, or -1 to leave the list as it is.
    [[nodiscard]] int rowToShow(int newestRow) const { return following ? newestRow : -1; }

signals:
    void followingChanged(bool following);

private:
    void setFollowing(bool on);

    bool following = true;
};
