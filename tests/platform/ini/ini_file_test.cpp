// The INI component: Windows private-profile behaviour, CP932 and the UTF-8 fallback, atomic
// writes, huge and malformed files.

#include "platform/ini/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <random>

#include "support/temp_dir.h"

namespace mirelo::ini {
namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> FolderEntries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class IniFileTest : public ::testing::Test {
 protected:
  void TearDown() override { SetWriteHookForTesting({}); }
  test::TempDir dir_;
  fs::path file_ = dir_ / "t.ini";
};

// ---- Reading -----------------------------------------------------------------------------------

struct ReadCase {
  const char* name;
  const char* content;
  const char* section;
  const char* key;
  std::optional<std::string> expected;
};

class IniReadTest : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, ReadsAsWindowsDoes) {
  const ReadCase& c = GetParam();
  WriteBytes(file_, c.content);
  EXPECT_EQ(ReadValue(file_, c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Profile, IniReadTest,
    ::testing::Values(
        ReadCase{"plain", "[A]\r\nk=v\r\n", "A", "k", "v"},
        ReadCase{"missing_key", "[A]\r\nk=v\r\n", "A", "x", std::nullopt},
        ReadCase{"missing_section", "[A]\r\nk=v\r\n", "B", "k", std::nullopt},
        ReadCase{"key_of_other_section", "[A]\r\nk=v\r\n[B]\r\nj=w\r\n", "A", "j", std::nullopt},
        ReadCase{"section_case", "[Location]\r\nTop=5\r\n", "LOCATION", "Top", "5"},
        ReadCase{"key_case", "[Location]\r\nTop=5\r\n", "location", "TOP", "5"},
        ReadCase{"blanks_around", "  [ A ]  \r\n \t k \t=  v w \t\r\n", "A", "k", "v w"},
        ReadCase{"empty_value", "[A]\r\nk=\r\n", "A", "k", ""},
        ReadCase{"value_with_equals", "[A]\r\nk=a=b\r\n", "A", "k", "a=b"},
        ReadCase{"comment_line", "[A]\r\n;k=1\r\n", "A", "k", std::nullopt},
        ReadCase{"indented_comment", "[A]\r\n  ;k=1\r\nk=2\r\n", "A", "k", "2"},
        ReadCase{"comment_header_not_a_section", ";[B]\r\n[A]\r\nk=1\r\n", "B", "k", std::nullopt},
        ReadCase{"lf_only", "[A]\nk=v\n", "A", "k", "v"},
        ReadCase{"no_final_line_end", "[A]\r\nk=v", "A", "k", "v"},
        ReadCase{"first_duplicate_key", "[A]\r\nk=1\r\nk=2\r\n", "A", "k", "1"},
        ReadCase{"first_duplicate_section", "[A]\r\nk=1\r\n[A]\r\nk=2\r\n", "A", "k", "1"},
        ReadCase{"header_with_trailing_text", "[A] x\r\nk=1\r\n", "A", "k", "1"},
        ReadCase{"header_without_bracket", "[A\r\nk=1\r\n", "A", "k", "1"},
        ReadCase{"line_without_equals", "[A]\r\nk\r\n", "A", "k", std::nullopt},
        ReadCase{"key_before_any_section", "k=1\r\n[A]\r\n", "A", "k", std::nullopt},
        ReadCase{"cp932_names", "[\x83\x65\x83\x58\x83\x67]\r\n\x95\x5c=\x83\x5c\x81\x5d\r\n", "テスト", "表",
                 "ソ‐"},
        ReadCase{"cp932_bracket_trail_byte", "[\x83\x54\x81\x5d]\r\nk=1\r\n", "サ‐", "k", "1"},
        ReadCase{"utf8_bom", "\xEF\xBB\xBF[テスト]\r\n表=é\r\n", "テスト", "表", "é"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, LongValuesAreReadWhole) {
  const std::string value = std::string(300, 'v') + "表";
  WriteBytes(file_, "[A]\r\nk=" + *EncodeCp932(value) + "\r\n");
  EXPECT_EQ(ReadValue(file_, "A", "k"), value);
}

TEST_F(IniFileTest, MissingFileReadsNothing) {
  EXPECT_EQ(ReadValue(dir_ / "none.ini", "A", "k"), std::nullopt);
  EXPECT_EQ(ReadValue(dir_.path(), "A", "k"), std::nullopt);  // a folder
  EXPECT_FALSE(fs::exists(dir_ / "none.ini"));
}

TEST_F(IniFileTest, NothingIsCached) {
  WriteBytes(file_, "[A]\r\nk=1\r\n");
  EXPECT_EQ(ReadValue(file_, "A", "k"), "1");
  WriteBytes(file_, "[A]\r\nk=2\r\n");
  EXPECT_EQ(ReadValue(file_, "A", "k"), "2");
  ASSERT_TRUE(WriteValue(file_, "A", "j", "3"));
  EXPECT_EQ(ReadBytes(file_), "[A]\r\nk=2\r\nj=3\r\n");
}

// ---- Writing -----------------------------------------------------------------------------------

struct WriteCase {
  const char* name;
  const char* before;
  const char* section;
  const char* key;
  const char* value;  // nullptr: remove the key; key nullptr too: remove the section
  const char* after;
};

class IniWriteTest : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyWhatTheWriteConcerns) {
  const WriteCase& c = GetParam();
  if (c.before) WriteBytes(file_, c.before);
  bool ok = false;
  if (!c.key)
    ok = RemoveSection(file_, c.section);
  else if (!c.value)
    ok = RemoveKey(file_, c.section, c.key);
  else
    ok = WriteValue(file_, c.section, c.key, c.value);
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadBytes(file_), c.after);
}

constexpr const char* kMessy =
    ";ミレロ\r\n"
    "\r\n"
    "[A]\r\n"
    "  k1 = one  \r\n"
    "; note\r\n"
    "k2=two\n"
    "\r\n"
    "; about B\r\n"
    "[B]\r\n"
    "x=1\r\n";
constexpr const char* kMessyCrLf = ";ミレロ\r\n\r\n[A]\r\n  k1 = one  \r\n; note\r\nk2=two\r\n\r\n; about B\r\n[B]\r\nx=1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Profile, IniWriteTest,
    ::testing::Values(
        WriteCase{"new_file", nullptr, "A", "k", "v", "[A]\r\nk=v\r\n"},
        WriteCase{"replace_in_place", kMessy, "a", "K1", "uno",
                  ";ミレロ\r\n\r\n[A]\r\nk1=uno\r\n; note\r\nk2=two\r\n\r\n; about B\r\n[B]\r\nx=1\r\n"},
        WriteCase{"replace_ends_every_line_with_cr_lf", kMessy, "A", "k2", "zwei",
                  ";ミレロ\r\n\r\n[A]\r\n  k1 = one  \r\n; note\r\nk2=zwei\r\n\r\n; about B\r\n[B]\r\nx=1\r\n"},
        WriteCase{"new_key_after_last_key", kMessy, "A", "k3", "three",
                  ";ミレロ\r\n\r\n[A]\r\n  k1 = one  \r\n; note\r\nk2=two\r\nk3=three\r\n\r\n; about "
                  "B\r\n[B]\r\nx=1\r\n"},
        WriteCase{"new_key_in_empty_section", "[A]\r\n\r\n[B]\r\n", "A", "k", "v",
                  "[A]\r\nk=v\r\n\r\n[B]\r\n"},
        WriteCase{"new_key_in_last_section_without_line_end", "[A]\r\nk=v", "A", "j", "w",
                  "[A]\r\nk=v\r\nj=w\r\n"},
        WriteCase{"new_section_at_end", kMessy, "C", "y", "2",
                  ";ミレロ\r\n\r\n[A]\r\n  k1 = one  \r\n; note\r\nk2=two\r\n\r\n; about "
                  "B\r\n[B]\r\nx=1\r\n[C]\r\ny=2\r\n"},
        WriteCase{"new_section_after_missing_line_end", "[A]\r\nk=v", "B", "j", "w",
                  "[A]\r\nk=v\r\n[B]\r\nj=w\r\n"},
        WriteCase{"new_section_after_comments", ";ミレロ\r\n;本体用\r\n\r\n", "Program", "Version", "1.10",
                  ";ミレロ\r\n;本体用\r\n\r\n[Program]\r\nVersion=1.10\r\n"},
        WriteCase{"value_keeps_leading_blank", "[A]\r\nMode=1\r\n", "A", "Mode", " 0", "[A]\r\nMode= 0\r\n"},
        WriteCase{"empty_value", "[A]\r\n", "A", "Path", "", "[A]\r\nPath=\r\n"},
        WriteCase{"other_case_keeps_spelling", "[Location]\r\nTop=1\r\nLeft=2\r\n", "LOCATION", "TOP", "9",
                  "[Location]\r\nTop=9\r\nLeft=2\r\n"},
        WriteCase{"first_of_duplicate_sections", "[A]\r\nk=1\r\n[A]\r\nk=2\r\n", "A", "k", "3",
                  "[A]\r\nk=3\r\n[A]\r\nk=2\r\n"},
        WriteCase{"remove_key", kMessy, "A", "k1", nullptr,
                  ";ミレロ\r\n\r\n[A]\r\n; note\r\nk2=two\r\n\r\n; about B\r\n[B]\r\nx=1\r\n"},
        // A write that changes no value still gives a hand-edited file its CR LF line ends.
        WriteCase{"remove_missing_key", kMessy, "A", "zz", nullptr, kMessyCrLf},
        WriteCase{"same_value_into_lf_only_file", "[A]\nk=1\n", "A", "k", "1", "[A]\r\nk=1\r\n"},
        WriteCase{"remove_section", kMessy, "a", nullptr, nullptr, ";ミレロ\r\n\r\n[B]\r\nx=1\r\n"},
        WriteCase{"remove_last_section", kMessy, "B", nullptr, nullptr,
                  ";ミレロ\r\n\r\n[A]\r\n  k1 = one  \r\n; note\r\nk2=two\r\n\r\n; about B\r\n"},
        WriteCase{"remove_first_of_duplicate_sections", "[A]\r\nk=1\r\n[B]\r\n[A]\r\nk=2\r\n", "A", nullptr,
                  nullptr, "[B]\r\n[A]\r\nk=2\r\n"},
        WriteCase{"remove_missing_section", kMessy, "Z", nullptr, nullptr, kMessyCrLf},
        // A key twice in a section (hand-edited): the first copy is read, writes and removals
        // reach every copy in that section, never a later section of the same name.
        WriteCase{"replace_every_copy_of_a_key", "[A]\r\nk=1\r\nx=0\r\n K =2\n[A]\r\nk=9\r\n", "A", "k", "3",
                  "[A]\r\nk=3\r\nx=0\r\nK=3\r\n[A]\r\nk=9\r\n"},
        WriteCase{"remove_every_copy_of_a_key", "[A]\r\nk=1\r\nx=0\r\nK=2\r\n[B]\r\nk=5\r\n[A]\r\nk=9\r\n", "a",
                  "k", nullptr, "[A]\r\nx=0\r\n[B]\r\nk=5\r\n[A]\r\nk=9\r\n"},
        WriteCase{"copies_of_a_key_in_cp932_become_utf8", "[A]\r\nk=1\r\nk=2\r\n", "A", "k", "¥",
                  "\xEF\xBB\xBF[A]\r\nk=¥\r\nk=¥\r\n"},
        WriteCase{"unchanged_bom_file", "\xEF\xBB\xBF[A]\r\nk=é\r\n", "A", "j", "ü",
                  "\xEF\xBB\xBF[A]\r\nk=é\r\nj=ü\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, RefusesTextsThatWouldBreakTheFile) {
  WriteBytes(file_, "[A]\r\nk=v\r\n");
  EXPECT_FALSE(WriteValue(file_, "A", "k", "two\r\nlines"));
  EXPECT_FALSE(WriteValue(file_, "A", "k", std::string_view("nul\0", 4)));
  EXPECT_FALSE(WriteValue(file_, "A", "a=b", "v"));
  EXPECT_FALSE(WriteValue(file_, "A", "", "v"));
  EXPECT_FALSE(WriteValue(file_, "A", ";k", "v"));
  EXPECT_FALSE(WriteValue(file_, "A]", "k", "v"));
  EXPECT_FALSE(WriteValue(file_, "", "k", "v"));
  EXPECT_FALSE(WriteValue(file_, "A", "k", "\xFF"));  // not UTF-8
  EXPECT_EQ(ReadBytes(file_), "[A]\r\nk=v\r\n");
}

TEST_F(IniFileTest, JapaneseRoundTripInCp932) {
  const std::string value = "C:/写真/ソース‐表示]～①";
  ASSERT_TRUE(WriteValue(file_, "テスト‐", "表", value));
  ASSERT_TRUE(WriteValue(file_, "テスト‐", "ﾌｧｲﾙ", "半角ｶﾅ"));
  EXPECT_EQ(ReadValue(file_, "テスト‐", "表"), value);
  EXPECT_EQ(ReadValue(file_, "テスト‐", "ﾌｧｲﾙ"), "半角ｶﾅ");
  const std::string bytes = ReadBytes(file_);
  EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(bytes.substr(0, 9), "[\x83\x65\x83\x58\x83\x67\x81\x5d");
  EXPECT_NE(bytes.find("\x95\x5c="), std::string::npos);  // 表 with its backslash trail byte
  EXPECT_EQ(DecodeCp932(bytes.substr(1, 8)), "テスト‐");
}

TEST_F(IniFileTest, Utf8FallbackForTextCp932CannotHold) {
  WriteBytes(file_, ";ミレロ\r\n[テスト]\r\nk=表\r\n");
  WriteBytes(file_, *EncodeCp932(ReadBytes(file_)));
  ASSERT_TRUE(WriteValue(file_, "テスト", "name", "Zoë 한국 😀"));
  const std::string bytes = ReadBytes(file_);
  EXPECT_EQ(bytes, "\xEF\xBB\xBF;ミレロ\r\n[テスト]\r\nk=表\r\nname=Zoë 한국 😀\r\n");
  EXPECT_EQ(ReadValue(file_, "テスト", "k"), "表");
  EXPECT_EQ(ReadValue(file_, "テスト", "name"), "Zoë 한국 😀");
  // The file stays UTF-8: later CP932-able writes do not convert it back.
  ASSERT_TRUE(WriteValue(file_, "テスト", "name", "表"));
  EXPECT_EQ(ReadBytes(file_).substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(ReadValue(file_, "テスト", "name"), "表");
  // So does a value CP932 would change: the text reads back exactly.
  const fs::path yen = dir_ / "y.ini";
  for (const char* value : {"/home/u/¥data", "〜thumb"}) {
    ASSERT_TRUE(WriteValue(yen, "A", "k", value));
    EXPECT_EQ(ReadValue(yen, "A", "k"), value);
  }
  EXPECT_EQ(ReadBytes(yen).substr(0, 3), "\xEF\xBB\xBF");
  // A section name CP932 cannot hold switches too.
  const fs::path other = dir_ / "o.ini";
  ASSERT_TRUE(WriteValue(other, "é", "k", "v"));
  EXPECT_EQ(ReadBytes(other), "\xEF\xBB\xBF[é]\r\nk=v\r\n");
}

TEST_F(IniFileTest, ConversionHelpers) {
  EXPECT_EQ(EncodeCp932("ミレロ"), "\x83\x7e\x83\x8c\x83\x8d");
  EXPECT_EQ(EncodeCp932("é"), std::nullopt);
  // Characters iconv maps one way only would come back as other characters.
  for (const char* oneWay : {"¥", "‾", "〜", "−", "‖", "¢", "£", "¬", "—"})
    EXPECT_EQ(EncodeCp932(oneWay), std::nullopt) << oneWay;
  EXPECT_EQ(EncodeCp932("～－∥①"), "\x81\x60\x81\x7c\x81\x61\x87\x40");
  EXPECT_EQ(EncodeCp932Lossy("aé表😀b"), "a?\x95\x5c?b");
  EXPECT_EQ(DecodeCp932("\x83\x7e"), "ミ");
  EXPECT_EQ(DecodeCp932("\x83"), std::nullopt);  // a lead byte alone
  EXPECT_TRUE(NamesEqual(" Location ", "LOCATION"));
  EXPECT_FALSE(NamesEqual("Loc", "Location"));
  EXPECT_FALSE(NamesEqual("ｱ", "ア"));
}

// ---- Atomic replacement ------------------------------------------------------------------------

constexpr const char* kOld = ";old\r\n[A]\r\nk=old value\r\n[B]\r\nx=1\r\n";

TEST_F(IniFileTest, FailedWriteHalfWayLeavesOldFileAndNoTemporary) {
  WriteBytes(file_, kOld);
  SetWriteHookForTesting([](int fd, std::string_view bytes) {
    const auto half = bytes.substr(0, bytes.size() / 2);
    EXPECT_EQ(::write(fd, half.data(), half.size()), static_cast<ssize_t>(half.size()));
    return false;  // the disk is full, say
  });
  EXPECT_FALSE(WriteValue(file_, "A", "k", "new value"));
  EXPECT_FALSE(RemoveSection(file_, "B"));
  EXPECT_EQ(ReadBytes(file_), kOld);
  EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"t.ini"});
}

TEST_F(IniFileTest, CrashHalfWayLeavesOldFile) {
  WriteBytes(file_, kOld);
  // A child process dies in the middle of writing the new content.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    SetWriteHookForTesting([](int fd, std::string_view bytes) {
      const auto half = bytes.substr(0, bytes.size() / 2);
      if (::write(fd, half.data(), half.size()) < 0) _exit(4);
      _exit(3);
      return true;
    });
    WriteValue(file_, "A", "k", "new value");
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 3);
  EXPECT_EQ(ReadBytes(file_), kOld);
  EXPECT_EQ(ReadValue(file_, "A", "k"), "old value");
  // The dead process's temporary file had no name yet: nothing is left. The next write works.
  EXPECT_EQ(FolderEntries(dir_.path()), std::vector<std::string>{"t.ini"});
  ASSERT_TRUE(WriteValue(file_, "A", "k", "new value"));
  EXPECT_EQ(ReadValue(file_, "A", "k"), "new value");
}

TEST_F(IniFileTest, KeepsPermissionsAndSymbolicLinks) {
  WriteBytes(file_, kOld);
  ASSERT_EQ(::chmod(file_.c_str(), 0640), 0);
  const fs::path link = dir_ / "link.ini";
  fs::create_symlink(file_.filename(), link);
  ASSERT_TRUE(WriteValue(link, "A", "k", "via link"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadValue(file_, "A", "k"), "via link");
  struct stat st {};
  ASSERT_EQ(::stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(IniFileTest, UnreadableFileIsNeverReplaced) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  WriteBytes(file_, kOld);
  ASSERT_EQ(::chmod(file_.c_str(), 0200), 0);
  EXPECT_FALSE(WriteValue(file_, "A", "k", "x"));
  ASSERT_EQ(::chmod(file_.c_str(), 0600), 0);
  EXPECT_EQ(ReadBytes(file_), kOld);
}

TEST_F(IniFileTest, FolderInPlaceOfTheFileIsAFailure) {
  fs::create_directory(file_);
  EXPECT_FALSE(WriteValue(file_, "A", "k", "x"));
  EXPECT_TRUE(fs::is_directory(file_));
  EXPECT_FALSE(WriteValue(dir_ / "missing" / "t.ini", "A", "k", "x"));
  // Anything but an ordinary file (here a pipe) is neither read nor replaced, even as root.
  const fs::path pipe = dir_ / "pipe.ini";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(WriteValue(pipe, "A", "k", "x"));
  EXPECT_FALSE(RemoveSection(pipe, "A"));
  EXPECT_EQ(ReadValue(pipe, "A", "k"), std::nullopt);
  EXPECT_FALSE(WriteLines(pipe, {"x"}));
  EXPECT_FALSE(ReplaceFileAtomically(pipe, "x"));
  EXPECT_TRUE(fs::is_fifo(pipe));
  const fs::path link = dir_ / "pipe-link.ini";
  fs::create_symlink(pipe.filename(), link);
  EXPECT_FALSE(ReplaceFileAtomically(link, "x"));
  EXPECT_TRUE(fs::is_fifo(pipe));
}

// ---- Huge and malformed files ------------------------------------------------------------------

TEST_F(IniFileTest, HugeFile) {
  std::string bytes = ";big\r\n";
  for (int i = 0; i < 50000; ++i) bytes += "[S" + std::to_string(i) + "]\r\nk=" + std::to_string(i) + "\r\n";
  const std::string longValue(1 << 20, 'x');
  bytes += "[Long]\r\nv=" + longValue + "\r\n";
  WriteBytes(file_, bytes);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadValue(file_, "S49999", "k"), "49999");
  EXPECT_EQ(ReadValue(file_, "Long", "v"), longValue);
  ASSERT_TRUE(WriteValue(file_, "S5", "k", "five"));
  EXPECT_EQ(ReadValue(file_, "S5", "k"), "five");
  EXPECT_EQ(ReadBytes(file_).size(), bytes.size() + 3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST(IniDocumentTest, AnyBytesRoundTripUnchanged) {
  std::mt19937 random(20261207);
  const std::string alphabet =
      std::string("[]=; \t\r\nab\x81\x5d\x83\xEF\xBB\xBF\xFF", 20) + std::string(1, '\0');
  for (int round = 0; round < 2000; ++round) {
    std::string bytes;
    const int length = static_cast<int>(random() % 200);
    for (int i = 0; i < length; ++i) bytes += alphabet[random() % alphabet.size()];
    if (round % 3 == 0) bytes = "\xEF\xBB\xBF" + bytes;
    Document doc = Document::Parse(bytes);
    ASSERT_EQ(doc.Serialize(), bytes) << "round " << round;
    (void)doc.Get("a", "b");
    (void)doc.SectionNames();
    // A write to a malformed document still reads back and keeps the file parseable.
    if (doc.Set("a", "b", "value")) {
      const Document again = Document::Parse(doc.Serialize());
      EXPECT_EQ(again.Get("a", "b"), "value") << "round " << round;
    }
    // Removed is gone, whatever copies of the key the bytes held.
    doc.RemoveKey("a", "b");
    EXPECT_EQ(Document::Parse(doc.Serialize()).Get("a", "b"), std::nullopt) << "round " << round;
  }
}

TEST(IniDocumentTest, RemovedKeyDoesNotShowThroughADuplicate) {
  // The fuzzer's find: a section whose name holds a NUL (so nothing can be written to it) and
  // the key twice, the second copy in a text CP932 cannot decode.
  const std::string bytes("\xEF\xBB\xBF[\0\xFF\xFD\r\n\xFF" "1\nk=3\nk=\xC3\xA9\n2\n", 23);
  Document doc = Document::Parse(bytes);
  ASSERT_EQ(doc.SectionNames().size(), 1u);
  const std::string section = doc.SectionNames().front();
  EXPECT_EQ(doc.Get(section, "k"), "3");
  EXPECT_FALSE(doc.Set(section, "k", "x"));
  EXPECT_TRUE(doc.RemoveKey(section, "k"));
  EXPECT_EQ(Document::Parse(doc.Serialize()).Get(section, "k"), std::nullopt);
  EXPECT_EQ(doc.Serialize(), std::string("\xEF\xBB\xBF[\0\xFF\xFD\r\n\xFF" "1\n2\n", 14));
}

TEST_F(IniFileTest, MalformedFiles) {
  // Invalid CP932, NUL bytes, stray CR, a header without name: parsing goes on line by line.
  WriteBytes(file_, std::string("\x83\r\n[]\r\n[A]\r\nbad\x00line\r\nk=\x83 v\rx\r\n[B\r\nj=1\r\n", 41));
  EXPECT_EQ(ReadValue(file_, "B", "j"), "1");
  EXPECT_EQ(ReadValue(file_, "A", "k"), "\xEF\xBF\xBD v\rx");
  ASSERT_TRUE(WriteValue(file_, "B", "j", "2"));
  EXPECT_EQ(ReadBytes(file_),
            std::string("\x83\r\n[]\r\n[A]\r\nbad\x00line\r\nk=\x83 v\rx\r\n[B\r\nj=2\r\n", 41));
}

TEST_F(IniFileTest, LinesHelpers) {
  ASSERT_TRUE(WriteLines(file_, {";ミレロ", ";サイズ用", ""}));
  EXPECT_EQ(ReadBytes(file_), ";\x83\x7e\x83\x8c\x83\x8d\r\n;\x83\x54\x83\x43\x83\x59\x97\x70\r\n\r\n");
  EXPECT_EQ(ReadLines(file_), (std::vector<std::string>{";ミレロ", ";サイズ用", ""}));
  EXPECT_EQ(ReadLines(dir_ / "none"), std::nullopt);
  EXPECT_EQ(Document::Parse("[a]\r\n[b]x\r\n;[c]\r\n").SectionNames(), (std::vector<std::string>{"a", "b"}));
}

}  // namespace
}  // namespace mirelo::ini
