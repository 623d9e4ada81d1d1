#pragma once
// Runs the brassmoor executable as a child process for the end-to-end tests.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace testsupport {

class Process {
 public:
  // `stderrFile`, when given, receives what the process writes on stderr.
  explicit Process(const std::vector<std::string>& args, const std::string& stderrFile = {}) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stderrFile.empty())
      posix_spawn_file_actions_addopen(&actions, 2, stderrFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() {
    if (pid_ > 0 && !exitCode_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // The exit code, or none when the process has not ended within `timeout` (or died of a
  // signal: -signal).
  std::optional<int> wait(std::chrono::milliseconds timeout) {
    if (exitCode_) return exitCode_;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
        return exitCode_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> exitCode_;
};

// An X server of the test's own, so that other tests' windows never take focus or input
// from the saver's. Its display number is drawn at random from a wide range and taken by the
// server itself (its lock and its socket), trying another when that one is taken: a number
// chosen as the lowest free one would be handed straight on to the next test's server once
// this one stops, and a saver still starting on the stopped display (the saver tries a
// refused connection again for a few seconds) would end up on the other test's server.
class PrivateXServer {
 public:
  // `secondScreen` adds X screen 1 (display ":N.1") of that size.
  explicit PrivateXServer(const char* screen = "1280x720x24", const char* secondScreen = nullptr) {
    std::mt19937 draw(std::random_device{}() ^ static_cast<unsigned>(getpid()));
    std::uniform_int_distribution<int> number(1000, 50000);
    for (int attempt = 0; attempt < 20 && display_.empty(); ++attempt) {
      if (!start(number(draw), screen, secondScreen)) return;
    }
  }
  ~PrivateXServer() { stop(); }
  // Ends the server, as a logout or a display-server restart would.
  void stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  // ":N", or empty when no server could be started.
  const std::string& display() const { return display_; }

 private:
  // Starts a server on display `number`; display_ is set once it takes connections. False
  // when no server can be started at all, true also when the number was taken.
  bool start(int number, const char* screen, const char* secondScreen) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    // The server writes its display number to descriptor 3 once it is ready; the pipe's own
    // ends must lie above it, or closing the read end in the child would close what was just
    // put there.
    for (int& fd : fds) {
      const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
      if (moved < 0) continue;
      close(fd);
      fd = moved;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // The read end first: when it is descriptor 3 itself, closing it after the dup2 would
    // take the server's descriptor away.
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
    const std::string name = ":" + std::to_string(number);
    std::vector<const char*> argv = {"Xvfb", name.c_str(), "-displayfd", "3", "-screen", "0", screen};
    if (secondScreen) argv.insert(argv.end(), {"-screen", "1", secondScreen});
    argv.insert(argv.end(), {"-nolisten", "tcp", "+extension", "GLX", "-noreset", nullptr});
    if (posix_spawnp(&pid_, "Xvfb", &actions, nullptr, const_cast<char**>(argv.data()), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    char buffer[32] = {};
    std::size_t got = 0;
    while (pid_ > 0 && got < sizeof buffer - 1) {
      const ssize_t n = read(fds[0], buffer + got, sizeof buffer - 1 - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
      if (buffer[got - 1] == '\n') break;
    }
    close(fds[0]);
    if (pid_ <= 0) return false;
    // A server that found the number taken ends without writing it.
    if (got == 0) {
      stop();
      return true;
    }
    display_ = ":" + std::string(buffer, std::strlen(buffer) - (buffer[got - 1] == '\n' ? 1 : 0));
    return true;
  }

  pid_t pid_ = -1;
  std::string display_;
};

// Output of a shell command (for xdotool and xwininfo).
inline std::string shellOutput(const std::string& command) {
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    pclose(pipe);
  }
  return out;
}

}  // namespace testsupport
