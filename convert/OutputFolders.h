#pragma once
// The names a run gives the folders it makes in the output folder, in one
// place, and the paths it shows for them.
#include <string>
#include <string_view>

namespace prt {

// The staging folder, where a run makes every file.
inline constexpr std::u16string_view kStagingName = u"qmls_generating";
// The final folder the staging folder replaces.
inline constexpr std::u16string_view kFinalName = u"qmls";
// Where the files are copied when the staging folder cannot be renamed.
inline constexpr std::u16string_view kCopyingName = u"qmls_copying";
// What could not be removed is moved aside to <name>.stale.<n>.
inline constexpr std::u16string_view kAsideInfix = u".stale.";
// The record of what a run published, in the working folder: <name> + this.
inline constexpr std::u16string_view kRecordSuffix = u".qmls.record";

// The paths a run shows, formed by plain text concatenation from the output
// folder as given: no separator is normalised, so an output folder that
// ends in one gives a doubled one, and an empty one the root.
struct OutputPaths {
  explicit OutputPaths(std::u16string outputFolder)
      : output(std::move(outputFolder)),
        lockFolder(output.empty() ? std::u16string(u"/") : output),
        staging(output + u"/" + std::u16string(kStagingName) + u"/"),
        final(output + u"/" + std::u16string(kFinalName) + u"/") {}

  std::u16string output;
  std::u16string lockFolder;  // the output folder as opened (the root for an empty text)
  std::u16string staging;     // <output>/qmls_generating/
  std::u16string final;       // <output>/qmls/
};

}  // namespace prt
