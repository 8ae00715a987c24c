// The web page's messages: what the decoder takes and refuses, step lists that survive the trip
// through JSON, and the token.
#include "remote/web_protocol.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

namespace corvella::remote::web {
namespace {

using Json = nlohmann::json;

TEST(WebMessages, DecoderTakesSetsAndUndoAndSaysWhyItRefuses) {
  struct Case {
    std::string text;
    std::string error;  // empty: taken
  };
  const std::vector<Case> cases = {
      {R"({"op":"set","unit":"1","path":"output/high/level","value":-6.5,"gesture":3})", ""},
      {R"({"op":"set","unit":"pts3-1","path":"compressor/ratio","value":"inf"})", ""},
      {R"({"op":"set","unit":"1","path":"output/high/eq/1/type","value":2})", ""},
      {R"({"op":"set","unit":"1","path":"program/name","value":"Hall"})", ""},
      {R"({"op":"undo","unit":"1"})", ""},
      {"", "not a JSON object"},
      {"{\"op\":\"set\"", "not a JSON object"},
      {"[1]", "not a JSON object"},
      {R"({"op":"sing"})", "unknown message"},
      {R"({"op":"set","unit":"1","path":"output/middle/level","value":1})",
       "output/middle/level: unknown address"},
      {R"({"op":"set","unit":"1","path":")" + std::string(100, 'x') + R"(","value":1})",
       "unknown address"},
      {R"({"op":"set","unit":"a b","path":"output/high/level","value":1})",
       "output/high/level: no such unit"},
      {R"({"op":"undo","unit":""})", "no such unit"},
      {R"({"op":"set","unit":"1","path":"output/high/level"})", "output/high/level: wrong type"},
      {R"({"op":"set","unit":"1","path":"output/high/level","value":[1]})",
       "output/high/level: wrong type"},
      {R"({"op":"set","unit":"1","path":"output/high/level","value":"-6,5"})",
       "output/high/level: wrong type"},
      {R"({"op":"set","unit":"1","path":"output/high/polarity","value":true})",
       "output/high/polarity: wrong type"},
      {"{\"op\":\"undo\",\"unit\":\"1\",\"pad\":\"" + std::string(kMaxMessageBytes, ' ') + "\"}",
       "message too long"},
  };
  for (const Case& c : cases) {
    const Decoded d = DecodeMessage(c.text);
    EXPECT_EQ(d.error, c.error) << c.text.substr(0, 120);
    EXPECT_EQ(d.request.has_value(), c.error.empty()) << c.text.substr(0, 120);
  }
  const auto set = std::get<SetRequest>(*DecodeMessage(cases[0].text).request);
  EXPECT_EQ(set.unit, "1");
  EXPECT_EQ(NodePath(set.node), "output/high/level");
  EXPECT_EQ(std::get<double>(set.value), -6.5);
  EXPECT_EQ(set.gesture, 3);
}

// A page sends back the step values the hello gave it: each must select its own step again.
TEST(WebMessages, EveryStepComesBackToItselfThroughJson) {
  const Json hello = Json::parse(HelloMessage({{"1", "Unit", true}}));
  const std::vector<std::pair<std::string, std::string>> scales = {
      {"level", "output/high/level"},  {"freq", "output/low/eq/6/freq"},
      {"gain", "input/mic/eq/2/gain"}, {"q", "output/high/eq/1/q"},
      {"delay", "output/low/delay"},   {"hpf", "output/high/hpf/freq"},
      {"lpf", "output/high/lpf/freq"}, {"threshold", "compressor/threshold"},
      {"ratio", "compressor/ratio"},   {"time", "compressor/release"}};
  for (const auto& [scale, path] : scales) {
    const Json& steps = hello["steps"][scale];
    ASSERT_GT(steps.size(), 1U) << scale;
    std::set<int> codes;
    for (const Json& step : steps) {
      const Json message = {{"op", "set"}, {"unit", "1"}, {"path", path}, {"value", step}};
      const Decoded d = DecodeMessage(message.dump());
      ASSERT_TRUE(d.request) << scale << " " << step << ": " << d.error;
      const auto& set = std::get<SetRequest>(*d.request);
      const Checked checked = Check(set.node, set.value);
      ASSERT_TRUE(checked.ok) << scale << " " << step << ": " << checked.error;
      EXPECT_EQ(Json::parse(ChangedMessage("1", set.node, checked.value))["value"], step) << scale;
      codes.insert(checked.code);
    }
    EXPECT_EQ(codes.size(), steps.size()) << scale << ": every step its own code";
  }
  EXPECT_EQ(hello["names"]["eqType"].size(), 6U);
  EXPECT_EQ(hello["names"]["filterType"].size(), 12U);
  EXPECT_EQ(hello["graphHz"].size(), 122U);
}

TEST(WebAccess, TokensAreLongRandomAndComparedWhole) {
  const std::string a = NewToken();
  const std::string b = NewToken();
  EXPECT_EQ(a.size(), 20U);
  EXPECT_NE(a, b);
  EXPECT_EQ(a.find_first_not_of("abcdefghijkmnpqrstuvwxyz23456789"), std::string::npos);
  struct Case {
    std::string_view given;
    bool matches;
  };
  const std::string_view expected = "abcdefghjk";
  for (const Case& c : std::vector<Case>{{"abcdefghjk", true},
                                         {"abcdefghjz", false},
                                         {"zbcdefghjk", false},
                                         {"abcdefghj", false},
                                         {"abcdefghjkk", false},
                                         {"", false}}) {
    EXPECT_EQ(TokenMatches(expected, c.given), c.matches) << c.given;
  }
  EXPECT_FALSE(TokenMatches("", "")) << "no token lets nobody in";
  EXPECT_EQ(TokenOfTarget("/ws?token=abc"), "abc");
  EXPECT_EQ(TokenOfTarget("/ws?x=1&token=abc&y=2"), "abc");
  EXPECT_EQ(TokenOfTarget("/ws?xtoken=abc"), "");
  EXPECT_EQ(TokenOfTarget("/ws"), "");
}

}  // namespace
}  // namespace corvella::remote::web
