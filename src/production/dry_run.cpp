#include "production/dry_run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <utility>

#include "platform/error.h"
#include "production/extensions.h"

namespace mirelo::production {

namespace {

// As the naming gives up: past this many underscores no name on disk can be taken (file names
// have at most 255 bytes), so only an injected test that takes everything gets there.
constexpr std::size_t kMaxPrefix = 4096;

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string ReasonFor(std::int32_t number, const std::string& folder) {
  const std::string where = folder.empty() ? std::string("the current folder") : folder;
  switch (number) {
    case err::kPathNotFound:
      return "the output folder " + where + " does not exist";
    case err::kFileCannotBeRead:
      return "no file can be created in the output folder " + where;
    case kPathFileAccessError:
      return "the output folder " + where + " cannot be listed";
    case err::kFileAlreadyExists:
      return "no free output name";
    case err::kTypeMismatch:
      return "the size box text is not a number";
    case err::kOverflow:
      return "the size box text is out of range";
    default:
      return "error " + std::to_string(number);
  }
}

}  // namespace

std::int32_t FolderWriteError(const std::string& folder) {
  const std::string path = folder.empty() ? std::string(".") : folder;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == EACCES ? err::kFileCannotBeRead : err::kPathNotFound;
  if (!S_ISDIR(st.st_mode)) return err::kPathNotFound;
  if (::access(path.c_str(), W_OK | X_OK) != 0) return err::kFileCannotBeRead;
  return 0;
}

BatchPlan PlanBatch(const std::vector<BatchEntry>& entries, const BatchSettings& settings,
                    const NameTakenTest& taken, FolderCheck folderCheck) {
  BatchPlan plan;
  plan.entries.resize(entries.size());
  plan.refusal = CheckBatch(entries, settings.settings);
  if (plan.refusal) return plan;

  // Names the run would have written by the time it reaches an entry: folder, then the lowered
  // file name (the on-disk test ignores case too).
  std::set<std::pair<std::string, std::string>> planned;

  for (std::size_t i = 0; i < entries.size(); ++i) {
    const BatchEntry& entry = entries[i];
    EntryPlan& out = plan.entries[i];
    if (!entry.selected) {
      out.outcome = PlannedOutcome::NotSelected;
      continue;
    }
    const OutputNameParts parts = OutputNamePartsFor(entry.path, settings.settings, entry.root);
    if (settings.settings.SkipDone == 1) {
      if (std::optional<std::string> done = UpToDateThumbnail(entry.path, parts)) {
        out.outcome = PlannedOutcome::UpToDate;
        out.output = std::move(*done);
        continue;
      }
    }
    auto endRun = [&](std::int32_t number) {
      out.outcome = PlannedOutcome::EndsRun;
      out.errorNumber = number;
      out.reason = ReasonFor(number, parts.folder);
      plan.endIndex = static_cast<int>(i);
    };

    // The size boxes are read while the thumbnail is built, before it is named.
    try {
      (void)TargetBoxFor(KindOf(entry.path), settings.settings, settings.sizes);
    } catch (const Error& error) {
      endRun(error.number());
      break;
    }

    std::string fileName;
    try {
      bool found = false;
      for (std::size_t prefix = 0; prefix <= kMaxPrefix && !found; ++prefix) {
        fileName = OutputCandidate(parts, prefix).substr(parts.folder.size());
        if (planned.count({parts.folder, LowerAscii(fileName)}) > 0) {
          ++out.takenInList;
        } else if (taken(parts.folder, fileName)) {
          ++out.takenOnDisk;
        } else {
          found = true;
        }
      }
      if (!found) throw Error(err::kFileAlreadyExists);
    } catch (const Error& error) {
      endRun(error.number());
      break;
    }
    out.output = parts.folder + fileName;

    if (parts.extension.empty()) {
      out.outcome = PlannedOutcome::NothingSaved;
      continue;
    }
    // KeepTree makes the folders below an existing output folder: that one must take them.
    std::string folder = parts.folder;
    if (settings.settings.KeepTree == 1 && settings.settings.OutputMode == 1 && settings.settings.OutputPath &&
        !settings.settings.OutputPath->empty() && FolderWriteError(folder) == err::kPathNotFound) {
      folder = *settings.settings.OutputPath;
    }
    if (const std::int32_t number = folderCheck(folder); number != 0) {
      endRun(number);
      break;
    }
    out.outcome = PlannedOutcome::Write;
    planned.insert({parts.folder, LowerAscii(fileName)});
  }
  return plan;
}

}  // namespace mirelo::production
