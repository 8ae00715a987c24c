// `corvella-cli serve` over OSC end to end: liblo's own oscsend and oscdump against the server,
// with corvella-unit-sim (or the demo unit) on a real pseudo-terminal behind it.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "cli/serve_harness.h"
#include "fleet/fleet.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

int OscSend(const std::vector<std::string>& args) {
  const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t pid = Spawn(CORVELLA_OSCSEND, args, devNull, devNull, devNull);
  ::close(devNull);
  return Reap(pid, false);
}

int OscSendUdp(int port, const std::vector<std::string>& message) {
  std::vector<std::string> args{"127.0.0.1", std::to_string(port)};
  args.insert(args.end(), message.begin(), message.end());
  return OscSend(args);
}

std::size_t Count(const std::vector<std::string>& frames, const std::string& prefix) {
  return static_cast<std::size_t>(std::count_if(
      frames.begin(), frames.end(), [&](const auto& f) { return f.rfind(prefix, 0) == 0; }));
}

// oscdump on a free port, once it is seen to receive: answers to `server` go to it.
class Dump {
 public:
  explicit Dump(int serverPort)
      : port_(FreePort(SOCK_DGRAM)), process_(CORVELLA_OSCDUMP, {"-L", std::to_string(port_)}) {
    // Until oscdump listens, what is sent to it is lost: ask again until an answer shows.
    for (int attempt = 0; attempt < 100 && !ready_; ++attempt) {
      OscSendUdp(serverPort, {"/corvella/replyport", "i", std::to_string(port_)});
      OscSendUdp(serverPort, {"/corvella/units"});
      ready_ = process_.WaitFor(
          [this] { return process_.Out().find("/corvella/units") != std::string::npos; },
          std::chrono::seconds(1));
    }
  }
  bool Ready() const { return ready_; }
  int Port() const { return port_; }
  LiveProcess& Process() { return process_; }
  bool Shows(const std::string& line) { return process_.WaitForOut(line); }
  std::size_t Times(const std::string& text) {
    const std::string& out = process_.Out();
    std::size_t n = 0;
    for (std::size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++n;
    return n;
  }

 private:
  int port_;
  LiveProcess process_;
  bool ready_ = false;
};

TEST(ServeOsc, SetsReachTheUnitAndEchoQueriesAnswerAndBadValuesSendNothing) {
  ScratchDir dir("serve_osc");
  SimUnit unit(dir.Path(), {"--unit", "1"});
  Server server({"--ports", unit.Path(), "serve", "--fast", "--osc-udp", "0", "--osc-tcp", "0"});
  ASSERT_TRUE(server.Serving()) << server.Process().Err();
  Dump dump(server.Udp());
  ASSERT_TRUE(dump.Ready());

  // A set: the page's frame for -6.5 dB (the level's step nearest -6.3), then the echo.
  OscSendUdp(server.Udp(), {"/corvella/1/output/high/level", "f", "-6.3"});
  EXPECT_TRUE(dump.Shows("/corvella/1/output/high/level f -6.500000"));
  EXPECT_EQ(Count(unit.AfterSearch(), "(01$0491168)"), 1u);

  // A query is answered with the address and the value.
  OscSendUdp(server.Udp(), {"/corvella/1/output/low/eq/3/freq"});
  EXPECT_TRUE(dump.Shows("/corvella/1/output/low/eq/3/freq f 1000.000000"));

  // Bad values, types and addresses: an error each, and nothing for the unit.
  const std::size_t framesBefore = unit.AfterSearch().size();
  OscSendUdp(server.Udp(), {"/corvella/1/output/high/level", "f", "13"});
  OscSendUdp(server.Udp(), {"/corvella/1/output/high/level", "s", "loud"});
  OscSendUdp(server.Udp(), {"/corvella/1/output/mid/level", "f", "1"});
  OscSendUdp(server.Udp(), {"/corvella/7/output/high/level", "f", "1"});
  EXPECT_TRUE(dump.Shows(R"(/corvella/error s "/corvella/1/output/high/level: out of range")"));
  EXPECT_TRUE(dump.Shows(R"(/corvella/error s "/corvella/1/output/high/level: wrong type")"));
  EXPECT_TRUE(dump.Shows(R"(/corvella/error s "/corvella/1/output/mid/level: unknown address")"));
  EXPECT_TRUE(dump.Shows(R"(/corvella/error s "/corvella/7/output/high/level: no such unit")"));
  EXPECT_EQ(unit.AfterSearch().size(), framesBefore);

  // Over TCP as well: the frame reaches the unit.
  OscSend({"osc.tcp://127.0.0.1:" + std::to_string(server.Tcp()), "/corvella/1/output/low/polarity",
           "i", "1"});
  EXPECT_TRUE(server.Process().WaitForErr("1 output/low/polarity = 1"));
  EXPECT_EQ(Count(unit.AfterSearch(), "(01$0522"), 1u);

  // SIGTERM: the unit's goodbye, then exit status 0.
  EXPECT_EQ(server.Stop(), 0) << server.Process().Err();
  EXPECT_EQ(unit.AfterSearch().back(), "(01bye)");
}

TEST(ServeOsc, ASubscriberHearsEveryChangeForTenSecondsThenNoMore) {
  Server server({"--demo", "serve", "--fast", "--osc-udp", "0"});
  ASSERT_TRUE(server.Serving()) << server.Process().Err();
  Dump dump(server.Udp());
  ASSERT_TRUE(dump.Ready());
  // From here on only the subscription brings anything to oscdump.
  OscSendUdp(server.Udp(), {"/corvella/replyport", "i", "0"});
  OscSendUdp(server.Udp(), {"/corvella/subscribe", "i", std::to_string(dump.Port())});

  OscSendUdp(server.Udp(), {"/corvella/1/compressor/ratio", "f", "4"});
  EXPECT_TRUE(dump.Shows("/corvella/1/compressor/ratio f 3.960000"));
  // A recall changes the program: its name and the recall itself reach the subscriber.
  OscSendUdp(server.Udp(), {"/corvella/1/program/recall", "i", "2"});
  EXPECT_TRUE(dump.Shows(R"(/corvella/1/program/name s "Speech")"));
  EXPECT_TRUE(dump.Shows("/corvella/1/program/recall i 2"));

  // The lease is 10 s; after it, a change goes to nobody.
  std::this_thread::sleep_for(std::chrono::seconds(11));
  OscSendUdp(server.Udp(), {"/corvella/1/output/low/level", "f", "-3"});
  ASSERT_TRUE(server.Process().WaitForErr("1 output/low/level = -3"));
  // Anything sent to oscdump before this answer would have come before it.
  OscSendUdp(server.Udp(), {"/corvella/replyport", "i", std::to_string(dump.Port())});
  OscSendUdp(server.Udp(), {"/corvella/1/link"});
  EXPECT_TRUE(dump.Shows(R"(/corvella/1/link s "online")"));
  EXPECT_EQ(dump.Times("/corvella/1/output/low/level"), 0u);
  EXPECT_EQ(server.Stop(), 0);
}

TEST(ServeOsc, UnitsSharingALineOrAnIdEachGetTheirOwnFrames) {
  ScratchDir dir("serve_lines");
  ScratchDir other("serve_lines_b");
  SimUnit pair(dir.Path(), {"--unit", "1", "--unit", "2"});
  SimUnit single(other.Path(), {"--unit", "1"});
  Server server(
      {"--ports", pair.Path() + "," + single.Path(), "serve", "--fast", "--osc-udp", "0"});
  ASSERT_TRUE(server.Serving()) << server.Process().Err();
  Dump dump(server.Udp());
  ASSERT_TRUE(dump.Ready());
  // ID 1 answers on both lines, so both are named by their line; ID 2 by its ID alone.
  const std::string pairOne = fleet::PortName(pair.Path()) + "-1";
  const std::string singleOne = fleet::PortName(single.Path()) + "-1";
  EXPECT_TRUE(dump.Shows("/corvella/units sss \"" + pairOne + "\" \"2\" \"" + singleOne + "\""));

  for (const char* db : {"-1", "-2", "-3"}) {
    for (const std::string& unit : {pairOne, std::string("2"), singleOne}) {
      OscSendUdp(server.Udp(), {"/corvella/" + unit + "/output/low/level", "f", db});
    }
  }
  for (const std::string& unit : {pairOne, std::string("2"), singleOne}) {
    EXPECT_TRUE(server.Process().WaitForErr(unit + " output/low/level = -3")) << unit;
  }
  EXPECT_EQ(server.Stop(), 0);
  // Each unit's last level frame carries its own ID and the last value (-3 dB, code 175).
  const auto last = [](const std::vector<std::string>& frames, const std::string& prefix) {
    std::string found;
    for (const auto& f : frames)
      if (f.rfind(prefix, 0) == 0) found = f;
    return found;
  };
  EXPECT_EQ(last(pair.AfterSearch(), "(01$0492"), "(01$0492175)");
  EXPECT_EQ(last(pair.AfterSearch(), "(02$0492"), "(02$0492175)");
  EXPECT_EQ(last(single.AfterSearch(), "(01$0492"), "(01$0492175)");
  EXPECT_EQ(Count(single.AfterSearch(), "(02"), 0u);
}

TEST(ServeOsc, AThousandSetsToOneLevelLeaveTheUnitAtTheLastValue) {
  ScratchDir dir("serve_burst");
  const fs::path saved = dir.Path() / "unit.asc";
  SimUnit unit(dir.Path(), {"--unit", "1", "--save", saved.string()});
  Server server({"--ports", unit.Path(), "serve", "--fast", "--osc-udp", "0"});
  ASSERT_TRUE(server.Serving()) << server.Process().Err();

  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(server.Udp()));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  // -40.0 .. -12.5 dB in small steps, as a fader drag sends them.
  for (int i = 0; i < 1000; ++i) {
    const float db = i == 999 ? -12.5f : -40.0f + 0.025f * static_cast<float>(i);
    const auto packet = test::OscFloatMessage("/corvella/1/output/high/level", db);
    ::sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to);
    if (i % 100 == 99) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::close(fd);
  ASSERT_TRUE(server.Process().WaitForErr("1 output/high/level = -12.5"));
  EXPECT_EQ(server.Process().Err().find("link = offline"), std::string::npos);
  EXPECT_EQ(server.Stop(), 0);
  EXPECT_EQ(unit.AfterSearch().back(), "(01bye)");
  // One frame waits at a time: far fewer frames than sets, the last one with the last value.
  const auto frames = unit.AfterSearch();
  EXPECT_LT(Count(frames, "(01$0491"), 200u);
  EXPECT_EQ(unit.Stop(), 0);
  ProgramParameters p{};
  ASSERT_TRUE(LoadParametersFile(saved, p).ok);
  EXPECT_EQ(p.outputLevel[0], 156);  // -12.5 dB
}

}  // namespace
}  // namespace corvella::cli::testing
