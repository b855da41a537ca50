#pragma once
// What a run tells as it goes. The run itself prints nothing: the program
// that started it shows each event (app/ prints the converter's lines).
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/FolderLock.h"
#include "platform/SystemError.h"

namespace prt {

class DataSet;
struct Screen;
struct RecordedDocument;

class RunReport {
 public:
  virtual ~RunReport() = default;
  // Another process holds `folder`; the run waits for it.
  virtual void Waiting(const std::u16string& folder, const platform::LockHolder& holder) = 0;
  // An entry left in the staging folder was removed, or could not be
  // (`error`: the system's, on the entry as the run shows it).
  virtual void Removed(const std::u16string& entry) = 0;
  virtual void NotRemoved(const platform::SystemError& error) = 0;
  // The staging folder could not be walked.
  virtual void NotWalked(const platform::SystemError& error) = 0;
  // Text the documents left for standard output (failed font lookups).
  virtual void Notices(std::string_view text) = 0;
  // A document the compiler rejects: its message; it has no cache.
  virtual void Rejected(std::string_view message) = 0;
  // A step of the publish that failed and was got round.
  virtual void Detour(const platform::SystemError& error) = 0;
  // Content that could not be removed and stays beside the output, moved
  // aside.
  virtual void LeftBehind(const platform::SystemError& error) = 0;
  // The staging folder became the final one, or its files were copied
  // there one by one.
  virtual void Moved(const std::u16string& staging, const std::u16string& final) = 0;
  virtual void Copied(const std::u16string& file, const std::u16string& final) = 0;
  // At the end of a run that took published documents over unchanged:
  // how many were compiled and how many reused.
  virtual void Reused(size_t compiled, size_t reused) = 0;
  // The data file was read for the run: the hash of its bytes.
  virtual void DataRead(uint64_t /*hash*/) {}
  // The data set the documents are made from, in the language they start
  // in; it outlives the documents' events.
  virtual void Loaded(const DataSet& /*data*/) {}
  // A document made or taken over, with its screens (templates share one
  // file) in object order; from either worker, one at a time.
  virtual void Made(std::span<const Screen* const> /*screens*/, const RecordedDocument& /*document*/) {}
};

}  // namespace prt
