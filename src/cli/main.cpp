// mirelo-batch: the batch run of the desktop program's start button, from the command line.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <unistd.h>
#include <vector>

#include "app/log_buffer.h"
#include "cli/cli_config.h"
#include "cli/cli_front_end.h"
#include "cli/cli_options.h"
#include "production/batch_engine.h"

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

  std::vector<std::string> skipped;
  const std::vector<mirelo::production::BatchEntry> entries =
      mirelo::cli::CollectEntries(options.paths, options.recursive, skipped);
  for (const std::string& note : skipped) std::fprintf(stderr, "mirelo-batch: skipped %s\n", note.c_str());

  mirelo::app::LogBuffer log;
  mirelo::production::BatchEngine engine({options.jobs, &log});
  const bool bar = !options.quiet && ::isatty(STDERR_FILENO) == 1;
  mirelo::cli::ConsoleFrontEnd frontEnd(stdout, stderr, bar, options.quiet);

  runningEngine.store(&engine);
  InstallInterruptHandler();
  const mirelo::production::BatchResult result = engine.Run(entries, config.settings, frontEnd);
  runningEngine.store(nullptr);
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);

  int status = StatusOf(result);
  if (options.logFile && !log.Save(*options.logFile)) {
    std::fprintf(stderr, "mirelo-batch: cannot write the log to %s\n", options.logFile->c_str());
    if (status == mirelo::cli::kExitDone) status = mirelo::cli::kExitEntriesFailed;
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
