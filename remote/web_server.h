// `serve --http`: the web page and its WebSocket on one port, through Boost.Beast. The sockets live
// on a thread of their own that only moves bytes; every message is handed to the loop's thread
// (WebSessions), where the hub is, and what goes out comes back the same way. A page's WebSocket
// is let in only with the token `serve` printed.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "remote/reactor.h"
#include "remote/remote_hub.h"

namespace corvella::remote {

// Open pages at once; more are answered 503.
inline constexpr std::size_t kMaxWebPages = 64;

class WebServer {
 public:
  WebServer(Reactor& loop, RemoteHub& hub, std::string token,
            std::function<void(const std::string&)> log);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds `address` (numeric or a host name) and `port` (0: any free port) and starts serving.
  // False with the reason in `error`.
  bool Listen(const std::string& address, int port, std::string& error);
  int Port() const;
  // Closes every connection; nothing more is sent.
  void Close();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace corvella::remote
