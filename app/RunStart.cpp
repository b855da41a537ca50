#include "app/RunStart.h"

#include <iostream>
#include <new>
#include <optional>

#include "cli/Messages.h"
#include "convert/GenerationRun.h"
#include "convert/Reuse.h"
#include "data/set/OpenDataSet.h"
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
  LineReport report(std::cout, std::cerr);
  const std::optional<ReuseSource> source = ReuseSourceOf(copy, !platform::SwitchedOff("PRT2QML_REUSE"));
  std::optional<ReuseRecord> last;
  if (source && source->reuse && OutputIsCurrent(*source, outputFolder, encryptOptionSeen, last)) {
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
