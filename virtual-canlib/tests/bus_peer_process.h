// Starts bus_peer (another process on the virtual bus) and talks to it through its stdin and
// stdout; its stderr comes along with its stdout, so a test sees the library's own messages too.
#ifndef VELMORA_VIRTUAL_CANLIB_TESTS_BUS_PEER_PROCESS_H
#define VELMORA_VIRTUAL_CANLIB_TESTS_BUS_PEER_PROCESS_H

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

class BusPeerProcess {
 public:
  // Runs bus_peer with `arguments`, with `environment` ("NAME=value") added to this process's.
  explicit BusPeerProcess(const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment = {});
  ~BusPeerProcess();
  BusPeerProcess(const BusPeerProcess&) = delete;
  BusPeerProcess& operator=(const BusPeerProcess&) = delete;

  // Reads lines until one starts with `prefix` and returns it; "" when the peer closed its
  // output or `timeout_ms` passed first. Everything read is kept in transcript().
  std::string awaitLine(const std::string& prefix, int timeout_ms = 20000);
  void send(const std::string& line);
  void kill(int signal = SIGKILL);
  // The wait status (see waitpid), after at most `timeout_ms`; -1 when it did not end.
  int wait(int timeout_ms = 20000);
  const std::string& transcript() const { return transcript_; }

 private:
  pid_t pid_ = -1;
  int to_peer_ = -1;
  int from_peer_ = -1;
  std::string pending_;
  std::string transcript_;
  bool reaped_ = false;
};

#endif
