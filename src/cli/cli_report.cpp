#include "cli/cli_report.h"

#include <algorithm>
#include <cstdio>

#include "cli/cli_options.h"
#include "production/batch_texts.h"

namespace mirelo::cli {

namespace {

// Length of the valid UTF-8 sequence at the start of s, 0 when it is not one (overlong forms,
// surrogates and code points past U+10FFFF included).
std::size_t Utf8Length(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!cont(1) || !cont(2)) return 0;
    if (c == 0xE0 && b(1) < 0xA0) return 0;
    if (c == 0xED && b(1) >= 0xA0) return 0;
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!cont(1) || !cont(2) || !cont(3)) return 0;
    if (c == 0xF0 && b(1) < 0x90) return 0;
    if (c == 0xF4 && b(1) >= 0x90) return 0;
    return 4;
  }
  return 0;
}

void AppendField(std::string& line, const char* name, const std::string& json) {
  if (line.size() > 1) line += ", ";
  line += '"';
  line += name;
  line += "\": ";
  line += json;
}

std::string Number(std::optional<std::int64_t> n) { return n ? std::to_string(*n) : "null"; }
std::string Text(const std::optional<std::string>& s) { return s ? JsonString(*s) : "null"; }

// The entry's log messages as error text: CR LF as LF, without the lines that only repeat
// the entry's path.
std::string ErrorText(const std::string& log, const std::string& path) {
  std::string text;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string_view line(log.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line != path) {
      if (!text.empty()) text += '\n';
      text += line;
    }
    start = end + 1;
  }
  return text;
}

}  // namespace

std::string JsonString(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < bytes.size();) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    const std::size_t n = Utf8Length(bytes.substr(i));
    if (n == 0) {
      out += "\\udc";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
      ++i;
      continue;
    }
    if (n == 1) {
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
          } else {
            out += static_cast<char>(c);
          }
      }
    } else {
      out.append(bytes.substr(i, n));
    }
    i += n;
  }
  out += '"';
  return out;
}

std::string JsonLine(const EntryReport& r) {
  std::string line = "{";
  AppendField(line, "path", JsonString(r.path));
  AppendField(line, "output", Text(r.output));
  AppendField(line, "outcome", JsonString(r.outcome));
  AppendField(line, "error_number", Number(r.errorNumber));
  AppendField(line, "error_text", Text(r.errorText));
  AppendField(line, "width", Number(r.width));
  AppendField(line, "height", Number(r.height));
  if (r.takenOnDisk) AppendField(line, "taken_on_disk", Number(r.takenOnDisk));
  if (r.takenInList) AppendField(line, "taken_in_list", Number(r.takenInList));
  if (r.reason) AppendField(line, "reason", JsonString(*r.reason));
  if (r.scene) {
    char seconds[40];
    std::snprintf(seconds, sizeof seconds, "%.15g", *r.scene);
    AppendField(line, "scene", seconds);
  }
  line += "}\n";
  return line;
}

// ---- --json of a run ---------------------------------------------------------------------------

JsonFrontEnd::JsonFrontEnd(const std::vector<production::BatchEntry>& entries, std::FILE* out, std::FILE* err,
                           bool bar, bool quiet)
    : ConsoleFrontEnd(out, err, bar, quiet), failed_(entries.size(), false) {
  reports_.reserve(entries.size());
  for (const production::BatchEntry& entry : entries) {
    EntryReport report;
    report.path = entry.path;
    reports_.push_back(std::move(report));
    selected_.push_back(entry.selected);
  }
}

void JsonFrontEnd::pictureSized(int index, production::EntryKind, int width, int height) {
  EntryReport& r = reports_.at(static_cast<std::size_t>(index));
  r.width = width;
  r.height = height;
}

void JsonFrontEnd::logAppended(std::string_view message) {
  ConsoleFrontEnd::logAppended(message);
  pendingLog_ += message;
  pendingLog_ += '\n';
}

void JsonFrontEnd::entryFailed(int index, std::int32_t number, bool endsRun) {
  EntryReport& r = reports_.at(static_cast<std::size_t>(index));
  r.outcome = endsRun ? "ended-run" : "failed";
  r.errorNumber = number;
  r.errorText = ErrorText(pendingLog_, r.path);
  pendingLog_.clear();
  failed_[static_cast<std::size_t>(index)] = true;
  if (endsRun) EmitUpTo(index + 1);
}

void JsonFrontEnd::thumbnailWritten(int index, const std::string& path) {
  EntryReport& r = reports_.at(static_cast<std::size_t>(index));
  r.output = path;
  r.outcome = "written";
}

void JsonFrontEnd::entrySkipped(int index, const std::string& thumbnail) {
  EntryReport& r = reports_.at(static_cast<std::size_t>(index));
  r.output = thumbnail;
  r.outcome = "up-to-date";
}

void JsonFrontEnd::progress(int done, int total) {
  pendingLog_.clear();
  // Entry done - 1 was passed: neither written nor failed, it gave no file.
  if (done > 0 && static_cast<std::size_t>(done) <= reports_.size()) {
    EntryReport& r = reports_[static_cast<std::size_t>(done - 1)];
    if (r.outcome.empty())
      r.outcome = selected_[static_cast<std::size_t>(done - 1)] ? "no-file" : "not-selected";
  }
  EmitUpTo(done);
  ConsoleFrontEnd::progress(done, total);
}

void JsonFrontEnd::runFinished(const production::BatchResult& result) {
  EmitUpTo(static_cast<int>(reports_.size()));
  ConsoleFrontEnd::runFinished(result);
}

void JsonFrontEnd::EmitUpTo(int end) {
  end = std::min(end, static_cast<int>(reports_.size()));
  // Only entries the run passed reach here before runFinished; the rest it never reached.
  std::string text;
  for (; emitted_ < end; ++emitted_) {
    EntryReport& r = reports_[static_cast<std::size_t>(emitted_)];
    if (r.outcome.empty())
      r.outcome = !selected_[static_cast<std::size_t>(emitted_)] ? "not-selected" : "not-reached";
    text += JsonLine(r);
  }
  if (!text.empty()) PrintOut(text);
}

// ---- --dry-run ------------------------------------------------------------------------------------

std::vector<EntryReport> PlanReports(const std::vector<production::BatchEntry>& entries,
                                     const production::BatchPlan& plan) {
  std::vector<EntryReport> reports;
  for (std::size_t i = 0; i < entries.size() && i < plan.entries.size(); ++i) {
    const production::EntryPlan& p = plan.entries[i];
    EntryReport r;
    r.path = entries[i].path;
    switch (p.outcome) {
      case production::PlannedOutcome::Write:
        r.outcome = "planned";
        r.output = p.output;
        break;
      case production::PlannedOutcome::NothingSaved:
        r.outcome = "no-file";
        break;
      case production::PlannedOutcome::NotSelected:
        r.outcome = "not-selected";
        break;
      case production::PlannedOutcome::EndsRun:
        r.outcome = "ended-run";
        r.errorNumber = p.errorNumber;
        r.errorText = production::RunErrorLine(p.errorNumber);
        r.reason = p.reason;
        break;
      case production::PlannedOutcome::NotReached:
        r.outcome = "not-reached";
        break;
      case production::PlannedOutcome::UpToDate:
        r.outcome = "up-to-date";
        r.output = p.output;
        break;
    }
    if (p.outcome == production::PlannedOutcome::Write ||
        p.outcome == production::PlannedOutcome::NothingSaved) {
      r.takenOnDisk = p.takenOnDisk;
      r.takenInList = p.takenInList;
    }
    reports.push_back(std::move(r));
  }
  return reports;
}

std::string PlanLine(const std::string& path, const production::EntryPlan& plan) {
  std::string line = path + " -> ";
  auto renamed = [&] {
    if (plan.takenOnDisk == 0 && plan.takenInList == 0) return std::string();
    std::string note = "  (renamed:";
    if (plan.takenOnDisk > 0) note += " " + std::to_string(plan.takenOnDisk) + " taken on disk";
    if (plan.takenOnDisk > 0 && plan.takenInList > 0) note += ",";
    if (plan.takenInList > 0) note += " " + std::to_string(plan.takenInList) + " taken by earlier entries";
    return note + ")";
  };
  switch (plan.outcome) {
    case production::PlannedOutcome::Write:
      return line + plan.output + renamed();
    case production::PlannedOutcome::NothingSaved:
      return line + "no file: the image format setting saves none";
    case production::PlannedOutcome::NotSelected:
      return line + "skipped: not selected";
    case production::PlannedOutcome::EndsRun:
      return line + "error " + std::to_string(plan.errorNumber) + ": " + plan.reason +
             "; the run would end here";
    case production::PlannedOutcome::UpToDate:
      return line + "skip: up to date (" + plan.output + ")";
    case production::PlannedOutcome::NotReached:
      break;
  }
  return line + "not reached";
}

std::string OwnOutputLine(const std::string& path) { return path + " -> skip: own output"; }

std::string OwnOutputJson(const std::string& path) {
  EntryReport r;
  r.path = path;
  r.outcome = "own-output";
  return JsonLine(r);
}

int PlanStatus(const production::BatchPlan& plan) {
  if (plan.refusal) return kExitUsage;
  if (plan.endIndex >= 0) return kExitEndedEarly;
  return kExitDone;
}

}  // namespace mirelo::cli
