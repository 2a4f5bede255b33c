#pragma once

#include "core/startup.h"

class Database;
class ParamStore;
class Prompts;

// What every window and every piece of logic of a run shares: the database
// connection, the settings store, the prompts and the start-up paths. Owned
// by main() (or by a test) and handed down; there are no hidden globals.
struct AppContext
{
    Database *db = nullptr;
    ParamStore *params = nullptr;
    Prompts *prompts = nullptr;
    StartupPaths paths;
};
