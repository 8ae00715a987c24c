// What the POSIX backends of SerialPort share: the handles of an open port and the wake-up pipe
// its worker waits on. A COMn that names a network address (socket_port_posix.cpp) keeps its
// socket where a device keeps its descriptor.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <optional>

#include "link/serial_port.h"
#include "link/telnet_codec.h"

namespace corvella::link {

struct SerialPort::Native {
  int portHandle = -1;
  int wakeRead = -1;                    // the worker waits on this beside the port
  int wakeWrite = -1;                   // one byte here: a frame is queued, or shutdown is set
  bool network = false;                 // portHandle is a connected socket
  std::optional<telnet::Codec> telnet;  // the socket speaks Telnet (rfc2217://)
};

namespace posix {

inline void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

inline bool MakeWakePipe(int& readEnd, int& writeEnd) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  for (const int fd : fds) {
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0 ||
        ::fcntl(fd, F_SETFD, FD_CLOEXEC) != 0) {
      ::close(fds[0]);
      ::close(fds[1]);
      return false;
    }
  }
  readEnd = fds[0];
  writeEnd = fds[1];
  return true;
}

inline void DrainWake(int fd) {
  char sink[64];
  while (::read(fd, sink, sizeof sink) > 0) {
  }
}

}  // namespace posix
}  // namespace corvella::link
