// The serial port that reaches the unit: opens and configures COMn (the n-th device of the port
// table, or a device server's line on the network: tcp:// or rfc2217://), runs one worker thread
// that hands every received byte to the owner and writes the queued frames whole, one after the
// other. Knows nothing of frames or of the protocol.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "link/port.h"
#include "link/port_table.h"

namespace corvella::link {

class Journal;

inline constexpr char kFailureCaption[] = "Application Error";

// The "Application Error" box text for a failed system call (`call` as "ReadFile()").
std::string FailureBoxText(std::string_view call, std::string_view errorText, int portNumber);

// "baud=%d parity=%c data=%d stop=%d"
std::string LineDefinition(int baud, char parity, int dataBits, int stopBits);

// The settings a line definition asks for, or nothing when it is malformed or out of range.
struct LineSettings {
  int baud = 0;
  char parity = 'N';  // N, E, O, M or S
  int dataBits = 8;   // 5 .. 8
  int stopBits = 1;   // 1 or 2
};
std::optional<LineSettings> ParseLineDefinition(std::string_view definition);

class SerialPort final : public Port {
 public:
  // `runner` runs everything reported to the owner; `log`, when given, records the traffic.
  // Both must outlive the port. The owner given to Open must outlive the tasks posted for it
  // (or `runner` must drop them): a failure box is still told after the port was closed.
  SerialPort(OwnerThread& runner, PortTable ports, Journal* log = nullptr);
  ~SerialPort() override;
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;

  // The owner's thread only, as are all the operations below.
  void SetPortTable(PortTable newTable) { table = std::move(newTable); }
  const PortTable& Table() const { return table; }

  bool Open(PortEvents* owner, int portNumber, int baud, char parity, int dataBits, int stopBits,
            unsigned eventMask, int writeBufferSize) override;
  bool StartMonitoring() override;
  bool WriteToPort(std::string_view frame) override;
  void Close() override;
  // False once the port was closed or lost.
  bool IsOpen() const override;
  int PortNumber() const override { return portNumber; }
  // Whether the worker thread is running.
  bool IsMonitoring() const { return workerAlive.load(std::memory_order_acquire); }
  // The device went away while it was open (not closed by the owner).
  bool WasLost() const { return wentAway.load(std::memory_order_acquire); }
  // How the journal names this port ("COMn" unless set): the fleet names each by its device.
  void SetJournalName(std::string name) { journalName = std::move(name); }

 private:
  struct Native;  // the platform's handles, one per backend
  // What tasks already posted to the owner may still reach: a closed session delivers no bytes and
  // no loss, so nothing of a port that was closed or reopened reaches the owner afterwards.
  struct Session {
    std::atomic<bool> live{true};
  };

  struct NativeDeleter {
    void operator()(Native* handles) const;
  };

  // Backend (serial_port_posix.cpp / serial_port_win32.cpp).
  static std::unique_ptr<Native, NativeDeleter> NewNative();
  bool OpenDevice(const std::string& path, std::string_view definition);
  void PrepareWorker();   // before the worker starts
  void WakeWorker();      // a frame is queued
  void SignalShutdown();  // `shutdown` is set
  void CloseDevice();
  void WorkerMain();
  static std::string SystemErrorText(long code);
  static long OverlongFrameError();
#ifndef _WIN32
  // The socket backend for a COMn that names a network address (socket_port_posix.cpp).
  bool OpenNetwork(const std::string& address, std::string_view definition);
  void PrepareNetworkWorker();
  bool RunNetworkWorker();  // true when the connection was lost
  void EndWorker(bool lost);
#endif

  // Shared by the backends.
  void StopWorker();
  void Report(std::string_view call, long errorCode);
  void ReportLost();
  void HandOver(const std::uint8_t* bytes, std::size_t count);
  std::optional<std::string> NextFrame();
  void LogSent(std::string_view frame);

  OwnerThread& ownerThread;
  PortTable table;
  Journal* journal;
  std::string journalName;
  std::atomic<bool> wentAway{false};

  std::thread workerThread;
  std::atomic<bool> workerAlive{false};
  std::atomic<bool> shutdown{false};
  std::atomic<bool> portOpen{false};  // cleared by the worker when the device goes away
  std::unique_ptr<Native, NativeDeleter> native;
  PortEvents* owner = nullptr;
  int portNumber = 0;
  unsigned eventMask = 0;
  int writeBufferSize = kWriteBufferSize;
  std::shared_ptr<Session> session;

  std::mutex queueLock;  // guards writeQueue between the owner and the worker
  std::deque<std::string> writeQueue;
};

}  // namespace corvella::link
