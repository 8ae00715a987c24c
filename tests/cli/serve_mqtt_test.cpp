// `corvella-cli serve` over MQTT end to end: a real mosquitto broker started by the test on a free
// loopback port, mosquitto_pub and mosquitto_sub as the building's automation, corvella-unit-sim
// behind the server.
#include <gtest/gtest.h>

#include "cli/serve_harness.h"

namespace corvella::cli::testing {
namespace {

TEST(ServeMqtt, RetainedStateSetsDiscoveryAndTheLastWill) {
  ScratchDir dir("serve_mqtt");
  Broker broker(dir.Path(), {"allow_anonymous true"});
  ASSERT_TRUE(broker.Running());
  SimUnit unit(dir.Path(), {"--unit", "1"});
  Server server({"--ports", unit.Path(), "serve", "--fast", "--mqtt", broker.Address()});
  ASSERT_TRUE(server.Serving()) << server.Process().Err();

  // The state is there for whoever asks later: the start-up HIGH level, -2.5 dB.
  EXPECT_EQ(broker.Take("corvella/1/output/high/level", 1), "-2.5\n");
  EXPECT_EQ(broker.Take("corvella/1/link", 1), "online\n");
  EXPECT_EQ(broker.Take("corvella/availability", 1), "online\n");

  // A set goes to the unit as the page's frame and comes back as the new retained state.
  EXPECT_EQ(broker.Publish("corvella/1/output/high/level/set", "-6.3"), 0);
  ASSERT_TRUE(server.Process().WaitForErr("1 output/high/level = -6.5"));
  EXPECT_EQ(broker.Take("corvella/1/output/high/level", 1), "-6.5\n");
  EXPECT_EQ(unit.AfterSearch().back(), "(01$0491168)");
  // A bad one says why and sends nothing.
  EXPECT_EQ(broker.Publish("corvella/1/output/high/level/set", "13"), 0);
  EXPECT_TRUE(server.Process().WaitForErr("corvella/1/output/high/level/set: out of range"));
  EXPECT_EQ(unit.AfterSearch().back(), "(01$0491168)");

  // Home Assistant finds the levels as numbers and the recall as a select.
  const std::string level =
      broker.Take("homeassistant/number/corvella_1_output_high_level/config", 1);
  for (const char* part :
       {R"("command_topic":"corvella/1/output/high/level/set")", R"("min":-90.0)", R"("max":12.0)",
        R"("step":0.5)", R"("unit_of_measurement":"dB")"}) {
    EXPECT_NE(level.find(part), std::string::npos) << part << " in " << level;
  }
  const std::string recall =
      broker.Take("homeassistant/select/corvella_1_program_recall/config", 1);
  EXPECT_NE(recall.find(R"("options":["1","2","3","4","5","6"])"), std::string::npos) << recall;

  // Killed without a word: the broker says "offline" for it.
  LiveProcess watcher(CORVELLA_MOSQUITTO_SUB,
                      {"-h", "127.0.0.1", "-p", std::to_string(broker.Port()), "-t",
                       "corvella/availability", "-C", "2", "-W", "60"});
  ASSERT_TRUE(watcher.WaitForOut("online\n"));
  server.Process().Signal(SIGKILL);
  EXPECT_EQ(watcher.Wait(), 0);
  EXPECT_EQ(watcher.Out(), "online\noffline\n");
}

TEST(ServeMqtt, ABrokerWithAPasswordFileTakesTheRightPasswordAndRefusesAWrongOne) {
  ScratchDir dir("serve_mqtt_password");
  const fs::path passwords = dir.Path() / "passwords";
  LiveProcess make(CORVELLA_MOSQUITTO_PASSWD, {"-b", "-c", passwords.string(), "desk", "s3cret"});
  ASSERT_EQ(make.Wait(), 0);
  Broker broker(dir.Path(), {"allow_anonymous false", "password_file " + passwords.string()});
  ASSERT_TRUE(broker.Running());
  const fs::path right = dir.Path() / "right";
  const fs::path wrong = dir.Path() / "wrong";
  std::ofstream(right) << "s3cret\n";
  std::ofstream(wrong) << "guess\n";

  {
    SimUnit unit(dir.Path(), {"--unit", "1"});
    Server refused({"--ports", unit.Path(), "serve", "--fast", "--mqtt", broker.Address(),
                    "--mqtt-user", "desk", "--mqtt-password-file", wrong.string()});
    EXPECT_FALSE(refused.Serving());
    EXPECT_EQ(refused.Process().Wait(), 1);
    EXPECT_NE(refused.Process().Err().find("MQTT: refused"), std::string::npos)
        << refused.Process().Err();
    // It still ends the link properly.
    EXPECT_EQ(unit.AfterSearch().back(), "(01bye)");
  }
  SimUnit unit(dir.Path(), {"--unit", "1"});
  Server accepted({"--ports", unit.Path(), "serve", "--fast", "--mqtt", broker.Address(),
                   "--mqtt-user", "desk", "--mqtt-password-file", right.string()});
  ASSERT_TRUE(accepted.Serving()) << accepted.Process().Err();
  EXPECT_EQ(accepted.Stop(), 0);
  // The password never shows on the command line, so a bad call is refused before anything opens.
  const RunResult onLine = RunCli({"serve", "--mqtt", broker.Address(), "--mqtt-password", "x"});
  EXPECT_EQ(onLine.status, 2);
}

// A CA and a broker certificate for 127.0.0.1 signed by it, made with openssl in `dir`.
bool MakeCertificates(const fs::path& dir, const std::string& ca) {
  const auto run = [](const std::vector<std::string>& args) {
    LiveProcess openssl(CORVELLA_OPENSSL, args);
    return openssl.Wait() == 0;
  };
  const std::string d = dir.string() + "/";
  std::ofstream(d + "san.ext") << "subjectAltName=IP:127.0.0.1\n";
  const bool made =
      run({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", d + ca + ".key", "-out",
           d + ca + ".crt", "-days", "2", "-subj", "/CN=" + ca}) &&
      run({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "broker.key", "-out",
           d + "broker.csr", "-subj", "/CN=127.0.0.1"}) &&
      run({"x509", "-req", "-in", d + "broker.csr", "-CA", d + ca + ".crt", "-CAkey",
           d + ca + ".key", "-CAcreateserial", "-out", d + "broker.crt", "-days", "2", "-extfile",
           d + "san.ext"});
  // A broker started as root reads its key as the user it changes to.
  fs::permissions(d + "broker.key", fs::perms::others_read | fs::perms::group_read,
                  fs::perm_options::add);
  return made;
}

TEST(ServeMqtt, TlsChecksTheBrokerAgainstTheCaFile) {
  ScratchDir dir("serve_mqtt_tls");
  ASSERT_TRUE(MakeCertificates(dir.Path(), "site-ca"));
  const std::string d = dir.Path().string() + "/";
  Broker broker(dir.Path(), {"allow_anonymous true", "cafile " + d + "site-ca.crt",
                             "certfile " + d + "broker.crt", "keyfile " + d + "broker.key"});
  ASSERT_TRUE(broker.Running());
  SimUnit unit(dir.Path(), {"--unit", "1"});
  {
    Server trusted({"--ports", unit.Path(), "serve", "--fast", "--mqtt", broker.Address(),
                    "--mqtt-cafile", d + "site-ca.crt"});
    ASSERT_TRUE(trusted.Serving()) << trusted.Process().Err();
    EXPECT_EQ(broker.Take("corvella/1/link", 1, {"--cafile", d + "site-ca.crt"}), "online\n");
    EXPECT_EQ(trusted.Stop(), 0);
  }
  // A broker the CA did not sign is not talked to.
  LiveProcess other(CORVELLA_OPENSSL,
                    {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", d + "other.key",
                     "-out", d + "other.crt", "-days", "2", "-subj", "/CN=other-ca"});
  ASSERT_EQ(other.Wait(), 0);
  Server untrusted({"--ports", unit.Path(), "serve", "--fast", "--mqtt", broker.Address(),
                    "--mqtt-cafile", d + "other.crt"});
  EXPECT_FALSE(untrusted.Serving());
  EXPECT_EQ(untrusted.Process().Wait(), 1);
  // The handshake fails while connecting or just after, by how quickly the broker answers.
  const std::string& err = untrusted.Process().Err();
  EXPECT_TRUE(err.find("MQTT: no connection") != std::string::npos ||
              err.find("TLS") != std::string::npos)
      << err;
}

}  // namespace
}  // namespace corvella::cli::testing
