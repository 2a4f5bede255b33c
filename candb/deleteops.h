#pragma once

#include <QString>

struct AppContext;
class CanDbModel;

// Deleting a data base, a device or an identifier after asking (OK / Cancel,
// no icon). The file's relations remove what lies below the deleted row:
// devices, identifiers and data fields. Cancel changes nothing.

enum class DeleteResult {
    Cancelled,
    Failed, // the statement failed: nothing was deleted
    Deleted,
    // An identifier was deleted and its monitor row stays because it has
    // counted frames: the message views must be rebuilt.
    DeletedRowKept,
};

// The data base named `name`. Once the user confirmed, no data base is
// current any more ("id_CAN" = "0"), even when the delete failed. On Deleted
// the caller reloads the list and the tree.
DeleteResult deleteCanDb(AppContext &context, const QString &name);

// The device `key` ("DEV_<id>"). On Deleted its identifiers have left the
// monitor list (or stay there as new ones when they have frames) and the
// model; the caller rebuilds the message views.
DeleteResult deleteDevice(AppContext &context, CanDbModel &model, const QString &key);

// The identifier `key` ("ID_<8 hex digits>"): Deleted, or DeletedRowKept.
DeleteResult deleteID(AppContext &context, CanDbModel &model, const QString &key);
