// The web pages' side of the hub with a unit that answers when the test says: sets reach the unit
// and every page, undo takes back a whole drag, refusals leave the unit alone and put the page's
// control back.
#include "remote/web_sessions.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "link/edit_table.h"
#include "remote/remote_hub.h"
#include "remote/web_protocol.h"

namespace corvella::remote {
namespace {

using Json = nlohmann::json;

class PostedTasks final : public Reactor {
 public:
  void Post(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
  void Watch(int, std::function<void()>) override {}
  void Unwatch(int) override {}
  const void* Every(int, std::function<void()>) override { return this; }
  void Cancel(const void*) override {}
  void Run() {
    auto tasks = std::move(tasks_);
    tasks_.clear();
    for (auto& t : tasks) t();
  }

 private:
  std::vector<std::function<void()>> tasks_;
};

// One unit, ID 1, that takes every edit and answers only when Answer() is called.
class OneUnitLine final : public RemoteLine {
 public:
  explicit OneUnitLine(LineObserver& observer) : observer_(observer) {
    device_.id = 1;
    p_.outputLevel[0] = p_.outputLevel[1] = 181;  // 0.0 dB
  }
  const std::string& PortName() const override { return port_; }
  bool Ready() const override { return true; }
  int UnitCount() const override { return 1; }
  const link::FoundDevice& Device(int) const override { return device_; }
  bool Online(int) const override { return true; }
  const ProgramParameters& Parameters(int) const override { return p_; }
  ProgramParameters& EditableParameters(int) override { return p_; }
  void Edit(int, const ParameterRef& ref) override { sent.push_back(ref); }
  void Recall(int, int memory) override { recalls.push_back(memory); }
  void Store(int, int) override {}
  void SayGoodbye() override {}
  bool Finished() const override { return true; }

  void Answer() {
    for (const ParameterRef& ref : std::exchange(sent, {})) {
      observer_.EditAnswered(*this, 0, ref, link::EditFrame(1, p_, ref), true);
    }
  }

  std::vector<ParameterRef> sent;
  std::vector<int> recalls;

 private:
  LineObserver& observer_;
  std::string port_ = "pts9";
  link::FoundDevice device_;
  ProgramParameters p_{};
};

class WebSessionsTest : public ::testing::Test {
 protected:
  WebSessionsTest() {
    hub_.AddLine(line_);
    sessions_.Open(1);
    sessions_.Open(2);
    loop_.Run();
    received_.clear();
  }

  void Say(Client page, const Json& message) { sessions_.Take(page, message.dump()); }
  void Set(Client page, const std::string& path, double value, int gesture) {
    Say(page,
        {{"op", "set"}, {"unit", "1"}, {"path", path}, {"value", value}, {"gesture", gesture}});
  }
  // What `page` received with op `op`, oldest first.
  std::vector<Json> Got(Client page, const std::string& op) const {
    std::vector<Json> out;
    for (const auto& [to, text] : received_) {
      const Json j = Json::parse(text);
      if (to == page && j["op"] == op) out.push_back(j);
    }
    return out;
  }
  double Level() const { return std::get<double>(*hub_.Query("1", kLevel).value); }

  const Node kLevel{NodeKind::Parameter, {Field::OutputLevel, 0, 0}};
  PostedTasks loop_;
  RemoteHub hub_{[](const std::string&) {}};
  OneUnitLine line_{hub_.Observer()};
  std::vector<std::pair<Client, std::string>> received_;
  WebSessions sessions_{
      loop_, hub_,
      [this](Client page, std::string text) { received_.emplace_back(page, std::move(text)); },
      [](const std::string&) {}};
};

TEST_F(WebSessionsTest, AnsweredSetReachesEveryPageWithOneSetOfCurves) {
  Set(1, "output/high/level", -6.3, 1);
  Set(1, "output/low/level", -3.0, 2);
  ASSERT_EQ(line_.sent.size(), 2U);
  EXPECT_TRUE(Got(2, "changed").empty()) << "nothing is told before the unit answers";
  line_.Answer();
  for (const Client page : {Client{1}, Client{2}}) {
    const auto changed = Got(page, "changed");
    ASSERT_EQ(changed.size(), 2U);
    EXPECT_EQ(changed[0]["path"], "output/high/level");
    EXPECT_EQ(changed[0]["value"], -6.5);
  }
  loop_.Run();
  EXPECT_EQ(Got(1, "curves").size(), 1U);
  EXPECT_EQ(Got(2, "curves").size(), 1U);
  sessions_.Close(2);
  Set(1, "output/high/level", -1.0, 3);
  line_.Answer();
  EXPECT_EQ(Got(2, "changed").size(), 2U) << "a closed page hears nothing more";
}

TEST_F(WebSessionsTest, UndoTakesBackAWholeDragThenTheStepBefore) {
  const double original = Level();
  ASSERT_EQ(original, 0.0);
  Set(1, "output/high/level", -10.0, 5);
  Set(2, "output/low/level", -3.0, 1);  // another page's change in between
  Set(1, "output/high/level", -11.0, 7);
  Set(1, "output/high/level", -12.0, 7);
  Set(1, "output/high/level", -13.0, 7);
  line_.Answer();
  Say(1, {{"op", "undo"}, {"unit", "1"}});
  EXPECT_EQ(Level(), -10.0) << "the drag is one step";
  Say(1, {{"op", "undo"}, {"unit", "1"}});
  const Node low{NodeKind::Parameter, {Field::OutputLevel, 1, 0}};
  EXPECT_EQ(std::get<double>(*hub_.Query("1", low).value), 0.0) << "the other page's change";
  Say(1, {{"op", "undo"}, {"unit", "1"}});
  EXPECT_EQ(Level(), original);
  line_.Answer();
  EXPECT_TRUE(Got(1, "error").empty());
  Say(1, {{"op", "undo"}, {"unit", "1"}});
  ASSERT_EQ(Got(1, "error").size(), 1U);
  EXPECT_EQ(Got(1, "error")[0]["text"], web::kNothingToUndo);
}

TEST_F(WebSessionsTest, ARecallLeavesNothingToUndo) {
  Set(1, "output/high/level", -10.0, 1);
  line_.Answer();
  Say(1, {{"op", "set"}, {"unit", "1"}, {"path", "program/recall"}, {"value", 2}});
  ASSERT_EQ(line_.recalls, std::vector<int>{2});
  hub_.Observer().ActionEnded(line_, 0, true, 2, link::Outcome::Done);
  Say(1, {{"op", "undo"}, {"unit", "1"}});
  ASSERT_EQ(Got(1, "error").size(), 1U);
  EXPECT_EQ(Level(), -10.0);
}

TEST_F(WebSessionsTest, RefusalsReachOnlyTheSenderWithTheValueToGoBackTo) {
  const double before = Level();
  struct Case {
    Json message;
    std::string error;
  };
  const std::vector<Case> cases = {
      {{{"op", "set"}, {"unit", "1"}, {"path", "output/high/level"}, {"value", 40}},
       "output/high/level: out of range"},
      {{{"op", "set"}, {"unit", "1"}, {"path", "output/high/level"}, {"value", "loud"}},
       "output/high/level: wrong type"},
      {{{"op", "set"}, {"unit", "2"}, {"path", "output/high/level"}, {"value", 1}},
       "output/high/level: no such unit"},
  };
  for (const Case& c : cases) {
    received_.clear();
    Say(1, c.message);
    const auto errors = Got(1, "error");
    ASSERT_EQ(errors.size(), 1U) << c.message;
    EXPECT_EQ(errors[0]["text"], c.error);
    const auto back = Got(1, "changed");
    if (c.message["unit"] == "1") {
      ASSERT_EQ(back.size(), 1U) << c.message;
      EXPECT_EQ(back[0]["value"], before);
    }
    EXPECT_TRUE(Got(2, "error").empty());
  }
  EXPECT_TRUE(line_.sent.empty());
  // A unit that does not answer: the sender hears why and gets the value the PC holds.
  received_.clear();
  Set(1, "output/high/level", -20.0, 9);
  hub_.Observer().EditsFailed(line_, 0, link::Outcome::NoAnswer);
  ASSERT_EQ(Got(1, "error").size(), 1U);
  EXPECT_EQ(Got(1, "error")[0]["text"], "output/high/level: the unit did not answer");
  EXPECT_TRUE(Got(2, "error").empty());
}

}  // namespace
}  // namespace corvella::remote
