#include "tools/builder/Synthetic.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tools/builder/ScreenForms.h"

namespace prt::builder {
namespace {

struct Weighted {
  uint8_t type;
  int shape;  // -1: not a vector graphic
  int weight;
};

// Leaves in rough proportion to what operator panels carry; a few odd ones
// (type 41, an unknown shape) that produce no element.
constexpr Weighted kLeaves[] = {
    {29, -1, 200}, {16, -1, 180}, {2, -1, 160}, {40, 2, 60}, {18, -1, 60}, {21, -1, 45},
    {3, -1, 35},   {40, 1, 35},   {63, -1, 25}, {20, -1, 25}, {40, 0, 20}, {25, -1, 15},
    {62, -1, 15},  {40, 3, 10},   {40, 4, 8},   {28, -1, 8},  {24, -1, 6}, {68, -1, 4},
    {45, -1, 3},   {56, -1, 3},   {67, -1, 3},  {72, -1, 3},  {32, -1, 2}, {47, -1, 2},
    {73, -1, 1},   {75, -1, 1},   {54, -1, 1},  {55, -1, 1},  {41, -1, 1}, {40, 5, 1},
};

constexpr const char16_t* kWords[] = {u"Pump", u"Valve", u"Tank",  u"Level",      u"Motor",
                                      u"Start", u"Stop", u"Alarm", u"Flow",      u"Temp",
                                      u"Druck", u"F\u00fcllstand", u"\u00d6l"};

class Generator {
 public:
  Generator(ProjectBuilder& b, const SyntheticOptions& o) : b_(b), o_(o), rng_(o.seed) {
    std::vector<int> weights;
    for (const Weighted& w : kLeaves) weights.push_back(w.weight);
    pick_ = std::discrete_distribution<int>(weights.begin(), weights.end());
  }

  void Run() {
    const uint32_t languages = std::max<uint32_t>(o_.languages, 1);
    if (b_.Languages().empty()) {
      b_.AddFont(FontRecord{12, false, false, 0, 0, "Sans", {}});
      b_.AddFont(FontRecord{12, true, false, 0, 0, "Sans", {}});
      b_.AddFont(FontRecord{10, false, false, 0, 0, "KestrelSans Pro", {}});
      b_.AddFont(FontRecord{10, false, true, 0, 0, "Arial", {}});
      if (o_.varied) {
        AddVariedLanguages(languages);
      } else {
        for (uint32_t i = 0; i < languages; ++i)
          b_.AddLanguage(Language{1033 + i, {FontVariants{0, 1, 0, 1}, FontVariants{2, 2, 3, 3}}, {0, 1, 4}});
      }
    }

    std::vector<ControlForm> screens;
    for (uint32_t i = 0; i < o_.templates; ++i) screens.push_back(Screen(38, i));
    for (uint32_t i = 0; i < o_.pages; ++i) screens.push_back(Screen(1, i));
    for (uint32_t i = 0; i < o_.reportPages; ++i) screens.push_back(Screen(53, i));
    for (uint32_t i = 0; i < o_.popups; ++i) screens.push_back(Screen(71, i));
    if (o_.varied) ShuffleIndexes(screens);

    // Control counts per screen: a log-normal spread (most screens hold a few
    // dozen, overview screens hundreds), scaled to the total asked for.
    if (!screens.empty() && o_.controls) {
      std::lognormal_distribution<double> spread(0.0, 0.8);
      std::vector<double> weight(screens.size());
      double sum = 0;
      for (double& w : weight) sum += (w = spread(rng_));
      std::vector<uint32_t> count(screens.size());
      uint32_t given = 0;
      for (size_t i = 0; i < screens.size(); ++i) given += (count[i] = static_cast<uint32_t>(o_.controls * weight[i] / sum));
      for (size_t i = 0; given < o_.controls; i = (i + 1) % screens.size(), ++given) ++count[i];
      for (size_t i = 0; i < screens.size(); ++i) Fill(screens[i], count[i], 1);
    }
    for (const ControlForm& s : screens) AddControl(b_, s);
  }

 private:
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }

  Colour RandomColour() {
    return {static_cast<uint8_t>(Uniform(0, 255)), static_cast<uint8_t>(Uniform(0, 255)),
            static_cast<uint8_t>(Uniform(0, 255)), 0xFF};
  }

  // Popup fills are single colours: their gradient text (any other count)
  // is no valid QML, which real projects avoid.
  Gradient Solid() {
    Gradient g = DefaultFill();
    g.colours->front() = RandomColour();
    return g;
  }

  Gradient RandomFill(int maxStops) {
    Gradient g;
    const int n = Uniform(0, maxStops);
    g.orientation = static_cast<uint8_t>(Uniform(0, 2));
    g.positions.emplace();
    g.colours.emplace();
    for (int i = 0; i < n; ++i) {
      // Equal neighbours now and then: the writer nudges those apart.
      g.positions->push_back(n == 1 ? 0.0f : Chance(0.1) && i > 0 ? g.positions->back() : float(i) / float(n - 1));
      g.colours->push_back(RandomColour());
    }
    return g;
  }

  // Texts in every language; a few with quotes, backslashes or none at all.
  // Varied projects lack some texts in some languages and hold a few
  // surrogates, paired or lone (a document has U+FFFD in their place).
  void Name(ControlForm& c, const std::string& base) {
    const int roll = Uniform(0, 99);
    if (roll < 3) return;  // no text: the placeholder is written
    std::u16string s(base.begin(), base.end());
    if (roll < 6) s += u" \"quoted\"";
    else if (roll < 8) s += u" C:\\path";
    std::vector<std::optional<std::u16string>> texts;
    for (uint32_t l = 0; l < std::max<uint32_t>(o_.languages, 1); ++l) {
      std::u16string text = s + u" " + kWords[Uniform(0, static_cast<int>(std::size(kWords)) - 1)];
      if (o_.varied && Chance(0.02)) text += Chance(0.5) ? u"\U0001F600" : u"\xDC00";
      if (o_.varied && Chance(0.15)) texts.emplace_back();
      else texts.emplace_back(std::move(text));
    }
    c.text = TextRow{std::nullopt, std::move(texts)};
  }

  // Every language maps both font numbers and its three styles its own way;
  // now and then a variant names the record without a face, where the
  // lookup of that language fails.
  void AddVariedLanguages(uint32_t languages) {
    b_.AddFont(FontRecord{14, false, false, 0, 0, "Kestrel Sans Global", {}});
    const uint16_t faceless = static_cast<uint16_t>(b_.AddFont(FontRecord{9, false, false, 0, 0, std::nullopt, {}}));
    for (uint32_t i = 0; i < languages; ++i) {
      Language language{1031 + 2 * i, {}, {}};
      for (int font = 0; font < 2; ++font) {
        FontVariants variants{};
        for (uint16_t& v : variants) v = Chance(0.15) ? faceless : static_cast<uint16_t>(Uniform(0, 4));
        language.fonts.emplace_back(variants);
      }
      for (int style = 0; style < 3; ++style) language.selectors.push_back(static_cast<uint16_t>(Uniform(0, 7)));
      b_.AddLanguage(std::move(language));
    }
  }

  // Screens of a type take their indexes in a random order, so that object
  // order differs from the order they were made in.
  void ShuffleIndexes(std::vector<ControlForm>& screens) {
    std::map<uint8_t, std::vector<ControlForm*>> byType;
    for (ControlForm& s : screens) byType[s.type].push_back(&s);
    for (auto& [type, list] : byType) {
      std::vector<uint32_t> indexes(list.size());
      for (uint32_t i = 0; i < indexes.size(); ++i) indexes[i] = i;
      std::shuffle(indexes.begin(), indexes.end(), rng_);
      for (size_t k = 0; k < list.size(); ++k) list[k]->index = indexes[k];
    }
  }

  ControlForm Screen(uint8_t type, uint32_t i) {
    ControlForm s;
    s.type = type;
    const std::string n = std::to_string(i);
    switch (type) {
      case 38:
        s.label = "#synthetic-template" + n;
        s.w = 800;
        s.h = 480;
        break;
      case 1:
        Name(s, "Page " + n);
        s.w = 800;
        s.h = 480;
        s.background = RandomFill(3);
        if (o_.templates && Chance(0.8)) s.templateLabel = "#synthetic-template" + std::to_string(Uniform(0, o_.templates - 1));
        break;
      case 53:
        Name(s, "Report " + n);
        s.w = 595;
        s.h = 842;
        break;
      case 71:
        Name(s, "Popup " + n);
        s.x = Uniform(0, 400);
        s.y = Uniform(0, 200);
        s.w = Uniform(200, 400);
        s.h = Uniform(150, 280);
        s.background = Solid();
        s.borderColour = RandomColour();
        s.borderWidth = static_cast<uint16_t>(Uniform(0, 4));
        s.borderRadius = static_cast<uint16_t>(Uniform(0, 8));
        if (Chance(0.7)) {
          PopupTitle t;
          t.icon = Chance(0.5) ? Uniform(0, 500) : -1;
          t.textId = static_cast<uint32_t>(Uniform(0, 1000));
          t.textColour = RandomColour();
          t.background = Solid();
          t.font.number = static_cast<uint16_t>(Uniform(0, 1));
          t.font.style = static_cast<uint16_t>(Uniform(0, 2));
          t.height = static_cast<uint16_t>(Uniform(20, 40));
          t.flags = static_cast<uint8_t>(Uniform(0, 1));
          s.title = t;
        }
        break;
    }
    return s;
  }

  ControlForm Leaf() {
    const Weighted& w = kLeaves[pick_(rng_)];
    ControlForm c;
    c.type = w.type;
    if (w.shape >= 0) c.shape = static_cast<uint8_t>(w.shape);
    Name(c, "Control " + std::to_string(controls_));
    c.x = Uniform(0, 760);
    c.y = Uniform(0, 440);
    c.w = Uniform(10, 200);
    c.h = Chance(0.1) ? *c.w : Uniform(10, 80);  // some circles among the ellipses
    if (w.type == 28 && Chance(0.5)) c.w = Uniform(1025, 1600);
    const int roll = Uniform(0, 99);
    if (roll < 3) c.hidden = true;
    else if (roll < 4) c.outside = true;
    else if (roll < 5) {
      c.flags = 0x2000;
      c.subRecordWord = static_cast<uint32_t>(Uniform(0, 1));
    }
    ++controls_;
    return c;
  }

  // Adds `n` objects below `parent`, some of them containers with children.
  void Fill(ControlForm& parent, uint32_t n, uint32_t depth) {
    while (n > 0) {
      if (n > 3 && depth <= o_.maxDepth && Chance(0.05)) {
        ControlForm box;
        box.type = 22;
        Name(box, "Group " + std::to_string(containers_));
        box.x = Uniform(0, 400);
        box.y = Uniform(0, 200);
        box.w = 300;
        box.h = 200;
        ++controls_;
        ++containers_;
        const uint32_t inner = std::min<uint32_t>(n - 1, static_cast<uint32_t>(Uniform(2, 8)));
        Fill(box, inner, depth + 1);
        parent.children.push_back(std::move(box));
        n -= inner + 1;
      } else {
        parent.children.push_back(Leaf());
        --n;
      }
    }
  }

  ProjectBuilder& b_;
  const SyntheticOptions& o_;
  std::mt19937 rng_;
  std::discrete_distribution<int> pick_;
  uint32_t controls_ = 0, containers_ = 0;  // made so far, for their names
};

}  // namespace

void AddSyntheticProject(ProjectBuilder& builder, const SyntheticOptions& options) {
  Generator(builder, options).Run();
}

}  // namespace prt::builder
