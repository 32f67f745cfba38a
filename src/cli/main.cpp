// mirelo-batch: the batch run of the desktop program's start button, from the command line.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/log_buffer.h"
#include "cli/cli_config.h"
#include "cli/cli_front_end.h"
#include "cli/cli_options.h"
#include "cli/cli_report.h"
#include "production/batch_engine.h"
#include "production/batch_texts.h"
#include "production/dry_run.h"
#include "production/folder_reader.h"
#include "production/extensions.h"
#include "production/video_capture.h"
#include "platform/error.h"

namespace {

using mirelo::cli::ExitStatus;
using mirelo::production::BatchOutcome;

std::atomic<mirelo::production::BatchEngine*> runningEngine{nullptr};

// The first Ctrl-C ends the run after the entry in progress, as the cancel button does; the
// second one (the handler is reset) ends the process at once.
extern "C" void OnInterrupt(int) {
  if (auto* engine = runningEngine.load()) engine->RequestCancel();
}

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StatusOf(const mirelo::production::BatchResult& result) {
  switch (result.outcome) {
    case BatchOutcome::Refused:
      return mirelo::cli::kExitUsage;
    case BatchOutcome::Failed:
    case BatchOutcome::Cancelled:
      return mirelo::cli::kExitEndedEarly;
    case BatchOutcome::Completed:
      break;
  }
  return result.loadFailures > 0 ? mirelo::cli::kExitEntriesFailed : mirelo::cli::kExitDone;
}

// The whole of a file, or of standard input for "-"; nullopt when it cannot be read.
std::optional<std::string> ReadWhole(const std::string& file) {
  std::FILE* in = file == "-" ? stdin : std::fopen(file.c_str(), "rb");
  if (!in) return std::nullopt;
  std::string text;
  char buffer[65536];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) text.append(buffer, n);
  const bool failed = std::ferror(in) != 0;
  if (in != stdin) std::fclose(in);
  if (failed) return std::nullopt;
  return text;
}

bool WriteWhole(const std::string& file, const std::string& text) {
  std::FILE* out = file == "-" ? stdout : std::fopen(file.c_str(), "wb");
  if (!out) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  ok = (out == stdout ? std::fflush(out) : std::fclose(out)) == 0 && ok;
  return ok;
}

// What the folders passed over, before the entries: --dry-run and --json say it per file.
void ReportOwnOutput(const mirelo::cli::CliOptions& options, const std::vector<std::string>& ownOutput) {
  if (ownOutput.empty()) return;
  std::string text;
  if (options.json) {
    for (const std::string& path : ownOutput) text += mirelo::cli::OwnOutputJson(path);
  } else if (options.dryRun) {
    for (const std::string& path : ownOutput) text += mirelo::cli::OwnOutputLine(path) + "\n";
  } else {
    if (!options.quiet) {
      std::fprintf(stderr, "mirelo-batch: %zu files passed over as thumbnails this program made\n", ownOutput.size());
    }
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// --dry-run: the plan on standard output (text lines or JSON), the messages a run would give on
// standard error.
int DryRun(const mirelo::cli::CliOptions& options, const std::vector<mirelo::production::BatchEntry>& entries,
           const mirelo::cli::RunConfig& config) {
  if (options.logFile) std::fputs("mirelo-batch: a dry run saves no log\n", stderr);
  if (options.failedTo) std::fputs("mirelo-batch: a dry run writes no list of failed files\n", stderr);
  const mirelo::production::BatchPlan plan = mirelo::production::PlanBatch(entries, config.settings);
  if (plan.refusal) {
    std::fprintf(stderr, "%s\n", plan.refusal->text.c_str());
    return mirelo::cli::PlanStatus(plan);
  }
  std::string text;
  if (options.json) {
    std::vector<mirelo::cli::EntryReport> reports = mirelo::cli::PlanReports(entries, plan);
    // Where each clip would be captured: the only decoding a dry run does, and only with --json.
    for (std::size_t i = 0; i < reports.size(); ++i) {
      const auto& entry = entries[i];
      if (reports[i].outcome != "planned" ||
          mirelo::production::KindOf(entry.path) != mirelo::production::EntryKind::Video) {
        continue;
      }
      try {
        reports[i].scene = mirelo::production::CapturePosition(
            entry.path, entry.scene, entry.autoScene || config.settings.settings.AutoScene == 1);
      } catch (const mirelo::Error&) {
        // The run would fail on the clip; its position stays unknown.
      }
    }
    for (const auto& report : reports) text += mirelo::cli::JsonLine(report);
  } else {
    for (std::size_t i = 0; i < entries.size(); ++i) {
      text += mirelo::cli::PlanLine(entries[i].path, plan.entries[i]) + "\n";
    }
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);

  int planned = 0;
  for (const auto& entry : plan.entries) planned += entry.outcome == mirelo::production::PlannedOutcome::Write;
  if (plan.endIndex >= 0) {
    const auto& entry = plan.entries[static_cast<std::size_t>(plan.endIndex)];
    std::fputs(mirelo::cli::LogLinesForConsole(mirelo::production::RunErrorMessage(
                   entries[static_cast<std::size_t>(plan.endIndex)].path, entry.errorNumber))
                   .c_str(),
               stderr);
  }
  if (!options.quiet) {
    std::fprintf(stderr,
                 "mirelo-batch: dry run: %d of %zu entries would be written; no entry was loaded, nothing was "
                 "written\n",
                 planned, entries.size());
  }
  return mirelo::cli::PlanStatus(plan);
}

int Main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const mirelo::cli::ParseResult parsed = mirelo::cli::ParseCommandLine(args);
  if (!parsed.ok()) {
    std::fprintf(stderr, "mirelo-batch: %s\n\n%s", parsed.error.c_str(), mirelo::cli::UsageText().c_str());
    return mirelo::cli::kExitUsage;
  }
  const mirelo::cli::CliOptions& options = parsed.options;
  if (options.help) {
    std::fputs(mirelo::cli::UsageText().c_str(), stdout);
    return mirelo::cli::kExitDone;
  }
  if (options.version) {
    std::puts("mirelo-batch 1.10");
    return mirelo::cli::kExitDone;
  }

  mirelo::cli::RunConfig config;
  try {
    config = mirelo::cli::LoadRunConfig(options);
  } catch (const mirelo::cli::CliError& error) {
    std::fprintf(stderr, "mirelo-batch: %s\n", error.what());
    return error.status();
  }
  for (const std::string& warning : config.warnings) std::fprintf(stderr, "mirelo-batch: %s\n", warning.c_str());

  std::vector<mirelo::cli::PathArgument> paths = options.paths;
  if (options.filesFrom) {
    const std::optional<std::string> list = ReadWhole(*options.filesFrom);
    if (!list) {
      std::fprintf(stderr, "mirelo-batch: cannot read %s\n", options.filesFrom->c_str());
      return mirelo::cli::kExitUsage;
    }
    for (std::string& path : mirelo::cli::SplitPathList(*list, options.nulSeparated)) {
      paths.push_back({std::move(path), "", true});
    }
  }
  mirelo::cli::CollectedEntries collected =
      mirelo::cli::CollectEntries(paths, options.recursive, config.settings.settings);
  for (const std::string& note : collected.skipped) std::fprintf(stderr, "mirelo-batch: skipped %s\n", note.c_str());
  if (collected.skippedFromList > 0 && !options.quiet) {
    // A list made by find holds every kind of file; one line says how many were not taken.
    std::fprintf(stderr, "mirelo-batch: %d paths of %s not taken (not supported, hidden, missing or listed twice)\n",
                 collected.skippedFromList, options.filesFrom->c_str());
  }
  mirelo::app::LogBuffer log;
  for (const std::string& folder : collected.unreadable) {
    const std::string message = mirelo::production::FolderUnreadableMessage(folder);
    log.Append(message);
    std::fputs(mirelo::cli::LogLinesForConsole(message).c_str(), stderr);
  }

  // --shard K/N: every N-th entry of the input in its order, the same on every machine.
  std::vector<mirelo::production::BatchEntry> entries;
  std::vector<std::string> ownOutput;
  for (std::size_t i = 0; i < collected.entries.size(); ++i) {
    if (mirelo::cli::InShard(i, options.shardIndex, options.shardCount)) entries.push_back(std::move(collected.entries[i]));
  }
  for (std::size_t i = 0; i < collected.ownOutput.size(); ++i) {
    if (mirelo::cli::InShard(i, options.shardIndex, options.shardCount)) ownOutput.push_back(collected.ownOutput[i]);
  }
  ReportOwnOutput(options, ownOutput);
  if (entries.empty() && options.shardCount > 0 && !collected.entries.empty()) {
    // Fewer entries than shards: this one has nothing to do, which is no error.
    if (options.failedTo && !options.dryRun) WriteWhole(*options.failedTo, "");
    return mirelo::cli::kExitDone;
  }

  if (options.dryRun) return DryRun(options, entries, config);

  mirelo::production::BatchEngine engine({options.jobs, &log});
  const bool bar = !options.quiet && ::isatty(STDERR_FILENO) == 1;
  std::optional<mirelo::cli::ConsoleFrontEnd> console;
  std::optional<mirelo::cli::JsonFrontEnd> json;
  mirelo::production::BatchFrontEnd* frontEnd = nullptr;
  if (options.json) {
    frontEnd = &json.emplace(entries, stdout, stderr, bar, options.quiet);
  } else {
    frontEnd = &console.emplace(stdout, stderr, bar, options.quiet);
  }

  runningEngine.store(&engine);
  InstallInterruptHandler();
  const mirelo::production::BatchResult result = engine.Run(entries, config.settings, *frontEnd);
  runningEngine.store(nullptr);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);

  int status = StatusOf(result);
  if (options.logFile && !log.Save(*options.logFile)) {
    std::fprintf(stderr, "mirelo-batch: cannot write the log to %s\n", options.logFile->c_str());
    if (status == mirelo::cli::kExitDone) status = mirelo::cli::kExitEntriesFailed;
  }
  if (options.failedTo && result.outcome != BatchOutcome::Refused) {
    std::vector<std::string> failed;
    for (const int index : result.failed) failed.push_back(entries[static_cast<std::size_t>(index)].path);
    if (!WriteWhole(*options.failedTo, mirelo::cli::JoinPathList(failed, options.nulSeparated))) {
      std::fprintf(stderr, "mirelo-batch: cannot write the failed files to %s\n", options.failedTo->c_str());
      if (status == mirelo::cli::kExitDone) status = mirelo::cli::kExitEntriesFailed;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "mirelo-batch: %s\n", error.what());
    return mirelo::cli::kExitEndedEarly;
  }
}
