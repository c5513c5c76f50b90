// Effective directives: the producer's value, then the updater's, then the engine's default; the
// delete permission and the protected name prefixes.
#include <gtest/gtest.h>

#include "components/DbSchemaProducer.h"
#include "components/DbSchemaUpdater.h"
#include "engine/uDm.h"

namespace {

struct Sets {
  TOrvDbSchemaProducer producer;
  TOrvDbSchemaUpdater updater;
  Tdm dm;
  Sets(bool withProducer, bool withUpdater) {
    // Start from everything undefined in both sets.
    for (TUpdaterDirectives* d : {&producer.UpdaterDirectives(), &updater.UpdaterDirectives()}) {
      d->ErrorManager = demUpdaterSetting;
      d->FkPendingData = fpdUpdaterSetting;
      d->ProgressInfoKind = pikUpdaterSetting;
      d->PKChangedTreatment = pctUpdaterSetting;
      d->UseDefaultOwner = d->UseDefaultDbSpace = d->DefaultValueFromDataType = beUndefined;
      d->BackupBeforeUpdate = d->AutoRecoverPrimaryKeys = d->AutoRecoverUniqueIndexes = beUndefined;
      d->DeletePolicy = TDeletePolicy();
    }
    if (withProducer) dm.Producer = &producer;
    if (withUpdater) dm.Updater = &updater;
  }
  TUpdaterDirectives& P() { return producer.UpdaterDirectives(); }
  TUpdaterDirectives& U() { return updater.UpdaterDirectives(); }
};

}  // namespace

TEST(EffectiveDirectives, ProducerThenUpdaterThenDefault) {
  for (bool withProducer : {false, true}) {
    for (bool withUpdater : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "producer " << withProducer << " updater " << withUpdater);
      Sets s(withProducer, withUpdater);
      // Nothing defined: the defaults.
      EXPECT_EQ(s.dm.GetErrorManager(), demEnqueueInstructionError);
      EXPECT_EQ(s.dm.GetFkPendingData(), fpdDelete);
      EXPECT_EQ(s.dm.GetProgressInfoKind(), pikSilent);
      EXPECT_EQ(s.dm.GetPKChangedTreatment(), pctNone);
      EXPECT_TRUE(s.dm.GetUseDefaultOwner());
      EXPECT_TRUE(s.dm.GetUseDefaultDbSpace());
      EXPECT_TRUE(s.dm.GetDefaultValueFromDataType());
      EXPECT_TRUE(s.dm.GetBackupBeforeUpdate());
      EXPECT_TRUE(s.dm.GetAutoRecoverPrimaryKeys());
      EXPECT_TRUE(s.dm.GetAutoRecoverUniqueIndexes());
      EXPECT_FALSE(s.dm.GetConfirmOnDelete());
      EXPECT_FALSE(s.dm.GetDeleteTables());
      EXPECT_FALSE(s.dm.GetDeleteFields());
      EXPECT_FALSE(s.dm.GetDeleteIndexes());
      EXPECT_FALSE(s.dm.GetDeleteViews());
      EXPECT_FALSE(s.dm.GetDeleteProcedures());

      // The updater's value where the producer leaves it undefined.
      s.U().ErrorManager = demStopOnFirstError;
      s.U().UseDefaultOwner = beNo;
      s.U().DeletePolicy.DeleteTables = beYes;
      s.U().PKChangedTreatment = pctList;
      EXPECT_EQ(s.dm.GetErrorManager(), withUpdater ? demStopOnFirstError : demEnqueueInstructionError);
      EXPECT_EQ(s.dm.GetUseDefaultOwner(), !withUpdater);
      EXPECT_EQ(s.dm.GetDeleteTables(), withUpdater);
      EXPECT_EQ(s.dm.GetPKChangedTreatment(), withUpdater ? pctList : pctNone);

      // The producer's value wins over the updater's.
      s.P().ErrorManager = demSkipInstructionError;
      s.P().UseDefaultOwner = beYes;
      s.P().DeletePolicy.DeleteTables = beNo;
      s.P().FkPendingData = fpdNone;
      s.P().ProgressInfoKind = pikBoth;
      if (withProducer) {
        EXPECT_EQ(s.dm.GetErrorManager(), demSkipInstructionError);
        EXPECT_TRUE(s.dm.GetUseDefaultOwner());
        EXPECT_FALSE(s.dm.GetDeleteTables());
        EXPECT_EQ(s.dm.GetFkPendingData(), fpdNone);
        EXPECT_EQ(s.dm.GetProgressInfoKind(), pikBoth);
      }
    }
  }
}

TEST(EffectiveDirectives, DeleteAllowedByEnabledThenPerKind) {
  Sets s(true, true);
  s.U().DeletePolicy.DeleteFields = beYes;
  EXPECT_TRUE(s.dm.DeleteAllowed("FIELDS"));
  EXPECT_TRUE(s.dm.DeleteAllowed("Fields"));
  EXPECT_FALSE(s.dm.DeleteAllowed("tables"));
  EXPECT_FALSE(s.dm.DeleteAllowed("triggers"));

  // Producer Enabled beYes allows every kind over per-kind beNo.
  for (TBooleanExtended* kind :
       {&s.P().DeletePolicy.DeleteTables, &s.P().DeletePolicy.DeleteFields,
        &s.P().DeletePolicy.DeleteIndexes, &s.P().DeletePolicy.DeleteViews,
        &s.P().DeletePolicy.DeleteProcedures}) {
    *kind = beNo;
  }
  s.P().DeletePolicy.Enabled = beYes;
  s.U().DeletePolicy.Enabled = beNo;
  for (const char* kind : {"tables", "FIELDS", "Indexes", "views", "procedures", "anything"}) {
    EXPECT_TRUE(s.dm.DeleteAllowed(kind)) << kind;
  }

  // Updater Enabled beNo with the producer's undefined forbids every deletion.
  s.P().DeletePolicy.Enabled = beUndefined;
  s.P().DeletePolicy.DeleteFields = beYes;
  for (const char* kind : {"tables", "fields", "indexes", "views", "procedures"}) {
    EXPECT_FALSE(s.dm.DeleteAllowed(kind)) << kind;
  }
}

TEST(EffectiveDirectives, ProtectedPrefixesOfBothListsAddUp) {
  Sets s(true, true);
  s.P().DeletePolicy.PrefixesList = {"", "tmp"};
  s.U().DeletePolicy.PrefixesList = {"keep_"};
  EXPECT_TRUE(s.dm.HasProtectedPrefix("TMP_ORDERS"));
  EXPECT_TRUE(s.dm.HasProtectedPrefix("Keep_Me"));
  EXPECT_FALSE(s.dm.HasProtectedPrefix("ORDERS"));  // the empty prefix protects nothing
  EXPECT_FALSE(s.dm.HasProtectedPrefix("tm"));
  Sets none(false, false);
  EXPECT_FALSE(none.dm.HasProtectedPrefix("TMP_ORDERS"));
}
