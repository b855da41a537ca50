#pragma once
// The generation run: every screen's document of a data set, written,
// compiled and put in place of <output folder>/qmls in one step.
#include <optional>
#include <string>

#include "convert/Reuse.h"
#include "convert/RunReport.h"
#include "platform/Error.h"
#include "platform/Publish.h"

namespace prt {

class DataSet;

// Every screen's document of `data` into <outputFolder>/qmls, enciphered
// with `encrypt`; what happens on the way goes to `report`. Fails, with
// <outputFolder>/qmls untouched, with the error that stopped it: the
// staging folder (Step::Staging), a screen's tree or document (Tree,
// Document, Documents, OutOfMemory), a file not written or read (Write,
// Read, Encipher), the second thread (Workers) or the publish (Publish).
//
// With a `source`, the run keeps a record of what it published, and a
// document whose text and published files the last record still describes
// keeps those files instead of being compiled again; `last` is that
// record, as OutputIsCurrent read it (none: everything is made afresh).
// The output is the same byte for byte.
Status GenerateQmlFiles(const DataSet& data, const std::u16string& outputFolder, bool encrypt, RunReport& report,
                        const ReuseSource* source = nullptr, std::optional<ReuseRecord> last = std::nullopt);

// Removes what killed runs left in `outputFolder` under the names only runs
// use there: qmls_copying, and qmls_generating.stale.<n> and
// qmls_copying.stale.<n> (what was moved aside). The caller holds the
// folder's lock. What cannot be removed stays: it was named when it was
// left behind.
void RemoveLeftovers(const std::u16string& outputFolder);

// The publish's events as the report's lines, the files copied into `final`.
platform::PublishEvents PublishEventsInto(RunReport& report, const std::u16string& final);

// Makes `folder` (one level) a fresh, empty folder of the run's own. A
// missing one is created; an existing folder is emptied, reporting every
// removed entry and every one that could not be removed. A link, a file or
// a folder that could not be emptied is never written into or followed: it
// is moved aside, to `folder` + ".stale.<n>", and a new folder is made.
// Answers that name (empty when nothing was moved), for the caller to
// remove after the run; fails with a Step::Staging error.
Result<std::u16string> PrepareFolder(const std::u16string& folder, RunReport& report);

}  // namespace prt
