#pragma once

#include <QString>

class Database;

// The layout of the tables a "Tessel.mdb" holds, kept as the setting
// "schema_version". A file without it is of version 1.
inline constexpr int currentSchemaVersion = 2;

struct SchemaUpgrade
{
    bool ok = false;
    // The file was older and has been upgraded; its old copy is `backup`.
    bool upgraded = false;
    QString backup;
    // Why the file cannot be used (when !ok), for the user.
    QString error;
};

// The version stored in the file; 1 when it names none, 0 when it cannot be read.
[[nodiscard]] int schemaVersion(Database &db);

// Brings an open file up to currentSchemaVersion: copies it to "<file>.bak"
// first, then changes it in one transaction, so a failure leaves it as it was.
// A file of a newer version, or an older one opened read-only, is refused.
[[nodiscard]] SchemaUpgrade upgradeSchema(Database &db);
