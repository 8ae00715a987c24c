// The network port through a real device server: ser2net bridging the virtual unit's
// pseudo-terminal to loopback ports. Skipped only where ser2net is not installed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "link/owner_queue.h"
#include "link/serial_port.h"
#include "net/ser2net_host.h"
#include "serial/pty_pair.h"
#include "sim/virtual_unit_host.h"

namespace corvella::link {
namespace {

using test::PortRecorder;
using test::Ser2net;

class Ser2netTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Ser2net::Program().empty()) {
      GTEST_SKIP() << "ser2net is not installed (Debian package ser2net; scripts/bootstrap "
                      "installs it)";
    }
    dir =
        std::filesystem::temp_directory_path() / ("corvella_ser2net_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string error;
    ASSERT_TRUE(unit.Start(&error)) << error;
    // The server's own default differs from the unit's line in speed and stop bits, so only the
    // client's settings can make it right.
    ASSERT_TRUE(server.Start(unit.SlavePath(), dir, "19200n81")) << server.Error();
  }
  void TearDown() override {
    server.Stop();
    unit.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }

  // Sends a probe for ID 1 and waits for the unit's whole answer.
  std::string Probe(SerialPort& port) {
    const std::size_t start = recorder.bytes.size();
    EXPECT_TRUE(port.WriteToPort("(01X)"));
    queue.RunUntil([&] { return recorder.bytes.size() > start && recorder.bytes.back() == ')'; },
                   5000);
    return recorder.bytes.substr(start);
  }

  termios LineOfTheUnit() const {
    termios tio{};
    const int fd = ::open(unit.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &tio), 0);
    ::close(fd);
    return tio;
  }

  std::filesystem::path dir;
  sim::VirtualUnitHost unit;
  Ser2net server;
  OwnerQueue queue;
  PortRecorder recorder;
};

TEST_F(Ser2netTest, TheTelnetPortSetsTheUnitsLineAndBothPortsReachTheUnit) {
  SerialPort port(queue, PortTable({server.TelnetUrl(), server.RawUrl()}));
  ASSERT_TRUE(
      port.Open(&recorder, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask, kWriteBufferSize));
  ASSERT_TRUE(port.StartMonitoring());
  // ser2net confirmed 9600 baud, 8 data bits, no parity, two stop bits and put them on the line.
  const termios line = LineOfTheUnit();
  EXPECT_EQ(cfgetospeed(&line), B9600);
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(line.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(line.c_cflag & PARENB, 0u);
  const std::string answer = Probe(port);
  EXPECT_EQ(answer.rfind("(01X", 0), 0u) << answer;
  port.Close();
  // ser2net lets go of the device a moment after a connection ends and turns a new one away
  // ("Port's device already in use") until then.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(
      port.Open(&recorder, 2, kBaud, kParity, kDataBits, kStopBits, kEventMask, kWriteBufferSize));
  ASSERT_TRUE(port.StartMonitoring());
  EXPECT_EQ(Probe(port), answer);
  port.Close();
  queue.RunFor(50);
  EXPECT_TRUE(recorder.failures.empty()) << recorder.failures.front();
  EXPECT_EQ(recorder.lost, 0);
}

TEST_F(Ser2netTest, TheServerGoingAwayIsOneLostPort) {
  SerialPort port(queue, PortTable({server.TelnetUrl()}));
  ASSERT_TRUE(
      port.Open(&recorder, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask, kWriteBufferSize));
  ASSERT_TRUE(port.StartMonitoring());
  ASSERT_FALSE(Probe(port).empty());
  server.Stop();
  ASSERT_TRUE(queue.RunUntil([&] { return recorder.lost > 0; }, 10000));
  queue.RunFor(100);
  EXPECT_EQ(recorder.lost, 1);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_TRUE(recorder.failures.empty());
  // Nobody serves the address now: it no longer opens.
  EXPECT_FALSE(
      port.Open(&recorder, 1, kBaud, kParity, kDataBits, kStopBits, kEventMask, kWriteBufferSize));
}

}  // namespace
}  // namespace corvella::link
