#pragma once
// What a loaded data set holds, read the way the converter reads it: a
// report for people, and the builder description that rebuilds a data set
// giving the same documents.
#include <string>

#include <nlohmann/json.hpp>

#include "data/set/DataSet.h"

namespace prt::inspect {

// The report: name, languages with their fonts, counts, and per screen its
// control tree with what the converter would skip and why. The current
// language is the data set's stored one; `languageSource`, when given, says
// where it came from.
std::string DescribeText(const DataSet& data, std::string languageSource = {});

// The builder description (docs/dataset-format.md) of the screens, their
// controls, languages, fonts and texts. What the converter reads survives
// prt-build; what it does not read (lists, resources, settings) is left out.
nlohmann::ordered_json DescribeJson(const DataSet& data);

// The description as prt-inspect prints it: two-space indents, short rows
// of values on one line.
std::string JsonText(const nlohmann::ordered_json& description);

}  // namespace prt::inspect
