#pragma once

#include <QString>

struct AppContext;
class CanDbTree;

// Deleting a data base, a device or an identifier after asking (OK / Cancel,
// no icon). The file's relations remove what lies below the deleted row:
// devices, identifiers and data fields. Cancel changes nothing and returns false.

// The data base named `name`. Once the user confirmed, no data base is
// current any more ("id_CAN" = "0"), even when the delete failed; true when
// it ran. The caller reloads the list and the tree.
bool deleteCanDb(AppContext &context, const QString &name);

// The device node `key` ("DEV_<id>"). On success its identifiers leave the
// monitor list (or stay there as new ones when they have frames) and the
// node goes; true then, and the caller rebuilds the message views.
bool deleteDevice(AppContext &context, CanDbTree &tree, const QString &key);

// The identifier node `key` ("ID_<8 hex digits>"). True only when it was
// deleted and its monitor row stays because it has counted frames: then the
// caller rebuilds the message views.
bool deleteID(AppContext &context, CanDbTree &tree, const QString &key);
