// The producer component: its registration in the engine and the extraction entry point.
#include "components/DbSchemaProducer.h"

#include <exception>

#include "engine/uDm.h"

TOrvDbSchemaProducer::~TOrvDbSchemaProducer() { TOrvDbSchemaProducer::Finalize(); }

bool TOrvDbSchemaProducer::Initialize() {
  const bool result = TOrvSchemion::Initialize();
  if (result) dm()->Producer = this;
  return result;
}

void TOrvDbSchemaProducer::Finalize() { TOrvSchemion::Finalize(); }

bool TOrvDbSchemaProducer::ExtractSchema() {
  ShowWindows(ProgressInfoKind);
  Errors().ClearExtractSchemaErrors();
  bool result = Connected() && dm() != nullptr;
  if (result && BeforeExtractSchema) {
    try {
      BeforeExtractSchema(this);
    } catch (const std::exception& e) {
      Errors().Add(dbcExtractSchema, LanguageOptions().ErrBeforeExtractSchema, e.what(), 0, "",
                   false);
      result = false;
    }
  }
  // The extraction runs once: its result is the producer's.
  if (result) {
    try {
      result = dm()->ExtractSchema();
    } catch (const std::exception& e) {
      Errors().Add(dbcExtractSchema, LanguageOptions().ErrExtractSchema, e.what(), 0, "", false);
      if (OnError) {
        TInstruction* instruction = nullptr;
        bool handled = false;
        bool reExecute = false;
        OnError(this, e, dbcExtractSchema, instruction, handled, reExecute);
      }
      result = false;
    }
  }
  if (result && AfterExtractSchema) {
    try {
      AfterExtractSchema(this);
    } catch (const std::exception& e) {
      Errors().Add(dbcExtractSchema, LanguageOptions().ErrAfterExtractSchema, e.what(), 0, "",
                   false);
      result = false;
    }
  }
  CloseWindows();
  return result;
}
