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
  // The overlapped records and the event word live as long as the port, not on the worker's
  // stack: an operation that outlasts the bounded wait at shut-down may still complete into them.
  OVERLAPPED waitRecord{};
  OVERLAPPED ioRecord{};
  DWORD occurred = 0;
  // The line cannot wait for events (no modem status, as on some USB adapters and Wine's
  // pseudo-terminals): the worker polls the input queue instead.
  bool pollInput = false;
};

namespace {

constexpr DWORD kLanguage = (SUBLANG_DEFAULT << 10) | LANG_NEUTRAL;
constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
// How often a line without events is polled for input. An answer's bytes wait at most this long.
constexpr DWORD kPollMs = 2;
// How often a line that waits for events is checked while nothing happens: a driver that never
// ends the wait when its device goes away (Wine's serial layer on a hung-up terminal) still
// fails the status call, so the loss is seen within this time.
constexpr DWORD kLineCheckMs = 200;
// The longest the worker waits for a cancelled operation at shut-down, so Close() returns even
// when a driver never completes it.
constexpr DWORD kCancelWaitMs = 500;

void CloseAndClear(HANDLE& handle) {
  if (handle != nullptr) ::CloseHandle(handle);
  handle = nullptr;
}

// Errors after which the device is gone (USB adapter pulled, far end hung up) rather than a call
// having failed on a device still there. An aborted operation the worker did not cancel itself
// was cancelled by the removal of its device.
bool DeviceVanished(DWORD error) {
  switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_COMMAND:
    case ERROR_INVALID_HANDLE:
    case ERROR_GEN_FAILURE:
    case ERROR_FILE_NOT_FOUND:
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_OPERATION_ABORTED:
    case ERROR_IO_DEVICE:
      return true;
    default:
      return false;
  }
}

// Errors that say the driver cannot wait for comm events on this line at all; the line itself
// works.
bool EventsUnsupported(DWORD error) {
  return error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_PARAMETER ||
         error == ERROR_INVALID_FUNCTION;
}

// A wait for comm events that ended without one. The driver may not support waiting on this line
// (Wine's serial layer aborts the wait when the line has no modem status), or the device may have
// gone: the worker then polls, and the status call of the very next poll tells a vanished device
// from a line that only cannot wait.
bool WaitGaveUp(DWORD error) {
  return EventsUnsupported(error) || error == ERROR_OPERATION_ABORTED;
}

HANDLE NewManualResetEvent() {
  return ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// Cancels `record`'s operation and waits a bounded time for it to end. Nothing the worker owns
// is released by returning early: the record belongs to the port, and closing the handle ends
// the operation for good.
void Abandon(HANDLE handle, OVERLAPPED& record) {
  ::CancelIoEx(handle, &record);
  if (::WaitForSingleObject(record.hEvent, kCancelWaitMs) == WAIT_OBJECT_0) {
    DWORD unused = 0;
    ::GetOverlappedResult(handle, &record, &unused, FALSE);
  }
}

// Line settings the definition string does not carry: no flow control of any kind, so a unit
// without handshake lines is never held off, and DTR and RTS asserted while the port is open.
void SetPlainLine(DCB& dcb) {
  dcb.fBinary = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
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
  n.pollInput = false;
  portOpen.store(true, std::memory_order_release);

  n.timeouts.ReadIntervalTimeout = 1000;
  n.timeouts.ReadTotalTimeoutMultiplier = 1000;
  n.timeouts.ReadTotalTimeoutConstant = 1000;
  n.timeouts.WriteTotalTimeoutMultiplier = 1000;
  n.timeouts.WriteTotalTimeoutConstant = 1000;
  const std::string text(definition);
  // Only received characters matter to the owner. Asking for modem-status events as well would
  // wake the worker for nothing, and fails the wait outright on lines that have no modem status.
  auto setEventMask = [&](HANDLE port) {
    if (::SetCommMask(port, eventMask & EV_RXCHAR)) return true;
    const DWORD error = ::GetLastError();
    if (!EventsUnsupported(error)) return false;
    n.pollInput = true;
    return true;
  };
  if (!::SetCommTimeouts(handle, &n.timeouts)) {
    Report("SetCommTimeouts()", static_cast<long>(::GetLastError()));
  } else if (!setEventMask(handle)) {
    Report("SetCommMask()", static_cast<long>(::GetLastError()));
  } else if (!::GetCommState(handle, &n.dcb)) {
    Report("GetCommState()", static_cast<long>(::GetLastError()));
  } else if (!::BuildCommDCBA(text.c_str(), &n.dcb)) {
    Report("BuildCommDCB()", static_cast<long>(::GetLastError()));
  } else {
    SetPlainLine(n.dcb);
    if (!::SetCommState(handle, &n.dcb)) {
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
  const bool wantBytes = (eventMask & kEvRxChar) != 0;
  enum class Step { Go, Stop, Lost };

  // A failed call: a vanished device ends the port quietly (its loss is reported once, below);
  // anything else is also shown.
  auto failed = [&](const char* call) -> Step {
    const DWORD error = ::GetLastError();
    if (!DeviceVanished(error)) Report(call, static_cast<long>(error));
    return Step::Lost;
  };

  // Waits for the overlapped read or write in n.ioRecord; the shutdown event cancels it.
  auto complete = [&](DWORD& done) -> Step {
    const HANDLE waits[2] = {n.shutdownEvent, n.ioRecord.hEvent};
    if (::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0) {
      Abandon(handle, n.ioRecord);
      return Step::Stop;
    }
    return ::GetOverlappedResult(handle, &n.ioRecord, &done, FALSE) ? Step::Go : Step::Lost;
  };

  // Takes everything the input queue holds. The status call also tells whether the device is
  // still there, so this doubles as the periodic check of an idle line.
  auto readStep = [&]() -> Step {
    std::uint8_t buffer[256];
    while (true) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!::ClearCommError(handle, &errors, &status)) return failed("ClearCommError()");
      if (status.cbInQue == 0 || !wantBytes) return Step::Go;
      const DWORD wanted = std::min<DWORD>(status.cbInQue, sizeof buffer);
      n.ioRecord = OVERLAPPED{};
      n.ioRecord.hEvent = n.ioEvent;
      DWORD got = 0;
      if (!::ReadFile(handle, buffer, wanted, &got, &n.ioRecord)) {
        if (::GetLastError() != ERROR_IO_PENDING) return failed("ReadFile()");
        const Step waited = complete(got);
        if (waited == Step::Stop) return Step::Stop;
        if (waited == Step::Lost) return failed("GetOverlappedResults() in ReadFile()");
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
      n.ioRecord = OVERLAPPED{};
      n.ioRecord.hEvent = n.ioEvent;
      DWORD put = 0;
      const auto size = static_cast<DWORD>(frame.size() - sent);
      if (!::WriteFile(handle, frame.data() + sent, size, &put, &n.ioRecord)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
          if (DeviceVanished(error)) return Step::Lost;
          Report("WriteFile()", static_cast<long>(error));
          return Step::Go;  // the frame is dropped; the answer timer notices
        }
        const Step waited = complete(put);
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

  // Arms the wait for received characters; true when some are there already. A driver that
  // cannot wait for events on this line turns the worker to polling instead of losing the port.
  bool waiting = false;
  auto armWait = [&](Step& step) -> bool {
    n.waitRecord = OVERLAPPED{};
    n.waitRecord.hEvent = n.portEvent;
    n.occurred = 0;
    if (::WaitCommEvent(handle, &n.occurred, &n.waitRecord)) return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING) {
      waiting = true;
    } else if (WaitGaveUp(error)) {
      n.pollInput = true;
    } else {
      ::SetLastError(error);
      step = failed("WaitCommEvent()");
    }
    return false;
  };

  Step step = Step::Go;
  while (step == Step::Go) {
    bool readNow = false;
    if (!n.pollInput && !waiting) readNow = armWait(step);
    if (step != Step::Go) break;
    if (!readNow) {
      // Lowest index wins: shutdown before port events before writing. Never an unbounded
      // wait: a quiet line is polled or checked on every timeout.
      const HANDLE waitHandles[3] = {n.shutdownEvent, n.portEvent, n.writeEvent};
      const HANDLE pollHandles[2] = {n.shutdownEvent, n.writeEvent};
      const DWORD which =
          waiting ? ::WaitForMultipleObjects(3, waitHandles, FALSE, kLineCheckMs)
                  : ::WaitForMultipleObjects(2, pollHandles, FALSE,
                                             n.pollInput ? kPollMs : kLineCheckMs);
      if (which == WAIT_OBJECT_0) break;
      if (which == WAIT_TIMEOUT) {
        readNow = true;
      } else if (waiting && which == WAIT_OBJECT_0 + 1) {
        waiting = false;
        DWORD unused = 0;
        if (::GetOverlappedResult(handle, &n.waitRecord, &unused, FALSE)) {
          readNow = true;
        } else if (WaitGaveUp(::GetLastError())) {
          n.pollInput = true;
          readNow = true;
        } else {
          step = failed("WaitCommEvent()");
          break;
        }
      } else if (which == WAIT_FAILED) {
        Report("WaitCommEvent()", static_cast<long>(::GetLastError()));
        step = Step::Lost;
        break;
      }
    }
    if (readNow) step = readStep();
    // Reset before taking frames, so one queued meanwhile sets it again and is not missed.
    ::ResetEvent(n.writeEvent);
    while (step == Step::Go) {
      const std::optional<std::string> frame = NextFrame();
      if (!frame) break;
      step = writeStep(*frame);
    }
  }
  if (waiting) {
    // An empty mask ends a pending wait on every driver; the cancel covers one that ignores it.
    ::SetCommMask(handle, 0);
    Abandon(handle, n.waitRecord);
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
