// Network entries of the port table: what is taken, what is refused, and how the refusal reads.
#include "link/network_address.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "link/port_table.h"

namespace corvella::link {
namespace {

TEST(NetworkAddressTest, RawAndTelnetAddressesParseWithTheirHostAndPort) {
  auto raw = ParseNetworkAddress("tcp://192.168.1.20:4001");
  ASSERT_TRUE(raw);
  EXPECT_EQ(raw->protocol, NetworkProtocol::Raw);
  EXPECT_EQ(raw->host, "192.168.1.20");
  EXPECT_EQ(raw->port, 4001);
  auto telnet = ParseNetworkAddress("RFC2217://stage-box.local:65535");
  ASSERT_TRUE(telnet);
  EXPECT_EQ(telnet->protocol, NetworkProtocol::Rfc2217);
  EXPECT_EQ(telnet->host, "stage-box.local");
  EXPECT_EQ(telnet->port, 65535);
  auto v6 = ParseNetworkAddress("tcp://[::1]:2000");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->host, "::1");

  for (const char* bad :
       {"tcp://host", "tcp://host:", "tcp://:4001", "tcp://host:0", "tcp://host:65536",
        "tcp://host:40x1", "tcp://host:-1", "tcp://::1:2000", "tcp://[::1]2000", "tcp://[::1",
        "telnet://host:23", "tcp://a b:1", "tcp://host/x:1", "tcp://user@host:1"}) {
    EXPECT_FALSE(ParseNetworkAddress(bad)) << bad;
    EXPECT_TRUE(IsNetworkEntry(bad)) << bad;
  }
  for (const char* device : {"/dev/ttyUSB0", "COM3", R"(\\.\COM10)", "./tty:1"}) {
    EXPECT_FALSE(IsNetworkEntry(device)) << device;
  }
}

TEST(NetworkAddressTest, PortListsMixDevicesAndServersAndNameAMalformedEntry) {
  auto table = PortTable::Parse("/dev/ttyUSB0, tcp://10.0.0.5:4001 ,rfc2217://box:7000");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->PathFor(2), "tcp://10.0.0.5:4001");
  EXPECT_EQ(table->PathFor(3), "rfc2217://box:7000");

  EXPECT_FALSE(PortTable::Parse("/dev/ttyUSB0,tcp://10.0.0.5"));
  const auto why = BadNetworkEntry("/dev/ttyUSB0, tcp://10.0.0.5 ");
  ASSERT_TRUE(why);
  EXPECT_EQ(why->rfind("\"tcp://10.0.0.5\" is not a network port; write tcp://HOST:PORT", 0), 0u);
  EXPECT_FALSE(BadNetworkEntry("/dev/ttyUSB0,tcp://10.0.0.5:1"));

  const LinkOptions options =
      ParseLinkOptions({"corvella", "--ports", "rfc2217://box", "--log", "x.log"});
  EXPECT_EQ(options.error.rfind("--ports: \"rfc2217://box\" is not a network port", 0), 0u)
      << options.error;
  ::setenv(kPortsEnvironmentVariable, "tcp://127.0.0.1:4001,/dev/ttyS0", 1);
  const LinkOptions fromEnvironment = ParseLinkOptions({"corvella"});
  ::unsetenv(kPortsEnvironmentVariable);
  EXPECT_EQ(fromEnvironment.error, "");
  EXPECT_EQ(fromEnvironment.ports.PathFor(1), "tcp://127.0.0.1:4001");
}

}  // namespace
}  // namespace corvella::link
