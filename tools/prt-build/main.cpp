// prt-build: builds a runtime data set (.prt container, language and
// connection files) from a JSON description; see docs/dataset-format.md.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/ProgramInfo.h"
#include "platform/Limits.h"
#include "tools/builder/JsonBuilder.h"
#include "tools/options/CommandLine.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kHelp =
    "Usage: prt-build [options] <desc.json> <out.prt>\n"
    "Writes the data set container described by <desc.json> to <out.prt>. A language file or\n"
    "connection file in the description goes to <base>.rt_file.LANG / <base>.rt_file.CONN\n"
    "beside it unless --lang or --conn names another path. Missing folders of an output\n"
    "path are created.\n"
    "\n"
    "Options:\n"
    "  --lang <path>   write the language file to <path>\n"
    "  --conn <path>   write the connection file to <path>\n"
    "  --image <path>  also write the image as the loader will hold it\n"
    "  -h, --help      show this help\n"
    "  --version       show the version\n"
    "\n"
    "Exit status:\n"
    "  0  every file is written\n"
    "  1  the description is refused, or a file cannot be read or written\n"
    "  2  wrong usage (the reason on standard error)\n";

// Writes through a temporary file so that a failure leaves no partial output;
// missing folders on the way are made, so a description builds anywhere.
bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  fs::path temp = path;
  temp += ".tmp";
  std::string error;
  {
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) error = errno ? std::strerror(errno) : "write failed";
  }
  if (error.empty()) {
    fs::rename(temp, path, ec);
    if (ec) error = ec.message();
  }
  if (error.empty()) return true;
  std::cerr << "prt-build: cannot write '" << path.string() << "': " << error << "\n";
  fs::remove(temp, ec);
  return false;
}

// Reads at most one byte more than a description may have, so that the
// builder can refuse a larger one; only a regular file is opened (a FIFO or a
// device would block or never end). Answers the reason on failure.
std::string ReadDescription(const fs::path& path, std::string& text) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (ec) return ec.message();
  if (!fs::is_regular_file(status)) return "not a regular file";
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::strerror(errno);
  text.resize(prt::limits::kDescriptionBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) return std::strerror(errno);
  text.resize(static_cast<size_t>(in.gcount()));
  return {};
}

fs::path Beside(const fs::path& prt, const char* suffix) {
  fs::path base = prt;
  base.replace_extension();
  return fs::path(base.string() + suffix);
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::string> lang, conn, image;
  const auto operands = prt::options::Parse({.program = "prt-build",
                                         .help = kHelp,
                                         .options = {{"--lang", &lang}, {"--conn", &conn}, {"--image", &image}},
                                         .operands = {"<desc.json>", "<out.prt>"},
                                         .required = 2},
                                        argc, argv);
  if (!operands) return operands.Error();
  const std::vector<std::string>& positional = *operands;

  std::string text;
  if (std::string error = ReadDescription(positional[0], text); !error.empty()) {
    std::cerr << "prt-build: cannot read '" << positional[0] << "': " << error << "\n";
    return prt::options::kRefused;
  }
  const auto built = prt::builder::BuildFromJsonText(text);
  if (!built) {
    const prt::builder::BuildError& error = built.Error();
    std::cerr << "prt-build: " << positional[0];
    if (error.line) std::cerr << ':' << error.line << ':' << error.column;
    std::cerr << ": " << error.message << "\n";
    return prt::options::kRefused;
  }

  const fs::path out = positional[1];
  bool ok = WriteFile(out, built->container);
  if (ok && built->languageFile)
    ok = WriteFile(lang ? fs::path(*lang) : Beside(out, ".rt_file.LANG"), *built->languageFile);
  if (ok && built->connectionFile)
    ok = WriteFile(conn ? fs::path(*conn) : Beside(out, ".rt_file.CONN"), *built->connectionFile);
  if (ok && image) ok = WriteFile(*image, built->image);
  return ok ? prt::options::kDone : prt::options::kRefused;
}
