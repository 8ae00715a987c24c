// A real pseudo-terminal pair for the serial tests: the port under test opens the slave by its
// path, the test plays the unit on the master.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/port.h"

namespace corvella::test {

class PtyPair {
 public:
  PtyPair();  // raw on both sides; check Ok()
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ok() const { return master_ >= 0; }
  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  int Slave() const { return slave_; }

  // The unit's side.
  bool Send(std::string_view bytes);
  // Reads until `count` bytes came or `timeoutMs` passed without any byte.
  std::string Receive(std::size_t count, int timeoutMs = 2000);
  void CloseMaster();

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

// Records what a port reports; used on the owner's thread only.
struct PortRecorder : link::PortEvents {
  void OnPortByte(int portNumber, std::uint8_t byte) override {
    bytes.push_back(static_cast<char>(byte));
    Note(portNumber);
  }
  void OnPortFailure(int portNumber, const std::string& boxText) override {
    failures.push_back(boxText);
    Note(portNumber);
  }
  void OnPortLost(int portNumber) override {
    ++lost;
    Note(portNumber);
  }
  void Note(int portNumber) {
    ports.push_back(portNumber);
    if (std::this_thread::get_id() != ownerThread) offThread = true;
  }
  std::thread::id ownerThread = std::this_thread::get_id();
  bool offThread = false;  // a report arrived on a thread other than the owner's
  std::string bytes;
  std::vector<std::string> failures;
  int lost = 0;
  std::vector<int> ports;  // the port number of every report
};

}  // namespace corvella::test
