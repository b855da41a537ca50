#include "tools/qml-preview/PreviewCommandLine.h"

#include <optional>

#include "platform/Text.h"
#include "tools/cli/CommandLine.h"

namespace prt::preview {

namespace {

constexpr const char* kHelp =
    "Usage: qml-preview [options] <qmls folder>\n"
    "Loads every .qml document of the folder (plain or enciphered; always the text, never a\n"
    ".qmlc beside it) with a stand-in of the VantorelV5 components: each control a labelled\n"
    "frame at its geometry, hidden ones dashed. Writes <document>.png at the screen's size,\n"
    "the contact sheet index.png and the gallery index.html into the pictures folder, and\n"
    "one progress line per document on standard error.\n"
    "\n"
    "Options:\n"
    "  -o, --output <folder>  the pictures folder (default: <qmls folder>-preview, made when\n"
    "                         missing)\n"
    "  -q, --quiet            no progress line per document\n"
    "  -h, --help             show this help\n"
    "  --version              show the version\n"
    "\n"
    "Exit status:\n"
    "  0  every document is drawn\n"
    "  1  a folder or picture cannot be read or written\n"
    "  2  wrong usage (the reason on standard error)\n"
    "  3  the QML runtime modules or the stand-in module are not installed\n"
    "  4  some documents failed to load (listed with the engine's messages)\n";

}  // namespace

Expected<Request, int> ParseCommandLine(int argc, char** argv) {
  Request request;
  std::optional<std::string> output;
  const auto operands = cli::Parse({.program = "qml-preview",
                                    .help = kHelp,
                                    .options = {{"-o,--output", &output}, {.names = "-q,--quiet", .flag = &request.quiet}},
                                    .operands = {"<qmls folder>"},
                                    .required = 1},
                                   argc, argv);
  if (!operands) return Unexpected{operands.Error()};
  request.qmlsFolder = platform::WidenPath(operands->front());
  if (output) {
    request.picturesFolder = platform::WidenPath(*output);
  } else {
    request.picturesFolder = request.qmlsFolder;
    while (request.picturesFolder.size() > 1 && request.picturesFolder.back() == u'/')
      request.picturesFolder.pop_back();
    request.picturesFolder += u"-preview";
  }
  return request;
}

}  // namespace prt::preview
