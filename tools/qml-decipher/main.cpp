// qml-decipher: turns a .qml file enciphered by prt2qml -e back into text.
// The plain length is not stored in the file, so the 0 to 3 padding spaces
// that the cipher needed stay at the end of the output.
#include <fstream>
#include <iostream>
#include <string>

#include "cli/ProgramInfo.h"
#include "cipher/FileCipher.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace {

constexpr const char* kUsage =
    "Usage: qml-decipher <enciphered.qml> [<output>]\n"
    "Writes the plain text to <output>, or to standard output without one.\n"
    "The padding spaces (0 to 3) at the end remain: the plain length is not stored.\n"
    "-h or --help shows this text, --version the version (as the first argument, when no\n"
    "file has that name). Exits with 0 when the text is written, 1 on wrong arguments,\n"
    "2 when the file is not enciphered or the output cannot be written.\n";

// Larger inputs are refused before they are read: prt2qml's documents stay
// far below this, and deciphering holds the file and its text at once.
constexpr uint64_t kMaxInputBytes = uint64_t{256} << 20;

// False, with the reason on standard error, for an input above the limit.
bool WithinLimit(const std::string& input) {
  const auto size = prt::platform::ReadableFileSize(prt::platform::WidenPath(input));
  if (!size || *size <= kMaxInputBytes) return true;
  std::cerr << "qml-decipher: " << input << " holds " << prt::platform::GroupedDigits(*size)
            << " bytes, more than the " << prt::platform::GroupedDigits(kMaxInputBytes) << " an input may have\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << kUsage;
    return 1;
  }
  const std::string input = argv[1];
  // A file of that name is still read as the enciphered file.
  if ((input == "-h" || input == "--help" || input == "--version") &&
      !prt::platform::EntryExists(prt::platform::WidenPath(input)))
    return prt::PrintAnswer("qml-decipher", input == "--version" ? prt::VersionLine("qml-decipher") : kUsage);
  if (!WithinLimit(input)) return 2;
  const std::string file = prt::ReadFileContent(prt::platform::WidenPath(input));
  const auto plain = prt::DecipherContent(file);
  if (file.empty() || !plain) {
    std::cerr << "qml-decipher: " << input << " is not an enciphered file (size "
              << file.size() << ")\n";
    return 2;
  }
  // A write that fails (a full disk) is reported with the system's reason.
  if (argc == 2) return prt::PrintAnswer("qml-decipher", *plain) == 0 ? 0 : 2;
  std::ofstream out(prt::platform::ToPath(prt::platform::WidenPath(argv[2])),
                    std::ios::binary | std::ios::trunc);
  out.write(plain->data(), static_cast<std::streamsize>(plain->size()));
  out.close();
  if (!out) {
    std::cerr << "qml-decipher: cannot write " << argv[2] << "\n";
    return 2;
  }
  return 0;
}
