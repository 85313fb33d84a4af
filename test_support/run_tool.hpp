#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Runs a built program (id3sniff by default) as a child process and collects what it wrote.
namespace id3sniff::testing {

// Where the child's standard output goes.
enum class StdoutTarget { Pipe, Terminal, DevFull, Closed, File };

struct ToolOptions {
  StdoutTarget stdout_target = StdoutTarget::Pipe;
  std::string program;             // the binary to run, when not the id3sniff under test
  std::string argv0 = "id3sniff";  // the invocation name the usage text repeats
  bool empty_argv = false;         // start with no argument vector at all, not even a name
  bool drop_privileges = false;    // run as nobody when the tests run as root
  bool close_stdin = false;        // start with standard input closed
  std::string stdin_bytes;         // what standard input gives, through a pipe (below 64 KiB)
  bool stderr_terminal = false;    // standard error is a pseudo-terminal
  std::size_t fail_reads_of = 0;   // when not 0, every read(2) asking for this many bytes fails
  bool no_threads = false;         // no thread can be started, as under a low ulimit -u
  std::string working_dir;         // where the tool runs, when not the tests' own folder
  unsigned open_files_limit = 0;   // when not 0, the most descriptors the tool may have open
};

struct ToolRun {
  int status = -1;  // exit status, or -1 when the child did not exit normally
  std::string out;  // standard output (from the terminal's side when it was one)
  std::string err;  // standard error
};

// Returns the path of the id3sniff binary under test.
std::string ToolPath();
// Returns the path of the id3sniff-batch binary under test.
std::string BatchPath();

// Returns true when the binary runs under the command in ID3SNIFF_TEST_WRAPPER (such as valgrind).
// The tool then sees its name as its file name whatever argv0 says, and always gets one.
bool ToolIsWrapped();

// Returns an empty string when a child of this process can do what the option needs, or else
// why not, for a test to skip with: dropping to nobody (as root), making reads fail (a seccomp
// filter, which also keeps threads from starting), or a pseudo-terminal.
std::string WhyNoPrivilegeDrop();
std::string WhyNoSystemCallFilter();
std::string WhyNoTerminal();

// Runs the program with args after its name, waits for it and returns what it wrote.
ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options = {});

// Runs the program once for each list of arguments, all at the same time and writing to the same
// standard output and error; returns all they wrote and the first status that is not 0.
ToolRun RunTogether(const std::vector<std::vector<std::string>>& runs,
                    const ToolOptions& options = {});

}  // namespace id3sniff::testing
