#pragma once
// What a run tells as it goes. The run itself prints nothing: the program
// that started it shows each event (app/ prints the converter's lines).
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace prt {

struct Screen;
struct RecordedDocument;

class RunReport {
 public:
  virtual ~RunReport() = default;
  // An entry left in the staging folder was removed, or could not be
  // (`error`: Step::Staging, the entry and the system's reason).
  virtual void Removed(const std::u16string& entry) = 0;
  virtual void NotRemoved(const Error& error) = 0;
  // The staging folder could not be walked (Step::Staging).
  virtual void NotWalked(const Error& error) = 0;
  // Text the documents left for standard output (failed font lookups).
  virtual void Notices(std::string_view text) = 0;
  // A document the compiler rejects: its message; it has no cache.
  virtual void Rejected(std::string_view message) = 0;
  // A step of the publish that failed and was got round (Step::Publish).
  virtual void Detour(const Error& error) = 0;
  // Content that could not be removed and stays beside the output, moved
  // aside (Step::Publish).
  virtual void LeftBehind(const Error& error) = 0;
  // The staging folder became the final one, or its files were copied
  // there one by one.
  virtual void Moved(const std::u16string& staging, const std::u16string& final) = 0;
  virtual void Copied(const std::u16string& file, const std::u16string& final) = 0;
  // At the end of a run that took published documents over unchanged:
  // how many were compiled and how many reused.
  virtual void Reused(size_t compiled, size_t reused) = 0;
  // A document made or taken over, with its screens (templates share one
  // file) in object order; from either worker, one at a time.
  virtual void Made(std::span<const Screen* const> /*screens*/, const RecordedDocument& /*document*/) {}
};

}  // namespace prt
