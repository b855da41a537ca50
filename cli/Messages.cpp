#include "cli/Messages.h"

#include <filesystem>
#include <iomanip>
#include <sstream>

#include "cipher/FileCipher.h"
#include "convert/OutputFolders.h"
#include "data/files/WorkingCopy.h"
#include "data/image/ByteCursor.h"
#include "platform/Text.h"

namespace prt {

namespace {

using platform::Op;
using platform::SystemError;

// Names are shown with the bytes the user gave, valid UTF-8 or not.
std::string Quoted(std::u16string_view path) { return "'" + platform::NarrowPath(path) + "'"; }

std::filesystem::path PathOf(const std::u16string& path) { return platform::ToPath(path); }

// The path in double quotes, with quotes and backslashes escaped.
std::string QuotedPath(const std::u16string& path) {
  std::ostringstream out;
  out << std::quoted(PathOf(path).string());
  return out.str();
}

// What the file-system library says it could not do.
std::string_view Words(Op op) {
  switch (op) {
    case Op::MakeFolder: return "cannot create directory";
    case Op::List: return "directory iterator cannot open directory";
    case Op::OpenFolder: return "cannot open directory";
    case Op::Remove: return "cannot remove all";
    case Op::MoveAside: return "cannot move aside";
    case Op::Rename:
    case Op::Exchange: return "cannot rename";
    case Op::CopyFile: return "cannot copy file";
    case Op::Sync: return "cannot synchronize";
    default: return "cannot access";
  }
}

// What the file-system library's exception says for the error's paths.
std::string FsWhat(const SystemError& error) {
  const std::string words(Words(error.op));
  return (error.other.empty()
              ? std::filesystem::filesystem_error(words, PathOf(error.path), error.code)
              : std::filesystem::filesystem_error(words, PathOf(error.path), PathOf(error.other), error.code))
      .what();
}

// "generic:2, filesystem error: ..."
std::string FsErrorText(const SystemError& error) {
  return std::string(error.code.category().name()) + ":" + std::to_string(error.code.value()) + ", " + FsWhat(error);
}

// "prt2qml: cannot write '<path>': <reason>"
std::string FileLine(const std::u16string& path, const std::error_code& code, bool reading) {
  return std::string("prt2qml: cannot ") + (reading ? "read '" : "write '") + PathOf(path).string() +
         "': " + code.message();
}

std::string WorkingCopyMessage(const WorkingCopyError& error, std::u16string_view requestedPath,
                               std::u16string_view dataFileAsGiven) {
  using Step = WorkingCopyError::Step;
  const std::string& why = error.reason;
  switch (error.step) {
    case Step::OpenData:
      return "cannot open " + Quoted(error.path == requestedPath ? dataFileAsGiven : error.path) + ": " + why;
    case Step::NotPrtName: return Quoted(dataFileAsGiven) + ": " + why;
    case Step::TooLarge: return Quoted(dataFileAsGiven) + " is too large: " + why;
    case Step::CreateFolder: return "cannot create the working folder " + Quoted(error.path) + ": " + why;
    case Step::LockFolder:
      if (error.lock) return LockFailureMessage("working folder", *error.lock);
      return "cannot lock the working folder " + Quoted(error.path) + ": " + why;
    case Step::ReadFolder: return "cannot read the folder " + Quoted(error.path) + ": " + why;
    case Step::DeleteFile: return "cannot delete " + Quoted(error.path) + " in " + Quoted(error.folder) + ": " + why;
    case Step::CopyFile: return "cannot copy " + Quoted(error.path) + " into " + Quoted(error.folder) + ": " + why;
  }
  return why;
}

// The working copy holds the data file's bytes: the user's name is shown.
std::string ContainerMessage(const ContainerError& error, std::u16string_view dataFileAsGiven) {
  using Part = ContainerError::Part;
  if (error.part == Part::Signature) return Quoted(dataFileAsGiven) + " is not a runtime data set (" + error.rule + ")";
  const std::string where = error.part == Part::Head      ? "header"
                            : error.part == Part::Payload ? "payload"
                                                          : "section " + std::to_string(error.section);
  return Quoted(dataFileAsGiven) + ": " + where + " at offset " + Hex(error.offset) + ": " + error.rule;
}

// The lines of a document that was not enciphered.
std::vector<std::string> CipherLines(const CipherError& error) {
  std::vector<std::string> lines;
  if (error.empty) lines.push_back("Encryptqml file content is empty!!!");
  std::string failed = "operator () failed to encrypt qml files.";
  if (error.truncated) {
    lines.push_back("SaveFileSave file with error length! Will remove it.");
    if (error.removeFailure >= 0)
      failed = "SaveFileRemove invalid cache file failed, error code " + std::to_string(error.removeFailure) + failed;
  }
  lines.push_back(failed);
  if (error.code) lines.push_back(FileLine(error.path, error.code, error.reading));
  lines.push_back("GenerateQmlFiles error occured during generating cache files.");
  return lines;
}

// Memory ran out, told with what the run was at.
std::string OutOfMemoryLine(const RunError& error) {
  if (!error.screen.empty()) return "prt2qml: screen " + error.screen + ": out of memory";
  if (!error.document.empty()) return "prt2qml: out of memory writing '" + PathOf(error.document).string() + "'";
  return error.stage == RunError::Stage::Trees ? "prt2qml: out of memory while building the control trees"
                                               : "prt2qml: out of memory";
}

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
        why += "; the documents go to " + Quoted(line.outputFolder + u"/" + std::u16string(kFinalName));
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

std::string LockFailureMessage(std::string_view what, const platform::LockError& error) {
  if (error.kind == platform::LockError::Kind::TimedOut)
    return Quoted(error.folder) + " is locked by " + HolderText(error.holder) + "; gave up after " +
           std::to_string(error.bound.count()) + " s";
  return "cannot lock the " + std::string(what) + " " + Quoted(error.folder) + ": " + error.Reason();
}

std::string OpenErrorMessage(const Error& error, std::u16string_view requestedPath,
                             std::u16string_view dataFileAsGiven) {
  if (const auto* run = error.As<RunError>(); run && run->cause)
    return OpenErrorMessage(*run->cause, requestedPath, dataFileAsGiven);
  if (const auto* copy = error.As<WorkingCopyError>()) return WorkingCopyMessage(*copy, requestedPath, dataFileAsGiven);
  if (const auto* container = error.As<ContainerError>()) return ContainerMessage(*container, dataFileAsGiven);
  if (error.Is<OutOfMemory>()) return "out of memory loading " + Quoted(dataFileAsGiven);
  if (const auto* system = error.As<SystemError>()) return "cannot read " + Quoted(system->path) + ": " + system->Reason();
  return error.Reason();
}

std::vector<std::string> RunFailureLines(const RunError& error) {
  using Stage = RunError::Stage;
  if (error.OutOfMemory()) return {OutOfMemoryLine(error)};
  const SystemError* system = error.cause ? error.cause->As<SystemError>() : nullptr;
  const std::string screen = "prt2qml: screen " + error.screen + ": ";
  switch (error.stage) {
    case Stage::Trees:
    case Stage::Budget:
    case Stage::Strict: return {screen + error.Reason()};
    case Stage::Text: return {};  // the controls said why, if they could
    case Stage::Save: return {FileLine(system->path, system->code, false), "GenerateQmlFiles failed to save qml files."};
    case Stage::Compile:
      return {FileLine(system->path, system->code, system->op == Op::Read),
              "GenerateQmlFiles error occured during generating cache files."};
    case Stage::Write: return {FileLine(system->path, system->code, false)};
    case Stage::Encipher: return CipherLines(*error.cause->As<CipherError>());
    case Stage::Staging: return {"GenerateQmlFiles aborted: " + FsWhat(*system)};
    case Stage::Workers: return {"GenerateQmlFiles aborted: " + system->code.message()};
    case Stage::Publish: return {FsErrorLine(*system)};
    case Stage::LockOutput:
      return {"prt2qml: " + LockFailureMessage("output folder", *error.cause->As<platform::LockError>())};
    case Stage::WorkingCopy:
    case Stage::Load: break;
  }
  return {"prt2qml: " + error.Reason()};
}

std::string RemovedLine(const std::u16string& entry) { return "Remove: " + QuotedPath(entry); }

std::string NotRemovedLine(const SystemError& error) {
  return "Failed to remove: " + QuotedPath(error.path) + ", " + FsWhat(error);
}

std::string NotWalkedLine(const SystemError& error) { return "Failed to iterator: " + FsErrorText(error); }

std::string FsErrorLine(const SystemError& error) { return "fs error: " + FsErrorText(error); }

std::string LeftBehindLine(const SystemError& error) {
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
