// The web pages' side of the remote hub, on the loop's thread: what a page asks (sets, undo) goes
// to the hub as an OSC set does, and every change the units take goes to every open page, with
// the response curves of the unit's new set. The sockets are the web server's; it hands each
// page's messages here and sends what this gives it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "remote/reactor.h"
#include "remote/remote_hub.h"

namespace corvella::remote {

class WebSessions final : public RemoteFrontEnd {
 public:
  // `send` takes a text for one page; it must not block.
  using Send = std::function<void(Client page, std::string text)>;
  WebSessions(Reactor& loop, RemoteHub& hub, Send send,
              std::function<void(const std::string&)> log);
  ~WebSessions() override;
  WebSessions(const WebSessions&) = delete;
  WebSessions& operator=(const WebSessions&) = delete;

  // A page's socket was let in: it gets the units, their values and their curves.
  void Open(Client page);
  void Take(Client page, std::string_view text);
  void Close(Client page);

  void Changed(std::string_view unit, const Node& node, const Value& value,
               const std::vector<Client>& requesters) override;
  void Failed(Client page, std::string_view unit, const Node& node, std::string_view why) override;

 private:
  // What undo sets back: the value an address had before a page's change (or a drag's first).
  struct UndoStep {
    Node node;
    Value before;
    Client page = 0;
    long long gesture = 0;
  };
  void Set(Client page, const std::string& unit, const Node& node, const Value& value,
           long long gesture);
  void Undo(Client page, const std::string& unit);
  // The error, and the address's value as the PC holds it, so the page's control goes back.
  void Refuse(Client page, std::string_view unit, const Node* node, const std::string& text);
  void CurvesSoon(std::string_view unit);
  void SendCurves();

  Reactor& loop_;
  RemoteHub& hub_;
  Send send_;
  std::function<void(const std::string&)> log_;
  std::set<Client> pages_;
  std::map<std::string, std::vector<UndoStep>, std::less<>> undo_;
  std::set<std::string, std::less<>> curvesDue_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvella::remote
