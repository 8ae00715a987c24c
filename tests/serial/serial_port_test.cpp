// The serial port over real pseudo-terminals: what the far side sees and what the owner is told.
#include "link/serial_port.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "link/journal.h"
#include "link/owner_queue.h"
#include "pty_pair.h"

namespace corvella::link {
namespace {

using test::PortRecorder;
using test::PtyPair;

constexpr int kWaitMs = 5000;

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(pty.Ok()); }

  bool OpenDefault(SerialPort& target, int portNumber = 1) {
    return target.Open(&recorder, portNumber, kBaud, kParity, kDataBits, kStopBits, kEventMask,
                       kWriteBufferSize);
  }
  bool RunUntil(const std::function<bool()>& done) { return queue.RunUntil(done, kWaitMs); }

  PtyPair pty;
  OwnerQueue queue;
  PortRecorder recorder;
  SerialPort port{queue, PortTable({pty.SlavePath()})};
};

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

// Whether another user could open `path` now: root ignores the exclusive flag, so the check runs
// as nobody in a child process.
bool OpenableByOthers(const std::string& path) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ::_exit(fd >= 0 ? 0 : 1);
  }
  int status = 0;
  return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

TEST(LineDefinitionTest, BuildsAndReadsTheDefinitionString) {
  EXPECT_EQ(LineDefinition(9600, 'N', 8, 2), "baud=9600 parity=N data=8 stop=2");
  const auto settings = ParseLineDefinition("baud=19200 parity=e data=7 stop=1");
  ASSERT_TRUE(settings);
  EXPECT_EQ(settings->baud, 19200);
  EXPECT_EQ(settings->parity, 'E');
  EXPECT_EQ(settings->dataBits, 7);
  EXPECT_EQ(settings->stopBits, 1);
  for (const char* bad : {"baud=9600 parity=X data=8 stop=2", "baud=9600 parity=N data=9 stop=2",
                          "baud=9600 parity=N data=4 stop=1", "baud=9600 parity=N data=8 stop=3",
                          "baud=-1 parity=N data=8 stop=1", "baud=9600 parity=N data=8",
                          "baud=9600 parity=N data=8 stop=2 extra", ""}) {
    EXPECT_FALSE(ParseLineDefinition(bad)) << bad;
  }
}

TEST_F(SerialPortTest, TheFarSideSeesTheUnitsLineSettingsInRawMode) {
  ASSERT_TRUE(OpenDefault(port));
  termios tio{};
  ASSERT_EQ(::tcgetattr(pty.Slave(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), B9600);
  EXPECT_EQ(cfgetispeed(&tio), B9600);
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(tio.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(tio.c_cflag & PARENB, 0u);
  EXPECT_NE(tio.c_cflag & CREAD, 0u);
  EXPECT_NE(tio.c_cflag & CLOCAL, 0u);
  EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  EXPECT_EQ(tio.c_iflag & (ICRNL | IXON | ISTRIP), 0u);

  // Other definitions map as asked (a pseudo-terminal forces CS8 and drops PARENB, so the word size
  // and parity enable cannot be seen here; the odd-parity bit can).
  ASSERT_TRUE(port.Open(&recorder, 1, 19200, 'O', 7, 1, kEventMask, kWriteBufferSize));
  ASSERT_EQ(::tcgetattr(pty.Slave(), &tio), 0);
  EXPECT_EQ(cfgetospeed(&tio), B19200);
  EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
  EXPECT_NE(tio.c_cflag & PARODD, 0u);
  EXPECT_TRUE(recorder.failures.empty());

  // A definition the line cannot take still opens the port, and says why in the box.
  ASSERT_TRUE(port.Open(&recorder, 1, 12345, 'N', 8, 2, kEventMask, kWriteBufferSize));
  EXPECT_TRUE(port.IsOpen());
  ASSERT_TRUE(RunUntil([&] { return !recorder.failures.empty(); }));
  EXPECT_EQ(
      recorder.failures[0].rfind("WARNING:  BuildCommDCB() Failed with the following error: \n", 0),
      0u);
  EXPECT_EQ(recorder.failures[0].substr(recorder.failures[0].size() - 9), "\nPort: 1\n");
  EXPECT_EQ(recorder.failures.size(), 1u);
}

TEST_F(SerialPortTest, ThePortIsExclusiveWhileOpenAndFreeAgainAfterClose) {
  // The far side keeps the device open throughout, as a virtual unit does.
  ASSERT_EQ(::fchmod(pty.Slave(), 0666), 0);
  ASSERT_TRUE(OpenableByOthers(pty.SlavePath()));
  ASSERT_TRUE(OpenDefault(port));
  EXPECT_FALSE(OpenableByOthers(pty.SlavePath()));
  port.Close();
  EXPECT_TRUE(OpenableByOthers(pty.SlavePath()));
  ASSERT_TRUE(OpenDefault(port));
  ASSERT_TRUE(port.StartMonitoring());
  EXPECT_FALSE(OpenableByOthers(pty.SlavePath()));
  EXPECT_FALSE(OpenDefault(port, 2));  // reopening elsewhere frees it too
  EXPECT_TRUE(OpenableByOthers(pty.SlavePath()));
}

TEST_F(SerialPortTest, ABurstReachesTheOwnerByteByByteInOrder) {
  ASSERT_TRUE(OpenDefault(port));
  ASSERT_TRUE(port.StartMonitoring());
  std::string burst;
  for (int i = 0; i < 4000; ++i) burst.push_back(static_cast<char>(i % 256));
  ASSERT_TRUE(pty.Send(burst));
  ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() >= burst.size(); }));
  EXPECT_EQ(recorder.bytes, burst);
  EXPECT_EQ(recorder.ports, std::vector<int>(burst.size(), 1));
  EXPECT_FALSE(recorder.offThread);
  EXPECT_TRUE(recorder.failures.empty());
}

TEST_F(SerialPortTest, FramesQueuedWhileTheLineIsBusyLeaveWholeInOrderAndStaleInputIsDropped) {
  ASSERT_TRUE(OpenDefault(port));
  ASSERT_TRUE(port.StartMonitoring());
  // Far more than any pseudo-terminal buffers (about 70 KiB on Linux), so while the far side reads
  // nothing the worker is stuck in the middle of the queue.
  std::string expected;
  for (std::size_t i = 0; i < 2000; ++i) {
    const std::string frame = "(" + std::string(400 + i % 100, static_cast<char>('A' + i % 26)) + ")";
    ASSERT_TRUE(port.WriteToPort(frame));
    expected += frame;
  }
  // An answer that arrives while frames are still owed is stale: the next frame to go out drops it.
  // To be sure a next frame follows the answer, it is sent once the worker has filled the terminal
  // and stands waiting for room, and the far side reads nothing until the answer sits in the port's
  // input (past the terminal's own hand-over queue, which a flush does not reach).
  auto waitingAt = [](int fd) {
    int count = 0;
    return ::ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
  };
  int filled = -1;
  for (int tries = 0, still = 0; tries < 2000 && still < 30; ++tries) {
    const int now = waitingAt(pty.Master());
    still = (now == filled && now > 0) ? still + 1 : 0;
    filled = now;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string stale = "(01$stale)";
  ASSERT_TRUE(pty.Send(stale));
  for (int tries = 0; tries < 2000 && waitingAt(pty.Slave()) < static_cast<int>(stale.size()); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const std::string received = pty.Receive(expected.size());
  EXPECT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected) << "frames torn or out of order";

  ASSERT_TRUE(pty.Send("(01X)"));
  ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() >= 5; }));
  EXPECT_EQ(recorder.bytes, "(01X)");
  EXPECT_TRUE(recorder.failures.empty());
}

TEST_F(SerialPortTest, AnOverlongFrameIsRefusedAndReported) {
  ASSERT_TRUE(OpenDefault(port));
  ASSERT_TRUE(port.StartMonitoring());
  EXPECT_FALSE(port.WriteToPort(std::string(512, 'x')));
  const std::string longest = "(" + std::string(509, '7') + ")";
  EXPECT_TRUE(port.WriteToPort(longest));
  EXPECT_EQ(pty.Receive(longest.size()), longest);  // nothing of the refused one went out
  ASSERT_TRUE(RunUntil([&] { return !recorder.failures.empty(); }));
  EXPECT_EQ(
      recorder.failures[0].rfind("WARNING:  WriteToPort() Failed with the following error: \n", 0),
      0u);

  // The limit follows the buffer size given to Open.
  ASSERT_TRUE(port.Open(&recorder, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask, 8));
  ASSERT_TRUE(port.StartMonitoring());
  EXPECT_FALSE(port.WriteToPort("(01X000)"));
  EXPECT_TRUE(port.WriteToPort("(01X00)"));
  EXPECT_EQ(pty.Receive(7), "(01X00)");

  // A closed port takes nothing and reports nothing.
  port.Close();
  EXPECT_FALSE(port.WriteToPort("(01X)"));
  queue.RunFor(50);
  EXPECT_EQ(recorder.failures.size(), 2u);
}

TEST_F(SerialPortTest, ANumberOutsideTheTableOrAMissingDeviceDoesNotOpenSilently) {
  SerialPort missing(queue, PortTable({pty.SlavePath(), "/dev/corvella-no-such-port"}));
  for (const int number : {0, -1, 3, 206}) {
    EXPECT_FALSE(OpenDefault(missing, number)) << number;
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(missing.StartMonitoring());
    EXPECT_FALSE(missing.IsMonitoring());
  }
  EXPECT_FALSE(OpenDefault(missing, 2));

  // Reopening on a missing number closes the port that was open.
  ASSERT_TRUE(OpenDefault(missing, 1));
  ASSERT_TRUE(missing.StartMonitoring());
  EXPECT_FALSE(OpenDefault(missing, 206));
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_FALSE(missing.IsMonitoring());
  queue.RunFor(50);
  EXPECT_TRUE(recorder.failures.empty());
  EXPECT_EQ(recorder.lost, 0);
}

TEST_F(SerialPortTest, ClosingWhileBytesStreamInNeitherDeadlocksNorDeliversLateBytes) {
  std::atomic<bool> streaming{true};
  std::thread unit([&] {
    while (streaming.load()) {
      pollfd fd{pty.Master(), POLLOUT, 0};
      if (::poll(&fd, 1, 10) == 1) {
        [[maybe_unused]] const ssize_t put = ::write(pty.Master(), "(01$042)", 8);
      }
    }
  });
  const int descriptors = OpenDescriptors();
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(OpenDefault(port));
    ASSERT_TRUE(port.StartMonitoring());
    const std::size_t before = recorder.bytes.size();
    ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() > before + 16; }));
    if (round % 2 == 0) {
      port.Close();
    } else {
      ASSERT_TRUE(OpenDefault(port));  // reopening stops the old worker the same way
      port.Close();
    }
    const std::size_t atClose = recorder.bytes.size();
    queue.RunPending();
    EXPECT_EQ(recorder.bytes.size(), atClose) << "bytes of a closed port reached the owner";
    EXPECT_FALSE(port.IsMonitoring());
  }
  {
    SerialPort dying(queue, PortTable({pty.SlavePath()}));
    ASSERT_TRUE(OpenDefault(dying));
    ASSERT_TRUE(dying.StartMonitoring());
  }  // destruction while streaming
  streaming = false;
  unit.join();
  queue.RunPending();
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_TRUE(recorder.failures.empty());
  EXPECT_EQ(recorder.lost, 0);
}

TEST_F(SerialPortTest, ThePeerGoingAwayIsReportedOnceAndLeavesThePortClosed) {
  ASSERT_TRUE(OpenDefault(port));
  ASSERT_TRUE(port.StartMonitoring());
  ASSERT_TRUE(pty.Send("(01"));
  ASSERT_TRUE(RunUntil([&] { return recorder.bytes == "(01"; }));
  pty.CloseMaster();
  ASSERT_TRUE(RunUntil([&] { return recorder.lost > 0 && !port.IsMonitoring(); }));
  queue.RunFor(100);
  EXPECT_EQ(recorder.lost, 1);
  EXPECT_TRUE(recorder.failures.empty());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.WriteToPort("(01X)"));
  EXPECT_FALSE(port.StartMonitoring());
  EXPECT_EQ(recorder.ports, (std::vector<int>{1, 1, 1, 1}));
  port.Close();  // the owner's usual reaction; harmless on a lost port
  queue.RunFor(20);
  EXPECT_EQ(recorder.lost, 1);
}

TEST_F(SerialPortTest, TheJournalRecordsWhatWentOutAndWhatCameBack) {
  char path[] = "/tmp/corvella-journal-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  Journal journal;
  ASSERT_TRUE(journal.Open(path));
  SerialPort logged(queue, PortTable({pty.SlavePath()}), &journal);
  ASSERT_TRUE(OpenDefault(logged));
  ASSERT_TRUE(logged.StartMonitoring());
  ASSERT_TRUE(logged.WriteToPort("(01X)"));
  ASSERT_EQ(pty.Receive(5), "(01X)");
  ASSERT_TRUE(pty.Send("(01XName)"));
  ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() == 9; }));
  logged.Close();
  journal.Close();

  std::ifstream in(path);
  std::string first;
  std::string second;
  std::string third;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_FALSE(std::getline(in, third));
  EXPECT_EQ(first.substr(23), " COM1 TX (01X)");
  EXPECT_EQ(second.substr(23), " COM1 RX (01XName)");
  ::unlink(path);
}

}  // namespace
}  // namespace corvella::link
