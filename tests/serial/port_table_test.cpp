// Which device each COM number means, and the options that choose the table.
#include "link/port_table.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace corvella::link {
namespace {

TEST(PortTableTest, NaturalOrderCountsDigitRunsByValue) {
  EXPECT_TRUE(NaturalLess("ttyUSB2", "ttyUSB10"));
  EXPECT_FALSE(NaturalLess("ttyUSB10", "ttyUSB2"));
  EXPECT_TRUE(NaturalLess("ttyS9", "ttyS10"));
  EXPECT_TRUE(NaturalLess("ttyS1", "ttyS1a"));
  EXPECT_TRUE(NaturalLess("ttyACM", "ttyACM0"));
  EXPECT_FALSE(NaturalLess("ttyS007", "ttyS7"));
  EXPECT_FALSE(NaturalLess("ttyS7", "ttyS007"));  // equal by value: neither is less
  EXPECT_TRUE(NaturalLess("a99999999999999999999", "a100000000000000000000"));  // beyond 64 bits
  EXPECT_FALSE(NaturalLess("same", "same"));
}

TEST(PortTableTest, WindowsNamesFromTenOnCarryTheDeviceNamespacePrefix) {
  EXPECT_EQ(ComDeviceName(1), "COM1");
  EXPECT_EQ(ComDeviceName(9), "COM9");
  EXPECT_EQ(ComDeviceName(10), R"(\\.\COM10)");
  EXPECT_EQ(ComDeviceName(256), R"(\\.\COM256)");
}

TEST(PortTableTest, TheSystemScanListsSerialDevicesAdaptersFirstInNaturalOrder) {
  char pattern[] = "/tmp/corvella-dev-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path dir(pattern);
  for (const char* name : {"ttyS10", "ttyS2", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyAMA0", "tty0",
                           "ttyS", "ttySAC0", "null", "ttyUSBx"}) {
    std::ofstream(dir / name).put('\0');
  }
  std::filesystem::create_directory(dir / "ttyUSB5");
  const PortTable table = PortTable::FromDirectory(dir.string());
  std::vector<std::string> names;
  for (const auto& path : table.Paths()) names.push_back(std::filesystem::path(path).filename());
  EXPECT_EQ(names, (std::vector<std::string>{"ttyUSB2", "ttyUSB10", "ttyACM0", "ttyAMA0", "ttyS2",
                                             "ttyS10"}));
  EXPECT_EQ(table.PathFor(1), (dir / "ttyUSB2").string());
  std::filesystem::remove_all(dir);
  EXPECT_EQ(PortTable::FromDirectory(dir.string()).Size(), 0);  // a vanished directory: no ports
}

TEST(PortTableTest, ListsParseAndAPathCanBePutFirst) {
  auto table = PortTable::Parse(" /dev/ttyUSB0 ,,/dev/ttyS0, ");
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Paths(), (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyS0"}));
  EXPECT_FALSE(PortTable::Parse(""));
  EXPECT_FALSE(PortTable::Parse(" , ,"));

  EXPECT_FALSE(table->PathFor(0));
  EXPECT_FALSE(table->PathFor(-3));
  EXPECT_FALSE(table->PathFor(3));
  EXPECT_EQ(table->PathFor(2), "/dev/ttyS0");

  table->PutFirst("/dev/pts/7");
  EXPECT_EQ(table->Paths(), (std::vector<std::string>{"/dev/pts/7", "/dev/ttyUSB0", "/dev/ttyS0"}));
  table->PutFirst("/dev/ttyS0");  // already listed: moves, not doubled
  EXPECT_EQ(table->Paths(), (std::vector<std::string>{"/dev/ttyS0", "/dev/pts/7", "/dev/ttyUSB0"}));
}

TEST(PortTableTest, TheOptionBeatsTheEnvironmentWhichBeatsTheSystem) {
  ::setenv(kPortsEnvironmentVariable, "/dev/env0,/dev/env1", 1);
  LinkOptions options = ParseLinkOptions({"corvella", "--ports", "/dev/a,/dev/b", "file.asc"});
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(options.ports.Paths(), (std::vector<std::string>{"/dev/a", "/dev/b"}));
  EXPECT_EQ(options.rest, (std::vector<std::string>{"corvella", "file.asc"}));
  EXPECT_FALSE(options.logPath);

  options = ParseLinkOptions({"corvella", "--log=link.log", "--ports=/dev/c"});
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(options.ports.Paths(), (std::vector<std::string>{"/dev/c"}));
  EXPECT_EQ(options.logPath, "link.log");

  const char* argv[] = {"corvella", "--log", "j.txt"};
  options = ParseLinkOptions(3, argv);
  EXPECT_EQ(options.ports.Paths(), (std::vector<std::string>{"/dev/env0", "/dev/env1"}));
  EXPECT_EQ(options.logPath, "j.txt");

  ::setenv(kPortsEnvironmentVariable, " , ", 1);  // names nothing: as if unset
  EXPECT_EQ(ParseLinkOptions({"corvella"}).ports.Paths(), PortTable::FromSystem().Paths());
  ::unsetenv(kPortsEnvironmentVariable);
  EXPECT_EQ(ParseLinkOptions({"corvella"}).ports.Paths(), PortTable::FromSystem().Paths());
}

TEST(PortTableTest, MalformedOptionsGiveAClearError) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"corvella", "--ports"}, {"corvella", "--ports="}, {"corvella", "--ports", ","}}) {
    const LinkOptions options = ParseLinkOptions(arguments);
    EXPECT_NE(options.error.find("--ports needs"), std::string::npos) << arguments.back();
  }
  for (const auto& arguments :
       std::vector<std::vector<std::string>>{{"corvella", "--log"}, {"corvella", "--log="}}) {
    EXPECT_NE(ParseLinkOptions(arguments).error.find("--log needs"), std::string::npos);
  }
  // A look-alike is the program's own argument, and the program name is never taken as an option.
  const LinkOptions options = ParseLinkOptions({"--ports", "--portsx", "--logfile"});
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(options.rest, (std::vector<std::string>{"--ports", "--portsx", "--logfile"}));
}

}  // namespace
}  // namespace corvella::link
