#include "convert/DocumentText.h"

#include <algorithm>
#include <cstdint>

#include "controls/ControlFactory.h"
#include "controls/ScreenDocument.h"
#include "convert/RunProfile.h"
#include "platform/Limits.h"
#include "platform/Text.h"

namespace prt {

using Stage = RunError::Stage;

std::string DocumentBudget::Reason() const {
  return "the documents exceed " + platform::GroupedDigits(limit) + " bytes, the limit for a data set of " +
         platform::GroupedDigits(imageBytes) + " bytes";
}

std::string_view DocumentBytes::Encode(std::u16string_view text) {
  const size_t room = text.size() * platform::kMaxUtf8PerUnit;
  if (buffer_.size() < room) buffer_.resize(room);
  replaced_ = false;
  return {buffer_.data(), platform::NarrowUnits(text, buffer_.data(), &replaced_)};
}

DocumentWriter::DocumentWriter(const DataSet& data) : data_(data), generator_(data), budget_(data.ImageSize()) {}

RunError DocumentWriter::OverBudget(const Screen& screen) const {
  const uint64_t imageBytes = data_.ImageSize();
  return {.stage = Stage::Budget,
          .screen = screen.label,
          .cause = Error(DocumentBudget{limits::DocumentBytes(imageBytes), imageBytes})};
}

Expected<DocumentText, RunError> DocumentWriter::Write(const Screen& screen, uint64_t byteLimit, int slot) {
  ControlPtr tree;
  {
    ScopedTimer timer(WorkerFigure(slot, &WorkerProfile::rebuildSeconds));
    tree = CreateScreen(data_.ObjectRecord(screen.reference));
    if (!tree) return Fail(RunError{.stage = Stage::Text});
    if (const TreeStatus grown = GrowTree(data_, tree, budget_); !grown)
      return Fail(RunError{.stage = Stage::Trees, .screen = screen.label, .cause = grown.Error()});
  }
  {
    ScopedTimer timer(WorkerFigure(slot, &WorkerProfile::generateSeconds));
    generator_.language = screen.language;
    // A UTF-8 document has at least as many bytes as its text has units.
    generator_.stream.SetLimit(static_cast<size_t>(std::min<uint64_t>(byteLimit, SIZE_MAX)));
    const bool written = WriteScreenDocument(*tree, generator_);
    if (generator_.stream.GetFault() == QmlStream::Fault::OverLimit) return Fail(OverBudget(screen));
    if (generator_.stream.GetFault() == QmlStream::Fault::OutOfMemory)
      return Fail(RunError{.stage = Stage::Text, .screen = screen.label, .cause = Error(OutOfMemory{})});
    if (!written) return Fail(RunError{.stage = Stage::Text, .screen = screen.label});
  }
  DocumentText text;
  {
    ScopedTimer timer(WorkerFigure(slot, &WorkerProfile::saveSeconds));
    // Replacing surrogates keeps the length; the encoder does the rest.
    const std::u16string_view units = generator_.stream.View();
    text.bytes = bytes_.Encode(units);
    text.units = bytes_.Replaced() ? std::nullopt : std::optional(generator_.stream.Terminated());
    if (RunProfile* run = ActiveRunProfile()) run->workers[slot].load += static_cast<uint32_t>(units.size());
  }
  // Its document is written: the tree is no longer needed.
  ScopedTimer timer(WorkerFigure(slot, &WorkerProfile::releaseSeconds));
  tree.reset();
  return text;
}

}  // namespace prt
