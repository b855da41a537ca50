// PRT2QML_LANGUAGE against a project's languages: by id, by index, the
// explicit forms, and every refusal with the list of languages.
#include <gtest/gtest.h>

#include "convert/LanguageChoice.h"

namespace prt {
namespace {

TEST(ResolveLanguage, ByIdOrIndexElseRefusedWithTheLanguages) {
  const std::vector<uint32_t> plant = {1033, 1031}, clash = {1, 1033}, same = {0, 7}, none = {};
  const std::string plantList = "; the project's languages (index: id): 0: 1033, 1: 1031";
  const struct {
    std::string value;
    const std::vector<uint32_t>& ids;
    int index;             // -1: refused
    std::string message;  // the whole refusal, or a part of it when it starts with "..."
  } rows[] = {
      {"1031", plant, 1, ""},
      {"1", plant, 1, ""},
      {"index:0", plant, 0, ""},
      {"id:1033", plant, 0, ""},
      {"0", same, 0, ""},  // id and index of the same language
      {"id:1", clash, 0, ""},
      {"index:1", clash, 1, ""},
      {"1", clash, -1,
       "PRT2QML_LANGUAGE='1' is ambiguous: the id of language 0 and the index of language 1 (id 1033); write id:1 or "
       "index:1; the project's languages (index: id): 0: 1, 1: 1033"},
      {"2", plant, -1, "PRT2QML_LANGUAGE='2' names no language" + plantList},
      {"id:1", plant, -1, "PRT2QML_LANGUAGE='id:1' names no language id" + plantList},
      {"index:1031", plant, -1, "PRT2QML_LANGUAGE='index:1031' names no language index" + plantList},
      {"1", none, -1, "PRT2QML_LANGUAGE='1' names no language; the project has no languages"},
  };
  for (const auto& row : rows) {
    const auto chosen = ResolveLanguage(row.value, row.ids);
    if (row.index >= 0) {
      ASSERT_TRUE(chosen) << row.value << ": " << chosen.Error();
      EXPECT_EQ(*chosen, static_cast<uint32_t>(row.index)) << row.value;
    } else {
      ASSERT_FALSE(chosen) << row.value;
      EXPECT_EQ(chosen.Error(), row.message);
    }
  }
  for (const std::string bad : {"", "-1", "+1", " 1", "1 ", "1x", "4294967296", "id:", "index:-0", "ID:1"}) {
    const auto chosen = ResolveLanguage(bad, plant);
    ASSERT_FALSE(chosen) << bad;
    EXPECT_EQ(chosen.Error(), "PRT2QML_LANGUAGE='" + bad +
                                  "' is not a language id or index (a number, id:<id> or index:<index>)" + plantList);
  }
}

}  // namespace
}  // namespace prt
