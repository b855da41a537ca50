#pragma once
// What the programs of this project print for --help and --version.
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "Version.h"

namespace prt {

// "<program> <version>" and a line end.
inline std::string VersionLine(std::string_view program) {
  std::string line(program);
  line += ' ';
  line += kVersion;
  line += '\n';
  return line;
}

// Writes `text` to standard output and answers the exit status: 0, or 1
// with the system's reason on standard error when it cannot be written
// (e.g. to a full disk).
inline int PrintAnswer(std::string_view program, std::string_view text) {
  errno = 0;
  std::cout << text << std::flush;
  if (std::cout) return 0;
  const int error = errno;
  std::cerr << program << ": cannot write to standard output: "
            << (error ? std::strerror(error) : "write failed") << std::endl;
  return 1;
}

}  // namespace prt
