#include "test_support/run_tool.hpp"

#include <fcntl.h>
#include <grp.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace id3sniff::testing {
namespace {

constexpr int kTimeoutMs = 30000;
constexpr const char* kWrapperVariable = "ID3SNIFF_TEST_WRAPPER";
constexpr uid_t kNobody = 65534;
// The child's status when it could not set itself up as asked; the program never exits so.
constexpr int kSetupFailed = 125;

#if defined(__x86_64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_X86_64;
#elif defined(__i386__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_I386;
#elif defined(__aarch64__)
constexpr std::uint32_t kAuditArch = AUDIT_ARCH_AARCH64;
#else
constexpr std::uint32_t kAuditArch = 0;  // no filter written for this machine
#endif

// Opens a pseudo-terminal in raw mode, so that newlines arrive as they were written; returns
// false when the system has none to give.
bool OpenTerminal(int& primary, int& secondary) {
  primary = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (primary < 0) return false;
  if (grantpt(primary) != 0 || unlockpt(primary) != 0) {
    close(primary);
    return false;
  }
  secondary = open(ptsname(primary), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (secondary < 0) {
    close(primary);
    return false;
  }
  termios mode{};
  tcgetattr(secondary, &mode);
  cfmakeraw(&mode);
  tcsetattr(secondary, TCSANOW, &mode);
  return true;
}

// Returns the command the program runs under, or null when it runs alone.
const char* WrapperCommand() {
  const char* wrapper = std::getenv(kWrapperVariable);
  return wrapper != nullptr && *wrapper != '\0' ? wrapper : nullptr;
}

bool DropPrivileges() {
  return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0;
}

// Installs a seccomp filter of rules, run for the system calls of this machine's own kind
// (others are let through); the data the rules look at is a seccomp_data.
bool InstallFilter(std::vector<sock_filter> rules) {
  if (kAuditArch == 0) return false;
  rules.insert(rules.begin(), {
                                  BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
                                  BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kAuditArch, 1, 0),
                                  BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
                                  BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
                              });
  const sock_fprog program = {static_cast<unsigned short>(rules.size()), rules.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// Makes every later read(2) or pread(2) of this process that asks for exactly size bytes fail
// with EIO, as a failing disk would; the program's own first read asks for the whole window, so
// a file shorter than that fails at the second read, after its bytes were delivered. Reads that
// must not wait (preadv2) fail with EOPNOTSUPP, as on a file system that cannot tell, so that
// every file is read with read(2) or pread(2).
bool FailReadsOf(std::size_t size) {
  if (size > UINT32_MAX) return false;
  // The low 32 bits of the third argument, on these little-endian machines.
  const auto count_low = static_cast<std::uint32_t>(offsetof(seccomp_data, args[2]));
  return InstallFilter({
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_preadv2, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_read, 1, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_pread64, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, count_low),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(size), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  });
}

// Makes every later thread or process of this one fail to start with EAGAIN, as when the user
// already runs as many as ulimit -u allows.
bool RefuseThreads() {
  return InstallFilter({
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 1, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  });
}

// Returns true when a child process can do what setup does.
bool ChildCan(bool (*setup)()) {
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) _exit(setup() ? 0 : 1);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

[[noreturn]] void ExecChild(const std::vector<std::string>& args, const ToolOptions& options,
                            int in_fd, int out_fd, int err_fd) {
  // Standard input first, while descriptors 0 to 2 are all taken: a descriptor opened after
  // standard output is closed would become standard output.
  const int null_fd = in_fd >= 0 ? in_fd : open("/dev/null", O_RDONLY);
  dup2(null_fd, STDIN_FILENO);
  if (null_fd > STDERR_FILENO) close(null_fd);
  dup2(err_fd, STDERR_FILENO);
  if (options.stdout_target == StdoutTarget::Closed) {
    close(STDOUT_FILENO);
  } else {
    dup2(out_fd, STDOUT_FILENO);
  }
  if (options.close_stdin) close(STDIN_FILENO);
  if (!options.working_dir.empty() && chdir(options.working_dir.c_str()) != 0) _exit(kSetupFailed);
  if (options.drop_privileges && geteuid() == 0 && !DropPrivileges()) _exit(kSetupFailed);
  if (options.open_files_limit != 0) {
    const rlimit limit = {options.open_files_limit, options.open_files_limit};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(kSetupFailed);
  }
  if (options.fail_reads_of != 0 && !FailReadsOf(options.fail_reads_of)) _exit(kSetupFailed);
  if (options.no_threads && !RefuseThreads()) _exit(kSetupFailed);
  std::vector<std::string> words;
  std::string program = options.program.empty() ? ToolPath() : options.program;
  if (const char* wrapper_command = WrapperCommand()) {
    // The wrapper finds the program on PATH by its file name, which it passes on as argv[0].
    std::istringstream wrapper(wrapper_command);
    for (std::string word; wrapper >> word;) words.push_back(word);
    const std::size_t slash = program.rfind('/');
    words.push_back(program.substr(slash + 1));
    setenv("PATH", (program.substr(0, slash) + ":/usr/local/bin:/usr/bin:/bin").c_str(), 1);
    program = words.front();
  } else if (!options.empty_argv) {
    words.push_back(options.argv0);
  }
  if (!words.empty()) words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  execvp(program.c_str(), argv.data());
  _exit(127);
}

// Reads every fd until it reports end of input (or, for a terminal, the error after hang-up).
void Drain(std::vector<std::pair<int, std::string*>> sources, const std::vector<pid_t>& children) {
  while (!sources.empty()) {
    std::vector<pollfd> fds;
    fds.reserve(sources.size());
    for (const auto& s : sources) fds.push_back({s.first, POLLIN, 0});
    const int ready = poll(fds.data(), fds.size(), kTimeoutMs);
    if (ready <= 0) {
      for (const pid_t child : children) kill(child, SIGKILL);
      throw std::runtime_error("the program did not finish in time");
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

std::string BatchPath() { return ID3SNIFF_BATCH_BINARY; }

bool ToolIsWrapped() { return WrapperCommand() != nullptr; }

std::string WhyNoPrivilegeDrop() {
  if (geteuid() != 0 || ChildCan(DropPrivileges)) return "";
  return "running as root without the right to change to another user";
}

std::string WhyNoSystemCallFilter() {
  if (ChildCan([] { return FailReadsOf(1) && RefuseThreads(); })) return "";
  return "no seccomp filter can be installed here to make a read fail or a thread not start";
}

std::string WhyNoTerminal() {
  int primary = -1;
  int secondary = -1;
  if (!OpenTerminal(primary, secondary)) return "no pseudo-terminal can be opened here";
  close(primary);
  close(secondary);
  return "";
}

ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options) {
  return RunTogether({args}, options);
}

ToolRun RunTogether(const std::vector<std::vector<std::string>>& runs, const ToolOptions& options) {
  int out_pipe[2] = {-1, -1};
  int err_pipe[2];
  if (options.stderr_terminal) {
    if (!OpenTerminal(err_pipe[0], err_pipe[1])) throw std::runtime_error("no pseudo-terminal");
  } else if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  int in_pipe[2] = {-1, -1};
  if (!options.stdin_bytes.empty()) {
    // The bytes fit in the pipe's buffer, so they are all there before the child starts.
    if (pipe2(in_pipe, O_CLOEXEC) != 0 ||
        write(in_pipe[1], options.stdin_bytes.data(), options.stdin_bytes.size()) !=
            static_cast<ssize_t>(options.stdin_bytes.size())) {
      throw std::runtime_error("cannot fill standard input");
    }
    close(in_pipe[1]);
  }
  int parent_out = -1;
  int child_out = -1;
  int file_out = -1;  // a regular file's, read when the children have ended
  switch (options.stdout_target) {
    case StdoutTarget::Pipe:
    case StdoutTarget::Closed:
      if (pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
      parent_out = out_pipe[0];
      child_out = out_pipe[1];
      break;
    case StdoutTarget::Terminal:
      if (!OpenTerminal(parent_out, child_out)) throw std::runtime_error("no pseudo-terminal");
      break;
    case StdoutTarget::DevFull:
      child_out = open("/dev/full", O_WRONLY | O_CLOEXEC);
      break;
    case StdoutTarget::File:
      child_out = memfd_create("stdout", MFD_CLOEXEC);
      file_out = dup(child_out);
      break;
  }
  std::vector<pid_t> children;
  for (const std::vector<std::string>& args : runs) {
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork");
    if (child == 0) ExecChild(args, options, in_pipe[0], child_out, err_pipe[1]);
    children.push_back(child);
  }
  close(child_out);
  close(err_pipe[1]);
  if (in_pipe[0] >= 0) close(in_pipe[0]);
  ToolRun run;
  std::vector<std::pair<int, std::string*>> sources = {{err_pipe[0], &run.err}};
  if (parent_out >= 0) sources.push_back({parent_out, &run.out});
  Drain(sources, children);
  run.status = 0;
  for (const pid_t child : children) {
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const int exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (exit_status == kSetupFailed) throw std::runtime_error("the child could not be set up");
    if (run.status == 0) run.status = exit_status;
  }
  if (file_out >= 0) {
    char buffer[4096];
    ssize_t n = 0;
    while ((n = pread(file_out, buffer, sizeof buffer, static_cast<off_t>(run.out.size()))) > 0) {
      run.out.append(buffer, static_cast<std::size_t>(n));
    }
    close(file_out);
  }
  return run;
}

}  // namespace id3sniff::testing
