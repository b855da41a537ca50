#include "tests/controls/ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "controls/ControlFactory.h"
#include "controls/IControlGroup.h"
#include "controls/ScreenDocument.h"
#include "data/manager/CPRDataManager.h"
#include "generator/Utf8Converter.h"

namespace prt::test {

Scene::Scene() { project_.AddLanguage(builder::Language{}); }

ObjectId Scene::Add(uint8_t type, uint32_t index, const std::u16string& text, Geometry g,
                    std::vector<Field> extra) {
  builder::Object object;
  object.type = type;
  object.index = index;
  object.label = "obj" + std::to_string(project_.ObjectCount());
  object.fields = {Field::I32(rec::kX, g.x), Field::I32(rec::kY, g.y),
                   Field::I32(rec::kWidth, g.w), Field::I32(rec::kHeight, g.h)};
  object.fields.insert(object.fields.end(), extra.begin(), extra.end());
  // Covers every offset a control reads, so no read falls into the next record.
  project_.SetRecordSize(type, builder::ProjectBuilder::kDefaultRecordSize);
  const ObjectId id = project_.AddObject(std::move(object));
  if (!text.empty()) project_.SetObjectText(id, text);
  return id;
}

void Scene::Link(ObjectId parent, ObjectId child, uint8_t present) {
  builder::Link link;
  link.present = present;
  link.object = project_.GetObject(child).label;
  project_.GetObject(parent).links.push_back(link);
}

void Scene::LinkRaw(ObjectId parent, uint32_t target, uint8_t present) {
  builder::Link link;
  link.present = present;
  link.target = target;
  project_.GetObject(parent).links.push_back(link);
}

bool Scene::Load() {
  try {
    return CPRDataManager::GetInstance().AdoptImage(project_.Build().bytes);
  } catch (const builder::BuildError& e) {
    ADD_FAILURE() << "project does not build: " << e.what();
    return false;
  }
}

ImageRef RecordOf(uint32_t reference) {
  return CPRDataManager::GetInstance().GetObjectRecord(reference);
}

std::string StreamText(const QmlGenerator& generator) {
  return Utf8Converter::Instance().ToUtf8(generator.stream.Text());
}

Written GenerateControl(uint32_t reference, uint32_t root) {
  Written out;
  const ControlPtr control = CreateControl(RecordOf(reference));
  if (!control) {
    ADD_FAILURE() << "no control for reference " << reference;
    return out;
  }
  QmlGenerator generator;
  generator.rootObjId = root;
  control->SetStream(&generator);
  out.ok = control->Generate();
  out.text = StreamText(generator);
  out.wide = generator.stream.Text();
  return out;
}

Written GenerateScreen(uint32_t reference) {
  Written out;
  const ControlPtr screen = CreateScreen(RecordOf(reference));
  auto* group = dynamic_cast<IControlGroup*>(screen.get());
  if (group == nullptr) {
    ADD_FAILURE() << "no screen for reference " << reference;
    return out;
  }
  if (!group->LoadChildren()) {
    ADD_FAILURE() << "children of " << reference << " do not load";
    return out;
  }
  QmlGenerator generator;
  out.ok = WriteScreenDocument(*screen, generator);
  out.text = StreamText(generator);
  out.wide = generator.stream.Text();
  return out;
}

namespace {
std::string GoldenPath(const std::string& name) { return std::string(PRT_GOLDEN_DIR) + "/" + name; }
}  // namespace

std::string Golden(const std::string& name) {
  std::ifstream in(GoldenPath(name), std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "missing golden file " << GoldenPath(name);
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ExpectGolden(const std::string& name, const std::string& actual) {
  if (std::getenv("PRT_UPDATE_GOLDEN") != nullptr) {
    std::ofstream(GoldenPath(name), std::ios::binary) << actual;
    return;
  }
  EXPECT_EQ(actual, Golden(name)) << "golden file " << name;
}

}  // namespace prt::test
