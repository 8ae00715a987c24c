// The Windows backend: an overlapped COM handle, WaitCommEvent, and the worker waiting on the
// shutdown, port-event and write events in that order of priority.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>

#include "link/serial_port.h"

namespace corvella::link {

struct SerialPort::Native {
  HANDLE portHandle = nullptr;     // null when closed (CreateFile's failure value is mapped to it)
  HANDLE shutdownEvent = nullptr;  // set to make the worker end
  HANDLE portEvent = nullptr;      // the wait-for-comm-event record's event
  HANDLE writeEvent = nullptr;     // set when a frame is queued
  HANDLE ioEvent = nullptr;        // the read and write records' event
  COMMTIMEOUTS timeouts{};
  DCB dcb{};
};

namespace {

constexpr DWORD kLanguage = (SUBLANG_DEFAULT << 10) | LANG_NEUTRAL;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

void CloseAndClear(HANDLE& handle) {
  if (handle != nullptr) ::CloseHandle(handle);
  handle = nullptr;
}

// Errors after which the device is gone (USB adapter pulled) rather than a call having failed.
bool DeviceVanished(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_INVALID_HANDLE:
    case ERROR_GEN_FAILURE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
      return true;
    default:
      return false;
  }
}

HANDLE NewManualResetEvent() {
  return ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

}  // namespace

auto SerialPort::NewNative() -> std::unique_ptr<Native, NativeDeleter> {
  return std::unique_ptr<Native, NativeDeleter>(new Native);
}

void SerialPort::NativeDeleter::operator()(Native* handles) const {
  delete handles;
}

std::string SerialPort::SystemErrorText(long code) {
  char text[512] = {};
  const DWORD length =
      ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       static_cast<DWORD>(code), kLanguage, text, sizeof text, nullptr);
  if (length == 0) return "Error " + std::to_string(code);
  return std::string(text, length);
}

long SerialPort::OverlongFrameError() {
  return ERROR_INSUFFICIENT_BUFFER;
}

bool SerialPort::OpenDevice(const std::string& path, std::string_view definition) {
  Native& n = *native;
  // Fresh events on every open: first the port-event record's, then writing, then shutdown.
  n.portEvent = NewManualResetEvent();
  n.writeEvent = NewManualResetEvent();
  n.shutdownEvent = NewManualResetEvent();
  n.ioEvent = NewManualResetEvent();
  if (n.portEvent == nullptr || n.writeEvent == nullptr || n.shutdownEvent == nullptr ||
      n.ioEvent == nullptr) {
    Report("CreateEvent()", static_cast<long>(::GetLastError()));
    CloseDevice();
    return false;
  }
  HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
    CloseDevice();
    return false;
  }
  n.portHandle = handle;
  portOpen.store(true, std::memory_order_release);

  n.timeouts.ReadIntervalTimeout = 1000;
  n.timeouts.ReadTotalTimeoutMultiplier = 1000;
  n.timeouts.ReadTotalTimeoutConstant = 1000;
  n.timeouts.WriteTotalTimeoutMultiplier = 1000;
  n.timeouts.WriteTotalTimeoutConstant = 1000;
  const std::string text(definition);
  if (!::SetCommTimeouts(handle, &n.timeouts)) {
    Report("SetCommTimeouts()", static_cast<long>(::GetLastError()));
  } else if (!::SetCommMask(handle, eventMask)) {
    Report("SetCommMask()", static_cast<long>(::GetLastError()));
  } else if (!::GetCommState(handle, &n.dcb)) {
    Report("GetCommState()", static_cast<long>(::GetLastError()));
  } else {
    n.dcb.fRtsControl = RTS_CONTROL_ENABLE;
    if (!::BuildCommDCBA(text.c_str(), &n.dcb)) {
      Report("BuildCommDCB()", static_cast<long>(::GetLastError()));
    } else if (!::SetCommState(handle, &n.dcb)) {
      Report("SetCommState()", static_cast<long>(::GetLastError()));
    }
  }
  if (!::PurgeComm(handle, kPurgeAll)) Report("PurgeComm()", static_cast<long>(::GetLastError()));
  return true;
}

void SerialPort::PrepareWorker() {
  // Whatever came before monitoring began answers nothing we sent.
  if (!::PurgeComm(native->portHandle, kPurgeAll)) {
    Report("PurgeComm()", static_cast<long>(::GetLastError()));
  }
  ::ResetEvent(native->shutdownEvent);
}

void SerialPort::WakeWorker() {
  if (native->writeEvent != nullptr) ::SetEvent(native->writeEvent);
}

void SerialPort::SignalShutdown() {
  ::SetEvent(native->shutdownEvent);
}

void SerialPort::CloseDevice() {
  CloseAndClear(native->portHandle);
  CloseAndClear(native->portEvent);
  CloseAndClear(native->writeEvent);
  CloseAndClear(native->shutdownEvent);
  CloseAndClear(native->ioEvent);
}

void SerialPort::WorkerMain() {
  Native& n = *native;
  const HANDLE handle = n.portHandle;
  enum class Step { Go, Stop, Lost };

  // Waits for an overlapped read or write; the shutdown event cancels it. The record lives on our
  // stack, so a cancelled operation is always waited out before returning.
  auto complete = [&](OVERLAPPED& record, DWORD& done) -> Step {
    const HANDLE waits[2] = {n.shutdownEvent, record.hEvent};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
      ::CancelIoEx(handle, &record);
      ::GetOverlappedResult(handle, &record, &done, TRUE);
      return Step::Stop;
    }
    return ::GetOverlappedResult(handle, &record, &done, FALSE) ? Step::Go : Step::Lost;
  };

  auto readStep = [&]() -> Step {
    std::uint8_t buffer[256];
    while (true) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!::ClearCommError(handle, &errors, &status)) {
        const DWORD error = ::GetLastError();
        if (!DeviceVanished(error)) Report("ClearCommError()", static_cast<long>(error));
        return Step::Lost;
      }
      if (status.cbInQue == 0) return Step::Go;
      const DWORD wanted = std::min<DWORD>(status.cbInQue, sizeof buffer);
      OVERLAPPED record{};
      record.hEvent = n.ioEvent;
      DWORD got = 0;
      if (!::ReadFile(handle, buffer, wanted, &got, &record)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
          if (!DeviceVanished(error)) Report("ReadFile()", static_cast<long>(error));
          return Step::Lost;
        }
        const Step waited = complete(record, got);
        if (waited == Step::Stop) return Step::Stop;
        if (waited == Step::Lost) {
          const DWORD failure = ::GetLastError();
          if (!DeviceVanished(failure)) {
            Report("GetOverlappedResults() in ReadFile()", static_cast<long>(failure));
          }
          return Step::Lost;
        }
      }
      HandOver(buffer, got);
    }
  };

  auto writeStep = [&](const std::string& frame) -> Step {
    // Unread input is a stale answer; output not yet sent is a frame we owe the unit.
    if (!::PurgeComm(handle, PURGE_RXCLEAR)) {
      const DWORD error = ::GetLastError();
      if (DeviceVanished(error)) return Step::Lost;
      Report("PurgeComm()", static_cast<long>(error));
    }
    std::size_t sent = 0;
    while (sent < frame.size()) {
      OVERLAPPED record{};
      record.hEvent = n.ioEvent;
      DWORD put = 0;
      const auto size = static_cast<DWORD>(frame.size() - sent);
      if (!::WriteFile(handle, frame.data() + sent, size, &put, &record)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
          if (DeviceVanished(error)) return Step::Lost;
          Report("WriteFile()", static_cast<long>(error));
          return Step::Go;  // the frame is dropped; the answer timer notices
        }
        const Step waited = complete(record, put);
        if (waited == Step::Stop) return Step::Stop;
        if (waited == Step::Lost) {
          const DWORD failure = ::GetLastError();
          if (DeviceVanished(failure)) return Step::Lost;
          Report("GetOverlappedResults() in WriteFile()", static_cast<long>(failure));
          return Step::Go;
        }
      }
      if (put == 0) {  // the write timed out: the line is stuck
        Report("WriteFile()", ERROR_TIMEOUT);
        return Step::Go;
      }
      sent += put;
    }
    LogSent(frame);
    return Step::Go;
  };

  OVERLAPPED waitRecord{};
  waitRecord.hEvent = n.portEvent;
  DWORD occurred = 0;
  bool waiting = false;
  Step step = Step::Go;
  const HANDLE waitHandles[3] = {n.shutdownEvent, n.portEvent, n.writeEvent};
  while (step == Step::Go) {
    bool portEvent = false;
    if (!waiting) {
      if (::WaitCommEvent(handle, &occurred, &waitRecord)) {
        portEvent = true;  // something is there already
      } else {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
          waiting = true;
        } else if (error != ERROR_INVALID_PARAMETER) {
          if (!DeviceVanished(error)) Report("WaitCommEvent()", static_cast<long>(error));
          step = Step::Lost;
          break;
        }
      }
    }
    if (!portEvent) {
      // Lowest index wins: shutdown before port events before writing.
      const DWORD which = ::WaitForMultipleObjects(3, waitHandles, FALSE, INFINITE);
      if (which == WAIT_OBJECT_0) break;
      if (which == WAIT_OBJECT_0 + 1) {
        DWORD unused = 0;
        waiting = false;
        if (!::GetOverlappedResult(handle, &waitRecord, &unused, FALSE)) {
          const DWORD error = ::GetLastError();
          if (!DeviceVanished(error)) Report("WaitCommEvent()", static_cast<long>(error));
          step = Step::Lost;
          break;
        }
        portEvent = true;
      } else if (which != WAIT_OBJECT_0 + 2) {
        Report("WaitCommEvent()", static_cast<long>(::GetLastError()));
        step = Step::Lost;
        break;
      }
    }
    // The owner takes no notice of CTS, break, error or ring events; only received bytes matter.
    if (portEvent && (eventMask & kEvRxChar) != 0) step = readStep();
    // Reset before taking frames, so one queued meanwhile sets it again and is not missed.
    ::ResetEvent(n.writeEvent);
    while (step == Step::Go) {
      const std::optional<std::string> frame = NextFrame();
      if (!frame) break;
      step = writeStep(*frame);
    }
  }
  if (waiting) {
    // The pending wait writes into waitRecord on our stack: cancel it and wait it out.
    ::CancelIoEx(handle, &waitRecord);
    DWORD unused = 0;
    ::GetOverlappedResult(handle, &waitRecord, &unused, TRUE);
  }

  // Report the loss once and leave the port closed: no loop of failing calls. Marked closed and
  // ended before the report, so the owner handling it sees a port neither open nor monitored.
  if (step == Step::Lost) portOpen.store(false, std::memory_order_release);
  workerAlive.store(false, std::memory_order_release);
  if (step == Step::Lost) {
    CloseAndClear(native->portHandle);
    ReportLost();
  }
}

}  // namespace corvella::link
