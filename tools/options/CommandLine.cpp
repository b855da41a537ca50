#include "tools/options/CommandLine.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "cli/ProgramInfo.h"

namespace prt::options {

namespace {

// The option as the user wrote it (CLI11 names an option by its long name);
// a missing value can only be the last use's.
std::string AsWritten(const CLI::Option& option, int argc, char** argv) {
  for (int i = argc - 1; i > 0; --i)
    if (option.check_name(argv[i])) return argv[i];
  return option.get_name();
}

}  // namespace

int UsageError(std::string_view program, const std::string& what) {
  std::cerr << program << ": " << what << "\nTry '" << program << " --help' for more information.\n";
  return kUsage;
}

Expected<std::vector<std::string>, int> Parse(const Syntax& syntax, int argc, char** argv) {
  CLI::App app{"", std::string(syntax.program)};
  app.set_help_flag();
  app.allow_extras();  // unknown options are named below, in this program's words
  bool help = false, version = false;
  app.add_flag("-h,--help", help);
  app.add_flag("--version", version);
  std::vector<std::string> values(syntax.options.size());
  std::vector<const CLI::Option*> added;
  for (size_t i = 0; i < syntax.options.size(); ++i) {
    const std::string names(syntax.options[i].names);
    CLI::Option* parsed = syntax.options[i].value ? app.add_option(names, values[i]) : app.add_flag(names);
    added.push_back(parsed->multi_option_policy(CLI::MultiOptionPolicy::TakeLast));
  }
  std::vector<std::string> operands;
  app.add_option("operands", operands);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ArgumentMismatch& e) {
    const std::string message = e.what();
    const CLI::Option* option = app.get_option_no_throw(message.substr(0, message.find(':')));
    if (!option) return Unexpected{UsageError(syntax.program, message)};
    return Unexpected{UsageError(syntax.program, "option '" + AsWritten(*option, argc, argv) + "' needs a value")};
  } catch (const CLI::ParseError& e) {
    return Unexpected{UsageError(syntax.program, e.what())};
  }
  for (const std::string& extra : app.remaining())
    if (extra != "--") return Unexpected{UsageError(syntax.program, "unknown option '" + extra + "'")};
  if (help) return Unexpected{PrintAnswer(syntax.program, syntax.help)};
  if (version) return Unexpected{PrintAnswer(syntax.program, VersionLine(syntax.program))};
  if (operands.size() < syntax.required)
    return Unexpected{UsageError(syntax.program, "missing " + std::string(syntax.operands[operands.size()]))};
  if (operands.size() > syntax.operands.size())
    return Unexpected{UsageError(syntax.program, "unexpected argument '" + operands[syntax.operands.size()] + "'")};
  for (size_t i = 0; i < added.size(); ++i) {
    if (added[i]->count() == 0) continue;
    const Option& option = syntax.options[i];
    if (option.value) *option.value = values[i];
    if (option.flag) *option.flag = true;
  }
  return operands;
}

}  // namespace prt::options
