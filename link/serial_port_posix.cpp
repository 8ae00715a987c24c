// The POSIX backend: termios, poll() on the device and a wake-up pipe, one worker per open port.
#include "link/serial_port_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "link/network_address.h"

namespace corvella::link {

namespace {

using posix::CloseFd;
using posix::DrainWake;
using posix::MakeWakePipe;

// The exclusive flag belongs to the terminal, not to our descriptor: it would outlive our close
// while someone else (a virtual unit holding its pseudo-terminal's slave) keeps the device open,
// and the next open of the same port would fail.
void CloseDeviceFd(int& fd) {
  if (fd >= 0) ::ioctl(fd, TIOCNXCL);
  CloseFd(fd);
}

// Errors that mean the device itself is gone (adapter pulled, far side of a pseudo-terminal
// closed), as opposed to a call that failed on a device still there.
bool DeviceVanished(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

std::optional<speed_t> SpeedFor(int baud) {
  switch (baud) {
    case 50:
      return B50;
    case 75:
      return B75;
    case 110:
      return B110;
    case 134:
      return B134;
    case 150:
      return B150;
    case 200:
      return B200;
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 1800:
      return B1800;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
#ifdef B460800
    case 460800:
      return B460800;
#endif
#ifdef B921600
    case 921600:
      return B921600;
#endif
    default:
      return std::nullopt;
  }
}

// The line settings as termios flags; false when this system cannot express them.
bool ApplyLineSettings(const LineSettings& settings, termios& tio) {
  const auto speed = SpeedFor(settings.baud);
  if (!speed) return false;
  tcflag_t parity = 0;
  switch (settings.parity) {
    case 'N':
      break;
    case 'E':
      parity = PARENB;
      break;
    case 'O':
      parity = PARENB | PARODD;
      break;
#ifdef CMSPAR
    case 'M':
      parity = PARENB | PARODD | CMSPAR;
      break;
    case 'S':
      parity = PARENB | CMSPAR;
      break;
#endif
    default:
      return false;
  }
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  cfmakeraw(&tio);
  tcflag_t cleared = CSIZE | CSTOPB | PARENB | PARODD;
#ifdef CMSPAR
  cleared |= CMSPAR;
#endif
#ifdef CRTSCTS
  cleared |= CRTSCTS;
#endif
  tio.c_cflag &= ~cleared;
  tio.c_cflag |= CLOCAL | CREAD | parity | kSizes[settings.dataBits - 5];
  if (settings.stopBits == 2) tio.c_cflag |= CSTOPB;
  tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  return cfsetispeed(&tio, *speed) == 0 && cfsetospeed(&tio, *speed) == 0;
}

}  // namespace

auto SerialPort::NewNative() -> std::unique_ptr<Native, NativeDeleter> {
  return std::unique_ptr<Native, NativeDeleter>(new Native);
}

void SerialPort::NativeDeleter::operator()(Native* handles) const {
  delete handles;
}

std::string SerialPort::SystemErrorText(long code) {
  return std::strerror(static_cast<int>(code));
}

long SerialPort::OverlongFrameError() {
  return EMSGSIZE;
}

bool SerialPort::OpenDevice(const std::string& path, std::string_view definition) {
  if (IsNetworkEntry(path)) return OpenNetwork(path, definition);
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  // Exclusive use, like an unshared Windows handle. A device that refuses it (not a terminal at
  // all) counts as one that cannot be opened.
  if (::ioctl(fd, TIOCEXCL) != 0) {
    ::close(fd);
    return false;
  }
  if (!MakeWakePipe(native->wakeRead, native->wakeWrite)) {
    Report("CreateEvent()", errno);
    ::close(fd);
    return false;
  }
  native->portHandle = fd;
  portOpen.store(true, std::memory_order_release);

  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    Report("GetCommState()", errno);
    return true;
  }
  const std::optional<LineSettings> settings = ParseLineDefinition(definition);
  if (!settings || !ApplyLineSettings(*settings, tio)) {
    Report("BuildCommDCB()", EINVAL);
    return true;
  }
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    Report("SetCommState()", errno);
    return true;
  }
  // RTS stays asserted while the port is open, as the Windows backend's RTS_CONTROL_ENABLE does.
  // Pseudo-terminals have no modem lines, which is no failure.
  const int rts = TIOCM_RTS;
  if (::ioctl(fd, TIOCMBIS, &rts) != 0 && errno != ENOTTY && errno != EINVAL) {
    Report("SetCommState()", errno);
    return true;
  }
  if (::tcflush(fd, TCIOFLUSH) != 0) Report("PurgeComm()", errno);
  return true;
}

void SerialPort::PrepareWorker() {
  if (native->network) {
    PrepareNetworkWorker();
    return;
  }
  // Whatever came before monitoring began answers nothing we sent. Purged here rather than by the
  // worker, so that every byte arriving once StartMonitoring has returned reaches the owner.
  if (::tcflush(native->portHandle, TCIOFLUSH) != 0) Report("PurgeComm()", errno);
}

void SerialPort::WakeWorker() {
  if (native->wakeWrite < 0) return;
  const char one = 1;
  // A full pipe already wakes the worker; nothing is lost by a failed write.
  [[maybe_unused]] const ssize_t written = ::write(native->wakeWrite, &one, 1);
}

void SerialPort::SignalShutdown() {
  WakeWorker();
}

void SerialPort::CloseDevice() {
  if (native->network) CloseFd(native->portHandle);
  native->network = false;
  native->telnet.reset();
  CloseDeviceFd(native->portHandle);
  CloseFd(native->wakeRead);
  CloseFd(native->wakeWrite);
}

void SerialPort::WorkerMain() {
  if (native->network) {
    EndWorker(RunNetworkWorker());
    return;
  }
  const int fd = native->portHandle;
  const int wake = native->wakeRead;
  enum class Step { Go, Stop, Lost };

  // Reads everything the device holds now; bytes reach the owner in arrival order.
  auto readStep = [&]() -> Step {
    std::uint8_t buffer[256];
    while (true) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got > 0) {
        HandOver(buffer, static_cast<std::size_t>(got));
        continue;
      }
      if (got == 0) return Step::Lost;  // hang-up: the terminal reports end of file
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return Step::Go;
      if (!DeviceVanished(errno)) Report("ReadFile()", errno);
      return Step::Lost;
    }
  };

  // Sends one frame whole and waits until it is on the wire.
  auto writeStep = [&](const std::string& frame) -> Step {
    // Unread input is a stale answer; output not yet sent is a frame we owe the unit.
    if (::tcflush(fd, TCIFLUSH) != 0) {
      if (DeviceVanished(errno)) return Step::Lost;
      Report("PurgeComm()", errno);
    }
    std::size_t sent = 0;
    while (sent < frame.size()) {
      const ssize_t put = ::write(fd, frame.data() + sent, frame.size() - sent);
      if (put > 0) {
        sent += static_cast<std::size_t>(put);
        continue;
      }
      if (put < 0 && errno == EINTR) continue;
      if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        pollfd fds[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
          Report("WaitCommEvent()", errno);
          return Step::Lost;
        }
        if (fds[1].revents != 0) DrainWake(wake);
        if (shutdown.load(std::memory_order_acquire)) return Step::Stop;
        if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Step::Lost;
        continue;
      }
      if (put < 0 && DeviceVanished(errno)) return Step::Lost;
      Report("WriteFile()", put < 0 ? errno : EIO);
      return Step::Go;  // the frame is dropped; the answer timer notices
    }
    LogSent(frame);
    while (::tcdrain(fd) != 0) {
      if (errno == EINTR) continue;
      if (DeviceVanished(errno)) return Step::Lost;
      Report("GetOverlappedResults() in WriteFile()", errno);
      break;
    }
    return Step::Go;
  };

  Step step = Step::Go;
  while (step == Step::Go && !shutdown.load(std::memory_order_acquire)) {
    pollfd fds[2] = {{wake, POLLIN, 0}, {fd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      Report("WaitCommEvent()", errno);
      step = Step::Lost;
      break;
    }
    if (fds[0].revents != 0) DrainWake(wake);
    // Shutdown before port events before writing.
    if (shutdown.load(std::memory_order_acquire)) break;
    const short device = fds[1].revents;
    if ((device & POLLIN) != 0) step = readStep();
    if (step == Step::Go && (device & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      if ((device & POLLIN) == 0) readStep();  // whatever came before the hang-up
      step = Step::Lost;
    }
    while (step == Step::Go) {
      const std::optional<std::string> frame = NextFrame();
      if (!frame) break;
      step = writeStep(*frame);
    }
  }

  EndWorker(step == Step::Lost);
}

void SerialPort::EndWorker(bool lost) {
  // Report the loss once and leave the port closed: no loop of failing calls. Marked closed and
  // ended before the report, so the owner handling it sees a port neither open nor monitored.
  if (lost) portOpen.store(false, std::memory_order_release);
  workerAlive.store(false, std::memory_order_release);
  if (lost) {
    if (native->network) {
      CloseFd(native->portHandle);
    } else {
      CloseDeviceFd(native->portHandle);
    }
    ReportLost();
  }
}

}  // namespace corvella::link
