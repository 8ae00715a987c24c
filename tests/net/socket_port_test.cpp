// The serial port on a network address, over real loopback sockets with the test as the device
// server: the same promises as a device, and Telnet kept out of the owner's sight.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include "link/journal.h"
#include "link/owner_queue.h"
#include "link/serial_port.h"
#include "link/telnet_codec.h"
#include "net/loopback_server.h"
#include "serial/pty_pair.h"

namespace corvella::link {
namespace {

using test::LoopbackServer;
using test::PortRecorder;

constexpr int kWaitMs = 5000;

std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (const int v : values) out.push_back(static_cast<char>(v));
  return out;
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (::readdir(dir) != nullptr) ++count;
    ::closedir(dir);
  }
  return count;
}

// The confirmations a server that took every setting sends back.
const std::string kConfirmations =
    Bytes({255, 250, 44,  101, 0,   0,   0x25, 0x80, 255, 240, 255, 250, 44,
           102, 8,   255, 240, 255, 250, 44,   103,  1,   255, 240, 255, 250,
           44,  104, 2,   255, 240, 255, 250,  44,   105, 1,   255, 240});
const std::string kRequests =
    Bytes({255, 250, 44,  1,   0,   0,   0x25, 0x80, 255, 240, 255, 250, 44,
           2,   8,   255, 240, 255, 250, 44,   3,    1,   255, 240, 255, 250,
           44,  4,   2,   255, 240, 255, 250,  44,   5,   1,   255, 240});

class SocketPortTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Ok()); }

  bool OpenDefault(SerialPort& target, int portNumber = 1) {
    return target.Open(&recorder, portNumber, kBaud, kParity, kDataBits, kStopBits, kEventMask,
                       kWriteBufferSize);
  }
  bool RunUntil(const std::function<bool()>& done) { return queue.RunUntil(done, kWaitMs); }

  // Opens `port` on the server's rfc2217:// address while the server plays `script` on its side.
  bool OpenTelnet(SerialPort& target, const std::function<void()>& script, int portNumber = 1) {
    std::thread far([&] {
      if (server.Accept()) script();
    });
    const bool opened = OpenDefault(target, portNumber);
    far.join();
    return opened;
  }

  LoopbackServer server;
  OwnerQueue queue;
  PortRecorder recorder;
};

TEST_F(SocketPortTest, RawBytesReachTheOwnerInOrderAndFramesLeaveWholeAndUnchanged) {
  SerialPort port(queue, PortTable({"/dev/corvella-none", server.Url("tcp")}));
  ASSERT_TRUE(OpenDefault(port, 2));
  ASSERT_TRUE(server.Accept());
  EXPECT_TRUE(port.IsOpen());
  ASSERT_TRUE(port.StartMonitoring());

  std::string burst;
  for (int i = 0; i < 20000; ++i) burst.push_back(static_cast<char>(i % 256));
  ASSERT_TRUE(server.Send(burst));
  ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() >= burst.size(); }));
  EXPECT_EQ(recorder.bytes, burst);
  EXPECT_EQ(recorder.ports, std::vector<int>(burst.size(), 2));
  EXPECT_FALSE(recorder.offThread);

  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string frame =
        "(" +
        std::string(static_cast<std::size_t>(100 + i % 300), static_cast<char>('A' + i % 26)) +
        (i % 2 == 0 ? "\xff" : "") + ")";
    ASSERT_TRUE(port.WriteToPort(frame));
    expected += frame;
  }
  const std::string received = server.Receive(expected.size());
  EXPECT_EQ(received.size(), expected.size());
  EXPECT_TRUE(received == expected) << "frames torn, reordered or changed";
  EXPECT_TRUE(recorder.failures.empty());
}

TEST_F(SocketPortTest, InputFromBeforeMonitoringIsDroppedAndLaterInputKept) {
  // By name this time: the name goes through the system's resolver.
  const std::string byName = "tcp://localhost:" + std::to_string(server.Port());
  SerialPort port(queue, PortTable({byName}));
  ASSERT_TRUE(OpenDefault(port));
  ASSERT_TRUE(server.Accept());
  ASSERT_TRUE(server.Send("(01$stale)"));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(port.StartMonitoring());
  ASSERT_TRUE(server.Send("(01X)"));
  ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() >= 5; }));
  queue.RunFor(50);
  EXPECT_EQ(recorder.bytes, "(01X)");
}

TEST_F(SocketPortTest, AConnectionThatEndsIsOneLostPortWhetherClosedOrReset) {
  for (const bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "reset" : "closed");
    PortRecorder events;
    SerialPort port(queue, PortTable({server.Url("tcp")}));
    ASSERT_TRUE(
        port.Open(&events, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask, kWriteBufferSize));
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(port.StartMonitoring());
    ASSERT_TRUE(server.Send("(01"));
    ASSERT_TRUE(queue.RunUntil([&] { return events.bytes == "(01"; }, kWaitMs));
    server.Hangup(reset);
    ASSERT_TRUE(queue.RunUntil([&] { return events.lost > 0 && !port.IsMonitoring(); }, kWaitMs));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.WriteToPort("(01X)"));
    EXPECT_FALSE(port.StartMonitoring());
    port.Close();
    queue.RunFor(100);
    EXPECT_EQ(events.lost, 1);
    EXPECT_TRUE(events.failures.empty()) << "a dropped connection is no application error";
  }
}

TEST_F(SocketPortTest, AnAddressThatRefusesOrNeverAnswersDoesNotOpenAndDoesNotHang) {
  // Nothing listens any more where the server was.
  const std::string refused = server.Url("tcp");
  server.StopListening();
  // A listener whose queue is full lets connects go unanswered, as a host that is down does.
  LoopbackServer full(0);
  ASSERT_TRUE(full.Ok());
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(full.Listener(), reinterpret_cast<sockaddr*>(&address), &length);
    [[maybe_unused]] const int ignored =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const int descriptors = OpenDescriptors();

  SerialPort port(queue, PortTable({refused, full.Url("rfc2217")}));
  for (const int number : {1, 2}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(OpenDefault(port, number)) << number;
    // Not a speed figure: only that the attempt ends instead of waiting on the network.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << number;
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.StartMonitoring());
  }
  queue.RunFor(50);
  EXPECT_TRUE(recorder.failures.empty());
  EXPECT_EQ(recorder.lost, 0);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  for (const int fd : fillers) ::close(fd);
}

TEST_F(SocketPortTest, TelnetSetsTheLineAndKeepsEscapingAndNegotiationFromTheOwner) {
  SerialPort port(queue, PortTable({server.Url("rfc2217")}));
  std::string offer;
  std::string requests;
  ASSERT_TRUE(OpenTelnet(port, [&] {
    offer = server.Receive(3);
    // Agrees, and proposes echo, which the client must decline.
    server.Send(Bytes({255, 253, 44, 255, 251, 1}));
    requests = server.Receive(kRequests.size() + 3);
    server.Send(kConfirmations);
  }));
  EXPECT_EQ(offer, Bytes({255, 251, 44}));
  EXPECT_EQ(requests, Bytes({255, 254, 1}) + kRequests);
  ASSERT_TRUE(port.StartMonitoring());

  // 255 in the data arrives escaped and reaches the owner once; a notification in between is
  // Telnet's business only.
  ASSERT_TRUE(
      server.Send(Bytes({'(', 255, 255, 255, 250, 44, 107, 0x30, 255, 240, 255, 255, ')'})));
  ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() >= 4; }));
  queue.RunFor(50);
  EXPECT_EQ(recorder.bytes, Bytes({'(', 255, 255, ')'}));
  // A server proposing something mid-stream is answered right away.
  ASSERT_TRUE(server.Send(Bytes({255, 253, 24})));
  EXPECT_EQ(server.Receive(3), Bytes({255, 252, 24}));
  ASSERT_TRUE(port.WriteToPort(Bytes({'(', 255, ')'})));
  EXPECT_EQ(server.Receive(4), Bytes({'(', 255, 255, ')'}));
  EXPECT_TRUE(recorder.failures.empty());
}

TEST_F(SocketPortTest, ATelnetServerThatRefusesOrIgnoresTheLineSettingsIsReportedOnce) {
  struct Case {
    const char* name;
    std::string answer;   // the server's side after our offer
    std::string confirm;  // and after our requests, when it takes them
    std::string error;    // the system's text in the box
  };
  const std::vector<Case> cases = {
      {"refuses the option", Bytes({255, 254, 44}), "", "Protocol not supported"},
      {"keeps one stop bit", Bytes({255, 253, 44}),
       kConfirmations.substr(0, 24) + Bytes({255, 250, 44, 104, 1, 255, 240}), "Invalid argument"},
      {"says nothing", "", "", "Connection timed out"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PortRecorder events;
    SerialPort port(queue, PortTable({server.Url("rfc2217")}));
    std::thread far([&] {
      if (!server.Accept()) return;
      server.Receive(3);
      server.Send(c.answer);
      if (!c.confirm.empty()) {
        server.Receive(kRequests.size());
        server.Send(c.confirm);
      }
      if (c.answer.empty()) server.Receive(1, 2500);  // connected until the client gives up
    });
    EXPECT_TRUE(
        port.Open(&events, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask, kWriteBufferSize));
    far.join();
    EXPECT_TRUE(port.IsOpen()) << "the line is usable, only its settings are in doubt";
    ASSERT_TRUE(queue.RunUntil([&] { return !events.failures.empty(); }, kWaitMs));
    queue.RunFor(50);
    ASSERT_EQ(events.failures.size(), 1u);
    EXPECT_EQ(events.failures[0], "WARNING:  SetCommState() Failed with the following error: \n" +
                                      c.error + "\nPort: 1\n");
    port.Close();
  }
}

TEST_F(SocketPortTest, ATelnetServerThatHangsUpDuringTheSetUpCannotBeOpened) {
  SerialPort port(queue, PortTable({server.Url("rfc2217")}));
  EXPECT_FALSE(OpenTelnet(port, [&] {
    server.Receive(3);
    server.Send("Port already in use\r\n");
    server.Hangup(false);
  }));
  EXPECT_FALSE(port.IsOpen());
  queue.RunFor(50);
  EXPECT_TRUE(recorder.failures.empty());
  EXPECT_EQ(recorder.lost, 0);
}

TEST_F(SocketPortTest, TheJournalNamesANetworkPortByItsComNumberAndShowsTheLinesBytes) {
  char path[] = "/tmp/corvella-net-journal-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  Journal journal;
  ASSERT_TRUE(journal.Open(path));
  SerialPort logged(queue, PortTable({"/dev/corvella-none", server.Url("rfc2217")}), &journal);
  ASSERT_TRUE(OpenTelnet(
      logged,
      [&] {
        server.Receive(3);
        server.Send(Bytes({255, 253, 44}));
        server.Receive(kRequests.size());
        server.Send(kConfirmations);
      },
      2));
  ASSERT_TRUE(logged.StartMonitoring());
  ASSERT_TRUE(logged.WriteToPort("(01X)"));
  ASSERT_EQ(server.Receive(5), "(01X)");
  ASSERT_TRUE(server.Send(Bytes({'(', '0', '1', 'X', 255, 255, ')'})));
  ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() == 6; }));
  logged.Close();
  journal.Close();

  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line.substr(23));
  EXPECT_EQ(lines, (std::vector<std::string>{" COM2 TX (01X)", " COM2 RX (01X\\xff)"}));
  ::unlink(path);
}

TEST_F(SocketPortTest, ClosingWhileBytesStreamInLeavesNoWorkerNoLateBytesAndNoDescriptor) {
  const int descriptors = OpenDescriptors();
  SerialPort port(queue, PortTable({server.Url("tcp")}));
  for (int round = 0; round < 10; ++round) {
    ASSERT_TRUE(OpenDefault(port));
    ASSERT_TRUE(server.Accept());
    ASSERT_TRUE(port.StartMonitoring());
    std::atomic<bool> streaming{true};
    std::thread unit([&] {
      while (streaming.load() && server.Send("(01$042)")) {
      }
    });
    const std::size_t before = recorder.bytes.size();
    ASSERT_TRUE(RunUntil([&] { return recorder.bytes.size() > before + 64; }));
    port.Close();
    const std::size_t atClose = recorder.bytes.size();
    streaming = false;
    unit.join();
    queue.RunPending();
    EXPECT_EQ(recorder.bytes.size(), atClose) << "bytes of a closed port reached the owner";
    EXPECT_FALSE(port.IsMonitoring());
    server.Hangup(false);
  }
  queue.RunFor(50);
  EXPECT_EQ(OpenDescriptors(), descriptors);
  EXPECT_TRUE(recorder.failures.empty());
  EXPECT_EQ(recorder.lost, 0);
}

}  // namespace
}  // namespace corvella::link
