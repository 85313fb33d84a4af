#pragma once

#include <string>
#include <vector>

// Runs the built id3sniff binary as a child process and collects what it wrote.
namespace id3sniff::testing {

// Where the child's standard output goes.
enum class StdoutTarget { Pipe, Terminal, DevFull, Closed };

struct ToolOptions {
  StdoutTarget stdout_target = StdoutTarget::Pipe;
  std::string argv0 = "id3sniff";  // the invocation name the usage text repeats
  bool empty_argv = false;         // start with no argument vector at all, not even a name
  bool drop_privileges = false;    // run as nobody when the tests run as root
  std::string working_dir;         // where the tool runs, when not the tests' own folder
};

struct ToolRun {
  int status = -1;  // exit status, or -1 when the child did not exit normally
  std::string out;  // standard output (from the terminal's side when it was one)
  std::string err;  // standard error
};

// Returns the path of the id3sniff binary under test.
std::string ToolPath();

// Returns true when the binary runs under the command in ID3SNIFF_TEST_WRAPPER (such as valgrind).
// The tool then sees its name as "id3sniff" whatever argv0 says, and always gets one.
bool ToolIsWrapped();

// Runs id3sniff with args after its name, waits for it and returns what it wrote.
ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options = {});

}  // namespace id3sniff::testing
