// The socket backend: a COMn that names a line on a serial device server. tcp:// carries the
// line's bytes as they are; rfc2217:// speaks Telnet, sets the line through the COM-PORT option
// when the port opens and keeps Telnet's escaping out of the owner's sight. Same promises as a
// device: one worker, bytes in arrival order, frames whole, unread input dropped before a frame
// goes out, a connection that ends reported once as a lost port.
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "link/network_address.h"
#include "link/serial_port_posix.h"

namespace corvella::link {
namespace {

using Clock = std::chrono::steady_clock;

// A device server on the venue's network answers a connect within milliseconds; an address
// nobody answers at must not hold up the search for longer than this.
constexpr int kConnectTimeoutMs = 2000;
// Telnet's offer and the five line settings, each confirmed by the server.
constexpr int kNegotiationTimeoutMs = 2000;

enum class Io { Done, Idle, Gone, Woken };

int MillisLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

void SetOption(int fd, int level, int name, int value) {
  // Each is a refinement; a system without it still carries the bytes.
  [[maybe_unused]] const int ignored = ::setsockopt(fd, level, name, &value, sizeof value);
}

// Small frames go out at once, and a server that vanished without a word (unplugged, powered off)
// is noticed within seconds rather than after the system's two hours.
void TuneSocket(int fd) {
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
  SetOption(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
#ifdef TCP_KEEPIDLE
  SetOption(fd, IPPROTO_TCP, TCP_KEEPIDLE, 5);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPINTVL, 2);
  SetOption(fd, IPPROTO_TCP, TCP_KEEPCNT, 3);
#endif
#ifdef TCP_USER_TIMEOUT
  SetOption(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, 10000);
#endif
}

// The addresses of a host name, looked up on a thread of its own: the system's resolver has no
// timeout of ours, and a name server that does not answer must not stall the search. A lookup
// still running at the deadline is left to finish by itself and its answer thrown away.
struct Lookup {
  std::mutex lock;
  std::condition_variable finished;
  bool done = false;
  addrinfo* found = nullptr;

  ~Lookup() {
    if (found != nullptr) ::freeaddrinfo(found);
  }
};

std::shared_ptr<Lookup> Resolve(const NetworkAddress& address, Clock::time_point deadline) {
  auto lookup = std::make_shared<Lookup>();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  const std::string service = std::to_string(address.port);
  // A numeric address needs no name server.
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  if (::getaddrinfo(address.host.c_str(), service.c_str(), &hints, &lookup->found) == 0) {
    return lookup;
  }
  lookup->found = nullptr;
  hints.ai_flags = AI_NUMERICSERV;
  try {
    std::thread([lookup, host = address.host, service, hints] {
      addrinfo* found = nullptr;
      if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0) found = nullptr;
      std::lock_guard<std::mutex> guard(lookup->lock);
      lookup->found = found;
      lookup->done = true;
      lookup->finished.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return nullptr;
  }
  std::unique_lock<std::mutex> guard(lookup->lock);
  if (!lookup->finished.wait_until(guard, deadline, [&] { return lookup->done; })) return nullptr;
  return lookup;
}

// A connected non-blocking socket, or -1 when no address of the host took the connection in time.
int Connect(const NetworkAddress& address) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  const std::shared_ptr<Lookup> lookup = Resolve(address, deadline);
  if (!lookup || lookup->found == nullptr) return -1;
  int connected = -1;
  for (const addrinfo* ai = lookup->found; ai != nullptr && connected < 0; ai = ai->ai_next) {
    int fd =
        ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) continue;
    bool ok = ::connect(fd, ai->ai_addr, ai->ai_addrlen) == 0;
    if (!ok && errno == EINPROGRESS) {
      pollfd pfd{fd, POLLOUT, 0};
      int ready = 0;
      do {
        ready = ::poll(&pfd, 1, MillisLeft(deadline));
      } while (ready < 0 && errno == EINTR);
      int error = 0;
      socklen_t length = sizeof error;
      ok = ready == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (ok) {
      connected = fd;
    } else {
      ::close(fd);
    }
    if (MillisLeft(deadline) == 0) break;
  }
  if (connected >= 0) TuneSocket(connected);
  return connected;
}

// Wakes the worker while it waits for the socket: `stop` set means give up (the port closes);
// anything else (another frame queued) does not cut what is going out.
struct Waker {
  int fd = -1;
  const std::atomic<bool>* stop = nullptr;
};

// Sends `bytes` whole. Waits for room up to `timeoutMs` (-1: as long as it takes); Woken only
// when the waker says stop.
Io SendAll(int fd, std::string_view bytes, Waker waker, int timeoutMs) {
  const int wake = waker.fd;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t put = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (put > 0) {
      sent += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Io::Gone;
    pollfd fds[2] = {{fd, POLLOUT, 0}, {wake, POLLIN, 0}};
    const int ready = ::poll(fds, wake >= 0 ? 2 : 1, timeoutMs < 0 ? -1 : MillisLeft(deadline));
    if (ready < 0 && errno != EINTR) return Io::Gone;
    if (ready == 0) return Io::Idle;
    if (wake >= 0 && fds[1].revents != 0) {
      posix::DrainWake(wake);
      if (waker.stop != nullptr && waker.stop->load(std::memory_order_acquire)) return Io::Woken;
    }
    if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Io::Gone;
  }
  return Io::Done;
}

// One read of what the server sent: the line's bytes into `data`, Telnet's answers into
// `replies`.
Io ReceiveSome(int fd, std::optional<telnet::Codec>& telnet, std::string& data,
               std::string& replies) {
  char buffer[512];
  while (true) {
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
      const std::string_view bytes(buffer, static_cast<std::size_t>(got));
      if (telnet) {
        telnet->Feed(bytes, data, replies);
      } else {
        data.append(bytes);
      }
      return Io::Done;
    }
    if (got == 0) return Io::Gone;  // the server closed the connection
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Io::Idle;
    return Io::Gone;  // reset, timed out, unreachable: the connection is over either way
  }
}

// Reads everything the socket holds now and answers Telnet on the way; the line's bytes go to
// `take` (or nowhere when it is empty: unread input of the line is dropped).
template <typename Take>
Io ReceiveAll(int fd, std::optional<telnet::Codec>& telnet, Waker waker, Take&& take) {
  std::string data;
  std::string replies;
  while (true) {
    data.clear();
    replies.clear();
    const Io got = ReceiveSome(fd, telnet, data, replies);
    if (got != Io::Done) return got;
    take(data);
    if (!replies.empty()) {
      const Io answered = SendAll(fd, replies, waker, -1);
      if (answered != Io::Done) return answered;
    }
  }
}

telnet::ComPortSettings ComPortSettingsFor(const LineSettings& line) {
  telnet::ComPortSettings settings;
  settings.baud = static_cast<std::uint32_t>(line.baud);
  settings.dataSize = static_cast<std::uint8_t>(line.dataBits);
  settings.parity = telnet::ParityCode(line.parity);
  settings.stopSize = line.stopBits == 2 ? 2 : 1;
  settings.control = 1;  // no flow control: the unit has no handshake lines
  return settings;
}

// Offers the COM-PORT option and sets the line; 0 once the server confirmed every setting as
// asked, else why not (an errno value). The line's bytes meanwhile answer nothing we sent.
long NegotiateComPort(int fd, std::optional<telnet::Codec>& session, const LineSettings& line) {
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(kNegotiationTimeoutMs);
  long result = ETIMEDOUT;
  bool requested = false;
  Io io = SendAll(fd, session->Start(), {}, kNegotiationTimeoutMs);
  while (io == Io::Done || io == Io::Idle) {
    if (session->ComPortOffer() == telnet::Codec::Offer::Refused) {
      result = EPROTONOSUPPORT;
      break;
    }
    if (session->ComPortOffer() == telnet::Codec::Offer::Accepted && !requested) {
      requested = true;
      io =
          SendAll(fd, session->RequestSettings(ComPortSettingsFor(line)), {}, MillisLeft(deadline));
      continue;
    }
    if (session->Contradicted()) {
      result = EINVAL;
      break;
    }
    if (session->Confirmed()) {
      result = 0;
      break;
    }
    pollfd pfd{fd, POLLIN, 0};
    const int ready = ::poll(&pfd, 1, MillisLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    io = ReceiveAll(fd, session, {}, [](const std::string&) {});
  }
  if (io == Io::Gone) return ECONNRESET;
  return result;
}

}  // namespace

bool SerialPort::OpenNetwork(const std::string& entry, std::string_view definition) {
  const std::optional<NetworkAddress> address = ParseNetworkAddress(entry);
  if (!address) return false;
  int fd = Connect(*address);
  if (fd < 0) return false;
  if (!posix::MakeWakePipe(native->wakeRead, native->wakeWrite)) {
    Report("CreateEvent()", errno);
    ::close(fd);
    return false;
  }
  native->portHandle = fd;
  native->network = true;
  portOpen.store(true, std::memory_order_release);
  if (address->protocol != NetworkProtocol::Rfc2217) return true;

  native->telnet.emplace();
  const std::optional<LineSettings> line = ParseLineDefinition(definition);
  if (!line || telnet::ParityCode(line->parity) == 0) {
    Report("BuildCommDCB()", EINVAL);
    return true;
  }
  const long refused = NegotiateComPort(fd, native->telnet, *line);
  if (refused == ECONNRESET) {
    // Gone before it could be used: no different from a server that took no connection.
    CloseDevice();
    portOpen.store(false, std::memory_order_release);
    return false;
  }
  if (refused != 0) Report("SetCommState()", refused);
  return true;
}

void SerialPort::PrepareNetworkWorker() {
  // Whatever came before monitoring began answers nothing we sent. A connection that ended
  // meanwhile is left for the worker to find, so it is reported the one usual way.
  [[maybe_unused]] const Io ignored =
      ReceiveAll(native->portHandle, native->telnet, {}, [](const std::string&) {});
}

bool SerialPort::RunNetworkWorker() {
  const int fd = native->portHandle;
  const int wake = native->wakeRead;
  const Waker waker{wake, &shutdown};
  std::optional<telnet::Codec>& telnet = native->telnet;
  enum class Step { Go, Stop, Lost };
  auto stepOf = [](Io io) {
    if (io == Io::Gone) return Step::Lost;
    return io == Io::Woken ? Step::Stop : Step::Go;
  };
  auto handOver = [&](const std::string& data) {
    HandOver(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
  };

  // Sends one frame whole, after dropping the stale input that a device's purge drops.
  auto writeStep = [&](const std::string& frame) -> Step {
    const Step step = stepOf(ReceiveAll(fd, telnet, waker, [](const std::string&) {}));
    if (step != Step::Go) return step;
    const Io io = SendAll(fd, telnet ? telnet::Escape(frame) : frame, waker, -1);
    if (io == Io::Done) LogSent(frame);
    return stepOf(io);
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
    if (fds[0].revents != 0) posix::DrainWake(wake);
    if (shutdown.load(std::memory_order_acquire)) break;
    if (fds[1].revents != 0) step = stepOf(ReceiveAll(fd, telnet, waker, handOver));
    while (step == Step::Go) {
      const std::optional<std::string> frame = NextFrame();
      if (!frame) break;
      step = writeStep(*frame);
    }
  }

  return step == Step::Lost;
}

}  // namespace corvella::link
