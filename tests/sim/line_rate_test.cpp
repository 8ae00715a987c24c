// The virtual unit at line rate: what a pseudo-terminal delivers must take the time a 9600-baud
// 8N2 line would, in both directions, so that timings measured against it mean something.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "sim/pty_client.h"
#include "sim/virtual_unit_host.h"

namespace corvella::sim {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::chrono::duration<double, std::milli> LineTime(std::size_t chars) {
  return std::chrono::duration<double, std::milli>(1000.0 * static_cast<double>(chars) /
                                                   kLineCharsPerSecond);
}

// The unit's next answer and how long after `start` its last character arrived.
struct Arrival {
  std::string frame;
  std::chrono::duration<double, std::milli> at;
};

Arrival NextAnswer(testing::PtyClient& client, Clock::time_point start) {
  std::string frame = client.ReadFrame(3s);
  return {std::move(frame), Clock::now() - start};
}

TEST(LineRate, AnswersWaitForTheRequestAndShareTheLineOut) {
  VirtualUnitHost host;
  host.SetLineRate(true);
  ASSERT_TRUE(host.Start());
  testing::PtyClient client(host.SlavePath());
  ASSERT_TRUE(client.IsOpen());

  // A probe: 5 characters in, 21 out; nothing can be back before both have crossed the line.
  Clock::time_point start = Clock::now();
  ASSERT_TRUE(client.Write("(01X)"));
  const Arrival probe = NextAnswer(client, start);
  ASSERT_EQ(probe.frame, "(01XVirtual Unit..00)");
  EXPECT_GE(probe.at, LineTime(5 + 21));

  // Two requests written at once: each is answered once it is in, and the second answer follows
  // the first on the one line out.
  start = Clock::now();
  ASSERT_TRUE(client.Write("(01U00)(01bye)"));
  const Arrival first = NextAnswer(client, start);
  const Arrival second = NextAnswer(client, start);
  ASSERT_EQ(first.frame, "(01U00)");
  ASSERT_EQ(second.frame, "(01bye)");
  EXPECT_GE(first.at, LineTime(7 + 7));
  EXPECT_GE(second.at, LineTime(7 + 7 + 7));
  host.Stop();
}

}  // namespace
}  // namespace corvella::sim
