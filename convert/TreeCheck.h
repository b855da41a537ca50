#pragma once
// Before any document is written: the control tree of every screen is
// measured, which checks that it can be built within the run's budget,
// sizes it and finds the language its document starts in.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "controls/IControlGroup.h"
#include "data/set/DataSet.h"

namespace prt {

// One document-making screen, in object order.
struct Screen {
  uint32_t reference = 0;
  uint64_t size = 0;  // controls in its tree, with the link entries that made none
  std::u16string path;
  std::optional<uint32_t> leaves;  // the language its document leaves current; none: its own
  uint32_t language = 0;           // the language its document starts in
};

// Measures the control tree of every screen, type by type, without
// building it, and notes the screens (objects that make no screen are left
// out) with their sizes and files. One budget bounds all the trees
// together; each tree is built right before its document.
//
// The check may run on two threads: each claims the next screen until none
// is left (measuring only reads the data set). Each thread's own budget has
// the whole limit, so neither counts more than one thread would; when the
// trees together pass it, or one cannot be built, the check is made once
// more on one thread, in order, which finds the screen a single pass would
// name.
class TreeCheck {
 public:
  TreeCheck(const DataSet& data, std::u16string staging);

  // Called once on each thread that takes part. Memory that runs out fails
  // the check, which then names it, rather than ending the process from a
  // worker thread.
  void Work();

  // After every Work: the screens in object order, each with the language
  // its document starts in, or false when a tree could not be built or the
  // trees together passed the budget.
  bool Take(std::vector<Screen>& screens);

  // Why, after Take failed: a Step::Tree error naming the screen (of a check
  // on one thread only, the first in order), or Step::OutOfMemory.
  const Error& Fault() const { return *fault_; }

 private:
  void Build();

  const DataSet& data_;
  std::u16string staging_;
  std::vector<uint32_t> references_;
  std::vector<Screen> found_;  // one per reference; no path: it makes no screen
  std::atomic<size_t> next_ = 0;
  std::atomic<bool> failed_ = false;
  std::atomic<uint64_t> used_ = 0;
  std::optional<Error> fault_;  // written by the thread that set failed_ first
};

// The screens on one thread alone; a tree that cannot be built fails with
// the error naming its screen.
Status CollectScreens(const DataSet& data, const std::u16string& staging, std::vector<Screen>& screens);

// staging + "/" + type code + the signed object reference (left out for
// templates, which all share tmpl.qml) + ".qml".
std::u16string QmlFilePath(const std::u16string& staging, std::string_view typeCode, uint32_t objId);

}  // namespace prt
