#include "convert/ConversionRun.h"

#include <new>

#include "convert/LanguageChoice.h"
#include "convert/RunProfile.h"
#include "data/set/OpenDataSet.h"
#include "platform/Process.h"

namespace prt {

namespace {

namespace pf = prt::platform;
using Stage = RunError::Stage;

}  // namespace

ConversionRun::ConversionRun(RunOptions options, RunReport& report)
    : options_(std::move(options)), report_(report), paths_(options_.outputFolder) {}

Status ConversionRun::Run() {
  // What making the staging folder moved aside goes at the end, whatever
  // happened.
  struct AsideRemoval {
    ConversionRun& run;
    ~AsideRemoval() { RemoveAside(run.output_, run.staging_, run.paths_, run.report_); }
  } removal{*this};
  try {
    if (Status done = PrepareWorkingCopy(); !done) return done;
    if (Status done = LockOutputFolder(); !done) return done;
    if (DecideReuse()) return {};
    if (Status done = Load(); !done) return done;
    if (Status done = PrepareStaging(); !done) return done;
    if (Status done = CheckTrees(); !done) return done;
    if (Status done = WriteDocuments(); !done) return done;
    if (Status done = CheckStrict(); !done) return done;
    if (Status done = Publish(); !done) return done;
    Record();
    return {};
  } catch (const std::bad_alloc&) {
    // Memory that ran out ends the run with a message, not the process.
    return StageFailed(stage_, OutOfMemory{});
  }
}

Status ConversionRun::PrepareWorkingCopy() {
  stage_ = Stage::WorkingCopy;
  ScopedTimer timer(RunFigure(&RunProfile::loadSeconds));
  pf::LockWait wait{.bound = options_.lockWait};
  wait.onWait = [this](const std::u16string& folder, const pf::LockHolder& holder) { report_.Waiting(folder, holder); };
  Expected<WorkingCopy, WorkingCopyError> copy = WorkingCopy::Prepare(options_.dataFile, wait);
  if (!copy) return StageFailed(stage_, copy.Error());
  copy_.emplace(std::move(*copy));
  report_.DataRead(copy_->DataHash());
  return {};
}

Status ConversionRun::LockOutputFolder() {
  stage_ = Stage::LockOutput;
  pf::SysResult<pf::FolderHandle> output = pf::FolderHandle::Open(paths_.lockFolder);
  if (!output) {
    const std::error_code code = output.Error().code;
    if (code != std::errc::no_such_file_or_directory && code != std::errc::not_a_directory)
      return StageFailed(stage_, pf::LockError{.folder = paths_.lockFolder, .code = code, .bound = options_.lockWait});
    outputMissing_ = code;
    return {};
  }
  output_ = std::move(*output);
  pf::LockWait wait{.bound = options_.lockWait};
  wait.onWait = [this](const std::u16string& folder, const pf::LockHolder& holder) { report_.Waiting(folder, holder); };
  Expected<pf::FolderLock, pf::LockError> lock = pf::LockFolder(output_, wait);
  if (!lock) return StageFailed(stage_, lock.Error());
  outputLock_ = std::move(*lock);
  RemoveLeftovers(output_);
  return {};
}

bool ConversionRun::DecideReuse() {
  source_ = ReuseSourceOf(*copy_, options_.reuse);
  if (!source_) return false;  // the load says why
  key_ = RecordKey(paths_.final, options_.encrypt);
  if (!source_->reuse) return false;
  LastOutput last = ReadLastOutput(*source_, output_, paths_, options_.encrypt);
  last_ = std::move(last.record);
  // A run that must make every document (a report names each, a chosen
  // language or strictness needs the data set) still reuses them one by one.
  if (!last.current || !options_.replayWhole) return false;
  ReplayRecord(*last_, paths_, report_);
  return true;
}

Status ConversionRun::Load() {
  stage_ = Stage::Load;
  {
    ScopedTimer timer(RunFigure(&RunProfile::loadSeconds));
    Result<DataSet> data = LoadWorkingCopy(*copy_);
    if (!data) {
      // A working folder made for a run that cannot go on goes again.
      std::move(*copy_).Discard();
      return StageFailed(stage_, data.Error());
    }
    data_.emplace(std::move(*data));
  }
  if (options_.language) {
    const Expected<uint32_t, std::string> chosen = ResolveLanguage(*options_.language, LanguageIds(*data_));
    if (!chosen) return StageFailed(stage_, LanguageRefused{chosen.Error()});
    data_->SetStoredLanguage(*chosen);
    chosenLanguage_ = *chosen;
  }
  report_.Loaded(*data_);
  if (RunProfile* profile = ActiveRunProfile(); profile && profile->afterLoad) profile->afterLoad();
  return {};
}

Status ConversionRun::PrepareStaging() {
  stage_ = Stage::Staging;
  pf::ClearUpperVectorState();
  if (RunProfile* profile = ActiveRunProfile()) profile->origin = std::chrono::steady_clock::now();
  Expected<StagingFolder, RunError> staging = prt::PrepareStaging(output_, outputMissing_, paths_, report_);
  if (!staging) return Fail(staging.Error());
  staging_ = std::move(*staging);
  if (last_) {
    pf::SysResult<pf::FolderHandle> final = output_.OpenFolder(std::u16string(kFinalName));
    if (final) old_.emplace(std::move(*last_), std::move(*final));
  }
  return {};
}

Status ConversionRun::CheckTrees() {
  stage_ = Stage::Trees;
  ScopedTimer timer(RunFigure(&RunProfile::collectSeconds));
  if (pf::SysStatus started = pair_.Start(); !started) return StageFailed(Stage::Workers, started.Error());
  TreeCheck check(*data_, paths_.staging);
  pair_.RunOnBoth([&check](int) { check.Work(); });
  Expected<std::vector<Screen>, RunError> screens = check.Result();
  if (!screens) screens = CollectScreens(*data_, paths_.staging);
  if (!screens) return Fail(screens.Error());
  screens_ = std::move(*screens);
  return {};
}

Status ConversionRun::WriteDocuments() {
  stage_ = Stage::Text;
  ScopedTimer timer(RunFigure(&RunProfile::filesSeconds));
  workers_.emplace(*data_, staging_.folder, options_.encrypt, old_ ? &*old_ : nullptr, report_);
  workers_->Plan(std::move(screens_));
  pair_.RunOnBoth([this](int slot) { workers_->Work(slot); });
  if (Expected<void, RunError> done = workers_->Result(); !done) return Fail(done.Error());
  return {};
}

Status ConversionRun::CheckStrict() {
  stage_ = Stage::Strict;
  const RecordedDocument* rejected = options_.strict ? workers_->FirstRejected() : nullptr;
  if (!rejected) return {};
  const std::string& name = rejected->name;
  return StageFailed(stage_, StrictRejection{name}, name.substr(0, name.rfind('.')));
}

Status ConversionRun::Publish() {
  stage_ = Stage::Publish;
  ScopedTimer timer(RunFigure(&RunProfile::moveSeconds));
  // One flush of the file system: the run's files are many and small, and
  // writing out each on its own would wait for the disk once per file.
  if (pf::SysStatus synced = staging_.folder.SyncFileSystem(); !synced)
    return StageFailed(Stage::Write, synced.Error().On(paths_.staging));
  Expected<Published, RunError> published = PublishStaging(output_, staging_.folder, paths_, report_);
  if (!published) return Fail(published.Error());
  published_ = *published;
  if (published_ == Published::Moved) report_.Moved(paths_.staging, paths_.final);
  if (RunProfile* profile = ActiveRunProfile()) profile->generationSeconds = SecondsSince(profile->origin);
  return {};
}

void ConversionRun::Record() {
  if (source_) {
    // The documents start in the chosen language: a later plain run must
    // not take them over whole.
    if (chosenLanguage_) source_->language = *chosenLanguage_;
    // Moved, the staging folder held is the new qmls.
    const bool copied = published_ == Published::Copied;
    std::optional<pf::FolderHandle> reopened;
    if (copied) {
      if (pf::SysResult<pf::FolderHandle> final = output_.OpenFolder(std::u16string(kFinalName))) reopened = std::move(*final);
    }
    const pf::FolderHandle* now = !copied ? &staging_.folder : reopened ? &*reopened : nullptr;
    RecordPublished(*source_, key_, workers_->TakeDocuments(), now, copied, pair_);
  }
  if (const size_t reused = workers_->ReusedCount(); reused > 0)
    report_.Reused(workers_->DocumentCount() - reused, reused);
}

}  // namespace prt
