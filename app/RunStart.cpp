#include "app/RunStart.h"

#include <iostream>
#include <new>
#include <optional>

#include "cli/Messages.h"
#include "convert/GenerationRun.h"
#include "convert/LanguageChoice.h"
#include "convert/Reuse.h"
#include "convert/RunRecord.h"
#include "data/set/OpenDataSet.h"
#include "platform/Environment.h"
#include "platform/FileSystem.h"

namespace prt {

namespace {

void ErrLine(const std::string& line) { std::cerr << line + "\n" << std::flush; }

}  // namespace

int RunStart(WorkingCopy copy, platform::ByteBlock bytes, bool encryptOptionSeen, const std::u16string& outputFolder,
             const platform::LockWait& wait, const std::function<int(const Error*)>& loadFailed) {
  const std::u16string lockFolder = outputFolder.empty() ? std::u16string(u"/") : outputFolder;
  const platform::LockResult lock = platform::LockFolder(lockFolder, wait);
  if (lock.status == platform::LockStatus::TimedOut || lock.status == platform::LockStatus::Failed) {
    const auto bound = std::chrono::duration_cast<std::chrono::seconds>(wait.bound);
    ErrLine("prt2qml: " + LockFailureMessage("output folder", lockFolder, lock.status, lock.reason, lock.holder, bound));
    ErrLine("Generate QML files failed!");
    return -3;
  }

  if (lock.status == platform::LockStatus::Locked) RemoveLeftovers(lockFolder);
  LineReport lines(std::cout, std::cerr);
  RunReport& report = RecordedReport(lines);
  std::optional<ReuseSource> source = ReuseSourceOf(copy, !platform::SwitchedOff("PRT2QML_REUSE"));
  std::optional<ReuseRecord> last;
  // A report names each document, a chosen language or strictness needs
  // the data set: those runs never take the published output over whole.
  std::optional<std::string> language = platform::EnvironmentValue("PRT2QML_LANGUAGE");
  if (language && language->empty()) language.reset();
  const bool whole = !ActiveRunRecord() && !language && !platform::SwitchedOn("PRT2QML_STRICT");
  if (source && source->reuse && OutputIsCurrent(*source, outputFolder, encryptOptionSeen, last) && whole) {
    ReplayRecord(*last, outputFolder, report);
    return 0;
  }
  std::optional<DataSet> data;
  try {
    auto opened = OpenDataSet(std::move(copy), std::move(bytes));
    if (!opened) return loadFailed(&opened.Error());
    data.emplace(std::move(*opened));
  } catch (const std::bad_alloc&) {
    return loadFailed(nullptr);
  }
  if (language) {
    const auto chosen = ResolveLanguage(*language, LanguageIds(*data));
    if (!chosen) return ErrLine("prt2qml: " + chosen.Error()), ErrLine("Initialize Data Manager failed!"), -2;
    data->SetStoredLanguage(*chosen);
    if (source) source->language = *chosen;  // the record says what the documents start in
  }
  if (RunRecord* record = ActiveRunRecord()) record->Loaded(*data);

  Status generated;
  try {
    generated = GenerateQmlFiles(*data, outputFolder, encryptOptionSeen, report, source ? &*source : nullptr,
                                 std::move(last));
  } catch (const std::bad_alloc&) {
    generated = Fail(Error{.step = Error::Step::OutOfMemory});
  }
  if (!generated) {
    for (const std::string& line : RunFailureLines(generated.Error())) ErrLine(line);
    ErrLine("Generate QML files failed!");
    return -3;
  }
  return 0;
}

}  // namespace prt
