#pragma once
// What a loaded data set holds, asked of the data manager that holds it and
// read the way the converter reads it: a report for people, and the builder
// description that rebuilds a data set giving the same documents. Only
// questions are asked: the manager's language stays as adopted.
#include <string>

#include <nlohmann/json.hpp>

#include "data/manager/CPRDataManager.h"

namespace prt::inspect {

// The report: name, languages with their fonts, counts, and per screen its
// control tree with what the converter would skip and why; then the lists,
// the settings and the connection records (ListConnectionRecords). The current
// language is the manager's; `languageSource`, when given, says where it
// came from.
std::string DescribeText(CPRDataManager& dm, std::string languageSource = {});

// The builder description (docs/dataset-format.md) of the screens, their
// controls, languages, fonts and texts. What the converter reads survives
// prt-build; what it does not read (lists, resources, settings) is left out.
nlohmann::ordered_json DescribeJson(CPRDataManager& dm);

// The description as prt-inspect prints it: two-space indents, short rows
// of values on one line.
std::string JsonText(const nlohmann::ordered_json& description);

}  // namespace prt::inspect
