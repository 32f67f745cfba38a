#include "cli/cli_options.h"

#include <array>
#include <charconv>
#include <string_view>
#include <utility>

#include "platform/error.h"
#include "production/video_capture.h"

namespace mirelo::cli {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The keys of thumb.ini a run can read.
constexpr std::array<std::pair<std::string_view, std::string_view>, 36> kSettingsKeys{{
    {"Location", "Top"},        {"Location", "Left"},       {"Thumbnail", "Mode"},     {"Thumbnail", "Size"},
    {"Thumbnail", "Fit"},       {"Image", "Mode"},          {"Image", "Quality"},      {"Output", "Mode"},
    {"Output", "Path"},         {"FileName", "Mode"},       {"FileName", "Text"},      {"FileName", "Char"},
    {"FileName", "Jpeg"},       {"Filter", "Sharp"},        {"Filter", "SharpValue"},  {"Filter", "Mono"},
    {"Proc", "AutoTrim"},       {"Proc", "AutoTrimTH"},     {"Proc", "AutoContrast"},  {"Proc", "DPI"},
    {"Proc", "DPIValue"},       {"StillFrame", "File"},     {"StillFrame", "Top"},     {"StillFrame", "Left"},
    {"StillFrame", "Width"},    {"StillFrame", "Height"},   {"VideoFrame", "File"},    {"VideoFrame", "Top"},
    {"VideoFrame", "Left"},     {"VideoFrame", "Width"},    {"VideoFrame", "Height"},   {"Batch", "FolderDrop"},
    {"Batch", "KeepTree"},      {"Batch", "SkipDone"},      {"Batch", "KeepGoing"},    {"Batch", "AutoScene"},
}};

std::optional<IniOverride> ParseOverride(std::string_view text) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const auto equals = text.find('=', slash);
  if (equals == std::string_view::npos) return std::nullopt;
  IniOverride result{std::string(text.substr(0, slash)), std::string(text.substr(slash + 1, equals - slash - 1)),
                     std::string(text.substr(equals + 1))};
  if (result.section.empty() || result.key.empty()) return std::nullopt;
  return result;
}

}  // namespace

std::vector<std::string> SplitPathList(const std::string& text, bool nul) {
  std::vector<std::string> paths;
  const char separator = nul ? '\0' : '\n';
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string path = text.substr(start, end - start);
    if (!nul && !path.empty() && path.back() == '\r') path.pop_back();
    if (!path.empty()) paths.push_back(std::move(path));
    start = end + 1;
  }
  return paths;
}

std::string JoinPathList(const std::vector<std::string>& paths, bool nul) {
  std::string text;
  for (const std::string& path : paths) {
    text += path;
    text += nul ? '\0' : '\n';
  }
  return text;
}

bool IsSettingsKey(const std::string& section, const std::string& key) {
  for (const auto& [s, k] : kSettingsKeys) {
    if (EqualNoCase(s, section) && EqualNoCase(k, key)) return true;
  }
  return false;
}

std::optional<double> SceneShare(const std::string& text) {
  if (text.size() < 2 || text.back() != '%') return std::nullopt;
  double percent = 0.0;
  const char* first = text.data();
  const char* last = first + text.size() - 1;
  const auto [end, error] = std::from_chars(first, last, percent, std::chars_format::fixed);
  if (error != std::errc() || end != last || !(percent >= 0.0) || percent > 100.0) return std::nullopt;
  return percent;
}

std::string UsageText() {
  return "usage: mirelo-batch [options] PATH...\n"
         "Makes one thumbnail per picture or video clip, as the desktop program's start button does.\n"
         "\n"
         "  --config DIR        folder of thumb.ini and size.ini (created with defaults when missing);\n"
         "                      default: the same folder the desktop program uses\n"
         "  --set SECTION/KEY=VALUE\n"
         "                      override one thumb.ini key for this run only (repeatable)\n"
         "  --size WxH          target box as typed into the size boxes (0x0 keeps the source size)\n"
         "  --preset NAME       choose a size preset by name\n"
         "  --scene SECONDS     scene position for the video paths that follow; N% a share of each\n"
         "                      clip's length; auto the first frame that is neither dark nor one colour\n"
         "  --recursive         folders given as PATH are searched recursively (default: their files only)\n"
         "  --jobs N            worker threads (default: all cores)\n"
         "  --log FILE          save the error log to FILE as the log window's save does\n"
         "  --quiet             no progress bar\n"
         "  --dry-run           run every check and print the output name each entry would get\n"
         "                      (or why it would get none); load nothing, write nothing\n"
         "  --json              one JSON object per entry on standard output (see mirelo-batch(1))\n"
         "  --keep-going        a file that cannot be read is logged and passed; the run goes on\n"
         "  --keep-tree         with an output folder: each folder given as PATH is mirrored in it\n"
         "  --skip-done         an entry whose thumbnail is not older than it is not made again\n"
         "  --files-from FILE   more PATHs from FILE, one a line (\"-\": standard input)\n"
         "  --failed-to FILE    write the paths of the entries that failed to FILE, in the same form\n"
         "  -0                  --files-from and --failed-to separate paths with NUL bytes\n"
         "  --shard K/N         take only every N-th entry, starting with the K-th (1 <= K <= N)\n"
         "  --help, --version\n"
         "\n"
         "PATH: pictures (jpg jpeg bmp gif png pct tif, tiff jfif jpe pict, heic heif hif avif webp jxl,\n"
         "camera RAW such as dng cr2 cr3 nef arw orf rw2 raf pef) and video clips (avi mpeg mpg wmv asf\n"
         "flv, mp4 m4v mov qt mkv webm 3gp 3g2 ts mts m2ts m2t ogv vob); read by content, not by name.\n"
         "Output formats (--set Image/Mode=N): 0, 1 JPEG; 2 PNG; 3, 4 GIF; 5 PICT; 6 BMP; 7 WebP.\n"
         "\n"
         "Folders are read in a file manager's order without hidden entries, the output folder and\n"
         "the thumbnails the naming rule gives their neighbours. --set Batch/KEY=1 works as well.\n"
         "Written thumbnails are listed on standard output, failures on standard error.\n"
         "Exit status: 0 all selected entries done; 1 the run completed with failed entries (a clip\n"
         "that cannot be captured, or with --keep-going any file); 3 the run ended early (an error or\n"
         "a cancel); 2 bad usage.\n";
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  ParseResult result;
  CliOptions& o = result.options;
  std::string scene;
  bool optionsEnded = false;

  auto fail = [&](std::string message) {
    result.error = std::move(message);
    return result;
  };

  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      if (arg.empty()) return fail("empty PATH");
      o.paths.push_back({arg, scene});
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name = arg;
    std::optional<std::string> inlineValue;
    if (const auto eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
    }
    auto flag = [&]() -> bool {
      if (inlineValue) {
        result.error = name + " takes no value";
        return false;
      }
      return true;
    };
    auto value = [&]() -> std::optional<std::string> {
      if (inlineValue) return inlineValue;
      if (i + 1 >= args.size()) {
        result.error = name + " needs a value";
        return std::nullopt;
      }
      return args[++i];
    };

    if (name == "--help" || name == "-h") {
      if (!flag()) return result;
      o.help = true;
    } else if (name == "--version") {
      if (!flag()) return result;
      o.version = true;
    } else if (name == "--recursive") {
      if (!flag()) return result;
      o.recursive = true;
    } else if (name == "--quiet") {
      if (!flag()) return result;
      o.quiet = true;
    } else if (name == "--dry-run") {
      if (!flag()) return result;
      o.dryRun = true;
    } else if (name == "--json") {
      if (!flag()) return result;
      o.json = true;
    } else if (name == "--keep-going") {
      if (!flag()) return result;
      o.keepGoing = true;
    } else if (name == "--keep-tree") {
      if (!flag()) return result;
      o.keepTree = true;
    } else if (name == "--skip-done") {
      if (!flag()) return result;
      o.skipDone = true;
    } else if (name == "-0") {
      o.nulSeparated = true;
    } else if (name == "--files-from") {
      auto v = value();
      if (!v) return result;
      if (v->empty()) return fail("--files-from needs a file");
      o.filesFrom = *v;
    } else if (name == "--failed-to") {
      auto v = value();
      if (!v) return result;
      if (v->empty()) return fail("--failed-to needs a file");
      o.failedTo = *v;
    } else if (name == "--shard") {
      auto v = value();
      if (!v) return result;
      const auto slash = v->find('/');
      int k = 0;
      int n = 0;
      const char* end = v->data() + v->size();
      bool ok = slash != std::string::npos && AllDigits(std::string_view(*v).substr(0, slash)) &&
                AllDigits(std::string_view(*v).substr(slash + 1));
      ok = ok && std::from_chars(v->data(), v->data() + slash, k).ec == std::errc() &&
           std::from_chars(v->data() + slash + 1, end, n).ec == std::errc();
      if (!ok || n < 1 || k < 1 || k > n) return fail("--shard needs K/N with 1 <= K <= N, got \"" + *v + "\"");
      o.shardIndex = k;
      o.shardCount = n;
    } else if (name == "--config") {
      auto v = value();
      if (!v) return result;
      if (v->empty()) return fail("--config needs a folder");
      o.configDir = *v;
    } else if (name == "--set") {
      auto v = value();
      if (!v) return result;
      auto parsed = ParseOverride(*v);
      if (!parsed) return fail("--set needs SECTION/KEY=VALUE, got \"" + *v + "\"");
      if (!IsSettingsKey(parsed->section, parsed->key)) {
        return fail("--set: " + parsed->section + "/" + parsed->key + " is not a key of thumb.ini");
      }
      o.overrides.push_back(std::move(*parsed));
    } else if (name == "--size") {
      auto v = value();
      if (!v) return result;
      const auto x = v->find_first_of("xX");
      if (x == std::string::npos || !AllDigits(std::string_view(*v).substr(0, x)) ||
          !AllDigits(std::string_view(*v).substr(x + 1))) {
        return fail("--size needs WxH in digits, got \"" + *v + "\"");
      }
      o.size = SizeArgument{v->substr(0, x), v->substr(x + 1)};
    } else if (name == "--preset") {
      auto v = value();
      if (!v) return result;
      o.preset = *v;
    } else if (name == "--scene") {
      auto v = value();
      if (!v) return result;
      if (*v != kAutoScene && !SceneShare(*v)) {
        try {
          if (production::ScenePosition(*v) < 0) return fail("--scene needs a position of 0 seconds or more");
        } catch (const Error&) {
          return fail("--scene needs seconds, N% or auto, got \"" + *v + "\"");
        }
      }
      scene = *v;
    } else if (name == "--jobs") {
      auto v = value();
      if (!v) return result;
      int jobs = 0;
      const auto [end, ec] = std::from_chars(v->data(), v->data() + v->size(), jobs);
      if (ec != std::errc() || end != v->data() + v->size() || jobs < 1 || jobs > 1024) {
        return fail("--jobs needs a number from 1 to 1024, got \"" + *v + "\"");
      }
      o.jobs = jobs;
    } else if (name == "--log") {
      auto v = value();
      if (!v) return result;
      if (v->empty()) return fail("--log needs a file");
      o.logFile = *v;
    } else {
      return fail("unknown option " + name);
    }
  }
  if (o.size && o.preset) return fail("--size and --preset exclude each other");
  if (!o.help && !o.version && o.paths.empty() && !o.filesFrom) return fail("no PATH given");
  return result;
}

}  // namespace mirelo::cli
