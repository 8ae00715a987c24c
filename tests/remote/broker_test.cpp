// How `serve --mqtt` names its broker.
#include <gtest/gtest.h>

#include "remote/mqtt_bridge.h"

namespace corvella::remote {
namespace {

TEST(MqttBroker, HostAndPortAreReadAsTheyAreWritten) {
  struct Row {
    const char* text;
    const char* host;
    int port;
  };
  const Row good[] = {{"broker.local", "broker.local", 1883},
                      {"10.0.0.5:1884", "10.0.0.5", 1884},
                      {"[::1]:8883", "::1", 8883},
                      {"[fe80::1]", "fe80::1", 1883}};
  for (const Row& row : good) {
    const auto s = ParseBroker(row.text);
    ASSERT_TRUE(s) << row.text;
    EXPECT_EQ(s->host, row.host);
    EXPECT_EQ(s->port, row.port);
  }
  for (const char* bad :
       {"", ":1883", "host:", "host:0", "host:65536", "host:x", "[::1", "[::1]x"}) {
    EXPECT_FALSE(ParseBroker(bad)) << bad;
  }
}

}  // namespace
}  // namespace corvella::remote
