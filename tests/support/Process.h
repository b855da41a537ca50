#pragma once
// Runs a program the way a shell would and collects what it wrote.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace prt::test {

struct ProcessResult {
  bool exited = false;  // false: killed by a signal, timed out or not started
  int exitStatus = -1;  // the 8-bit status a shell sees
  std::string out;
  std::string err;
};

struct ProcessRequest {
  std::filesystem::path program;  // absolute, or relative to workDir
  std::vector<std::string> args;  // after the program name
  std::filesystem::path workDir;  // empty: the current folder
  std::optional<std::string> argv0;  // default: `program` as given
  int timeoutSeconds = 120;
};

ProcessResult RunProcess(const ProcessRequest& request);

}  // namespace prt::test
