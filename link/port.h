// The serial port as its users see it: the engine and the device search talk to this interface, so
// the same engine runs over a real port (SerialPort) or straight into an in-process virtual unit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvella::link {

// Runs a task on the owner's thread (the UI thread or the CLI's main thread), in posting order.
// Must never block the caller: the serial worker uses it to hand bytes over.
class OwnerThread {
 public:
  virtual ~OwnerThread() = default;
  virtual void Post(std::function<void()> task) = 0;
};

// What a port reports to its owner. Every call arrives on the owner's thread.
class PortEvents {
 public:
  virtual ~PortEvents() = default;
  // One received byte, in arrival order.
  virtual void OnPortByte(int portNumber, std::uint8_t byte) = 0;
  // A failing system call other than the open: the "Application Error" box with this text.
  virtual void OnPortFailure(int portNumber, const std::string& boxText) = 0;
  // The device went away while open (read error, hang-up). Reported once; the port is then closed.
  virtual void OnPortLost(int portNumber) = 0;
};

inline constexpr int kBaud = 9600;
inline constexpr char kParity = 'N';
inline constexpr int kDataBits = 8;
inline constexpr int kStopBits = 2;
inline constexpr unsigned kEvRxChar = 0x0001;
inline constexpr unsigned kEvCts = 0x0008;
inline constexpr unsigned kEventMask = kEvRxChar | kEvCts;  // 9
inline constexpr int kWriteBufferSize = 512;                // a frame holds at most 511 characters

class Port {
 public:
  virtual ~Port() = default;
  // (Re)opens port number `portNumber` (COMn = n-th entry of the port table). False only when the
  // port cannot be opened; configuration failures are reported through `owner` and still return true.
  virtual bool Open(PortEvents* owner, int portNumber, int baud, char parity, int dataBits,
                    int stopBits, unsigned eventMask, int writeBufferSize) = 0;
  virtual bool StartMonitoring() = 0;
  // Queues one whole frame; frames leave in order and are never cut. False when refused (too long,
  // port closed); a refusal of an overlong frame is reported through the owner.
  virtual bool WriteToPort(std::string_view frame) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual int PortNumber() const = 0;
};

}  // namespace corvella::link
