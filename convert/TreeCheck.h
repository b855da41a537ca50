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
#include "convert/RunError.h"
#include "data/set/DataSet.h"

namespace prt {

// One document-making screen, in object order.
struct Screen {
  uint32_t reference = 0;
  uint64_t size = 0;  // controls in its tree, with the link entries that made none
  std::u16string name;  // its document's file name: <type code><reference>.qml, tmpl.qml
  std::u16string path;  // the document as shown: <staging>/<name>
  std::string label;    // the screen in messages: <type code><reference> ("page16777218")
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
  // its document starts in; or why not: a Stage::Trees error naming the
  // screen whose tree could not be built, or the trees together passed the
  // budget. A check on two threads that failed is made again on one
  // (CollectScreens), which names the first such screen in order.
  Expected<std::vector<Screen>, RunError> Result();

 private:
  void Build();

  const DataSet& data_;
  std::u16string staging_;
  std::vector<uint32_t> references_;
  std::vector<Screen> found_;  // one per reference; no name: it makes no screen
  std::atomic<size_t> next_ = 0;
  std::atomic<bool> failed_ = false;
  std::atomic<uint64_t> used_ = 0;
  std::optional<RunError> fault_;  // written by the thread that set failed_ first
};

// The screens on one thread alone; a tree that cannot be built fails with
// the error naming its screen.
Expected<std::vector<Screen>, RunError> CollectScreens(const DataSet& data, const std::u16string& staging);

// The document file name of a screen: type code + the signed object
// reference (left out for templates, which all share tmpl.qml) + ".qml".
std::u16string DocumentName(std::string_view typeCode, uint32_t objId);
// staging + "/" + DocumentName: the document's path as the run shows it.
std::u16string QmlFilePath(const std::u16string& staging, std::string_view typeCode, uint32_t objId);

}  // namespace prt
