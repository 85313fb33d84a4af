#include "test_support/run_tool.hpp"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>
#include <stdexcept>

namespace id3sniff::testing {
namespace {

constexpr int kTimeoutMs = 60000;
constexpr const char* kWrapperVariable = "ID3SNIFF_TEST_WRAPPER";
constexpr uid_t kNobody = 65534;

// Opens a pseudo-terminal in raw mode, so that newlines arrive as they were written.
void OpenTerminal(int& primary, int& secondary) {
  primary = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (primary < 0 || grantpt(primary) != 0 || unlockpt(primary) != 0) {
    throw std::runtime_error("no pseudo-terminal");
  }
  secondary = open(ptsname(primary), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (secondary < 0) throw std::runtime_error("cannot open pseudo-terminal");
  termios mode{};
  tcgetattr(secondary, &mode);
  cfmakeraw(&mode);
  tcsetattr(secondary, TCSANOW, &mode);
}

[[noreturn]] void ExecChild(const std::vector<std::string>& args, const ToolOptions& options,
                            int out_fd, int err_fd) {
  if (options.stdout_target == StdoutTarget::Closed) {
    close(STDOUT_FILENO);
  } else {
    dup2(out_fd, STDOUT_FILENO);
  }
  dup2(err_fd, STDERR_FILENO);
  const int null_fd = open("/dev/null", O_RDONLY);
  dup2(null_fd, STDIN_FILENO);
  if (!options.working_dir.empty() && chdir(options.working_dir.c_str()) != 0) _exit(125);
  if (options.drop_privileges && geteuid() == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(126);
  }
  std::vector<std::string> words;
  std::string program = ToolPath();
  if (ToolIsWrapped()) {
    // The wrapper finds the tool on PATH by its plain name, which it passes on as argv[0].
    std::istringstream wrapper(std::getenv(kWrapperVariable));
    for (std::string word; wrapper >> word;) words.push_back(word);
    words.push_back("id3sniff");
    const std::string folder = program.substr(0, program.rfind('/'));
    setenv("PATH", (folder + ":/usr/local/bin:/usr/bin:/bin").c_str(), 1);
    program = words.front();
  } else if (!options.empty_argv) {
    words.push_back(options.argv0);
  }
  if (!words.empty()) words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  execvp(program.c_str(), argv.data());
  _exit(127);
}

// Reads every fd until it reports end of input (or, for a terminal, the error after hang-up).
void Drain(std::vector<std::pair<int, std::string*>> sources, pid_t child) {
  while (!sources.empty()) {
    std::vector<pollfd> fds;
    for (const auto& s : sources) fds.push_back({s.first, POLLIN, 0});
    const int ready = poll(fds.data(), fds.size(), kTimeoutMs);
    if (ready <= 0) {
      kill(child, SIGKILL);
      throw std::runtime_error("id3sniff did not finish in time");
    }
    for (std::size_t i = fds.size(); i-- > 0;) {
      if (fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sources[i].second->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        sources.erase(sources.begin() + static_cast<std::ptrdiff_t>(i));
      }
    }
  }
}

}  // namespace

std::string ToolPath() { return ID3SNIFF_BINARY; }

bool ToolIsWrapped() {
  const char* wrapper = std::getenv(kWrapperVariable);
  return wrapper != nullptr && *wrapper != '\0';
}

ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options) {
  int out_pipe[2] = {-1, -1};
  int err_pipe[2];
  if (pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  int parent_out = -1;
  int child_out = -1;
  switch (options.stdout_target) {
    case StdoutTarget::Pipe:
    case StdoutTarget::Closed:
      if (pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
      parent_out = out_pipe[0];
      child_out = out_pipe[1];
      break;
    case StdoutTarget::Terminal:
      OpenTerminal(parent_out, child_out);
      break;
    case StdoutTarget::DevFull:
      child_out = open("/dev/full", O_WRONLY | O_CLOEXEC);
      break;
  }
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork");
  if (child == 0) ExecChild(args, options, child_out, err_pipe[1]);
  close(child_out);
  close(err_pipe[1]);
  ToolRun run;
  std::vector<std::pair<int, std::string*>> sources = {{err_pipe[0], &run.err}};
  if (parent_out >= 0) sources.push_back({parent_out, &run.out});
  Drain(sources, child);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace id3sniff::testing
