#include "components/uDbLanguage.h"

#include <cstddef>

namespace {

using TextSet = std::array<std::string_view, TDbLanguageOptions::kTextCount>;

// Texts exactly as the system has always written them, misspellings included: hosts and logs
// compare against them.
constexpr TextSet kEnglish = {
    "Error occourred during connection to DB",
    "Error occourred during execution of BeforeExtractSchema event",
    "Error occourred during Schema Extraction",
    "Error occourred during execution of AfterExtractSchema event",
    "Error during data extraction from table %s",
    "Extracting schema info for %s",
    "Extraction of schemaInfo for %s completed",
    "Start preparing parameter information",
    "Preparation of Parameter information completed",
    "Start data extraction for table %s",
    "Data extraction for table %s completed",
    "Error occourred during execution of BeforeCheckDb event",
    "Error occourred during checking of client db",
    "Error occourred during execution of AfterCheckDb event",
    "Error during extraction of \"columns\" schema information from the CLIENT database",
    "Start checking CLIENT database",
    "Initialize data for checking",
    "Rename table",
    "Rename fields",
    "Clear table",
    "Check and update tables and fields",
    "Delete tables and fields",
    "Copy data from tables",
    "Check, update and delete indexes...",
    "Check, update and delete constraints...",
    "Check, update and delete views...",
    "Check, update and delete Store procedures...",
    "Check, update and delete Store functions...",
    "Check, update and delete Triggers...",
    "Error occourred during execution of BeforeUpdate event",
    "Error occourred during execution of AfterUpdate event",
    "Error occourred during execution of the n. %d instruction",
    "Error occourred during Re-execution of the n. %d instruction",
    "Error occourred in generic beforeInstruction event",
    "Error occourred during execution of the user defined BEFORE event",
    "Error occourred during execution of the user defined AFTER event",
    "Error occourred in generic AfterInstruction event",
    " *** BACKUP ERROR *** on file %s",
    "Error during deleting of the previous backup database %s",
    "Backup database %s completed",
    "NEW INSTRUCTION: (%d) %s",
    "File %s does not exists",
    "Done",
    "Updating...",
    "Deleting...",
    "Ready...",
    " --- ERROR --- ",
    "    DESCRIPTION: %s",
    "    E.MESSAGE: %s",
    "    INSTRUCTION NUMBER: %d",
    "    SQL TEXT: %s",
    "This windows shows progress bars and other information which give the user some ideas about "
    "the operations in progress.",
};

constexpr TextSet kItalian = {
    "Si è verificato un errore durante la connessione con il database",
    "Errore verificatosi durante l'esecuzione dell'evento BeforeExtractSchema",
    "Errore verificatosi durante l'estrazione di uno schema Info",
    "Errore verificatosi durante l'esecuzione dell'evento AfterExtractSchema",
    "Errore verificatosi durante l'estrazione dei dati dalla tabella %s",
    "Inizio estrazione schema info relative a %s",
    "Estrazione schema info per %s completato",
    "Inizio preparazione informazioni generali",
    "Preparazione file di parametri completata",
    "Inizio estrazione dati dalla tabella %s",
    "Estrazione dati dalla tabella %s completata",
    "Errore verificatosi durante l'esecuzione dell'evento BeforeCheckDb",
    "Errore verificatosi durante il Check del CLIENT database",
    "Errore verificatosi durante l'esecuzione dell'evento AfterCheckDb",
    "Errore verificatosi durante l'estrazione dello schema info \"columns\" dal database CLIENT",
    "Inizio verifica database CLIENTE",
    "Inizializzazione dei dati per la verifica",
    "Cambio nome tabelle",
    "Cambio nome campi",
    "Svuotamento tabelle",
    "Verifica e aggiornamento tabelle e campi",
    "Cancellazione tabelle e campi",
    "Copia dati fra tabelle",
    "Verifica, aggiornamento e cancellazione indici...",
    "Verifica, aggiornamento e cancellazione vincoli...",
    "Verifica, aggiornamento e cancellazione views...",
    "Verifica, aggiornamento e cancellazione Store procedures...",
    "Verifica, aggiornamento e cancellazione Store functions...",
    "Verifica, aggiornamento e cancellazione Triggers...",
    "Errore verificatosi durante l'esecuzione dell'evento BeforeUpdate",
    "Errore verificatosi durante l'esecuzione dell'evento AfterUpdate",
    "Errore verificatosi durante l'esecuzione dell'istruzione n. %d",
    "Errore verificatosi durante la RI-esecuzione dell'istruzione n. %d",
    "Errore verificatosi durante l'esecuzione del generico evento BeforeInstruction",
    "Errore verificatosi durante l'esecuzione dell'evento BEFORE definito dall'utente",
    "Errore verificatosi durante l'esecuzione dell'evento AFTER definito dall'utente",
    "Errore verificatosi durante l'esecuzione del generico evento AfterInstruction",
    " *** ERRORE DI BACKUP *** su file %s",
    "Errore durante la cancellazione del database di backup precedente %s",
    "Backup database %s completato",
    "NUOVA ISTRUZIONE: (%d) %s",
    "File %s non esiste",
    "Finito",
    "Aggiornamento...",
    "Cancellazione...",
    "Pronto...",
    " --- ERRORE --- ",
    "    DESCRIZIONE: %s",
    "    E.MESSAGE: %s",
    "    NUMERO ISTRUZIONE: %d",
    "    TESTO SQL: %s",
    "Questa finestra mostra le progress bars e altre informazioni che daranno un'idea all'utente "
    "finale riguardo le operazioni in esecuzione. ",
};

}  // namespace

const std::array<TDbLanguageOptions::TextProperty, TDbLanguageOptions::kTextCount>&
TDbLanguageOptions::TextProperties() {
  static const std::array<TextProperty, kTextCount> kProperties = {{
      {"ErrConnectDb", &TDbLanguageOptions::ErrConnectDb},
      {"ErrBeforeExtractSchema", &TDbLanguageOptions::ErrBeforeExtractSchema},
      {"ErrExtractSchema", &TDbLanguageOptions::ErrExtractSchema},
      {"ErrAfterExtractSchema", &TDbLanguageOptions::ErrAfterExtractSchema},
      {"ErrDataExtraction", &TDbLanguageOptions::ErrDataExtraction},
      {"msgBeforeExtractSchema", &TDbLanguageOptions::msgBeforeExtractSchema},
      {"msgAfterExtractSchema", &TDbLanguageOptions::msgAfterExtractSchema},
      {"msgBeforeExtractParameters", &TDbLanguageOptions::msgBeforeExtractParameters},
      {"msgAfterExtractParameters", &TDbLanguageOptions::msgAfterExtractParameters},
      {"msgBeforeExtractData", &TDbLanguageOptions::msgBeforeExtractData},
      {"msgAfterExtractData", &TDbLanguageOptions::msgAfterExtractData},
      {"ErrBeforeCheckDb", &TDbLanguageOptions::ErrBeforeCheckDb},
      {"ErrCheckDb", &TDbLanguageOptions::ErrCheckDb},
      {"ErrAfterCheckDb", &TDbLanguageOptions::ErrAfterCheckDb},
      {"ErrColumnSchema", &TDbLanguageOptions::ErrColumnSchema},
      {"msgStartCheckDb", &TDbLanguageOptions::msgStartCheckDb},
      {"msgInitializeCheckDb", &TDbLanguageOptions::msgInitializeCheckDb},
      {"msgRenameTables", &TDbLanguageOptions::msgRenameTables},
      {"msgRenameFields", &TDbLanguageOptions::msgRenameFields},
      {"msgClearTables", &TDbLanguageOptions::msgClearTables},
      {"msgUpdateTables", &TDbLanguageOptions::msgUpdateTables},
      {"msgDeleteTables", &TDbLanguageOptions::msgDeleteTables},
      {"msgCopyData", &TDbLanguageOptions::msgCopyData},
      {"msgUpdateIndexes", &TDbLanguageOptions::msgUpdateIndexes},
      {"msgUpdateConstraints", &TDbLanguageOptions::msgUpdateConstraints},
      {"msgUpdateViews", &TDbLanguageOptions::msgUpdateViews},
      {"msgUpdateStoreProcedures", &TDbLanguageOptions::msgUpdateStoreProcedures},
      {"msgUpdateStoreFunctions", &TDbLanguageOptions::msgUpdateStoreFunctions},
      {"msgUpdateTriggers", &TDbLanguageOptions::msgUpdateTriggers},
      {"ErrBeforeUpdate", &TDbLanguageOptions::ErrBeforeUpdate},
      {"ErrAfterUpdate", &TDbLanguageOptions::ErrAfterUpdate},
      {"ErrExecuteInstruction", &TDbLanguageOptions::ErrExecuteInstruction},
      {"ErrReExecuteInstruction", &TDbLanguageOptions::ErrReExecuteInstruction},
      {"ErrGenericBeforeUpdate", &TDbLanguageOptions::ErrGenericBeforeUpdate},
      {"ErrUDFBeforeUpdate", &TDbLanguageOptions::ErrUDFBeforeUpdate},
      {"ErrUDFAfterUpdate", &TDbLanguageOptions::ErrUDFAfterUpdate},
      {"ErrGenericAfterUpdate", &TDbLanguageOptions::ErrGenericAfterUpdate},
      {"ErrBackup", &TDbLanguageOptions::ErrBackup},
      {"ErrDeleteBackupFile", &TDbLanguageOptions::ErrDeleteBackupFile},
      {"BackupComplete", &TDbLanguageOptions::BackupComplete},
      {"msgAddInstruction", &TDbLanguageOptions::msgAddInstruction},
      {"MsgNoFile", &TDbLanguageOptions::MsgNoFile},
      {"msgDone", &TDbLanguageOptions::msgDone},
      {"msgUpdating", &TDbLanguageOptions::msgUpdating},
      {"msgDeleting", &TDbLanguageOptions::msgDeleting},
      {"ConsoleReady", &TDbLanguageOptions::ConsoleReady},
      {"ConsoleError", &TDbLanguageOptions::ConsoleError},
      {"ConsoleDescription", &TDbLanguageOptions::ConsoleDescription},
      {"ConsoleErrMsg", &TDbLanguageOptions::ConsoleErrMsg},
      {"ConsoleInstrNumber", &TDbLanguageOptions::ConsoleInstrNumber},
      {"ConsoleCommandText", &TDbLanguageOptions::ConsoleCommandText},
      {"PInfoMsg", &TDbLanguageOptions::PInfoMsg},
  }};
  return kProperties;
}

TDbLanguageOptions::TDbLanguageOptions() {
  language_ = dlkEnglish;
  ApplyLanguage();
}

void TDbLanguageOptions::SetLanguage(TDbLanguageKind aLanguage) {
  if (aLanguage == language_) return;
  language_ = aLanguage;
  ApplyLanguage();
}

void TDbLanguageOptions::ApplyLanguage() {
  const TextSet& set = language_ == dlkItalian ? kItalian : kEnglish;
  const auto& properties = TextProperties();
  for (std::size_t i = 0; i < properties.size(); ++i) {
    this->*properties[i].text = std::string(set[i]);
  }
}

std::string DbFormat(std::string_view aFormat, std::initializer_list<TFormatArg> aArgs) {
  std::string out;
  out.reserve(aFormat.size() + 32);
  auto next = aArgs.begin();
  for (std::size_t i = 0; i < aFormat.size(); ++i) {
    const char c = aFormat[i];
    if (c != '%' || i + 1 >= aFormat.size()) {
      out.push_back(c);
      continue;
    }
    const char kind = aFormat[i + 1];
    if (kind == '%') {
      out.push_back('%');
      ++i;
    } else if ((kind == 's' || kind == 'd') && next != aArgs.end()) {
      if (const auto* s = std::get_if<std::string>(&*next)) {
        out += *s;
      } else {
        out += std::to_string(std::get<long long>(*next));
      }
      ++next;
      ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}
