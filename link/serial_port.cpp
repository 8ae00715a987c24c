// The parts of SerialPort that both backends share: the frame queue, the hand-over to the owner and
// the failure texts.
#include "link/serial_port.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <system_error>
#include <utility>

#include "link/journal.h"

namespace corvella::link {
namespace {

std::optional<int> TakeField(std::string_view& text, std::string_view key) {
  if (text.substr(0, key.size()) != key) return std::nullopt;
  text.remove_prefix(key.size());
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

}  // namespace

std::string FailureBoxText(std::string_view call, std::string_view errorText, int portNumber) {
  std::string text = "WARNING:  ";
  text += call;
  text += " Failed with the following error: \n";
  text += errorText;
  text += "\nPort: ";
  text += std::to_string(portNumber);
  text += "\n";
  return text;
}

std::string LineDefinition(int baud, char parity, int dataBits, int stopBits) {
  char text[80];
  std::snprintf(text, sizeof text, "baud=%d parity=%c data=%d stop=%d", baud, parity, dataBits,
                stopBits);
  return text;
}

std::optional<LineSettings> ParseLineDefinition(std::string_view definition) {
  LineSettings settings;
  const auto baud = TakeField(definition, "baud=");
  if (!baud || *baud <= 0 || definition.substr(0, 8) != " parity=" || definition.size() < 9) {
    return std::nullopt;
  }
  settings.baud = *baud;
  switch (definition[8]) {
    case 'N':
    case 'n':
      settings.parity = 'N';
      break;
    case 'E':
    case 'e':
      settings.parity = 'E';
      break;
    case 'O':
    case 'o':
      settings.parity = 'O';
      break;
    case 'M':
    case 'm':
      settings.parity = 'M';
      break;
    case 'S':
    case 's':
      settings.parity = 'S';
      break;
    default:
      return std::nullopt;
  }
  definition.remove_prefix(9);
  const auto data = TakeField(definition, " data=");
  const auto stop = TakeField(definition, " stop=");
  if (!data || *data < 5 || *data > 8 || !stop || (*stop != 1 && *stop != 2) ||
      !definition.empty()) {
    return std::nullopt;
  }
  settings.dataBits = *data;
  settings.stopBits = *stop;
  return settings;
}

SerialPort::SerialPort(OwnerThread& runner, PortTable ports, Journal* log)
    : ownerThread(runner), table(std::move(ports)), journal(log), native(NewNative()) {}

SerialPort::~SerialPort() {
  Close();
}

bool SerialPort::Open(PortEvents* newOwner, int newPortNumber, int baud, char parity, int dataBits,
                      int stopBits, unsigned newEventMask, int newWriteBufferSize) {
  Close();
  owner = newOwner;
  portNumber = newPortNumber;
  eventMask = newEventMask;
  writeBufferSize = newWriteBufferSize;
  session = std::make_shared<Session>();
  const std::optional<std::string> path = table.PathFor(newPortNumber);
  if (!path) return false;
  return OpenDevice(*path, LineDefinition(baud, parity, dataBits, stopBits));
}

bool SerialPort::StartMonitoring() {
  if (!IsOpen()) return false;
  if (IsMonitoring()) return true;
  if (workerThread.joinable()) workerThread.join();  // one that has ended but not been joined yet
  PrepareWorker();
  shutdown.store(false, std::memory_order_release);
  workerAlive.store(true, std::memory_order_release);
  try {
    workerThread = std::thread(&SerialPort::WorkerMain, this);
  } catch (const std::system_error&) {
    workerAlive.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

void SerialPort::StopWorker() {
  if (!workerThread.joinable()) return;
  shutdown.store(true, std::memory_order_release);
  SignalShutdown();
  workerThread.join();
}

bool SerialPort::WriteToPort(std::string_view frame) {
  if (!IsOpen()) return false;
  if (frame.size() + 1 > static_cast<std::size_t>(std::max(writeBufferSize, 0))) {
    // The unit has no use for a cut frame; refuse it whole and tell the user.
    Report("WriteToPort()", OverlongFrameError());
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(queueLock);
    writeQueue.emplace_back(frame);
  }
  WakeWorker();
  return true;
}

void SerialPort::Close() {
  StopWorker();
  CloseDevice();
  portOpen.store(false, std::memory_order_release);
  if (session) session->live.store(false, std::memory_order_release);
  std::lock_guard<std::mutex> guard(queueLock);
  writeQueue.clear();
}

bool SerialPort::IsOpen() const {
  return portOpen.load(std::memory_order_acquire);
}

void SerialPort::Report(std::string_view call, long errorCode) {
  PortEvents* target = owner;
  if (target == nullptr) return;
  // Unlike bytes, a failure is told even when the port was closed meanwhile: it really happened.
  ownerThread.Post([target, number = portNumber,
                    text = FailureBoxText(call, SystemErrorText(errorCode), portNumber)] {
    target->OnPortFailure(number, text);
  });
}

void SerialPort::ReportLost() {
  wentAway.store(true, std::memory_order_release);
  PortEvents* target = owner;
  if (target == nullptr) return;
  ownerThread.Post([live = session, target, number = portNumber] {
    if (live->live.load(std::memory_order_acquire)) target->OnPortLost(number);
  });
}

void SerialPort::HandOver(const std::uint8_t* bytes, std::size_t count) {
  if (count == 0) return;
  if (journal != nullptr) {
    const std::string name = journalName.empty() ? Journal::ComName(portNumber) : journalName;
    for (std::size_t i = 0; i < count; ++i) journal->LogReceived(name, bytes[i]);
  }
  PortEvents* target = owner;
  if (target == nullptr) return;
  // One task per read keeps the owner's queue short; each byte is still handed over on its own,
  // and a close in the middle of a burst stops the rest.
  ownerThread.Post([live = session, target, number = portNumber,
                    data = std::string(reinterpret_cast<const char*>(bytes), count)] {
    for (const char c : data) {
      if (!live->live.load(std::memory_order_acquire)) return;
      target->OnPortByte(number, static_cast<std::uint8_t>(c));
    }
  });
}

std::optional<std::string> SerialPort::NextFrame() {
  std::lock_guard<std::mutex> guard(queueLock);
  if (writeQueue.empty()) return std::nullopt;
  std::string frame = std::move(writeQueue.front());
  writeQueue.pop_front();
  return frame;
}

void SerialPort::LogSent(std::string_view frame) {
  if (journal == nullptr) return;
  journal->LogSent(journalName.empty() ? Journal::ComName(portNumber) : journalName, frame);
}

}  // namespace corvella::link
