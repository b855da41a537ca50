#include "app/Messages.h"

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

std::string ProjectPathMessage(const ProjectPathError& error, std::u16string_view requestedPath,
                               std::u16string_view dataFileAsGiven, std::chrono::seconds bound) {
  using Step = ProjectPathError::Step;
  const std::string& why = error.reason;
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
      return LockFailureMessage("working folder", error.path, error.lock, why, error.holder, bound);
    case Step::ReadFolder:
      return "cannot read the folder " + Quoted(error.path) + ": " + why;
    case Step::DeleteFile:
      return "cannot delete " + Quoted(error.path) + " in " + Quoted(error.folder) + ": " + why;
    case Step::CopyFile:
      return "cannot copy " + Quoted(error.path) + " into " + Quoted(error.folder) + ": " + why;
  }
  return why;
}

std::string OpenErrorMessage(const OpenError& error, std::u16string_view requestedPath,
                             std::u16string_view dataFileAsGiven, std::chrono::seconds bound) {
  if (const auto* copy = std::get_if<ProjectPathError>(&error))
    return ProjectPathMessage(*copy, requestedPath, dataFileAsGiven, bound);
  const auto& failure = std::get<CPRDataManager::LoadFailure>(error);
  if (!failure.container) return "cannot read " + Quoted(failure.path) + ": " + failure.error.message();
  // The working copy holds the data file's bytes: the user's name is shown.
  const ContainerError& container = *failure.container;
  using Place = ContainerError::Place;
  if (container.place == Place::Signature)
    return Quoted(dataFileAsGiven) + " is not a runtime data set (" + container.rule + ")";
  std::string where = container.place == Place::Head      ? "header"
                      : container.place == Place::Payload ? "payload"
                                                          : "section " + std::to_string(container.section);
  return Quoted(dataFileAsGiven) + ": " + where + " at offset " + Hex(container.offset) + ": " + container.rule;
}

}  // namespace prt
