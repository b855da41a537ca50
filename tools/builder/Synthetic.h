#pragma once
// Large synthetic projects for the benchmark and for load tests: many
// screens with a realistic mix of controls, nested containers, hidden and
// moved controls, fills, popup title bars, texts in several languages.
#include <cstdint>

#include "tools/builder/ProjectBuilder.h"

namespace prt::builder {

struct SyntheticOptions {
  uint32_t pages = 300;
  uint32_t templates = 1;
  uint32_t reportPages = 10;
  uint32_t popups = 40;
  uint32_t controls = 30000;  // objects below the screens, containers included
  uint32_t languages = 2;
  uint32_t maxDepth = 3;      // container nesting below a screen
  uint32_t seed = 1;
  // Languages that differ where the output depends on them: each language
  // maps the fonts its own way, some map a title font to a record without a
  // face (the lookup fails there), some texts are missing in some languages,
  // and screens take their indexes in shuffled order.
  bool varied = false;
};

// Adds fonts, languages (when the builder has none) and the screens; the
// same options and seed always give the same project.
void AddSyntheticProject(ProjectBuilder& builder, const SyntheticOptions& options);

}  // namespace prt::builder
