// The SQLite handles of the SQL Server stand-in are the shared core's.
#pragma once

#include "servers/core/Sqlite.h"
