// The protocol journal's file: one line per frame, stamped, grouped, and safe for any byte.
#include "link/journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <thread>
#include <vector>

namespace corvella::link {
namespace {

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/corvella-journal-XXXXXX";
    const int fd = ::mkstemp(pattern);
    ASSERT_GE(fd, 0);
    ::close(fd);
    path = pattern;
  }
  void TearDown() override { ::unlink(path.c_str()); }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Drops the timestamp after checking its form.
  static std::string Body(const std::string& line) {
    static const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    EXPECT_TRUE(std::regex_search(line, stamp)) << line;
    return line.size() > 24 ? line.substr(24) : line;
  }

  void Receive(Journal& journal, int port, std::string_view bytes) {
    for (const char c : bytes) journal.LogReceived(port, static_cast<std::uint8_t>(c));
  }

  std::string path;
};

TEST_F(JournalTest, OneStampedLinePerFrameReceivedBytesGroupedUpToTheClosingBracket) {
  Journal journal;
  ASSERT_TRUE(journal.Open(path));
  journal.LogSent(1, "(01X)");
  Receive(journal, 1, "(01XUnit..........)");
  Receive(journal, 1, "junk");  // no ")" yet: goes out with the next frame on this port
  Receive(journal, 2, "(02");
  journal.LogSent(1, "(01I000)");
  Receive(journal, 2, "X)");
  journal.Flush();
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(Body(lines[0]), "COM1 TX (01X)");
  EXPECT_EQ(Body(lines[1]), "COM1 RX (01XUnit..........)");
  EXPECT_EQ(Body(lines[2]), "COM1 RX junk");
  EXPECT_EQ(Body(lines[3]), "COM1 TX (01I000)");
  EXPECT_EQ(Body(lines[4]), "COM2 RX (02X)");

  // Closing writes an unfinished frame as it stands.
  Receive(journal, 1, "(01$0");
  journal.Close();
  lines = Lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(Body(lines[5]), "COM1 RX (01$0");

  // Reopening appends; logging while closed is ignored.
  journal.LogSent(1, "(lost)");
  ASSERT_TRUE(journal.Open(path));
  journal.LogSent(3, "(03X)");
  journal.Close();
  lines = Lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(Body(lines[6]), "COM3 TX (03X)");
}

TEST_F(JournalTest, ControlAndHighBytesAreEscapedSoALineIsAlwaysOneFrame) {
  Journal journal;
  ASSERT_TRUE(journal.Open(path));
  Receive(journal, 1, std::string("(\n\r\\\x7f\xff\0)", 8));
  journal.Close();
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Body(lines[0]), R"(COM1 RX (\x0a\x0d\\\x7f\xff\x00))");
}

TEST_F(JournalTest, AFileThatCannotBeOpenedIsAClearErrorAndLogsNothing) {
  Journal journal;
  EXPECT_FALSE(journal.Open("/nonexistent-dir/journal.txt"));
  EXPECT_FALSE(journal.IsOpen());
  EXPECT_NE(journal.LastError().find("/nonexistent-dir/journal.txt"), std::string::npos);
  journal.LogSent(1, "(01X)");  // ignored, no crash
  journal.Flush();
}

TEST_F(JournalTest, ManyThreadsLogWithoutLosingOrTearingLines) {
  Journal journal;
  ASSERT_TRUE(journal.Open(path));
  std::vector<std::thread> writers;
  for (int port = 1; port <= 4; ++port) {
    writers.emplace_back([&journal, port] {
      for (int i = 0; i < 500; ++i) journal.LogSent(port, "(0" + std::to_string(port) + "X)");
    });
  }
  for (auto& writer : writers) writer.join();
  journal.Close();
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 2000u);
  int perPort[5] = {};
  for (const auto& line : lines) {
    const std::string body = Body(line);
    ASSERT_EQ(body.size(), 13u) << line;
    const int port = body[3] - '0';
    ASSERT_EQ(body, "COM" + std::to_string(port) + " TX (0" + std::to_string(port) + "X)");
    ++perPort[port];
  }
  EXPECT_EQ(perPort[1] + perPort[2] + perPort[3] + perPort[4], 2000);
  EXPECT_EQ(perPort[4], 500);
}

}  // namespace
}  // namespace corvella::link
