#pragma once

#include <QStringList>

class ParamStore;

// The File menu's recent captures, newest first, kept in the setting
// "RecentFiles" (one absolute path a line) so they survive a restart.
class RecentFiles final
{
public:
    static constexpr int maxFiles = 8;

    explicit RecentFiles(ParamStore &params);

    [[nodiscard]] const QStringList &files() const { return list; }
    // A file opened or saved goes to the top (once, however it was named).
    void add(const QString &fileName);
    void remove(const QString &fileName);

private:
    void save();

    ParamStore &params;
    QStringList list;
};
