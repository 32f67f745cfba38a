#pragma once

// A batch run planned without doing it: the checks of the start button, then per entry, in list
// order, the output name the run would choose (names taken on disk and names earlier entries of
// the same run get, both without regard to case) or why the entry would give no file. Nothing
// is loaded and nothing is written, so what only decoding can tell (a corrupt picture, a clip
// without video) is not foreseen: the plan assumes every entry loads.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/size_presets.h"
#include "production/batch_engine.h"
#include "production/naming.h"

namespace mirelo::production {

enum class PlannedOutcome {
  Write,         // a thumbnail would be written at output
  NothingSaved,  // the format index saves no file; output is the name the run computes
  NotSelected,   // the entry's check box is clear
  EndsRun,       // the run would end at this entry
  NotReached,    // an earlier entry ends the run
  UpToDate,      // SkipDone: its thumbnail (output) is not older than the source
};

struct EntryPlan {
  PlannedOutcome outcome = PlannedOutcome::NotReached;
  std::string output;            // Write, NothingSaved, UpToDate; EndsRun when the name was chosen
  std::int32_t errorNumber = 0;  // EndsRun: the number the run would log
  std::string reason;            // EndsRun: the cause in words
  int takenOnDisk = 0;           // candidates passed over: an entry of that name is in the folder
  int takenInList = 0;           // candidates passed over: an earlier entry of this run gets it
};

struct BatchPlan {
  std::optional<app::MessageText> refusal;  // the checks refuse the run; entries stay NotReached
  std::vector<EntryPlan> entries;           // one per list entry
  int endIndex = -1;                        // the entry whose error would end the run
};

// The error number creating a file in folder would give, 0 when it can be created: a missing
// folder (or a file in its place) 76, a folder that cannot be written 20007, as the save gives.
// folder is "" for the current folder.
using FolderCheck = std::int32_t (*)(const std::string& folder);
std::int32_t FolderWriteError(const std::string& folder);

BatchPlan PlanBatch(const std::vector<BatchEntry>& entries, const BatchSettings& settings,
                    const NameTakenTest& taken = NameTakenOnDisk, FolderCheck folderCheck = FolderWriteError);

}  // namespace mirelo::production
