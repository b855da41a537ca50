// prt2qml: converts a project's runtime data set into QML documents.
#include <iostream>
#include <memory>

#include "app/Invocation.h"
#include "cli/Messages.h"
#include "convert/ConversionRun.h"
#include "convert/RunRecord.h"
#include "platform/Process.h"

namespace {

int Convert(int argc, char* argv[], prt::RunRecord* record) {
  prt::Invocation invocation = prt::ReadInvocation(argc, argv);
  if (invocation.answered) return *invocation.answered;
  prt::LineReport lines(std::cout, std::cerr);
  if (record) {
    record->Started(invocation.dataFileAsGiven, invocation.options.outputFolder, invocation.options.encrypt);
    invocation.options.replayWhole = false;  // the report names each document
  }
  prt::RunReport& report = record ? static_cast<prt::RunReport&>(record->Around(lines)) : lines;
  prt::ConversionRun run(invocation.options, report);
  if (const prt::Status done = run.Run(); !done) return prt::ReportFailure(done.Error(), invocation, std::cerr);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  prt::platform::PrepareProcess();
  // Whatever the outcome, a pipeline that asked for a report gets one; it
  // copies standard error from here on.
  const std::unique_ptr<prt::RunRecord> record = prt::RunRecord::FromEnvironment();
  const int code = Convert(argc, argv, record.get());
  return record ? record->Finish(code) : code;
}
