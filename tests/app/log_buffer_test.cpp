// The error log buffer.

#include "app/log_buffer.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "app/test_files.h"
#include "support/temp_dir.h"

namespace mirelo::app {
namespace {

using testing::ReadBytes;

TEST(LogBufferTest, EachAppendAddsOneLine) {
  LogBuffer log;
  log.Append("x");
  log.Append("y");
  EXPECT_EQ(log.Text(), "x\r\ny\r\n");
  log.Append("a\r\nb");  // a message with CR LF adds more than one line
  EXPECT_EQ(log.Text(), "x\r\ny\r\na\r\nb\r\n");
  log.Clear();
  EXPECT_EQ(log.Text(), "");
}

TEST(LogBufferTest, SaveWritesCp932WithOneMoreLineEnd) {
  test::TempDir dir;
  LogBuffer log;
  log.Append("/w/a.jpg");
  log.Append("読み込めません é");
  ASSERT_TRUE(log.Save(dir / "log.txt"));
  EXPECT_EQ(ReadBytes(dir / "log.txt"),
            "/w/a.jpg\r\n\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1 ?\r\n\r\n");

  log.Clear();  // "クリア" then "ログの保存": a single CR LF, replacing the file
  ASSERT_TRUE(log.Save(dir / "log.txt"));
  EXPECT_EQ(ReadBytes(dir / "log.txt"), "\r\n");
  EXPECT_FALSE(log.Save(dir / "missing" / "log.txt"));

  // A device or pipe given as the file (mirelo-batch --log /dev/stderr) is written into, never
  // replaced by an ordinary file.
  log.Append("x");
  const auto pipe = dir / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::string received;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    received = ReadBytes(pipe);
    done = true;
  });
  EXPECT_TRUE(log.Save(pipe));
  while (!done) {  // releases the reader when nothing was written
    const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
    std::this_thread::yield();
  }
  reader.join();
  EXPECT_EQ(received, "x\r\n\r\n");
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
  EXPECT_TRUE(log.Save("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_FALSE(log.Save(dir.path()));  // a folder
}

TEST(LogBufferTest, NotifiesEveryChange) {
  LogBuffer log;
  std::vector<std::string> seen;
  log.SetChangeHandler([&] { seen.push_back(log.Text()); });  // may read the buffer
  log.Append("a");
  log.SetText("edited");
  log.Clear();
  EXPECT_EQ(seen, (std::vector<std::string>{"a\r\n", "edited", ""}));
  log.SetChangeHandler({});
  log.Append("b");
  EXPECT_EQ(seen.size(), 3u);
}

TEST(LogBufferTest, ParallelAppendsKeepWholeLines) {
  LogBuffer log;
  std::atomic<int> notified{0};
  log.SetChangeHandler([&] { ++notified; });
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&log, t] {
      for (int i = 0; i < 500; ++i) log.Append("thread " + std::to_string(t) + " line " + std::to_string(i));
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(notified.load(), 4000);
  const std::string text = log.Text();
  std::size_t lines = 0;
  for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
  EXPECT_EQ(lines, 4000u);
  for (int t = 0; t < 8; ++t)
    EXPECT_NE(text.find("thread " + std::to_string(t) + " line 499\r\n"), std::string::npos);
}

TEST(LogBufferTest, ChangesSinceGivesOnlyAppendsUntilTheTextIsReplaced) {
  LogBuffer log;
  LogBuffer::Change seen = log.ChangesSince(0, 0);
  EXPECT_FALSE(seen.appended);
  EXPECT_EQ(seen.text, "");
  log.Append("a");
  LogBuffer::Change next = log.ChangesSince(seen.generation, seen.size);
  EXPECT_TRUE(next.appended);
  EXPECT_EQ(next.text, "a\r\n");
  log.Append("b");
  EXPECT_EQ(log.ChangesSince(next.generation, next.size).text, "b\r\n");
  // A clear, or the user's edit, is a new text: the viewer gets all of it.
  const std::uint64_t edited = log.SetText("edited");
  LogBuffer::Change whole = log.ChangesSince(next.generation, next.size);
  EXPECT_FALSE(whole.appended);
  EXPECT_EQ(whole.text, "edited");
  EXPECT_EQ(whole.generation, edited);
  log.Clear();
  EXPECT_FALSE(log.ChangesSince(edited, 6).appended);
}

TEST(LogBufferTest, ProcessLogReceivesAppendLog) {
  ProcessLog().Clear();
  AppendLog("x");
  AppendLog("y");
  EXPECT_EQ(ProcessLog().Text(), "x\r\ny\r\n");
  ProcessLog().Clear();
}

}  // namespace
}  // namespace mirelo::app
