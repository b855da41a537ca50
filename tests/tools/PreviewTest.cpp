// qml-preview on a converted builder project: pictures whose pixels show
// what the documents hold where their geometry puts it, a gallery that
// follows the folder, and the diff of two versions.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <poll.h>
#include <sys/wait.h>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstring>
#include <regex>

#include "controls/TypeTable.h"
#include "tests/support/Dataset.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tools/qml-preview/Png.h"
#include "tools/qml-preview/Shrink.h"

namespace prt {
namespace {

namespace fs = std::filesystem;

// The geometry the checks below derive their places from.
struct Box { int x, y, w, h; };
constexpr Box kGo{40, 30, 100, 50}, kSecret{160, 120, 120, 60}, kLamp{40, 150, 60, 40}, kClock{200, 4, 110, 20};
constexpr char kProject[] = R"({
  "languages": [{"id": 1033, "fonts": [0]}],
  "fonts": [{"face": "Sans", "size": 12}],
  "texts": [["Dialog title"]],
  "screens": [
    {"type": "template", "label": "t", "x": 0, "y": 0, "w": 320, "h": 240,
     "children": [{"type": "datetime", "text": "Clock", "x": 200, "y": 4, "w": 110, "h": 20}]},
    {"type": "page", "text": "Start", "template": "t", "x": 0, "y": 0, "w": 320, "h": 240, "background": "#ff203040",
     "children": [
       {"type": "button", "text": "Go", "x": 40, "y": 30, "w": 100, "h": 50},
       {"type": "button", "text": "Secret", "x": 160, "y": 120, "w": 120, "h": 60, "hidden": true},
       {"type": "ellipse", "text": "Lamp", "x": 40, "y": 150, "w": 60, "h": 40}]},
    {"type": "popup", "text": "Dialog", "x": 50, "y": 40, "w": 200, "h": 150, "background": "#ffeeeeee",
     "borderColor": "#ff808080", "borderWidth": 2,
     "title": {"icon": -1, "textId": 0, "textColor": "#ff000000", "background": "#ffc0c0c0",
               "font": [0, 0], "height": 24, "closeButton": true}}
  ]
})";
const std::string kPage = "page16777216", kPopup = "pops1191182336", kTemplate = "tmpl";
const QColor kFrame(0x00, 0x50, 0xc8), kPageBackground(0x20, 0x30, 0x40);

QImage Picture(const fs::path& path) { return QImage(QString::fromStdString(path.string())); }
bool Near(const QColor& a, const QColor& b) {
  return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 90;
}

// The project converted twice (plain and enciphered) and previewed: the
// plain one with its data set on two workers, the enciphered one without
// on one. The tests read the same pictures.
class Preview : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = std::make_unique<test::TempDir>();
    for (const char* kind : {"plain", "enciphered"}) {
      fs::create_directories(*dir / kind);
      test::WriteDataset(*dir / kind / "p.prt", kProject);
      std::vector<std::string> args = {"p.prt"};
      if (std::string(kind) == "enciphered") args.push_back("-e");
      const auto converted = test::Run(PRT2QML_PATH, args, *dir / kind);
      ASSERT_EQ(converted.exitStatus, 0) << converted.err;
    }
    // A cache of another screen beside the page: only the text may be used.
    fs::copy_file(*dir / "plain/qmls" / (kPopup + ".qmlc"), *dir / "plain/qmls" / (kPage + ".qmlc"),
                  fs::copy_options::overwrite_existing);
    plain = test::Run(QML_PREVIEW_PATH, {"plain/qmls", "-o", "plain/pictures", "--prt", "plain/p.prt", "-j", "2"},
                      dir->Path());
    enciphered = test::Run(QML_PREVIEW_PATH, {"-j", "1", "enciphered/qmls"}, dir->Path());
  }
  static void TearDownTestSuite() { dir.reset(); }
  void SetUp() override {
    if (plain.exitStatus == 3) GTEST_SKIP() << "QML runtime modules missing: " << plain.err;
  }
  static QImage Plain(const std::string& name) { return Picture(*dir / "plain/pictures" / (name + ".png")); }

  static inline std::unique_ptr<test::TempDir> dir;
  static inline test::ProcessResult plain, enciphered;
};

// The PNG coder's output read back by Qt's decoder, pixel for pixel: noise
// (no match anywhere), one colour (one symbol per code), a gradient with
// frames, a single pixel, and rows too long to reach the row above; each
// also premultiplied.
TEST(PreviewPng, ImagesComeBackPixelForPixel) {
  uint32_t seed = 1;
  const std::pair<QSize, int> cases[] = {{{1, 1}, 0}, {{37, 5}, 0}, {{300, 200}, 0}, {{300, 200}, 1},
                                         {{800, 480}, 2}, {{11000, 3}, 0}, {{11000, 3}, 2}};
  for (const auto& [size, kind] : cases) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
      for (int x = 0; x < size.width(); ++x) {
        seed = seed * 1103515245 + 12345;
        const QRgb frame = x % 97 < 2 || y % 41 == 0 ? qRgb(0, 0x50, 0xc8) : qRgb(255 - y / 5, 255 - y / 5, 255 - y / 5);
        image.setPixel(x, y, kind == 0 ? (seed >> 8) | 0xff000000u : kind == 1 ? qRgb(1, 2, 3) : frame);
      }
    const QByteArray png = preview::EncodePng(image);
    EXPECT_EQ(QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32), image)
        << size.width() << "x" << size.height() << " kind " << kind;
    EXPECT_EQ(preview::EncodePng(image), png) << "the same image, other bytes";
    // A drawn window comes premultiplied: opaque, the same file; with one
    // pixel showing through, its colours as if unpremultiplied.
    QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(preview::EncodePng(premultiplied), png) << size.width() << "x" << size.height() << " kind " << kind;
    premultiplied.setPixel(0, 0, qPremultiply(qRgba(200, 100, 50, 128)));
    EXPECT_EQ(QImage::fromData(preview::EncodePng(premultiplied), "PNG").convertToFormat(QImage::Format_RGB32),
              premultiplied.convertToFormat(QImage::Format_RGB32));
  }
}

// The rows of a PNG file of 8-bit RGB rows without filters, inflated by a
// decoder that checks the zlib stream's checksum (Qt's does not).
QByteArray InflatedRows(const QByteArray& png, int width, int height) {
  QByteArray idat;
  for (qsizetype at = 8; at + 12 <= png.size();) {
    const qsizetype length = ntohl(*reinterpret_cast<const uint32_t*>(png.constData() + at));
    if (png.mid(at + 4, 4) == "IDAT") idat += png.mid(at + 8, length);
    at += 12 + length;
  }
  QByteArray rows(qsizetype(height) * (1 + 3 * width), Qt::Uninitialized);
  size_t got = 0;
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  const auto result = libdeflate_zlib_decompress(inflater, idat.constData(), size_t(idat.size()), rows.data(),
                                                 size_t(rows.size()), &got);
  libdeflate_free_decompressor(inflater);
  return result == LIBDEFLATE_SUCCESS && got == size_t(rows.size()) ? rows : QByteArray();
}

// A picture coded in bands against an earlier file: the bands whose keys
// match are copied (the earlier picture's pixels, though the new image
// differs there), the others coded; the file equals one coded from scratch
// of what it shows, byte for byte, and decodes with a valid checksum. An
// earlier file of another width, band count or with a damaged chunk gives
// nothing.
TEST(PreviewPng, BandsWithUnchangedKeysAreCopiedAndTheFileIsTheSame) {
  constexpr int kWidth = 300, kRows = 40, kBands = 4;
  uint32_t seed = 5;
  const auto picture = [&](int tint) {
    QImage image(kWidth, kRows * kBands, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < kWidth; ++x) {
        seed = seed * 1103515245 + 12345;
        image.setPixel(x, y, x % 50 < 25 ? qRgb(tint, y, x % 256) : (seed >> 8) | 0xff000000u);
      }
    return image;
  };
  const auto keys = [](const char* letters) {
    std::vector<QByteArray> list;
    for (const char* c = letters; *c; ++c) list.push_back(QByteArray(32, *c));
    return list;
  };
  const auto code = [&](int width, const std::vector<QByteArray>& bandKeys, const QImage& image,
                        const QByteArray& earlier, std::string& kept) {
    preview::BandedPng png(width, kRows, bandKeys, earlier);
    kept.clear();
    for (size_t band = 0; band < bandKeys.size(); ++band) {
      kept += png.Kept(band) ? 'k' : '-';
      if (!png.Kept(band)) png.Code(band, image.copy(0, int(band) * kRows, width, kRows));
    }
    return png.File();
  };
  const QImage first = picture(10), second = picture(200);
  std::string kept;
  const QByteArray earlier = code(kWidth, keys("abcd"), first, {}, kept);
  EXPECT_EQ(kept, "----");
  const QImage decoded = QImage::fromData(earlier, "PNG").convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(decoded, first);
  EXPECT_FALSE(InflatedRows(earlier, kWidth, kRows * kBands).isEmpty()) << "the zlib checksum does not hold";

  QByteArray damaged = earlier;
  damaged[earlier.size() / 2] = char(damaged[earlier.size() / 2] ^ 1);
  const struct { const char* keys; int width; QByteArray earlier; const char* kept; } cases[] = {
      {"abcd", kWidth, earlier, "kkkk"}, {"axcy", kWidth, earlier, "k-k-"}, {"wxyz", kWidth, earlier, "----"},
      {"abc", kWidth, earlier, "---"},   {"abcd", kWidth - 1, earlier, "----"}, {"abcd", kWidth, damaged, "----"},
      {"abcd", kWidth, earlier.left(earlier.size() - 20), "----"}};
  for (const auto& c : cases) {
    const QByteArray file = code(c.width, keys(c.keys), second, c.earlier, kept);
    EXPECT_EQ(kept, c.kept) << c.keys << " " << c.width;
    // What the file must show: the earlier picture's kept bands, the new one's others.
    QImage shows = second.copy(0, 0, c.width, kRows * int(kept.size()));
    for (size_t band = 0; band < kept.size(); ++band)
      if (kept[band] == 'k')
        for (int y = int(band) * kRows; y < int(band + 1) * kRows; ++y)
          std::memcpy(shows.scanLine(y), first.constScanLine(y), size_t(c.width) * 4);
    std::string none;
    EXPECT_EQ(file, code(c.width, keys(c.keys), shows, {}, none)) << c.keys << ": not the file coded from scratch";
    EXPECT_EQ(QImage::fromData(file, "PNG").convertToFormat(QImage::Format_RGB32), shows) << c.keys;
    EXPECT_FALSE(InflatedRows(file, c.width, kRows * int(kept.size())).isEmpty()) << c.keys << ": checksum";
  }
}

// Shrinking by area averaging against the exact mean of the covered area
// (edges weighted by their share of a source pixel), every channel apart:
// noise (where a wrong weight or a shifted column shows most), a ramp per
// channel, sizes that divide evenly and that do not, one row or column,
// and a size kept as it is. Both pixel formats keep theirs.
TEST(PreviewShrink, EveryPixelIsTheMeanOfTheAreaItCovers) {
  uint32_t seed = 7;
  const struct { QSize from, to; bool noise; } cases[] = {
      {{800, 480}, {192, 115}, true}, {{800, 480}, {192, 115}, false}, {{9, 7}, {4, 3}, true},
      {{1, 1}, {1, 1}, true},         {{301, 1}, {17, 1}, true},       {{5, 300}, {5, 19}, true},
      {{4000, 9}, {192, 1}, true},    {{64, 64}, {64, 64}, true},      {{37, 29}, {36, 28}, false}};
  for (const auto& [from, to, noise] : cases)
    for (const QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
      QImage image(from, format);
      for (int y = 0; y < from.height(); ++y)
        for (int x = 0; x < from.width(); ++x) {
          seed = seed * 1103515245 + 12345;
          const QRgb ramp = qRgba(x * 255 / from.width(), y * 255 / from.height(), (x + y) % 256, 255);
          QRgb pixel = noise ? seed >> 1 : ramp;
          if (format == QImage::Format_RGB32) pixel |= 0xff000000u;
          else pixel = qPremultiply(pixel);
          image.setPixel(x, y, pixel);
        }
      const QImage shrunk = preview::Shrink(image, to);
      ASSERT_EQ(shrunk.size(), to);
      EXPECT_EQ(shrunk.format(), format);
      const double sx = double(from.width()) / to.width(), sy = double(from.height()) / to.height();
      int worst = 0;
      for (int oy = 0; oy < to.height(); ++oy)
        for (int ox = 0; ox < to.width(); ++ox)
          for (int shift = 0; shift < 32; shift += 8) {
            double sum = 0;
            for (int y = int(oy * sy); y < std::min(from.height(), int(std::ceil((oy + 1) * sy))); ++y)
              for (int x = int(ox * sx); x < std::min(from.width(), int(std::ceil((ox + 1) * sx))); ++x) {
                const double wx = std::min(x + 1.0, (ox + 1) * sx) - std::max(double(x), ox * sx);
                const double wy = std::min(y + 1.0, (oy + 1) * sy) - std::max(double(y), oy * sy);
                sum += wx * wy * ((image.pixel(x, y) >> shift) & 0xff);
              }
            const int got = (shrunk.pixel(ox, oy) >> shift) & 0xff;
            worst = std::max(worst, int(std::lround(std::abs(got - sum / (sx * sy)) * 100)));
          }
      EXPECT_LE(worst, 150) << from.width() << "x" << from.height() << " to " << to.width() << "x" << to.height()
                            << (noise ? " noise" : " ramp") << ", format " << format << ": off by " << worst / 100.0;
    }
}

// Pictures whose pixels show the frames where the documents put them: the
// page's own controls over its template's, the hidden one dashed, the
// ellipse round, labels light on the dark page.
TEST_F(Preview, PicturesShowWhatTheDocumentsHoldWhereTheyPutIt) {
  ASSERT_EQ(plain.exitStatus, 0) << plain.err;
  EXPECT_NE(plain.err.find("3 documents drawn in "), std::string::npos) << plain.err;
  EXPECT_EQ(plain.out, "Open " + (*dir / "plain/pictures/index.html").string() + "\n");
  const QImage page = Plain(kPage), popup = Plain(kPopup), tmpl = Plain(kTemplate);
  const struct { const QImage* image; int x, y; QColor colour; const char* what; } cases[] = {
      {&page, 0, 0, kPageBackground, "page background, top left"},
      {&page, kGo.x, kGo.y, kFrame, "button frame, top left"},
      {&page, kGo.x + kGo.w - 1, kGo.y + kGo.h - 1, kFrame, "button frame, bottom right"},
      {&page, kGo.x - 1, kGo.y, kPageBackground, "left of the button"},
      {&page, kGo.x + kGo.w - 2, kGo.y + kGo.h - 2, kPageBackground, "inside the button"},
      {&page, kClock.x, kClock.y, kFrame, "the template's clock on the page"},
      {&tmpl, kClock.x, kClock.y, kFrame, "the clock on its template"},
      {&tmpl, 0, 0, QColor(Qt::white), "the template has no background"},
      {&page, kLamp.x, kLamp.y, kPageBackground, "ellipse box, top left corner"},
      {&page, kLamp.x + kLamp.w - 1, kLamp.y + kLamp.h - 1, kPageBackground, "bottom right corner"},
      {&page, kLamp.x + 2, kLamp.y + 2, kPageBackground, "inside the corner, outside the curve"},
      {&popup, 0, 0, QColor(0x80, 0x80, 0x80), "popup border"},
      {&popup, 2, 25, QColor(0xc0, 0xc0, 0xc0), "title bar"},
      {&popup, 100, 140, QColor(0xee, 0xee, 0xee), "popup background"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.image->pixelColor(c.x, c.y), c.colour) << c.what;
  // The ellipse's curve touches its box in the middle of each side.
  const QPoint curve[] = {{kLamp.x, kLamp.y + kLamp.h / 2}, {kLamp.x + kLamp.w - 1, kLamp.y + kLamp.h / 2},
                          {kLamp.x + kLamp.w / 2, kLamp.y}, {kLamp.x + kLamp.w / 2, kLamp.y + kLamp.h - 1}};
  for (const QPoint& p : curve) EXPECT_TRUE(Near(page.pixelColor(p), kFrame)) << p.x() << "," << p.y();
  // The hidden button (120x60): every other pixel along its top and left
  // edge, short of the bottom row, whose dash starts at the corner.
  for (int i = 0; i < kSecret.h - 1; ++i) {
    const QColor expected = i % 2 == 0 ? kFrame : kPageBackground;
    EXPECT_EQ(page.pixelColor(kSecret.x + i, kSecret.y), expected) << "hidden top edge +" << i;
    EXPECT_EQ(page.pixelColor(kSecret.x, kSecret.y + i), expected) << "hidden left edge +" << i;
  }
  // The label "bttn Go" reads on the dark page: light, not the frame's blue.
  int brightest = 0;
  for (int y = kGo.y + 2; y < kGo.y + 14; ++y)
    for (int x = kGo.x + 3; x < kGo.x + 40; ++x) brightest = std::max(brightest, page.pixelColor(x, y).lightness());
  EXPECT_GT(brightest, 200);
}

// The title shows the data set's text, or a marked text number without one;
// only the title bar differs. Everything else is the same drawn from the
// enciphered documents on one worker.
TEST_F(Preview, TitlesComeFromTheDataSetAndEncipheredDocumentsDrawAlike) {
  ASSERT_EQ(enciphered.exitStatus, 0) << enciphered.err;
  const fs::path other = *dir / "enciphered/qmls-preview";
  for (const std::string& name : {kPage, kTemplate}) EXPECT_EQ(Picture(other / (name + ".png")), Plain(name)) << name;
  const QImage withTexts = Plain(kPopup), without = Picture(other / (kPopup + ".png"));
  int firstRow = -1, lastRow = -1;
  for (int y = 0; y < withTexts.height(); ++y)
    for (int x = 0; x < withTexts.width(); ++x)
      if (withTexts.pixel(x, y) != without.pixel(x, y)) lastRow = y, firstRow = firstRow < 0 ? y : firstRow;
  EXPECT_GE(firstRow, 2);
  EXPECT_LT(lastRow, 2 + 24) << "only the title bar differs";
  EXPECT_NE(test::ReadFile(*dir / "plain/pictures/pages" / (kPopup + ".html")).find("title “Dialog title”"),
            std::string::npos);
  const std::string page = test::ReadFile(other / "pages" / (kPopup + ".html"));
  EXPECT_NE(page.find("title “[text #0]”"), std::string::npos) << page;
  EXPECT_NE(page.find("deciphered text"), std::string::npos);
}

// The gallery names its project and screens, loads thumbnails lazily and
// links every screen's page, whose map gives each control's whole label.
TEST_F(Preview, TheGalleryNamesTheScreensAndFollowsTheFolder) {
  const std::string gallery = test::ReadFile(*dir / "plain/pictures/index.html");
  for (const std::string wanted :
       {"<h1>p</h1>", "<b>Start</b><br>page · page16777216.qml", "<b>Dialog</b><br>popup · pops1191182336.qml",
        "<b>tmpl.qml</b><br>template · tmpl.qml", "href=\"pages/page16777216.html\"><img loading=\"lazy\" "
        "src=\"thumbs/page16777216.png\"", "over tmpl.qml", "id=\"filter\""})
    EXPECT_NE(gallery.find(wanted), std::string::npos) << wanted;
  EXPECT_NE(test::ReadFile(*dir / "plain/pictures/pages" / (kPage + ".html"))
                .find("title=\"bttn Secret · 160,120 120×60 · hidden\""),
            std::string::npos);
  EXPECT_FALSE(Picture(*dir / "plain/pictures/index.png").isNull());

  // Drawn again without the popup and with broken documents: the popup's
  // files go, a file of the user's stays, the page is drawn anew, and the
  // broken ones fail the run, each with the engine's or the preview's
  // reason, and get no picture.
  test::TempDir again;
  fs::copy(*dir / "plain/qmls", again / "qmls");
  fs::copy(*dir / "plain/pictures", again / "pictures", fs::copy_options::recursive);
  fs::remove(again / "qmls" / (kPopup + ".qml"));
  fs::remove(again / "pictures" / (kPage + ".png"));
  test::WriteFile(again / "pictures/notes.png", "mine");
  test::WriteFile(again / "qmls/bad.qml",
                  "import QtQuick\nimport VantorelV5\nOrvixPage {\nwidth: 10\nnoSuchProperty: 1\n}\n");
  test::WriteFile(again / "qmls/huge.qml", "import QtQuick\nItem { width: 5000; height: 10 }\n");
  test::WriteFile(again / "qmls/junk.qml", "12345678 not text");
  const auto r = test::Run(QML_PREVIEW_PATH, {"qmls", "-o", "pictures", "-q"}, again.Path());
  EXPECT_EQ(r.exitStatus, 4) << r.err;
  EXPECT_EQ(r.err,
            "qml-preview: 3 of 5 documents failed to load:\n"
            "  bad.qml:5:1: Cannot assign to non-existent property \"noSuchProperty\"\n"
            "  huge.qml: the screen size 5000x10 is outside 1..4096\n"
            "  junk.qml is neither QML text nor an enciphered document\n");
  for (const std::string& gone : {kPopup + ".png", "thumbs/" + kPopup + ".png", "pages/" + kPopup + ".html",
                                  std::string("bad.png"), std::string("huge.png"), std::string("junk.png")})
    EXPECT_FALSE(fs::exists(again / "pictures" / gone)) << gone;
  for (const std::string& kept : {kPage + ".png", "thumbs/" + kPage + ".png", std::string("notes.png")})
    EXPECT_TRUE(fs::exists(again / "pictures" / kept)) << kept;
}

// Two folders that differ in one control's text: that document alone is
// changed, with its old, new and highlighted pictures, whose changed pixels
// lie in the control.
TEST_F(Preview, TheDiffListsTheChangedDocumentWithItsPictures) {
  test::TempDir work;
  fs::copy(*dir / "plain/qmls", work / "new");
  const std::string text = test::ReadFile(work / "new" / (kPage + ".qml"));
  test::WriteFile(work / "new" / (kPage + ".qml"), std::regex_replace(text, std::regex("\"Go\""), "\"Stop\""));
  const std::string old = (*dir / "plain/qmls").string();
  const auto r = test::Run(QML_PREVIEW_PATH, {"--diff", old, "new", "-o", "diff"}, work.Path());
  EXPECT_EQ(r.exitStatus, 1) << r.err;
  EXPECT_NE(
      r.err.find("0 added, 0 removed, 1 changed (1 in pixels, 0 in text only, 0 through the template), 2 unchanged"),
      std::string::npos)
      << r.err;
  const std::string index = test::ReadFile(work / "diff/index.html");
  EXPECT_NE(index.find("<h2>Changed (1)</h2>"), std::string::npos) << index;
  EXPECT_NE(index.find("+ controlName: &quot;Stop&quot;"), std::string::npos) << index;
  const fs::path d = work / "diff";
  EXPECT_EQ(test::Tree(d), (std::set<fs::path>{d / ".qml-preview", d / "index.html", d / (kPage + "-diff.png"),
                                                d / (kPage + "-new.png"), d / (kPage + "-old.png")}));
  const QImage diff = Picture(work / "diff" / (kPage + "-diff.png"));
  int outside = 0, inside = 0;
  for (int y = 0; y < diff.height(); ++y)
    for (int x = 0; x < diff.width(); ++x)
      if (diff.pixelColor(x, y) == QColor(255, 0, 255))
        ++(x >= kGo.x && x < kGo.x + kGo.w && y >= kGo.y && y < kGo.y + kGo.h ? inside : outside);
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
}

// A run after one screen changed redraws that screen alone (the others'
// files stay, the same inodes) and leaves every file as a full redraw does.
TEST_F(Preview, ARedrawOfOneChangedScreenIsAFullRedrawByteForByte) {
  test::TempDir work;
  fs::copy(*dir / "plain/qmls", work / "qmls");
  fs::copy(*dir / "plain/pictures", work / "pictures", fs::copy_options::recursive);
  const std::string text = test::ReadFile(work / "qmls" / (kPage + ".qml"));
  test::WriteFile(work / "qmls" / (kPage + ".qml"), std::regex_replace(text, std::regex("\"Go\""), "\"Stop\""));
  const fs::path kept = work / "pictures" / (kPopup + ".png");
  fs::create_hard_link(kept, work / "witness");
  const std::string data = (*dir / "plain/p.prt").string();
  const auto again = test::Run(QML_PREVIEW_PATH, {"qmls", "-o", "pictures", "--prt", data}, work.Path());
  EXPECT_NE(again.err.find("1 documents drawn, 2 unchanged since the last run,"), std::string::npos) << again.err;
  EXPECT_TRUE(fs::equivalent(kept, work / "witness")) << "the unchanged popup was written again";
  ASSERT_EQ(test::Run(QML_PREVIEW_PATH, {"qmls", "-o", "full", "--prt", data, "--full"}, work.Path()).exitStatus, 0);
  const std::set<fs::path> files = test::Tree(work / "full");
  EXPECT_EQ(files.size(), test::Tree(work / "pictures").size());
  for (const fs::path& file : files) {
    if (fs::is_regular_file(file)) {
      EXPECT_TRUE(test::ReadFile(file) == test::ReadFile(work / "pictures" / file.lexically_relative(work / "full")))
          << file;
    }
  }
}

// Screens paired by kind and name: a page deleted before others is the one
// removed, those after it only renumbered; plain and enciphered documents
// of one project do not differ. Wrong folders and another project's data
// set are refused, naming what is wrong.
TEST_F(Preview, TheDiffPairsScreensByIdentityAndWrongInputsAreRefused) {
  test::TempDir work;
  for (const char* side : {"old", "new"}) {
    std::string pages;
    for (const std::string name : {"Alpha", "Packing", "Boiler", "Delta"})
      if (name != "Packing" || side == std::string("old"))
        pages += R"({"type": "page", "x": 0, "y": 0, "w": 90, "h": 60, "text": ")" + name +
                 R"(", "children": [{"type": "button", "text": "Go", "x": 4, "y": 4, "w": 40, "h": 20}]},)";
    fs::create_directories(work / side);
    test::WriteDataset(work / side / "p.prt", R"({"screens": [)" + pages + R"({"type": "popup", "text": "Dlg",
        "x": 0, "y": 0, "w": 90, "h": 60, "children": [{"type": "button", "text": "Ok", "x": 4, "y": 4, "w": 40, "h": 20}]}]})");
    ASSERT_EQ(test::Run(PRT2QML_PATH, {"p.prt"}, work / side).exitStatus, 0);
  }
  const std::string oneRemoved =
      "0 added, 1 removed, 0 changed (0 in pixels, 0 in text only, 0 through the template), 1 unchanged, 3 renumbered";
  for (const char* side : {"old", "new"}) fs::copy_file(work / side / "p.prt", work / (side + std::string(".prt")));
  const struct {
    std::vector<std::string> args;
    int status;
    std::string said;
  } cases[] = {
      {{"--diff", "old/qmls", "new/qmls"}, 1, oneRemoved},
      {{"--diff", "old.prt", "new.prt", "-o", "prt"}, 1, oneRemoved},
      {{"--diff", (*dir / "plain/qmls").string(), (*dir / "enciphered/qmls").string()}, 0, " 0 changed ("},
      {{"old"}, 1, "qml-preview: no .qml documents in 'old'; did you mean 'old/qmls'?\n"},
      {{"--diff", "old", "new/qmls"}, 2, "did you mean 'old/qmls'?"},
      {{"old/qmls", "--prt", "new/p.prt"},
       1,
       "qml-preview: the data set 'new/p.prt' is not the one 'old/qmls' was made from: "
       "page16777217.qml is “Boiler” there, “Packing” here\n"},
      {{(*dir / "plain/qmls").string(), "--prt", "old/p.prt"}, 1, "page16777216.qml is “Alpha” there, “Start” here"},
  };
  for (const auto& c : cases) {
    const auto r = test::Run(QML_PREVIEW_PATH, c.args, work.Path());
    EXPECT_EQ(r.exitStatus, c.status) << c.args[0] << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
  }
  // Data files are converted elsewhere, never beside them.
  EXPECT_FALSE(fs::exists(work / "qmls") || fs::exists(work / "SimWork"));
  for (const char* diff : {"new/qmls-diff", "prt"}) {
    const std::string index = test::ReadFile(work / diff / "index.html");
    EXPECT_NE(index.find("<h2>Removed (1)</h2>\n<section><h3>Packing</h3>"), std::string::npos) << index;
  }
  EXPECT_NE(test::ReadFile(work / "prt/index.html").find("<title>old (old.prt) → new (new.prt)"), std::string::npos);
}

// The gallery, a screen's page and a diff's page in headless Chromium:
// no console message, every image drawn and every link to a file that is
// there, the filter hides the screens whose names do not match and shows
// them again, and every thumbnail is lazy as the browser reads it (headless
// Chromium loads them all the same, so when is not seen here).
TEST_F(Preview, TheGalleryWorksInABrowser) {
  test::TempDir work;
  const auto browser = test::Run("/bin/sh", {"-c", "command -v chromium"}, work.Path());
  if (browser.exitStatus != 0) GTEST_SKIP() << "no chromium to open the pages in (scripts/ensure-deps.sh installs it)";
  for (const char* side : {"a", "b"}) {
    fs::create_directories(work / side);
    fs::copy(*dir / "plain/qmls" / (kTemplate + ".qml"), work / side);
    for (int i = 10; i < 40; ++i)
      fs::copy(*dir / "plain/qmls" / (kPage + ".qml"), work / side / ("p" + std::to_string(i) + ".qml"));
  }
  test::WriteFile(work / "b/p10.qml",
                  std::regex_replace(test::ReadFile(work / "b/p10.qml"), std::regex("\"Go\""), "\"Stop\""));
  ASSERT_EQ(test::Run(QML_PREVIEW_PATH, {"a", "-o", "g", "-q"}, work.Path()).exitStatus, 0);
  ASSERT_EQ(test::Run(QML_PREVIEW_PATH, {"--diff", "a", "b", "-o", "d", "-q"}, work.Path()).exitStatus, 1);
  const std::string probe = R"(<script>addEventListener('load', async () => {
  const r = {}, wait = ms => new Promise(done => setTimeout(done, ms)), f = document.getElementById('filter');
  const drawn = i => i.complete && i.naturalWidth > 0, shown = () => [...document.querySelectorAll('figure')].filter(x => !x.hidden).length;
  r.eager = [...document.images].filter(i => i.src.includes('/thumbs/') && i.loading !== 'lazy').length;
  if (f) { r.all = shown(); f.value = 'P10.QML'; f.dispatchEvent(new Event('input')); r.one = shown(); f.value = ''; f.dispatchEvent(new Event('input')); r.again = shown(); }
  for (let y = 0; y < document.body.scrollHeight; y += 500) { scrollTo(0, y); await wait(50); }
  await wait(500);
  r.broken = [...document.images].filter(i => !drawn(i)).map(i => i.src);
  r.links = [...document.links].map(a => decodeURIComponent(a.pathname));
  const out = document.createElement('pre'); out.id = 'probe'; out.textContent = btoa(JSON.stringify(r)); document.body.append(out);
});</script>)";
  for (const std::string page : {"g/index.html", "g/pages/p20.html", "d/index.html"}) {
    const fs::path probed = work / (page + ".probe.html");
    test::WriteFile(probed, test::ReadFile(work / page) + probe);
    const auto r = test::RunProcess(
        {.program = browser.out.substr(0, browser.out.find('\n')),
         .args = {"--headless", "--no-sandbox", "--disable-gpu", "--window-size=800,600", "--enable-logging=stderr",
                  "--v=0", "--virtual-time-budget=20000", "--dump-dom", "file://" + probed.string()},
         .workDir = work.Path(),
         .timeoutSeconds = 60});
    const std::smatch found = [&] {
      std::smatch m;
      std::regex_search(r.out, m, std::regex("<pre id=\"probe\">(.*)</pre>"));
      return m;
    }();
    if (found.empty() && r.out.find("<html") == std::string::npos) GTEST_SKIP() << "chromium cannot start: " << r.err;
    ASSERT_FALSE(found.empty()) << page << r.out;
    EXPECT_EQ(r.err.find(":CONSOLE"), std::string::npos) << page << r.err;
    const QByteArray json = QByteArray::fromBase64(QByteArray::fromStdString(found[1].str()));
    const QJsonObject result = QJsonDocument::fromJson(json).object();
    EXPECT_TRUE(result["broken"].toArray().isEmpty()) << page << json.constData();
    for (const QJsonValue& link : result["links"].toArray())
      EXPECT_TRUE(fs::exists(link.toString().toStdString())) << page << link.toString().toStdString();
    if (page != "g/index.html") continue;
    EXPECT_EQ(QJsonDocument(QJsonObject{{"all", result["all"]}, {"one", result["one"]}, {"again", result["again"]}})
                  .toJson(QJsonDocument::Compact)
                  .toStdString(),
              R"({"again":31,"all":31,"one":1})");
    EXPECT_EQ(result["eager"].toInt(-1), 0) << json.constData();
  }
}

// A pictures or diff folder from someone else: a link in it, or in its own
// place when the preview chose it, is refused or replaced, never followed,
// and its list removes nothing outside it.
TEST_F(Preview, ForeignOutputFoldersAreNeverFollowed) {
  const struct { const char *folder, *link, *target; std::vector<std::string> args; int status; } cases[] = {
      {"qmls-preview", "thumbs", "victim", {"qmls"}, 1},
      {"qmls-preview", "index.html", "victim/index.html", {"qmls"}, 0},
      {"", "qmls-preview", "victim", {"qmls"}, 1},
      {"d", "index.html", "victim/index.html", {"--diff", "qmls", "qmls", "-o", "d"}, 0},
  };
  for (const auto& c : cases) {
    test::TempDir work;
    fs::copy(*dir / "plain/qmls", work / "qmls");
    fs::create_directories(work / "victim");
    for (const char* file : {"victim/holiday.png", "victim/index.html", "x"}) test::WriteFile(work / file, "mine");
    fs::create_directories(work / c.folder);
    fs::create_symlink(work / c.target, work / c.folder / c.link);
    if (*c.folder) test::WriteFile(work / c.folder / ".qml-preview", "thumbs/holiday.png\n../x\nindex.html\n");
    const auto r = test::Run(QML_PREVIEW_PATH, c.args, work.Path());
    EXPECT_EQ(r.exitStatus, c.status) << c.link << r.err;
    for (const char* file : {"victim/holiday.png", "victim/index.html", "x"})
      EXPECT_TRUE(test::ReadFile(work / file) == "mine") << c.link << ": " << file;
    EXPECT_EQ(test::Tree(work / "victim").size(), 2u) << c.link;
  }
}

// Documents from someone else fail alone and reach nothing: no connection
// to a listener on the loopback (images, XMLHttpRequest, a remote import),
// no image outside their folder, a document that takes ever more memory
// stopped at the limit, one over the size limit refused unread. Names with
// any byte link to their own files, which go when the documents go.
TEST_F(Preview, ForeignDocumentsFailAloneAndReachNothing) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{.sin_family = AF_INET, .sin_port = 0, .sin_addr = {htonl(INADDR_LOOPBACK)}};
  socklen_t size = sizeof address;
  ASSERT_FALSE(bind(listener, reinterpret_cast<sockaddr*>(&address), size) || listen(listener, 64) ||
               getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size));
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/";
  test::TempDir work;
  const fs::path qmls = work / "qmls", pictures = work / "qmls-preview";
  fs::create_directories(qmls);
  const std::string names[] = {"a=b", "%1", "bad\xff", "new\nline"};
  for (const std::string& name : names)
    test::WriteFile(qmls / (name + ".qml"), "import QtQuick\nItem { width: 9; height: 9 }");
  const std::string net = R"(import QtQuick
Item { width: outside.status === Image.Ready ? 300 : 200; height: 9
  Image { id: outside; source: "file://OUTSIDE" }
  Image { source: "URLi.png" }
  Component.onCompleted: {
    for (const sync of [false, true]) { const r = new XMLHttpRequest(); r.open("GET", "URL", !sync); r.send() } } })";
  test::WriteFile(qmls / "net.qml",
                  std::regex_replace(std::regex_replace(net, std::regex("URL"), url), std::regex("OUTSIDE"),
                                     (*dir / "plain/pictures/index.png").string()));
  test::WriteFile(qmls / "remote.qml", "import QtQuick\nimport \"" + url + "\"\nItem { width: 9; height: 9 }");
  test::WriteFile(qmls / "hog.qml",
                  "import QtQuick\nItem { Component.onCompleted: { const a = [];"
                  " for (;;) a.push(\"x\".repeat(1 << 20) + a.length) } }");
  test::WriteFile(qmls / "big.qml", "import QtQuick\n");
  fs::resize_file(qmls / "big.qml", 300 << 20);
  test::ProcessRequest run{
      .program = QML_PREVIEW_PATH, .args = {"qmls"}, .workDir = work.Path(), .env = {"QML_XHR_ALLOW_FILE_READ=1"}};
  int connections = 0;
  run.monitor = [&](pid_t child) {
    for (siginfo_t ended{}; waitid(P_PID, child, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid == 0;)
      if (pollfd wait{listener, POLLIN, 0}; poll(&wait, 1, 20) > 0)
        close(accept(listener, nullptr, nullptr)), ++connections;
  };
  const auto r = test::RunProcess(run);
  close(listener);
  EXPECT_EQ(r.exitStatus, 4) << r.err;
  EXPECT_EQ(connections, 0);
  EXPECT_EQ(Picture(pictures / "net.png").width(), 200) << "an image outside the folder was loaded";
  for (const std::string& wanted :
       std::vector<std::string>{"hog.qml: needs more than the 1024 MiB of memory a drawing process may take",
                                "cannot read 'qmls/big.qml': larger than the 256 MiB a document may have",
                                "net.qml: refused " + url + "i.png", "remote.qml: refused " + url})
    EXPECT_NE(r.err.find(wanted), std::string::npos) << wanted;
  // Every link of the gallery names a file that is there, among them each
  // name's thumbnail and page.
  std::set<std::string> links;
  const std::string gallery = test::ReadFile(pictures / "index.html");
  const std::regex link("(href|src)=\"([^\"]+)\"");
  for (auto it = std::sregex_iterator(gallery.begin(), gallery.end(), link); it != std::sregex_iterator(); ++it)
    links.insert(QByteArray::fromPercentEncoding(QByteArray::fromStdString((*it)[2])).toStdString());
  for (const std::string& name : names)
    for (const std::string& file : {"thumbs/" + name + ".png", "pages/" + name + ".html"})
      EXPECT_TRUE(links.contains(file)) << file;
  for (const std::string& file : links) EXPECT_TRUE(fs::exists(pictures / file)) << file;
  for (const std::string& name : names) fs::remove(qmls / (name + ".qml"));
  for (const char* gone : {"hog.qml", "big.qml"}) fs::remove(qmls / gone);
  EXPECT_EQ(test::Run(QML_PREVIEW_PATH, {"qmls"}, work.Path()).exitStatus, 0);
  for (const std::string& name : names)
    for (const std::string& file : {name + ".png", "thumbs/" + name + ".png", "pages/" + name + ".html"})
      EXPECT_FALSE(fs::exists(pictures / file)) << file;
}

// --diff answers 2 with the reason for a document it cannot read, also when
// a folder is compared with itself: it never counts one as a change, never
// blocks on a FIFO, never reads one over the size limit, and ends on
// memory exhaustion with a message.
TEST_F(Preview, TheDiffRefusesWhatItCannotRead) {
  const struct { const char *make, *limit, *reason; } cases[] = {
      {"mkfifo x.qml", "", "cannot read 'qmls/x.qml': not a regular file"},
      {"mkdir x.qml", "", "cannot read 'qmls/x.qml': Is a directory"},
      {"echo import >x.qml && chmod 0 x.qml", "", "cannot read 'qmls/x.qml': Permission denied"},
      {"echo junk >x.qml", "", "x.qml is neither QML text nor an enciphered document"},
      {"truncate -s 300M x.qml", "", "cannot read 'qmls/x.qml': larger than the 256 MiB a document may have"},
      {"truncate -s 200M x.qml", "ulimit -d 100000 && ", "qml-preview: out of memory"},
  };
  for (const auto& c : cases) {
    test::TempDir work;
    fs::copy(*dir / "plain/qmls", work / "qmls");
    fs::permissions(work.Path(), fs::perms::all);
    ASSERT_EQ(std::system(("cd " + (work / "qmls").string() + " && " + c.make).c_str()), 0);
    const auto r = test::RunProcess({.program = "/bin/sh",
                                     .args = {"-c", std::string(c.limit) + "exec \"$0\" \"$@\"", QML_PREVIEW_PATH,
                                              "--diff", "qmls", "qmls", "-o", "d"},
                                     .workDir = work.Path(),
                                     .timeoutSeconds = 30,
                                     .user = geteuid() == 0 ? std::optional<uid_t>(65534) : std::nullopt});
    EXPECT_EQ(r.exitStatus, 2) << c.make << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << c.make << r.err;
  }
}

// Every type the converter writes has a stand-in component (a missing one
// would make each document using it fail with "is not a type"), and the
// bundled example previews whole: every screen without an error, each
// picture at the size its document gives its root, each caption with the
// language the converter wrote it in (a popup title's fonts leave the last
// language to the controls after it and to the documents after it).
TEST_F(Preview, EveryControlTypeAndTheExampleProjectPreviewWhole) {
  std::string children;
  for (const TypeRow& row : kTypeTable)
    if (row.code != nullptr && !row.screen)
      children += std::string(children.empty() ? "" : ",") + R"({"type": ")" + row.name +
                  R"(", "x": 4, "y": 4, "w": 40, "h": 30})";
  const struct { std::string json; std::vector<std::string> captions; } projects[] = {
      {R"({"screens": [{"type": "template", "label": "t", "x": 0, "y": 0, "w": 100, "h": 80},
          {"type": "page", "template": "t", "x": 0, "y": 0, "w": 100, "h": 80, "children": [)" + children + R"(]},
          {"type": "reportpage", "x": 0, "y": 0, "w": 100, "h": 80}]})", {"<p>3 screens, 0 failed"}},
      {test::ReadFile(fs::path(PRT_SOURCE_DIR) / "examples/plant/plant.json"),
       {"<p>7 screens, 0 failed", "<b>Overview</b><br>page · page16777216.qml<br>800×480 · language 1033 · over tmpl.qml",
        "<b>Settings</b><br>popup · pops1191182336.qml<br>400×300 · language 1033, controls after the title in 1031",
        "<b>Bestätigen</b><br>popup · pops1191182337.qml<br>360×180 · language 1031<"}},
  };
  for (const auto& p : projects) {
    test::TempDir project;
    test::WriteDataset(project / "p.prt", p.json);
    ASSERT_EQ(test::Run(PRT2QML_PATH, {"p.prt"}, project.Path()).exitStatus, 0);
    const auto r = test::Run(QML_PREVIEW_PATH, {"qmls", "-o", "pictures", "--prt", "p.prt"}, project.Path());
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    for (const auto& entry : fs::directory_iterator(project / "qmls")) {
      if (entry.path().extension() != ".qml") continue;
      const std::string text = test::ReadFile(entry.path());
      auto first = [&](const std::string& key) {
        return std::stoi(text.substr(text.find("\n" + key) + key.size() + 1));
      };
      const QImage image = Picture(project / "pictures" / entry.path().filename().replace_extension(".png"));
      EXPECT_EQ(image.size(), QSize(first("width: "), first("height: "))) << entry.path();
    }
    const std::string gallery = test::ReadFile(project / "pictures/index.html");
    for (const std::string& caption : p.captions) EXPECT_NE(gallery.find(caption), std::string::npos) << caption;
  }
}

}  // namespace
}  // namespace prt
