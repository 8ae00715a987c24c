// The one file that sees Boost.Beast: it is heavy to compile, so nothing else includes it.
#include "remote/web_server.h"

// GCC's optimiser reports a null dereference inside Asio's scheduler once it is inlined here, where
// the system header's exemption no longer holds; the pointer is Asio's own, checked before use.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wnull-dereference"
#endif

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <deque>
#include <map>
#include <optional>
#include <thread>

#include "remote/web_assets.h"
#include "remote/web_protocol.h"
#include "remote/web_sessions.h"

namespace corvella::remote {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using error_code = boost::system::error_code;

// A request is a line and a few headers; a page never sends a body.
constexpr std::uint32_t kMaxRequestBytes = 8 * 1024;
// A message above this closes the socket (1009, too big); one above web::kMaxMessageBytes is only
// answered with an error.
constexpr std::size_t kMaxFrameBytes = 256 * 1024;
// A page that does not take what it is sent (a phone gone to sleep) is let go.
constexpr std::size_t kMaxQueued = 1024;
// An idle keep-alive connection, or one that sends its request slowly, is closed.
constexpr std::chrono::seconds kRequestTimeout{30};

constexpr std::string_view kSocketPath = "/ws";

}  // namespace

class WebServer::Impl {
 public:
  Impl(Reactor& loop, RemoteHub& hub, std::string token,
       std::function<void(const std::string&)> log)
      : loop_(loop), token_(std::move(token)) {
    sessions_ = std::make_shared<WebSessions>(
        loop, hub,
        [this](Client page, std::string text) {
          net::post(io_, [this, page, text = std::move(text)]() mutable {
            SendTo(page, std::move(text));
          });
        },
        std::move(log));
  }
  ~Impl() { Close(); }

  bool Listen(const std::string& address, int port, std::string& error) {
    error_code ec;
    tcp::resolver resolver(io_);
    const auto found = resolver.resolve(
        address, std::to_string(port), tcp::resolver::passive | tcp::resolver::numeric_service, ec);
    if (ec || found.empty()) {
      error = address + ": " + (ec ? ec.message() : std::string("no address"));
      return false;
    }
    const tcp::endpoint endpoint = found.begin()->endpoint();
    if (acceptor_.open(endpoint.protocol(), ec) ||
        acceptor_.set_option(net::socket_base::reuse_address(true), ec) ||
        acceptor_.bind(endpoint, ec) ||
        acceptor_.listen(net::socket_base::max_listen_connections, ec)) {
      error = address + ":" + std::to_string(port) + ": " + ec.message();
      acceptor_.close(ec);
      return false;
    }
    port_ = acceptor_.local_endpoint(ec).port();
    Accept();
    thread_ = std::thread([this] { io_.run(); });
    return true;
  }

  int Port() const { return port_; }

  void Close() {
    io_.stop();
    if (thread_.joinable()) thread_.join();
    sessions_.reset();
  }

  // ---- the loop's thread ----
  template <typename Task>
  void ToLoop(Task task) {
    loop_.Post([weak = std::weak_ptr<WebSessions>(sessions_), task = std::move(task)]() mutable {
      if (const auto sessions = weak.lock()) task(*sessions);
    });
  }

  // ---- the server's thread ----
  class Page;
  class Connection;
  void Accept();
  void SendTo(Client page, std::string text);
  bool TokenMatches(std::string_view given) const { return web::TokenMatches(token_, given); }

  Reactor& loop_;
  const std::string token_;
  std::shared_ptr<WebSessions> sessions_;
  net::io_context io_{1};
  tcp::acceptor acceptor_{io_};
  std::thread thread_;
  int port_ = 0;
  Client nextPage_ = 1;
  std::map<Client, std::weak_ptr<Page>> pages_;
};

// One page's WebSocket.
class WebServer::Impl::Page : public std::enable_shared_from_this<Page> {
 public:
  Page(Impl& server, tcp::socket socket, Client id)
      : server_(server), socket_(std::move(socket)), id_(id) {}

  void Start(http::request<http::string_body> request) {
    socket_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    socket_.read_message_max(kMaxFrameBytes);
    socket_.async_accept(request, [self = shared_from_this()](error_code ec) {
      if (ec) return;
      self->server_.pages_[self->id_] = self;
      self->server_.ToLoop([id = self->id_](WebSessions& s) { s.Open(id); });
      self->Read();
    });
  }

  void Send(std::string text) {
    if (queue_.size() >= kMaxQueued) {
      error_code ec;
      beast::get_lowest_layer(socket_).socket().close(ec);
      return;
    }
    queue_.push_back(std::move(text));
    if (queue_.size() == 1) Write();
  }

 private:
  void Read() {
    socket_.async_read(input_, [self = shared_from_this()](error_code ec, std::size_t) {
      if (ec) {
        self->Ended();
        return;
      }
      std::string text = beast::buffers_to_string(self->input_.data());
      self->input_.consume(self->input_.size());
      self->server_.ToLoop(
          [id = self->id_, text = std::move(text)](WebSessions& s) { s.Take(id, text); });
      self->Read();
    });
  }

  void Write() {
    socket_.text(true);
    socket_.async_write(net::buffer(queue_.front()),
                        [self = shared_from_this()](error_code ec, std::size_t) {
                          if (ec) return;
                          self->queue_.pop_front();
                          if (!self->queue_.empty()) self->Write();
                        });
  }

  void Ended() {
    server_.pages_.erase(id_);
    server_.ToLoop([id = id_](WebSessions& s) { s.Close(id); });
  }

  Impl& server_;
  websocket::stream<beast::tcp_stream> socket_;
  Client id_;
  beast::flat_buffer input_;
  std::deque<std::string> queue_;
};

// One HTTP connection: the page's files, or the way in to its WebSocket.
class WebServer::Impl::Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(Impl& server, tcp::socket socket) : server_(server), stream_(std::move(socket)) {}

  void Read() {
    parser_.emplace();
    parser_->header_limit(kMaxRequestBytes);
    parser_->body_limit(kMaxRequestBytes);
    stream_.expires_after(kRequestTimeout);
    http::async_read(stream_, buffer_, *parser_,
                     [self = shared_from_this()](error_code ec, std::size_t) {
                       if (ec) {
                         // A request too large or malformed gets its answer; a closed one none.
                         if (ec != http::error::end_of_stream && ec != beast::error::timeout &&
                             ec != net::error::operation_aborted) {
                           self->Answer(http::status::bad_request, "bad request\n", false);
                         }
                         return;
                       }
                       self->Take(self->parser_->release());
                     });
  }

 private:
  void Take(http::request<http::string_body> request) {
    const std::string_view target(request.target().data(), request.target().size());
    const std::string_view path = target.substr(0, target.find('?'));
    if (websocket::is_upgrade(request)) {
      if (path != kSocketPath) {
        Answer(http::status::not_found, "not found\n", false);
      } else if (!server_.TokenMatches(web::TokenOfTarget(target))) {
        Answer(http::status::forbidden, "wrong token\n", false);
      } else if (server_.pages_.size() >= kMaxWebPages) {
        Answer(http::status::service_unavailable, "too many pages open\n", false);
      } else {
        stream_.expires_never();
        const Client id = server_.nextPage_++;
        std::make_shared<Page>(server_, stream_.release_socket(), id)->Start(std::move(request));
      }
      return;
    }
    if (request.method() != http::verb::get && request.method() != http::verb::head) {
      Answer(http::status::method_not_allowed, "only GET\n", request.keep_alive());
      return;
    }
    for (const WebAsset& asset : WebAssets()) {
      if (asset.path == path) {
        Answer(http::status::ok, asset.body, request.keep_alive(), asset.type,
               request.method() == http::verb::head);
        return;
      }
    }
    Answer(http::status::not_found, "not found\n", request.keep_alive());
  }

  void Answer(http::status status, std::string_view body, bool keepAlive,
              std::string_view type = "text/plain; charset=utf-8", bool headOnly = false) {
    auto response = std::make_shared<http::response<http::string_body>>(status, 11);
    response->set(http::field::content_type, beast::string_view(type.data(), type.size()));
    response->set(http::field::cache_control, "no-cache");
    response->set("X-Content-Type-Options", "nosniff");
    response->set("Referrer-Policy", "no-referrer");
    if (!headOnly) response->body().assign(body.data(), body.size());
    response->content_length(body.size());
    response->keep_alive(keepAlive);
    http::async_write(stream_, *response,
                      [self = shared_from_this(), response, keepAlive](error_code ec, std::size_t) {
                        if (ec || !keepAlive) {
                          error_code ignored;
                          self->stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
                          return;
                        }
                        self->Read();
                      });
  }

  Impl& server_;
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
};

void WebServer::Impl::Accept() {
  acceptor_.async_accept(io_, [this](error_code ec, tcp::socket socket) {
    if (ec == net::error::operation_aborted) return;
    if (!ec) std::make_shared<Connection>(*this, std::move(socket))->Read();
    Accept();
  });
}

void WebServer::Impl::SendTo(Client page, std::string text) {
  const auto found = pages_.find(page);
  if (found == pages_.end()) return;
  if (const auto p = found->second.lock()) p->Send(std::move(text));
}

WebServer::WebServer(Reactor& loop, RemoteHub& hub, std::string token,
                     std::function<void(const std::string&)> log)
    : impl_(std::make_unique<Impl>(loop, hub, std::move(token), std::move(log))) {}

WebServer::~WebServer() = default;

bool WebServer::Listen(const std::string& address, int port, std::string& error) {
  return impl_->Listen(address, port, error);
}

int WebServer::Port() const {
  return impl_->Port();
}

void WebServer::Close() {
  impl_->Close();
}

}  // namespace corvella::remote
