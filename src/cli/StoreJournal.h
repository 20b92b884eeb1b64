#pragma once
// A unit's runs journaled in the tool's files: the store's backups and service record.
#include "cli/UnitRun.h"
#include "store/Journal.h"

#include <memory>

namespace cli {

// note: each of the journal's lines for the unit's log. A backup that cannot be made is not
// written around: the run writes nothing, and TakeBackupFailure() says why.
std::unique_ptr<TRunJournal> StoreJournal(store::TJournalOptions options, const core::TClock& clock,
                                          store::TJournal::TNote note);

} // namespace cli
