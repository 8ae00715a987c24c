// Which device a port number means: COMn is the n-th entry of the table. The table comes from the
// command line (--ports), else the CORVELLA_PORTS environment variable, else the serial devices
// present.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvella::link {

inline constexpr char kPortsEnvironmentVariable[] = "CORVELLA_PORTS";

class PortTable {
 public:
  PortTable() = default;
  explicit PortTable(std::vector<std::string> paths);

  // "PATH[,PATH...]"; blanks around a path are dropped. A path may also be a device server's
  // line, tcp://HOST:PORT or rfc2217://HOST:PORT (link/network_address.h). Empty when the list
  // names no path or holds a malformed network address.
  static std::optional<PortTable> Parse(std::string_view list);
  // The serial devices present, USB adapters first, each family in natural order (ttyUSB2 before
  // ttyUSB10). On Windows the numbers map straight to COM1 .. COM256.
  static PortTable FromSystem();
  // The serial ports the system has, for the tools that work every port at once: on Windows the
  // ports in the SERIALCOMM device map (not every COM number the window's search walks),
  // elsewhere FromSystem's list.
  static PortTable PresentPorts();
  // The serial devices among the entries of `directory` (the system scan reads /dev).
  static PortTable FromDirectory(const std::string& directory);

  // Makes `path` COM1; the other entries keep their order behind it.
  void PutFirst(const std::string& path);

  // The device of COMn, or nothing when n is outside the table.
  std::optional<std::string> PathFor(int portNumber) const;
  int Size() const { return static_cast<int>(paths_.size()); }
  const std::vector<std::string>& Paths() const { return paths_; }

 private:
  std::vector<std::string> paths_;
};

// The Windows device name of COMn: "COM1" .. "COM9", then "\\.\COM10" and up, which need the
// device namespace prefix.
std::string ComDeviceName(int number);

// Orders names as people count: digit runs compare by value ("ttyUSB2" < "ttyUSB10").
bool NaturalLess(std::string_view a, std::string_view b);

// The options that the window and the CLI share: "--ports LIST" / "--ports=LIST" and
// "--log FILE" / "--log=FILE". Other arguments are kept in order for the program's own parser.
struct LinkOptions {
  PortTable ports;  // the option's list, else the environment's, else the system's
  std::optional<std::string> logPath;  // the protocol journal, when asked for
  std::vector<std::string> rest;       // arguments[0] (the program) and everything not ours
  std::string error;  // set when an option is malformed; the rest is then unreliable
};

LinkOptions ParseLinkOptions(const std::vector<std::string>& arguments);
LinkOptions ParseLinkOptions(int argc, const char* const* argv);

}  // namespace corvella::link
