// The reserved words each server publishes: a name spelled like one is quoted in every statement
// written for that server.
#pragma once

class TWordList;

void AddSqlServerReservedWords(TWordList& words);
void AddAsaReservedWords(TWordList& words);
void AddAccessReservedWords(TWordList& words);
