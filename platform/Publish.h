#pragma once
// Putting a finished folder in place of another in one step, durably. A
// kill at any moment leaves the final folder whole, old or new.
#include <functional>
#include <string>

#include "platform/Error.h"

namespace prt::platform {

// What the publish met on its way, as it met it.
struct PublishEvents {
  // A step that failed and was got round: the rename, then the copy.
  std::function<void(const Error&)> detour = [](const Error&) {};
  // A file of the staging folder copied into the new final folder.
  std::function<void(const std::u16string& file)> copied = [](const std::u16string&) {};
  // Old content that could not be removed and stays, moved aside.
  std::function<void(const Error&)> leftBehind = [](const Error&) {};
};

enum class Published { Moved, Copied };

// Puts the finished `staging` folder in place of `final` in one step: it is
// exchanged with an existing `final` (whose old content is then removed)
// or renamed to it. When that is refused (staging on another file system),
// the files are copied into a fresh sibling (`final` + "_copying"), written
// to disk and put in place the same way; the staging folder stays then.
// The files must already be on disk; the step itself is made durable.
// Fails with a Step::Publish error (`action`, `path`, `other`, `code`);
// `final` is untouched then, unless only the last flush failed.
Result<Published> PublishFolder(const std::u16string& staging, const std::u16string& final,
                                const PublishEvents& events = {});
// The fallback alone.
Result<Published> PublishByCopy(const std::u16string& staging, const std::u16string& final,
                                const PublishEvents& events = {});

// Moves `entry` to the first free name `entry`.stale.<n> beside it, whose
// name goes to `aside`. The caller holds the folder's lock, so no other run
// takes that name meanwhile.
std::error_code MoveAside(const std::u16string& entry, std::u16string& aside);

// A Step::Publish error: `action` on `path` (and `other`) failed with `code`.
Error PublishError(std::string action, std::u16string path, std::u16string other, std::error_code code);

}  // namespace prt::platform
