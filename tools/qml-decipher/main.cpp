// qml-decipher: turns a .qml file enciphered by prt2qml -e back into text.
// The plain length is not stored in the file, so the 0 to 3 padding spaces
// that the cipher needed stay at the end of the output.
#include <fstream>
#include <iostream>
#include <string>

#include "cli/ProgramInfo.h"
#include "cipher/FileCipher.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "tools/options/CommandLine.h"
#include "platform/Limits.h"

namespace {

constexpr const char* kHelp =
    "Usage: qml-decipher [options] <enciphered.qml> [<output>]\n"
    "Writes the plain text of a document that prt2qml -e enciphered to <output>, or to\n"
    "standard output without one. The padding spaces at the end remain: the plain length\n"
    "is not stored.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this help\n"
    "  --version   show the version\n"
    "\n"
    "Exit status:\n"
    "  0  the text is written\n"
    "  1  the file cannot be read or is not enciphered, or the output cannot be written\n"
    "  2  wrong usage (the reason on standard error)\n";

}  // namespace

int main(int argc, char** argv) {
  const auto operands = prt::options::Parse(
      {.program = "qml-decipher", .help = kHelp, .operands = {"<enciphered.qml>", "<output>"}, .required = 1},
      argc, argv);
  if (!operands) return operands.Error();
  const std::string& input = operands->front();

  if (const auto size = prt::platform::ReadableFileSize(prt::platform::WidenPath(input));
      size && *size > prt::limits::kDecipherInputBytes) {
    std::cerr << "qml-decipher: " << input << " holds " << prt::platform::GroupedDigits(*size) << " bytes, more than the "
              << prt::platform::GroupedDigits(prt::limits::kDecipherInputBytes) << " an input may have\n";
    return prt::options::kRefused;
  }
  auto read = prt::platform::ReadWholeFile(prt::platform::WidenPath(input));
  if (!read) {
    std::cerr << "qml-decipher: cannot open '" << input << "': " << read.Error().Reason() << "\n";
    return prt::options::kRefused;
  }
  const std::string file = std::move(*read);
  const auto plain = prt::DecipherContent(file);
  if (file.empty() || !plain) {
    std::cerr << "qml-decipher: " << input << " is not an enciphered file (size " << file.size() << ")\n";
    return prt::options::kRefused;
  }
  // A write that fails (a full disk) is reported with the system's reason.
  if (operands->size() == 1) return prt::PrintAnswer("qml-decipher", *plain) == 0 ? prt::options::kDone : prt::options::kRefused;
  const std::string& output = (*operands)[1];
  std::ofstream out(prt::platform::ToPath(prt::platform::WidenPath(output)), std::ios::binary | std::ios::trunc);
  out.write(plain->data(), static_cast<std::streamsize>(plain->size()));
  out.close();
  if (!out) {
    std::cerr << "qml-decipher: cannot write " << output << "\n";
    return prt::options::kRefused;
  }
  return prt::options::kDone;
}
