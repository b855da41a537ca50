// prt2qml: converts a project's runtime data set into QML documents.
#include <iostream>

#include "app/Invocation.h"
#include "cli/Messages.h"
#include "convert/ConversionRun.h"
#include "platform/Process.h"

int main(int argc, char* argv[]) {
  prt::platform::PrepareProcess();
  const prt::Invocation invocation = prt::ReadInvocation(argc, argv);
  if (invocation.answered) return *invocation.answered;
  prt::LineReport report(std::cout, std::cerr);
  prt::ConversionRun run(invocation.options, report);
  if (const prt::Status done = run.Run(); !done) return prt::ReportFailure(done.Error(), invocation, std::cerr);
  return 0;
}
