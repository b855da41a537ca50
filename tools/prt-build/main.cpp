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
#include "tools/builder/JsonBuilder.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "Usage: prt-build <desc.json> <out.prt> [--lang <path>] [--conn <path>] [--image <path>]\n"
    "Writes the data set container to <out.prt>. A language file or connection file in the\n"
    "description goes to <base>.rt_file.LANG / <base>.rt_file.CONN beside it unless --lang or\n"
    "--conn names another path; --image also writes the image as the loader will hold it.\n"
    "--help shows this text, --version the version. Exits with 0 when every file is written,\n"
    "1 otherwise.\n";

// Writes through a temporary file so that a failure leaves no partial output.
bool WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::error_code ec;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  fs::path temp = path;
  temp += ".tmp";
  {
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::cerr << "prt-build: cannot write " << path.string() << ": "
                << (errno ? std::strerror(errno) : "write failed") << "\n";
      fs::remove(temp, ec);
      return false;
    }
  }
  fs::rename(temp, path, ec);
  if (ec) {
    std::cerr << "prt-build: cannot write " << path.string() << ": " << ec.message() << "\n";
    fs::remove(temp, ec);
    return false;
  }
  return true;
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
  text.resize(prt::builder::limits::kDescriptionBytes + 1);
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
  std::vector<std::string> positional;
  std::optional<fs::path> lang, conn, image;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") return prt::PrintAnswer("prt-build", kUsage);
    if (arg == "--version") return prt::PrintAnswer("prt-build", prt::VersionLine("prt-build"));
    std::optional<fs::path>* option = arg == "--lang" ? &lang : arg == "--conn" ? &conn : arg == "--image" ? &image : nullptr;
    if (option) {
      if (i + 1 >= argc) {
        std::cerr << "prt-build: " << arg << " needs a path\n" << kUsage;
        return 1;
      }
      *option = fs::path(argv[++i]);
    } else if (arg.starts_with("--")) {
      std::cerr << "prt-build: unknown option " << arg << "\n" << kUsage;
      return 1;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    std::cerr << kUsage;
    return 1;
  }

  std::string text;
  if (std::string error = ReadDescription(positional[0], text); !error.empty()) {
    std::cerr << "prt-build: cannot read " << positional[0] << ": " << error << "\n";
    return 1;
  }
  const prt::builder::BuildResult result = prt::builder::BuildFromJsonText(text);
  if (!result.ok) {
    std::cerr << "prt-build: " << positional[0] << ": " << result.error << "\n";
    return 1;
  }

  const fs::path out = positional[1];
  bool ok = WriteFile(out, result.container);
  if (ok && result.languageFile) ok = WriteFile(lang.value_or(Beside(out, ".rt_file.LANG")), *result.languageFile);
  if (ok && result.connectionFile) ok = WriteFile(conn.value_or(Beside(out, ".rt_file.CONN")), *result.connectionFile);
  if (ok && image) ok = WriteFile(*image, result.image);
  return ok ? 0 : 1;
}
