#pragma once

// Private-profile INI files with the behaviour of the Windows functions the program used
// (GetPrivateProfileStringA / WritePrivateProfileStringA), on Linux:
// - section and key names match without regard to (ASCII) case; blanks around names and values
//   are ignored; lines whose first non-blank character is ";" are comments;
// - a write replaces the value of an existing key in place, appends a new key after the last key
//   of its section, and appends a new section at the end of the file; a removal deletes a key or
//   a section with all its lines;
// - of a section name present twice the first section counts (read, written, removed); a key
//   present twice in that section is read from its first copy, and, unlike on Windows, a write
//   or a removal acts on every copy, so a removed setting never comes back from a duplicate
//   line of a hand-edited file;
// - lines end in CR LF (LF alone is read too); text is CP932, and a file that starts with a UTF-8
//   byte-order mark is UTF-8; a write whose text CP932 cannot hold converts the file to UTF-8
//   with a byte-order mark;
// - nothing is cached: every call reads the file; every write replaces it atomically (temporary
//   file in the same folder, fsync, rename); bytes a write does not concern stay as they were.
// All texts at this interface are UTF-8.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mirelo::ini {

enum class Encoding { Cp932, Utf8Bom };

// CP932 <-> UTF-8. Decode: nullopt when the bytes are not valid CP932.
std::optional<std::string> DecodeCp932(std::string_view bytes);
// Encode: nullopt when CP932 cannot hold the text exactly (or it is not valid UTF-8).
std::optional<std::string> EncodeCp932(std::string_view utf8);
// Encode with every character CP932 cannot hold replaced by "?".
std::string EncodeCp932Lossy(std::string_view utf8);

// Case-insensitive (ASCII) comparison of section or key names, after trimming blanks.
bool NamesEqual(std::string_view a, std::string_view b);

// The parsed image of one file. Keeps every line's bytes; changes touch only the lines they
// concern.
class Document {
 public:
  // Never fails: any byte sequence is a document.
  static Document Parse(std::string bytes);

  std::optional<std::string> Get(std::string_view section, std::string_view key) const;
  // False when the names or the value cannot be stored (a line break, NUL, "]" in a section
  // name, "=" in a key, an empty key or section name).
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  // True when the document changed.
  bool RemoveKey(std::string_view section, std::string_view key);
  bool RemoveSection(std::string_view section);

  // Section names in file order (first occurrence of each header line, duplicates kept).
  std::vector<std::string> SectionNames() const;
  // The lines decoded to UTF-8, without their line ends.
  std::vector<std::string> Lines() const;

  Encoding encoding() const { return encoding_; }
  std::string Serialize() const;
  // Every line that has a line end gets CR LF (the last line may have none).
  void EndLinesWithCrLf();

 private:
  struct Line {
    std::string raw;   // bytes without the line end (after the BOM for the first line)
    std::string eol;   // "\r\n", "\n", "\r" or "" (last line without an end)
    std::string text;  // raw decoded to UTF-8 (invalid bytes as U+FFFD) for parsing
  };
  struct Ref {
    std::size_t header = 0;  // index of the section's header line
    std::size_t end = 0;     // one past its last line
  };
  std::optional<Ref> FindSection(std::string_view section) const;
  std::optional<std::size_t> FindKey(const Ref& ref, std::string_view key) const;
  bool Reencode(Encoding to);
  std::optional<std::string> Encode(std::string_view text) const;
  void EnsureLastLineEnded();

  Encoding encoding_ = Encoding::Cp932;
  std::vector<Line> lines_;
};

// Test seam: how the new content reaches the temporary file. The default writes it all. A test
// may write part of it and then fail or end the process, to show that the old file survives.
// Returns false for a failed write.
using WriteHook = std::function<bool(int fd, std::string_view bytes)>;
void SetWriteHookForTesting(WriteHook hook);

// Reads a value; nullopt for a missing file, section or key.
std::optional<std::string> ReadValue(const std::filesystem::path& file, std::string_view section,
                                     std::string_view key);
// Writes a value, creating the file when missing. False when it could not be written.
bool WriteValue(const std::filesystem::path& file, std::string_view section, std::string_view key,
                std::string_view value);
// One value of several written together.
struct KeyValue {
  std::string section;
  std::string key;
  std::string value;
};
// Writes the values in their order with one replacement of the file (created when missing): the
// bytes of one WriteValue after the other, but no file ever holds only some of them.
bool WriteValues(const std::filesystem::path& file, const std::vector<KeyValue>& values);
// A new file: the lines (as WriteLines writes them), then the values (as WriteValues), put in
// place whole at once, so a crash at any moment leaves no file or the whole one. An existing
// file is replaced.
bool CreateFile(const std::filesystem::path& file, const std::vector<std::string>& lines,
                const std::vector<KeyValue>& values);

// Removes a key or a whole section. True when the file is as asked afterwards (nothing to remove
// counts as success, as on Windows).
bool RemoveKey(const std::filesystem::path& file, std::string_view section, std::string_view key);
bool RemoveSection(const std::filesystem::path& file, std::string_view section);

// The decoded lines of a text file (encoding by its byte-order mark); nullopt when it cannot be
// read.
std::optional<std::vector<std::string>> ReadLines(const std::filesystem::path& file);
// Creates or replaces a text file atomically with these lines, each ending in CR LF, in CP932
// (UTF-8 with a byte-order mark when CP932 cannot hold them).
bool WriteLines(const std::filesystem::path& file, const std::vector<std::string>& lines);

// Replaces a file atomically with bytes: temporary file in the same folder, fsync, rename, fsync
// of the folder. The old file (or none) stays when anything fails. Anything but an ordinary file
// in its place is left alone (false). The temporary file has no name while it is written where
// the file system allows, so a process killed meanwhile leaves nothing behind.
bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes);

}  // namespace mirelo::ini
