// The engine over the real serial port and a pseudo-terminal, against the virtual unit's host, in
// real time: what a user with a cable would get.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "support/engine_harness.h"
#include "link/engine_timers.h"
#include "link/frames.h"
#include "link/owner_queue.h"
#include "link/serial_port.h"
#include "link/steady_timer_host.h"
#include "sim/virtual_unit_host.h"

namespace corvella::test {
namespace {

using namespace corvella::link;

struct Line {
  explicit Line(sim::VirtualUnit unit) : host(std::vector<sim::VirtualUnit>{std::move(unit)}) {
    std::string error;
    started = host.Start(&error);
    EXPECT_TRUE(started) << error;
    port = std::make_unique<SerialPort>(queue, PortTable({host.SlavePath()}));
    engine = std::make_unique<ProtocolEngine>(session, *port, timers, view, 1);
    timers.SetClient(engine.get());
    ResetParameters(session.parameters);
  }
  ~Line() {
    port->Close();
    host.Stop();
  }
  bool RunUntil(const std::function<bool()>& done, int ms = 30'000) {
    return timers.RunUntil(done, ms);
  }
  bool Idle() const {
    for (int id = 1; id <= 90; ++id)
      if (timers.IsArmed(id)) return false;
    return true;
  }

  sim::VirtualUnitHost host;
  bool started = false;
  OwnerQueue queue;
  SteadyTimerHost timers{queue};
  Session session;
  RecordingView view;
  std::unique_ptr<SerialPort> port;
  std::unique_ptr<ProtocolEngine> engine;
};

TEST(OverPseudoTerminal, ConnectUploadEditAndDisconnect) {
  sim::VirtualUnit unit(4, "Pty unit");
  unit.Current().outputLevel[0] = 99;
  unit.SetProgramName("Over the wire");
  Line line(unit);
  ASSERT_TRUE(line.started);

  line.engine->EnableCommunications();
  ASSERT_TRUE(line.RunUntil([&] { return line.view.LastStatus() == kTransferOk; }));
  EXPECT_EQ(line.session.link.deviceId, 4);
  EXPECT_EQ(line.session.parameters.outputLevel[0], 99);
  const std::string name(line.session.parameters.programName.begin(),
                         line.session.parameters.programName.end());
  EXPECT_EQ(name.substr(0, 13), "Over the wire");
  EXPECT_TRUE(line.view.boxes.empty());
  ASSERT_TRUE(line.RunUntil([&] { return line.Idle(); }));

  ASSERT_TRUE(line.engine->SendParameter(HpfFrequencyFrame(4, Output::High, 40),
                                         timers::kHpfFrequency, timers::kPageEditMs));
  ASSERT_TRUE(line.RunUntil([&] { return line.Idle(); }));
  EXPECT_EQ(line.view.LastStatus(), kResponseOk);
  EXPECT_EQ(line.host.Unit(0)->Current().crossover[0].hpfFrequency, 40);

  line.engine->DisableCommunications();
  ASSERT_TRUE(line.RunUntil([&] { return line.Idle(); }));
  EXPECT_EQ(line.view.LastStatus(), kDisconnected);
  EXPECT_FALSE(line.port->IsOpen());
  EXPECT_EQ(line.session.link.linkConnected, 0);
}

TEST(OverPseudoTerminal, UnitHangingUpMidDownloadEndsLikeSilence) {
  sim::VirtualUnit unit(1);
  sim::FaultPlan faults;
  faults.hangUpAfterFrames = 6;
  unit.SetFaults(faults);
  Line line(unit);
  ASSERT_TRUE(line.started);
  line.view.selectChoice = SelectChoice{0, 1};

  line.engine->EnableCommunications();
  ASSERT_TRUE(line.RunUntil([&] { return line.session.link.linkConnected == 1; }));
  ASSERT_TRUE(line.RunUntil([&] { return line.Idle(); }));
  EXPECT_EQ(line.view.LastStatus(), kConnectionLost);
  EXPECT_TRUE(line.view.boxes.empty()) << "no box for a vanished line";
  EXPECT_EQ(line.session.link.linkConnected, 1);

  // Disconnecting afterwards gives up quietly instead of failing on the dead port.
  line.engine->DisableCommunications();
  ASSERT_TRUE(line.RunUntil([&] { return line.Idle(); }));
  EXPECT_EQ(line.view.LastStatus(), kIgnorDisconnected);
  EXPECT_EQ(line.session.link.linkConnected, 0);
}

}  // namespace
}  // namespace corvella::test
