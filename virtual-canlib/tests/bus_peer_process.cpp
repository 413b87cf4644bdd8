#include "bus_peer_process.h"

#include <errno.h>
#include <poll.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

long long nowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

}  // namespace

BusPeerProcess::BusPeerProcess(const std::vector<std::string>& arguments,
                               const std::vector<std::string>& environment) {
  int input[2], output[2];
  if (pipe(input) != 0 || pipe(output) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  posix_spawn_file_actions_adddup2(&actions, output[1], 2);
  for (int fd : {input[0], input[1], output[0], output[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }

  std::vector<std::string> argument_strings{VCAN_BUS_PEER_PATH};
  argument_strings.insert(argument_strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : argument_strings) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  // The added variables first: the first of two equal names is the one getenv finds.
  std::vector<std::string> environment_strings(environment);
  std::vector<char*> envp;
  for (std::string& variable : environment_strings) envp.push_back(&variable[0]);
  for (char** variable = environ; *variable != nullptr; ++variable) envp.push_back(*variable);
  envp.push_back(nullptr);

  if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(input[0]);
  close(output[1]);
  to_peer_ = input[1];
  from_peer_ = output[0];
}

BusPeerProcess::~BusPeerProcess() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (to_peer_ >= 0) close(to_peer_);
  if (from_peer_ >= 0) close(from_peer_);
}

std::string BusPeerProcess::awaitLine(const std::string& prefix, int timeout_ms) {
  const long long deadline = nowMs() + timeout_ms;
  for (;;) {
    for (size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
      const std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (line.compare(0, prefix.size(), prefix) == 0) return line;
    }
    const long long left = deadline - nowMs();
    if (left <= 0 || from_peer_ < 0) return "";
    pollfd readable{from_peer_, POLLIN, 0};
    if (poll(&readable, 1, static_cast<int>(left)) <= 0) continue;
    char buffer[4096];
    const ssize_t length = read(from_peer_, buffer, sizeof buffer);
    if (length <= 0) return "";
    pending_.append(buffer, static_cast<size_t>(length));
    transcript_.append(buffer, static_cast<size_t>(length));
  }
}

void BusPeerProcess::send(const std::string& line) {
  const std::string text = line + "\n";
  if (write(to_peer_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    transcript_ += "(could not write \"" + line + "\" to the peer)\n";
  }
}

void BusPeerProcess::kill(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

int BusPeerProcess::wait(int timeout_ms) {
  if (pid_ <= 0) return -1;
  const long long deadline = nowMs() + timeout_ms;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == pid_) {
      reaped_ = true;
      return status;
    }
    if (done < 0 && errno != EINTR) return -1;
    if (nowMs() > deadline) return -1;
    usleep(1000);
  }
}
