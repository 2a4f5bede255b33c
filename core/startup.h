#pragma once

#include <QString>

class Database;
class DatabaseLock;
class Prompts;

// Where the program runs: fixed during start-up, read by everyone afterwards.
struct StartupPaths
{
    QString tempFolder;             // the user's temporary folder plus "/Tessel"
    QString workFolder;             // the current folder at start-up
    QString dbFile;                 // "Tessel.mdb", or empty when no database file was found
    bool tempFolderCreated = false; // this run made tempFolder (it did not exist before)

    [[nodiscard]] QString dbPath() const;
};

// Expands %NAME% environment references in place and tells whether the path
// names an existing folder (or file). %TEMP% and %TMP% fall back to the
// platform's temporary folder when unset (named even when it is missing). With showMessage, a missing path
// shows "Error! Path "<path>" not found." (OK only, no icon).
bool folderExists(QString &path, bool showMessage, Prompts &prompts);

// True when folder/fileName is an existing file; fileName then becomes that full path.
bool fileExists(QString &fileName, const QString &folder);

// Expands %NAME% references in a path.
[[nodiscard]] QString expandEnvironment(const QString &path);

// The start-up steps before any window: the temporary folder, the working
// folder and the database file, seeded from "Tesseltest.mdb" when needed.
// `ok` is false when the program must end (the message has been shown).
struct StartupResult
{
    bool ok = false;
    StartupPaths paths;
};
StartupResult runStartup(Prompts &prompts, const QString &currentFolder);

// What closing the program removes of the temporary folder: only what this
// run created there - the folder itself when this run made it and it is then
// empty. Nothing a user keeps there, and never the working folder, is touched.
void removeTempFolder(const StartupPaths &paths);

// Opens the database file for the run. The lock beside it decides how: held
// by this program, for writing; held by another running Tessel, the user is
// told which process has it and chooses read-only use (Yes) or the end (No);
// a lock that cannot be made gives read-only use. A file that can only be
// read gets one warning that changes will not be kept. False when the program
// must end (the message has been shown).
bool openDatabase(Prompts &prompts, Database &db, DatabaseLock &lock, const QString &path);
