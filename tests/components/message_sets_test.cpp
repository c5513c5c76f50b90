#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>

#include "components/uDbLanguage.h"

namespace {

struct Expected {
  std::string_view name;
  std::string_view english;
  std::string_view italian;
};

// The built-in sets, word for word (misspellings, leading blanks and trailing blank included).
constexpr Expected kTexts[] = {
    {"ErrConnectDb", "Error occourred during connection to DB",
     "Si è verificato un errore durante la connessione con il database"},
    {"ErrBeforeExtractSchema", "Error occourred during execution of BeforeExtractSchema event",
     "Errore verificatosi durante l'esecuzione dell'evento BeforeExtractSchema"},
    {"ErrExtractSchema", "Error occourred during Schema Extraction",
     "Errore verificatosi durante l'estrazione di uno schema Info"},
    {"ErrAfterExtractSchema", "Error occourred during execution of AfterExtractSchema event",
     "Errore verificatosi durante l'esecuzione dell'evento AfterExtractSchema"},
    {"ErrDataExtraction", "Error during data extraction from table %s",
     "Errore verificatosi durante l'estrazione dei dati dalla tabella %s"},
    {"msgBeforeExtractSchema", "Extracting schema info for %s",
     "Inizio estrazione schema info relative a %s"},
    {"msgAfterExtractSchema", "Extraction of schemaInfo for %s completed",
     "Estrazione schema info per %s completato"},
    {"msgBeforeExtractParameters", "Start preparing parameter information",
     "Inizio preparazione informazioni generali"},
    {"msgAfterExtractParameters", "Preparation of Parameter information completed",
     "Preparazione file di parametri completata"},
    {"msgBeforeExtractData", "Start data extraction for table %s",
     "Inizio estrazione dati dalla tabella %s"},
    {"msgAfterExtractData", "Data extraction for table %s completed",
     "Estrazione dati dalla tabella %s completata"},
    {"ErrBeforeCheckDb", "Error occourred during execution of BeforeCheckDb event",
     "Errore verificatosi durante l'esecuzione dell'evento BeforeCheckDb"},
    {"ErrCheckDb", "Error occourred during checking of client db",
     "Errore verificatosi durante il Check del CLIENT database"},
    {"ErrAfterCheckDb", "Error occourred during execution of AfterCheckDb event",
     "Errore verificatosi durante l'esecuzione dell'evento AfterCheckDb"},
    {"ErrColumnSchema",
     "Error during extraction of \"columns\" schema information from the CLIENT database",
     "Errore verificatosi durante l'estrazione dello schema info \"columns\" dal database CLIENT"},
    {"msgStartCheckDb", "Start checking CLIENT database", "Inizio verifica database CLIENTE"},
    {"msgInitializeCheckDb", "Initialize data for checking",
     "Inizializzazione dei dati per la verifica"},
    {"msgRenameTables", "Rename table", "Cambio nome tabelle"},
    {"msgRenameFields", "Rename fields", "Cambio nome campi"},
    {"msgClearTables", "Clear table", "Svuotamento tabelle"},
    {"msgUpdateTables", "Check and update tables and fields",
     "Verifica e aggiornamento tabelle e campi"},
    {"msgDeleteTables", "Delete tables and fields", "Cancellazione tabelle e campi"},
    {"msgCopyData", "Copy data from tables", "Copia dati fra tabelle"},
    {"msgUpdateIndexes", "Check, update and delete indexes...",
     "Verifica, aggiornamento e cancellazione indici..."},
    {"msgUpdateConstraints", "Check, update and delete constraints...",
     "Verifica, aggiornamento e cancellazione vincoli..."},
    {"msgUpdateViews", "Check, update and delete views...",
     "Verifica, aggiornamento e cancellazione views..."},
    {"msgUpdateStoreProcedures", "Check, update and delete Store procedures...",
     "Verifica, aggiornamento e cancellazione Store procedures..."},
    {"msgUpdateStoreFunctions", "Check, update and delete Store functions...",
     "Verifica, aggiornamento e cancellazione Store functions..."},
    {"msgUpdateTriggers", "Check, update and delete Triggers...",
     "Verifica, aggiornamento e cancellazione Triggers..."},
    {"ErrBeforeUpdate", "Error occourred during execution of BeforeUpdate event",
     "Errore verificatosi durante l'esecuzione dell'evento BeforeUpdate"},
    {"ErrAfterUpdate", "Error occourred during execution of AfterUpdate event",
     "Errore verificatosi durante l'esecuzione dell'evento AfterUpdate"},
    {"ErrExecuteInstruction", "Error occourred during execution of the n. %d instruction",
     "Errore verificatosi durante l'esecuzione dell'istruzione n. %d"},
    {"ErrReExecuteInstruction", "Error occourred during Re-execution of the n. %d instruction",
     "Errore verificatosi durante la RI-esecuzione dell'istruzione n. %d"},
    {"ErrGenericBeforeUpdate", "Error occourred in generic beforeInstruction event",
     "Errore verificatosi durante l'esecuzione del generico evento BeforeInstruction"},
    {"ErrUDFBeforeUpdate", "Error occourred during execution of the user defined BEFORE event",
     "Errore verificatosi durante l'esecuzione dell'evento BEFORE definito dall'utente"},
    {"ErrUDFAfterUpdate", "Error occourred during execution of the user defined AFTER event",
     "Errore verificatosi durante l'esecuzione dell'evento AFTER definito dall'utente"},
    {"ErrGenericAfterUpdate", "Error occourred in generic AfterInstruction event",
     "Errore verificatosi durante l'esecuzione del generico evento AfterInstruction"},
    {"ErrBackup", " *** BACKUP ERROR *** on file %s", " *** ERRORE DI BACKUP *** su file %s"},
    {"ErrDeleteBackupFile", "Error during deleting of the previous backup database %s",
     "Errore durante la cancellazione del database di backup precedente %s"},
    {"BackupComplete", "Backup database %s completed", "Backup database %s completato"},
    {"msgAddInstruction", "NEW INSTRUCTION: (%d) %s", "NUOVA ISTRUZIONE: (%d) %s"},
    {"MsgNoFile", "File %s does not exists", "File %s non esiste"},
    {"msgDone", "Done", "Finito"},
    {"msgUpdating", "Updating...", "Aggiornamento..."},
    {"msgDeleting", "Deleting...", "Cancellazione..."},
    {"ConsoleReady", "Ready...", "Pronto..."},
    {"ConsoleError", " --- ERROR --- ", " --- ERRORE --- "},
    {"ConsoleDescription", "    DESCRIPTION: %s", "    DESCRIZIONE: %s"},
    {"ConsoleErrMsg", "    E.MESSAGE: %s", "    E.MESSAGE: %s"},
    {"ConsoleInstrNumber", "    INSTRUCTION NUMBER: %d", "    NUMERO ISTRUZIONE: %d"},
    {"ConsoleCommandText", "    SQL TEXT: %s", "    TESTO SQL: %s"},
    {"PInfoMsg",
     "This windows shows progress bars and other information which give the user some ideas about "
     "the operations in progress.",
     "Questa finestra mostra le progress bars e altre informazioni che daranno un'idea all'utente "
     "finale riguardo le operazioni in esecuzione. "},
};

std::string Placeholders(std::string_view text) {
  std::string p;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '%') p += text[++i];
  }
  return p;
}

void ExpectSet(const TDbLanguageOptions& o, bool italian) {
  const auto& props = TDbLanguageOptions::TextProperties();
  for (size_t i = 0; i < props.size(); ++i) {
    EXPECT_EQ(o.*props[i].text, italian ? kTexts[i].italian : kTexts[i].english) << props[i].name;
  }
}

}  // namespace

TEST(MessageSets, EveryTextOfBothSetsInPublishedOrder) {
  const auto& props = TDbLanguageOptions::TextProperties();
  ASSERT_EQ(props.size(), 52u);
  ASSERT_EQ(std::size(kTexts), 52u);
  std::set<std::string_view> names;
  for (size_t i = 0; i < props.size(); ++i) {
    EXPECT_EQ(props[i].name, kTexts[i].name);
    names.insert(props[i].name);
    // Both languages take the same arguments in the same order.
    EXPECT_EQ(Placeholders(kTexts[i].english), Placeholders(kTexts[i].italian)) << kTexts[i].name;
  }
  EXPECT_EQ(names.size(), 52u) << "each text has its own property";

  TDbLanguageOptions o;
  EXPECT_EQ(o.Language(), dlkEnglish);
  ExpectSet(o, false);
  EXPECT_EQ(o.ConsoleError, " --- ERROR --- ");
  EXPECT_EQ(o.ErrExtractSchema, "Error occourred during Schema Extraction");
  EXPECT_EQ(o.msgAddInstruction, "NEW INSTRUCTION: (%d) %s");

  o.SetLanguage(dlkItalian);
  EXPECT_EQ(o.Language(), dlkItalian);
  ExpectSet(o, true);
  EXPECT_EQ(o.PInfoMsg.back(), ' ') << "the Italian PInfoMsg ends in a blank";
  EXPECT_EQ(o.ErrConnectDb,
            "Si \u00e8 verificato un errore durante la connessione con il database");
  EXPECT_EQ(TDbLanguageOptions().ConsoleErrMsg, o.ConsoleErrMsg) << "the same text in both sets";
}

TEST(MessageSets, LanguageSwitching) {
  TDbLanguageOptions o;
  o.SetLanguage(dlkItalian);
  o.msgDone = "Fatto!";
  o.SetLanguage(dlkItalian);
  EXPECT_EQ(o.msgDone, "Fatto!") << "the same language again keeps a changed text";

  o.SetLanguage(dlkFrance);
  ExpectSet(o, false);
  EXPECT_EQ(o.Language(), dlkFrance);
  o.SetLanguage(dlkItalian);
  o.SetLanguage(dlkSpanish);
  ExpectSet(o, false);

  // A host that streams its own texts and then English keeps them: English is already set.
  TDbLanguageOptions streamed;
  streamed.ConsoleReady = "Go!";
  streamed.SetLanguage(dlkEnglish);
  EXPECT_EQ(streamed.ConsoleReady, "Go!");
  streamed.SetLanguage(dlkItalian);
  EXPECT_EQ(streamed.ConsoleReady, "Pronto...");

  // ApplyLanguage reloads the current set whatever was changed.
  streamed.ConsoleReady = "x";
  streamed.ApplyLanguage();
  EXPECT_EQ(streamed.ConsoleReady, "Pronto...");
}

TEST(MessageSets, PlaceholdersAreFilledInOrder) {
  TDbLanguageOptions o;
  EXPECT_EQ(DbFormat(o.msgAddInstruction, {12, std::string("DROP TABLE t")}),
            "NEW INSTRUCTION: (12) DROP TABLE t");
  EXPECT_EQ(DbFormat(o.ConsoleInstrNumber, {12}), "    INSTRUCTION NUMBER: 12");
  EXPECT_EQ(DbFormat(o.ErrDataExtraction, {std::string("Orders")}),
            "Error during data extraction from table Orders");
  EXPECT_EQ(DbFormat(o.msgDone, {}), "Done");
  // Texts may come from a host: nothing in them is trusted.
  EXPECT_EQ(DbFormat("%s and %s", {std::string("one")}), "one and %s");
  EXPECT_EQ(DbFormat("100%% of %d%", {7, 8}), "100% of 7%");
  EXPECT_EQ(DbFormat("%x %n %5d", {1}), "%x %n %5d");
  EXPECT_EQ(DbFormat("%s", {std::string("%d %s")}), "%d %s") << "arguments are not formats";
  o.SetLanguage(dlkItalian);
  EXPECT_EQ(DbFormat(o.msgAddInstruction, {3, std::string("x")}), "NUOVA ISTRUZIONE: (3) x");
}
