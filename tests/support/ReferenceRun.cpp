#include "tests/support/ReferenceRun.h"

#include <filesystem>
#include <vector>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/ScreenDocument.h"
#include "data/set/DataSet.h"
#include "cipher/FileCipher.h"
#include "convert/DocumentWorkers.h"
#include "convert/TreeCheck.h"
#include "convert/QmlCacheGen.h"
#include "convert/DocumentText.h"
#include "platform/Files.h"
#include "platform/Text.h"

namespace prt::test {

namespace {

ReferenceResult Failed(ReferenceResult result, const std::string& why) {
  result.exitStatus = 253;
  result.err += why + "\nGenerate QML files failed!\n";
  return result;
}

}  // namespace

ReferenceResult ReferenceRun(const DataSet& data, const std::u16string& outputFolder, bool encrypt) {
  ReferenceResult result;
  const std::u16string staging = outputFolder + u"/qmls_generating/";
  const std::u16string final = outputFolder + u"/qmls/";
  std::filesystem::create_directory(platform::ToPath(staging));

  ControlBudget budget(data.ImageSize());
  std::vector<ControlPtr> screens;
  for (uint8_t type : ScreenTypes) {
    const uint32_t count = data.ObjectCount(type);
    for (uint32_t i = 0; i < count; ++i) {
      ControlPtr screen = CreateScreen(data.ObjectRecord((uint32_t{type} << 24) | (i & 0xFFFFFFu)));
      if (!screen) continue;
      if (!budget.Take()) return Failed(result, "the controls pass the budget");
      if (auto* group = dynamic_cast<IControlGroup*>(screen.get()); group && !group->LoadChildren(data, budget))
        return Failed(result, "a tree could not be built");
      screens.push_back(std::move(screen));
    }
  }

  QmlGenerator generator(data, data.StoredLanguage());
  std::vector<std::u16string> paths;  // each file once, in the order first saved
  for (const ControlPtr& screen : screens) {
    const bool written = WriteScreenDocument(*screen, generator);
    result.out += generator.notices;
    generator.notices.clear();
    if (!written) return Failed(result, "a document could not be written");
    const std::u16string path = QmlFilePath(staging, screen->GetTypeCode(), screen->GetObjID());
    // UTF-8 without a byte order mark, surrogates as U+FFFD, as the workers save.
    if (!platform::WriteWholeFile(path, DocumentBytes().Encode(generator.stream.View())))
      return Failed(result, "cannot save");
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) paths.push_back(path);
  }
  for (const std::u16string& path : paths) {
    if (!QmlCacheGen::MiniQmlCacheGen(path)) return Failed(result, "cannot compile");
    if (encrypt && !Encrypt(path)) return Failed(result, "cannot encipher");
  }
  std::filesystem::rename(platform::ToPath(staging), platform::ToPath(final));
  result.out += "Move " + platform::NarrowUnits(staging) + " to " + platform::NarrowUnits(final) + "\n";
  return result;
}

}  // namespace prt::test
