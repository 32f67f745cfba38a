#pragma once

// What mirelo-batch prints per entry besides the plain list of written files: the JSON lines of
// --json (a run or a dry run) and the text lines of --dry-run.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_front_end.h"
#include "production/batch_engine.h"
#include "production/dry_run.h"

namespace mirelo::cli {

// A JSON string literal of bytes. File names are bytes on Linux: valid UTF-8 is kept, every
// other byte b becomes the lone surrogate \udcXX (XX = b), as Python's "surrogateescape" does,
// so os.fsencode() of the parsed text gives the file name back.
std::string JsonString(std::string_view bytes);

// One entry's line of --json. Absent values are null.
struct EntryReport {
  std::string path;
  std::optional<std::string> output;
  // written, planned, no-file, failed, ended-run, not-reached, not-selected, up-to-date,
  // own-output
  std::string outcome;
  std::optional<std::int32_t> errorNumber;
  std::optional<std::string> errorText;
  std::optional<int> width;  // the picture as opened (a clip: its native video size)
  std::optional<int> height;
  // Dry runs: candidate names passed over, taken on disk / by an earlier entry, and the cause
  // of an error in words.
  std::optional<int> takenOnDisk;
  std::optional<int> takenInList;
  std::optional<std::string> reason;
  // Dry runs, video clips: the position in seconds the frame would be taken at.
  std::optional<double> scene;
};
std::string JsonLine(const EntryReport& report);  // ends in "\n"

// The --json front end of a run: the console's log lines and progress bar on standard error,
// one JSON line per entry on standard output in list order as the entries are passed (the
// entries a run-ending error or a cancel leaves are "not-reached"). A refused run prints none.
class JsonFrontEnd : public ConsoleFrontEnd {
 public:
  JsonFrontEnd(const std::vector<production::BatchEntry>& entries, std::FILE* out, std::FILE* err, bool bar,
               bool quiet);

  void pictureSized(int index, production::EntryKind kind, int width, int height) override;
  void entryFailed(int index, std::int32_t number, bool endsRun) override;
  void logAppended(std::string_view message) override;
  void thumbnailWritten(int index, const std::string& path) override;
  void entrySkipped(int index, const std::string& thumbnail) override;
  void progress(int done, int total) override;
  void runFinished(const production::BatchResult& result) override;

 private:
  void EmitUpTo(int end);  // the lines of the entries before end not printed yet

  std::vector<EntryReport> reports_;
  std::vector<bool> selected_;
  std::vector<bool> failed_;
  std::string pendingLog_;  // log lines of the entry being committed
  int emitted_ = 0;
};

// The reports of a dry run's plan, one per entry.
std::vector<EntryReport> PlanReports(const std::vector<production::BatchEntry>& entries,
                                     const production::BatchPlan& plan);

// The text line of --dry-run for one entry: "PATH -> OUTPUT", with the renaming noted, or
// "PATH -> " and why there would be no file.
std::string PlanLine(const std::string& path, const production::EntryPlan& plan);

// A file of a folder passed over as one of this program's thumbnails: its --dry-run line (without
// the line end) and its --json line.
std::string OwnOutputLine(const std::string& path);
std::string OwnOutputJson(const std::string& path);

// Exit status of a run with this plan, as far as it is known without decoding.
int PlanStatus(const production::BatchPlan& plan);

}  // namespace mirelo::cli
