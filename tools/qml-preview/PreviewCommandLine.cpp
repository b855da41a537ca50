#include "tools/qml-preview/PreviewCommandLine.h"

#include <charconv>
#include <optional>

#include "platform/Text.h"
#include "tools/options/CommandLine.h"

namespace prt::preview {

namespace {

constexpr const char* kHelp =
    "Usage: qml-preview [options] <qmls folder>\n"
    "       qml-preview --diff [options] <old qmls folder> <new qmls folder>\n"
    "Draws every .qml document of the folder (plain or enciphered; always the text, never a\n"
    ".qmlc beside it) with a stand-in of the VantorelV5 components: controls as labelled\n"
    "frames, shapes as their shapes, hidden ones dashed, pages over the folder's template.\n"
    "Writes <document>.png at the screen's size, thumbs/ and pages/ (a page per screen with\n"
    "every control's whole label as a tooltip), the contact sheets index.png, index-2.png,\n"
    "... and the gallery index.html into the pictures folder, and removes the files of\n"
    "documents that are gone. With --diff, compares two folders instead (or two data files,\n"
    "each converted by prt2qml into a private temporary folder).\n"
    "\n"
    "Options:\n"
    "  -o, --output <folder>  the pictures folder (default: <qmls folder>-preview), or the\n"
    "                         diff folder (default: <new qmls folder>-diff); made when missing\n"
    "  --prt <data file>      the project's data set, read in place: popup titles show its\n"
    "                         texts, captions the project's name and each screen's language\n"
    "  --diff                 list the documents added, removed and changed (in text and in\n"
    "                         pixels) with the old, the new and a highlighted picture each\n"
    "  --full                 redraw every document (default: only those whose text, template,\n"
    "                         data-set texts or options changed since the last run; also\n"
    "                         with QML_PREVIEW_REUSE=0)\n"
    "  -j, --jobs <N>         draw in N worker processes (default: one per core)\n"
    "  -q, --quiet            print only failures (otherwise progress on a terminal and a\n"
    "                         summary)\n"
    "  -h, --help             show this help\n"
    "  --version              show the version\n"
    "\n"
    "Exit status:\n"
    "  0  every document is drawn; with --diff, nothing changed\n"
    "  1  a folder, the data file or a picture cannot be read or written; with --diff,\n"
    "     something changed\n"
    "  2  wrong usage (the reason on standard error); with --diff, also any other error\n"
    "  3  the QML runtime modules or the stand-in module are not installed\n"
    "  4  some documents failed to load (listed with the engine's messages)\n";

constexpr int kMaxWorkers = 256;

}  // namespace

Expected<Request, int> ParseCommandLine(int argc, char** argv) {
  Request request;
  std::optional<std::string> output, dataFile, workers;
  const auto operands = options::Parse({.program = "qml-preview",
                                    .help = kHelp,
                                    .options = {{"-o,--output", &output},
                                                {"--prt", &dataFile},
                                                {"-j,--jobs", &workers},
                                                {.names = "--diff", .flag = &request.diff},
                                                {.names = "--full", .flag = &request.full},
                                                {.names = "-q,--quiet", .flag = &request.quiet}},
                                    .operands = {"<qmls folder>", "<new qmls folder>"},
                                    .required = 1},
                                   argc, argv);
  if (!operands) return Unexpected{operands.Error()};
  if (request.diff && operands->size() < 2)
    return Unexpected{options::UsageError("qml-preview", "missing <new qmls folder>")};
  if (!request.diff && operands->size() > 1)
    return Unexpected{options::UsageError("qml-preview", "unexpected argument '" + operands->back() + "'")};
  if (request.diff && dataFile) return Unexpected{options::UsageError("qml-preview", "--prt does not go with --diff")};
  if (workers) {
    const char* end = workers->data() + workers->size();
    const auto [stop, error] = std::from_chars(workers->data(), end, request.workers);
    if (error != std::errc() || stop != end || request.workers < 1 || request.workers > kMaxWorkers)
      return Unexpected{options::UsageError("qml-preview", "--jobs takes a number from 1 to 256, not '" + *workers + "'")};
  }
  for (const std::string& folder : *operands) request.folders.push_back(platform::WidenPath(folder));
  if (dataFile) request.dataFile = platform::WidenPath(*dataFile);
  if (output) {
    request.output = platform::WidenPath(*output);
    request.outputNamed = true;
  } else {
    request.output = request.folders.back();
    while (request.output.size() > 1 && request.output.back() == u'/') request.output.pop_back();
    request.output += request.diff ? u"-diff" : u"-preview";
  }
  return request;
}

}  // namespace prt::preview
