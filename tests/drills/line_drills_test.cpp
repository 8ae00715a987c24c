// Drills on a real line: the engine on the real serial port, the virtual unit behind a
// pseudo-terminal, in real time. The line hangs up in the middle of an upload, or the port goes
// away while nothing is happening; either way the user gets one clear status, no box storm, no
// hang, and a parameter set made only of values the PC or the unit had.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "drill_support.h"
#include "link/engine_timers.h"
#include "link/frames.h"
#include "link/owner_queue.h"
#include "link/protocol_engine.h"
#include "link/serial_port.h"
#include "link/steady_timer_host.h"
#include "sim/virtual_unit_host.h"

namespace corvella::drills {
namespace {

using namespace corvella::link;

// Real-time limit for anything a drill waits for: the longest chain of empty ticks is 21 x 500 ms.
constexpr int kWaitMs = 30'000;

class RealLine {
 public:
  explicit RealLine(const sim::FaultPlan& faults) {
    sim::VirtualUnit unit(1);
    unit.Current() = UnitProgram();
    unit.SetFaults(faults);
    host = std::make_unique<sim::VirtualUnitHost>(std::vector<sim::VirtualUnit>{unit});
    std::string error;
    started = host->Start(&error);
    EXPECT_TRUE(started) << error;
    port = std::make_unique<SerialPort>(queue, PortTable({host->SlavePath()}));
    engine = std::make_unique<ProtocolEngine>(session, *port, timers, view, 1);
    timers.SetClient(engine.get());
    ResetParameters(session.parameters);
    pcBefore = session.parameters;
  }
  ~RealLine() {
    port->Close();
    host->Stop();
  }

  bool Idle() const {
    for (int id = 1; id <= 90; ++id) {
      if (timers.IsArmed(id)) return false;
    }
    return true;
  }
  bool RunUntilIdle() {
    return timers.RunUntil([this] { return Idle(); }, kWaitMs);
  }
  bool Connect() {
    engine->EnableCommunications();
    return timers.RunUntil([this] { return session.link.linkConnected == 1; }, kWaitMs);
  }

  OwnerQueue queue;
  SteadyTimerHost timers{queue};
  Session session;
  test::RecordingView view;
  std::unique_ptr<sim::VirtualUnitHost> host;
  std::unique_ptr<SerialPort> port;
  std::unique_ptr<ProtocolEngine> engine;
  ProgramParameters pcBefore{};
  bool started = false;
};

TEST(LineDrills, HangUpInTheMiddleOfAnUpload) {
  sim::FaultPlan faults;
  faults.hangUpAfterFrames = 12;  // the probe, the program name and ten blocks
  RealLine line(faults);
  ASSERT_TRUE(line.started);
  ASSERT_TRUE(line.Connect());
  ASSERT_TRUE(line.RunUntilIdle());

  EXPECT_EQ(line.view.LastStatus(), kConnectionLost);
  EXPECT_FALSE(line.view.SawStatus(kTransferOk));
  EXPECT_TRUE(line.view.boxes.empty());
  EXPECT_FALSE(line.view.transmittingVisible);
  EXPECT_FALSE(line.port->IsOpen());
  // An upload cut off delivers nothing: the PC's set is exactly as it was.
  EXPECT_TRUE(SameParameters(line.session.parameters, line.pcBefore));
  EXPECT_EQ(line.session.parameters.programNumber, line.pcBefore.programNumber);
}

TEST(LineDrills, PortGoneWhileIdle) {
  RealLine line(sim::FaultPlan{});
  ASSERT_TRUE(line.started);
  ASSERT_TRUE(line.Connect());
  ASSERT_TRUE(line.RunUntilIdle());
  ASSERT_EQ(line.view.LastStatus(), kTransferOk);
  const ProgramParameters uploaded = line.session.parameters;

  // The adapter is pulled: the far side of the line goes away with nothing in flight.
  line.host->Stop();
  ASSERT_TRUE(line.timers.RunUntil([&] { return !line.port->IsOpen(); }, kWaitMs));
  EXPECT_TRUE(line.view.boxes.empty()) << "a pulled adapter is not an application error";

  // An edit still goes the usual way and is given up like any unanswered one.
  line.engine->SendParameter(HpfFrequencyFrame(1, Output::High, 40), timers::kHpfFrequency,
                             timers::kPageEditMs);
  ASSERT_TRUE(line.RunUntilIdle());
  EXPECT_EQ(line.view.LastStatus(), kConnectionLost);
  EXPECT_TRUE(line.view.boxes.empty());

  line.engine->DisableCommunications();
  ASSERT_TRUE(line.RunUntilIdle());
  EXPECT_EQ(line.view.LastStatus(), kIgnorDisconnected);
  EXPECT_EQ(line.session.link.linkConnected, 0);
  EXPECT_TRUE(line.engine->CanEnableCommunications());
  EXPECT_TRUE(SameParameters(line.session.parameters, uploaded)) << "nothing changed the PC's set";
}

}  // namespace
}  // namespace corvella::drills
