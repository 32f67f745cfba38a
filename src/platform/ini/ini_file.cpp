// Private-profile INI files; see ini_file.h for the behaviour.

#include "platform/ini/ini_file.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <system_error>

namespace mirelo::ini {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kCrLf = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Length of the UTF-8 sequence at s[0], or 0 when it is not a valid one.
std::size_t Utf8SequenceLength(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  std::size_t n = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4;
  else
    return 0;
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i)
    if ((b(i) & 0xC0) != 0x80) return 0;
  if (n == 3 && ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) >= 0xA0))) return 0;  // overlong, surrogate
  if (n == 4 && ((c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) >= 0x90)))
    return 0;  // overlong, > U+10FFFF
  return n;
}

bool IsValidUtf8(std::string_view s) {
  while (!s.empty()) {
    const std::size_t n = Utf8SequenceLength(s);
    if (n == 0) return false;
    s.remove_prefix(n);
  }
  return true;
}

std::string Utf8Lossy(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  while (!s.empty()) {
    const std::size_t n = Utf8SequenceLength(s);
    if (n == 0) {
      out += kReplacement;
      s.remove_prefix(1);
    } else {
      out.append(s.substr(0, n));
      s.remove_prefix(n);
    }
  }
  return out;
}

// One iconv descriptor per thread and direction.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts in; on a byte sequence that cannot be converted, onError(rest) tells how many
  // input bytes to skip and what to put out instead (skip 0: give up, nullopt).
  template <typename OnError>
  std::optional<std::string> Run(std::string_view in, OnError onError) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    char buffer[4096];
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      if (r != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      const auto [skip, replacement] = onError(std::string_view(inPtr, inLeft));
      if (skip == 0 || skip > inLeft) return std::nullopt;
      out += replacement;
      inPtr += skip;
      inLeft -= skip;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

Converter& FromCp932() {
  thread_local Converter c("UTF-8", "CP932");
  return c;
}
Converter& ToCp932() {
  thread_local Converter c("CP932", "UTF-8");
  return c;
}

std::pair<std::size_t, std::string_view> Fail(std::string_view) { return {0, {}}; }

std::string DecodeLossy(std::string_view raw, Encoding encoding) {
  if (IsAscii(raw)) return std::string(raw);
  if (encoding == Encoding::Utf8Bom) return Utf8Lossy(raw);
  auto text = FromCp932().Run(
      raw, [](std::string_view) { return std::pair<std::size_t, std::string_view>(1, kReplacement); });
  return text ? *text : std::string(kReplacement);
}

std::mutex& WriteMutex() {
  static std::mutex m;
  return m;
}

WriteHook& Hook() {
  static WriteHook hook;
  return hook;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus ReadFile(const std::filesystem::path& file, std::string& bytes) {
  std::error_code ec;
  const auto status = std::filesystem::status(file, ec);
  if (ec || status.type() == std::filesystem::file_type::not_found) {
    return status.type() == std::filesystem::file_type::not_found ? ReadStatus::Missing : ReadStatus::Failed;
  }
  if (status.type() != std::filesystem::file_type::regular) return ReadStatus::Failed;
  std::ifstream in(file, std::ios::binary);
  if (!in) return ReadStatus::Failed;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) return ReadStatus::Failed;
  return ReadStatus::Ok;
}

// Loads, changes and writes back one file under the process-wide write lock. change returns
// false when it cannot be done; unchanged documents are not written.
template <typename Change>
bool ModifyFile(const std::filesystem::path& file, Change change) {
  std::lock_guard lock(WriteMutex());
  std::string bytes;
  const ReadStatus status = ReadFile(file, bytes);
  if (status == ReadStatus::Failed) return false;  // never replace a file we could not read
  Document doc = Document::Parse(bytes);
  bool changed = false;
  if (!change(doc, changed)) return false;
  // The program's files end every line with CR LF; lines a hand edit left with LF alone get
  // theirs back with the next write, even one that changes no value.
  doc.EndLinesWithCrLf();
  std::string after = doc.Serialize();
  if (!changed && after == bytes) return true;
  return ReplaceFileAtomically(file, after);
}

// Lines ending in CR LF, in CP932, or UTF-8 with a byte-order mark when CP932 cannot hold them.
std::optional<std::string> LinesBytes(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (!IsValidUtf8(line)) return std::nullopt;
    text += line;
    text += kCrLf;
  }
  if (auto cp932 = EncodeCp932(text)) return cp932;
  return std::string(kBom) + text;
}

bool ValidName(std::string_view name) {
  return !name.empty() && name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

}  // namespace

std::optional<std::string> DecodeCp932(std::string_view bytes) {
  if (IsAscii(bytes)) return std::string(bytes);
  return FromCp932().Run(bytes, Fail);
}

std::optional<std::string> EncodeCp932(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  if (!IsValidUtf8(utf8)) return std::nullopt;
  auto bytes = ToCp932().Run(utf8, Fail);
  // iconv maps some characters one way only ("¥" to "\", "〜" to "～"); CP932 cannot hold those.
  if (!bytes || FromCp932().Run(*bytes, Fail) != utf8) return std::nullopt;
  return bytes;
}

std::string EncodeCp932Lossy(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  const std::string valid = Utf8Lossy(utf8);
  auto out = ToCp932().Run(valid, [](std::string_view rest) {
    const std::size_t n = Utf8SequenceLength(rest);
    return std::pair<std::size_t, std::string_view>(n == 0 ? 1 : n, "?");
  });
  return out ? *out : std::string();
}

bool NamesEqual(std::string_view a, std::string_view b) {
  a = Trim(a);
  b = Trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// ---- Document --------------------------------------------------------------------------------

namespace {

enum class LineKind { Blank, Comment, Header, Key, Other };

struct Parsed {
  LineKind kind = LineKind::Other;
  std::string_view name;   // header: section name; key: key name (trimmed)
  std::string_view value;  // key: value (trimmed)
};

Parsed ParseLine(std::string_view text) {
  const std::string_view t = Trim(text);
  if (t.empty()) return {LineKind::Blank, {}, {}};
  if (t.front() == ';') return {LineKind::Comment, {}, {}};
  if (t.front() == '[') {
    std::string_view inner = t.substr(1);
    const auto close = inner.find(']');
    if (close != std::string_view::npos) inner = inner.substr(0, close);
    return {LineKind::Header, Trim(inner), {}};
  }
  const auto eq = t.find('=');
  if (eq == std::string_view::npos || Trim(t.substr(0, eq)).empty()) return {LineKind::Other, {}, {}};
  return {LineKind::Key, Trim(t.substr(0, eq)), Trim(t.substr(eq + 1))};
}

}  // namespace

Document Document::Parse(std::string bytes) {
  Document doc;
  std::string_view rest(bytes);
  if (rest.substr(0, kBom.size()) == kBom) {
    doc.encoding_ = Encoding::Utf8Bom;
    rest.remove_prefix(kBom.size());
  }
  while (!rest.empty()) {
    Line line;
    const auto nl = rest.find('\n');
    std::string_view raw = rest.substr(0, nl);
    if (nl == std::string_view::npos) {
      rest = {};
    } else {
      rest.remove_prefix(nl + 1);
      line.eol = "\n";
      if (!raw.empty() && raw.back() == '\r') {
        raw.remove_suffix(1);
        line.eol = "\r\n";
      }
    }
    line.raw = std::string(raw);
    line.text = DecodeLossy(raw, doc.encoding_);
    doc.lines_.push_back(std::move(line));
  }
  return doc;
}

std::optional<Document::Ref> Document::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind != LineKind::Header || !NamesEqual(p.name, section)) continue;
    std::size_t end = i + 1;
    while (end < lines_.size() && ParseLine(lines_[end].text).kind != LineKind::Header) ++end;
    return Ref{i, end};
  }
  return std::nullopt;
}

std::optional<std::size_t> Document::FindKey(const Ref& ref, std::string_view key) const {
  for (std::size_t i = ref.header + 1; i < ref.end; ++i) {
    const Parsed p = ParseLine(lines_[i].text);
    if (p.kind == LineKind::Key && NamesEqual(p.name, key)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> Document::Get(std::string_view section, std::string_view key) const {
  const auto ref = FindSection(section);
  if (!ref) return std::nullopt;
  const auto at = FindKey(*ref, key);
  if (!at) return std::nullopt;
  return std::string(ParseLine(lines_[*at].text).value);
}

std::optional<std::string> Document::Encode(std::string_view text) const {
  if (encoding_ == Encoding::Utf8Bom) return std::string(text);
  return EncodeCp932(text);
}

bool Document::Reencode(Encoding to) {
  if (to == encoding_) return true;
  if (to != Encoding::Utf8Bom) return false;  // UTF-8 files never go back to CP932
  // Each line becomes the text it was parsed as (bytes CP932 cannot decode as U+FFFD), so the
  // file means the same after the switch.
  for (Line& line : lines_) line.raw = line.text;
  encoding_ = Encoding::Utf8Bom;
  return true;
}

void Document::EnsureLastLineEnded() {
  if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = kCrLf;
}

bool Document::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (!ValidName(section) || section.find(']') != std::string_view::npos) return false;
  if (!ValidName(key) || key.find('=') != std::string_view::npos || key.front() == '[' || key.front() == ';')
    return false;
  if (value.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) return false;
  if (!IsValidUtf8(section) || !IsValidUtf8(key) || !IsValidUtf8(value)) return false;

  const auto ref = FindSection(section);
  std::optional<std::size_t> at;
  if (ref) at = FindKey(*ref, key);
  // Keep the spelling already in the file.
  const std::string keyText(at ? ParseLine(lines_[*at].text).name : key);
  const std::string keyLine = keyText + "=" + std::string(value);
  const std::string headerLine = "[" + std::string(section) + "]";

  auto encoded = Encode(keyLine);
  auto encodedHeader = ref ? std::optional<std::string>(headerLine) : Encode(headerLine);
  if (!encoded || !encodedHeader) {
    Reencode(Encoding::Utf8Bom);
    encoded = keyLine;
    encodedHeader = headerLine;
  }
  Line line{*encoded, std::string(kCrLf), keyLine};
  if (at) {
    // A hand-edited file may hold the key twice in the section: every copy gets the value, so
    // readers that take the last copy see what we read (the first).
    for (std::size_t i = *at; i < ref->end; ++i) {
      const Parsed p = ParseLine(lines_[i].text);
      if (p.kind != LineKind::Key || !NamesEqual(p.name, key)) continue;
      const std::string copyLine = std::string(p.name) + "=" + std::string(value);
      std::optional<std::string> raw = Encode(copyLine);
      if (!raw) {  // cannot happen (it differs from keyLine in ASCII case only), but stay whole
        Reencode(Encoding::Utf8Bom);
        raw = copyLine;
      }
      Line& old = lines_[i];
      if (old.raw == *raw) continue;
      old.raw = std::move(*raw);
      old.text = copyLine;
    }
    return true;
  }
  if (ref) {
    std::size_t after = ref->header;
    for (std::size_t i = ref->header + 1; i < ref->end; ++i) {
      const LineKind kind = ParseLine(lines_[i].text).kind;
      if (kind != LineKind::Blank && kind != LineKind::Comment) after = i;
    }
    if (lines_[after].eol.empty()) lines_[after].eol = kCrLf;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(after + 1), std::move(line));
    return true;
  }
  EnsureLastLineEnded();
  lines_.push_back(Line{*encodedHeader, std::string(kCrLf), headerLine});
  lines_.push_back(std::move(line));
  return true;
}

bool Document::RemoveKey(std::string_view section, std::string_view key) {
  const auto ref = FindSection(section);
  if (!ref) return false;
  // Every copy of the key in the section goes, so an earlier duplicate's value never shows
  // through once the setting is removed.
  const auto first = lines_.begin() + static_cast<std::ptrdiff_t>(ref->header + 1);
  const auto last = lines_.begin() + static_cast<std::ptrdiff_t>(ref->end);
  const auto kept = std::remove_if(first, last, [&](const Line& line) {
    const Parsed p = ParseLine(line.text);
    return p.kind == LineKind::Key && NamesEqual(p.name, key);
  });
  if (kept == last) return false;
  lines_.erase(kept, last);
  return true;
}

bool Document::RemoveSection(std::string_view section) {
  const auto ref = FindSection(section);
  if (!ref) return false;
  lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(ref->header),
               lines_.begin() + static_cast<std::ptrdiff_t>(ref->end));
  return true;
}

std::vector<std::string> Document::SectionNames() const {
  std::vector<std::string> names;
  for (const Line& line : lines_) {
    const Parsed p = ParseLine(line.text);
    if (p.kind == LineKind::Header) names.emplace_back(p.name);
  }
  return names;
}

std::vector<std::string> Document::Lines() const {
  std::vector<std::string> out;
  out.reserve(lines_.size());
  for (const Line& line : lines_) out.push_back(line.text);
  return out;
}

std::string Document::Serialize() const {
  std::string out;
  if (encoding_ == Encoding::Utf8Bom) out += kBom;
  for (const Line& line : lines_) {
    out += line.raw;
    out += line.eol;
  }
  return out;
}

void Document::EndLinesWithCrLf() {
  for (Line& line : lines_) {
    if (!line.eol.empty()) line.eol = kCrLf;
  }
}

// ---- Files ------------------------------------------------------------------------------------

void SetWriteHookForTesting(WriteHook hook) { Hook() = std::move(hook); }

bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path target = file;
  if (fs::is_symlink(file, ec)) {  // replace the file the link points to, keep the link
    target = fs::weakly_canonical(file, ec);
    if (ec) return false;
  }
  fs::path dir = target.parent_path();
  if (dir.empty()) dir = ".";

  struct stat old {};
  const bool hadOld = ::stat(target.c_str(), &old) == 0;
  // A device, pipe or folder in the file's place is never replaced (root could swap /dev/null).
  if (hadOld && !S_ISREG(old.st_mode)) return false;

  static thread_local std::mt19937_64 random{std::random_device{}()};
  const auto tempName = [&] {
    return dir / ("." + target.filename().string() + ".tmp" + std::to_string(random() % 1000000000));
  };
  // An unnamed file first: it gets its name only once it is complete.
  int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  const bool unnamed = fd >= 0;
  fs::path temp;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = tempName();
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  const WriteHook& hook = Hook();
  bool ok = hook ? hook(fd, bytes) : WriteAll(fd, bytes);
  if (ok && hadOld) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (ok && unnamed) {
    ok = false;
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100 && !ok; ++attempt) {
      temp = tempName();
      ok = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
      if (!ok && errno != EEXIST) break;
    }
    if (!ok) temp.clear();
  }
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    if (!temp.empty()) ::unlink(temp.c_str());
    return false;
  }
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

std::optional<std::string> ReadValue(const std::filesystem::path& file, std::string_view section,
                                     std::string_view key) {
  std::string bytes;
  if (ReadFile(file, bytes) != ReadStatus::Ok) return std::nullopt;
  return Document::Parse(std::move(bytes)).Get(section, key);
}

bool WriteValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                std::string_view value) {
  return ModifyFile(file, [&](Document& doc, bool& changed) {
    const std::string before = doc.Serialize();
    if (!doc.Set(section, key, value)) return false;
    changed = doc.Serialize() != before;
    return true;
  });
}

bool WriteValues(const std::filesystem::path& file, const std::vector<KeyValue>& values) {
  return ModifyFile(file, [&](Document& doc, bool& changed) {
    const std::string before = doc.Serialize();
    for (const KeyValue& v : values) {
      if (!doc.Set(v.section, v.key, v.value)) return false;
    }
    changed = doc.Serialize() != before;
    return true;
  });
}

bool CreateFile(const std::filesystem::path& file, const std::vector<std::string>& lines,
                const std::vector<KeyValue>& values) {
  const std::optional<std::string> head = LinesBytes(lines);
  if (!head) return false;
  Document doc = Document::Parse(*head);
  for (const KeyValue& v : values) {
    if (!doc.Set(v.section, v.key, v.value)) return false;
  }
  doc.EndLinesWithCrLf();
  std::lock_guard lock(WriteMutex());
  return ReplaceFileAtomically(file, doc.Serialize());
}

bool RemoveKey(const std::filesystem::path& file, std::string_view section, std::string_view key) {
  return ModifyFile(file, [&](Document& doc, bool& changed) {
    changed = doc.RemoveKey(section, key);
    return true;
  });
}

bool RemoveSection(const std::filesystem::path& file, std::string_view section) {
  return ModifyFile(file, [&](Document& doc, bool& changed) {
    changed = doc.RemoveSection(section);
    return true;
  });
}

std::optional<std::vector<std::string>> ReadLines(const std::filesystem::path& file) {
  std::string bytes;
  if (ReadFile(file, bytes) != ReadStatus::Ok) return std::nullopt;
  return Document::Parse(std::move(bytes)).Lines();
}

bool WriteLines(const std::filesystem::path& file, const std::vector<std::string>& lines) {
  const std::optional<std::string> bytes = LinesBytes(lines);
  if (!bytes) return false;
  std::lock_guard lock(WriteMutex());
  return ReplaceFileAtomically(file, *bytes);
}

}  // namespace mirelo::ini
