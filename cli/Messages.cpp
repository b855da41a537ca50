#include "cli/Messages.h"

#include <filesystem>
#include <iomanip>
#include <sstream>

#include "data/image/ByteCursor.h"
#include "platform/Text.h"

namespace prt {

namespace {

// Names are shown with the bytes the user gave, valid UTF-8 or not.
std::string Quoted(std::u16string_view path) { return "'" + platform::NarrowPath(path) + "'"; }

}  // namespace

std::vector<std::string> CommandLineWarnings(const std::vector<std::u16string>& args, const CommandLine& line) {
  std::vector<std::string> warnings;
  for (const size_t i : line.ignored) {
    const std::u16string& arg = args[i];
    std::string why;
    if (arg == u"-h" || arg == u"--help" || arg == u"--version")
      why = std::string("it shows the ") + (arg == u"--version" ? "version" : "help") + " only as the first argument";
    else if (arg.size() < 2 || arg[0] != u'-')
      why = "only the argument after -d names the output folder";
    else if (arg[1] != u'-')
      why = "the options are -d <folder> and -e";
    else
      why = "an option counts by its first two characters, and '--' is neither -d nor -e";
    // What the user most likely meant, and what happens instead.
    if (arg.size() > 2 && arg[0] == u'-' && arg[1] == u'-') {
      if (arg[2] == u'e' && !line.encryptOptionSeen) why += "; nothing is enciphered";
      if (arg[2] == u'd' && !line.folderOptionSeen)
        why += "; the documents go to " + Quoted(line.outputFolder + u"/qmls");
    }
    warnings.push_back(Quoted(arg) + " is ignored: " + why);
  }
  if (line.folderOptionSeen && line.outputFolder.empty())
    warnings.push_back("the folder after -d is empty: writing to /qmls_generating and /qmls");
  return warnings;
}

std::string HolderText(const platform::LockHolder& holder) {
  if (holder.pid <= 0) return "another process";
  std::string text = "process " + std::to_string(holder.pid);
  if (!holder.command.empty()) text += " (" + holder.command + ")";
  return text;
}

std::string WaitingMessage(std::u16string_view folder, const platform::LockHolder& holder) {
  return "waiting for " + Quoted(folder) + ", locked by " + HolderText(holder);
}

std::string LockFailureMessage(std::string_view what, std::u16string_view folder, platform::LockStatus status,
                               const std::string& reason, const platform::LockHolder& holder,
                               std::chrono::seconds bound) {
  if (status == platform::LockStatus::TimedOut)
    return Quoted(folder) + " is locked by " + HolderText(holder) + "; gave up after " +
           std::to_string(bound.count()) + " s";
  return "cannot lock the " + std::string(what) + " " + Quoted(folder) + ": " + reason;
}

std::string OpenErrorMessage(const Error& error, std::u16string_view requestedPath,
                             std::u16string_view dataFileAsGiven, std::chrono::seconds bound) {
  using Step = Error::Step;
  const std::string why = error.Reason();
  switch (error.step) {
    case Step::OpenData:
      return "cannot open " + Quoted(error.path == requestedPath ? dataFileAsGiven : error.path) + ": " + why;
    case Step::NotPrtName:
      return Quoted(dataFileAsGiven) + ": " + why;
    case Step::TooLarge:
      return Quoted(dataFileAsGiven) + " is too large: " + why;
    case Step::CreateFolder:
      return "cannot create the working folder " + Quoted(error.path) + ": " + why;
    case Step::LockFolder:
      return LockFailureMessage("working folder", error.path,
                                error.timedOut ? platform::LockStatus::TimedOut : platform::LockStatus::Failed, why,
                                {error.holderPid, error.holderCommand}, bound);
    case Step::ReadFolder:
      return "cannot read the folder " + Quoted(error.path) + ": " + why;
    case Step::DeleteFile:
      return "cannot delete " + Quoted(error.path) + " in " + Quoted(error.other) + ": " + why;
    case Step::CopyFile:
      return "cannot copy " + Quoted(error.path) + " into " + Quoted(error.other) + ": " + why;
    case Step::Container: {
      // The working copy holds the data file's bytes: the user's name is shown.
      using Part = Error::Part;
      if (error.part == Part::Signature) return Quoted(dataFileAsGiven) + " is not a runtime data set (" + error.rule + ")";
      const std::string where = error.part == Part::Head      ? "header"
                                : error.part == Part::Payload ? "payload"
                                                              : "section " + std::to_string(error.section);
      return Quoted(dataFileAsGiven) + ": " + where + " at offset " + Hex(error.offset) + ": " + error.rule;
    }
    default:
      return "cannot read " + Quoted(error.path) + ": " + why;
  }
}

namespace {

std::filesystem::path PathOf(const std::u16string& path) { return platform::ToPath(path); }

// The path in double quotes, with quotes and backslashes escaped.
std::string QuotedPath(const std::u16string& path) {
  std::ostringstream out;
  out << std::quoted(PathOf(path).string());
  return out.str();
}

// What the file-system library's exception says for `action` on the
// error's paths.
std::string FsWhat(const Error& error) {
  return (error.other.empty() ? std::filesystem::filesystem_error(error.action, PathOf(error.path), error.code)
                              : std::filesystem::filesystem_error(error.action, PathOf(error.path),
                                                                  PathOf(error.other), error.code))
      .what();
}

// "generic:2, filesystem error: ..."
std::string FsErrorText(const Error& error) {
  return std::string(error.code.category().name()) + ":" + std::to_string(error.code.value()) + ", " + FsWhat(error);
}

// "prt2qml: cannot write '<path>': <reason>"
std::string FileLine(const Error& error, bool reading) {
  return std::string("prt2qml: cannot ") + (reading ? "read '" : "write '") + PathOf(error.path).string() +
         "': " + error.code.message();
}

}  // namespace

std::vector<std::string> RunFailureLines(const Error& error) {
  using Step = Error::Step;
  const std::string screen = "prt2qml: screen " + error.subject;
  switch (error.step) {
    case Step::Tree:
    case Step::Documents:
      return {screen + ": " + error.rule};
    case Step::Document:
      return {};  // the controls said why, if they could
    case Step::OutOfMemory:
      if (!error.subject.empty()) return {screen + ": out of memory"};
      if (!error.path.empty()) return {"prt2qml: out of memory writing '" + PathOf(error.path).string() + "'"};
      return {"prt2qml: out of memory" + (error.rule.empty() ? "" : " " + error.rule)};
    case Step::Read:
    case Step::Write: {
      std::vector<std::string> lines{FileLine(error, error.step == Step::Read)};
      if (error.action == "save") lines.push_back("GenerateQmlFiles failed to save qml files.");
      if (error.action == "cache") lines.push_back("GenerateQmlFiles error occured during generating cache files.");
      return lines;
    }
    case Step::Encipher: {
      std::vector<std::string> lines;
      if (error.rule == "empty") lines.push_back("Encryptqml file content is empty!!!");
      std::string failed = "operator () failed to encrypt qml files.";
      if (error.truncated) {
        lines.push_back("SaveFileSave file with error length! Will remove it.");
        if (error.removeFailure >= 0)
          failed = "SaveFileRemove invalid cache file failed, error code " + std::to_string(error.removeFailure) + failed;
      }
      lines.push_back(failed);
      if (error.code) lines.push_back(FileLine(error, error.reading));
      lines.push_back("GenerateQmlFiles error occured during generating cache files.");
      return lines;
    }
    case Step::Staging:
      return {"GenerateQmlFiles aborted: " + FsWhat(error)};
    case Step::Workers:
      return {"GenerateQmlFiles aborted: " + error.code.message()};
    case Step::Publish:
      return {FsErrorLine(error)};
    default:
      return {"prt2qml: " + error.Reason()};
  }
}

std::string RemovedLine(const std::u16string& entry) { return "Remove: " + QuotedPath(entry); }

std::string NotRemovedLine(const Error& error) {
  return "Failed to remove: " + QuotedPath(error.path) + ", " + FsWhat(error);
}

std::string NotWalkedLine(const Error& error) { return "Failed to iterator: " + FsErrorText(error); }

std::string FsErrorLine(const Error& error) { return "fs error: " + FsErrorText(error); }

std::string LeftBehindLine(const Error& error) {
  return "prt2qml: cannot remove '" + platform::NarrowPath(error.path) + "': " + error.code.message();
}

std::string MovedLine(const std::u16string& staging, const std::u16string& final) {
  return "Move " + platform::NarrowUnits(staging) + " to " + platform::NarrowUnits(final);
}

std::string CopiedLine(const std::u16string& file, const std::u16string& final) {
  return "Copy " + QuotedPath(file) + " to " + QuotedPath(final);
}

std::string ReusedLine(size_t compiled, size_t reused) {
  return "prt2qml: " + std::to_string(compiled) + (compiled == 1 ? " document" : " documents") + " compiled, " +
         std::to_string(reused) + " reused from the last run";
}

}  // namespace prt
