#include "tools/qml-preview/Drawing.h"

#include <QCoreApplication>
#include <QFont>
#include <QJSValue>
#include <QPainter>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlListReference>
#include <QQuickItem>
#include <QQuickWindow>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "platform/Files.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "tools/qml-preview/Documents.h"
#include "tools/qml-preview/Profile.h"
#include "tools/qml-preview/Shrink.h"

namespace prt::preview {

namespace {

// The frame colour of ControlFrame.qml; the dash of hidden controls uses it.
const QColor kFrameColour(0x00, 0x50, 0xc8);
// Larger screens are refused: a picture must stay within bounded memory.
constexpr int kMaxSide = 4096;
constexpr int kCellWidth = 200;
constexpr int kCellPictureHeight = 150;
constexpr int kCaptionHeight = 30;

QString ErrorText(const QString& document, const QQmlError& error) {
  QString text = document;
  if (error.line() > 0)
    text += QLatin1Char(':') + QString::number(error.line()) + QLatin1Char(':') + QString::number(error.column());
  return text + QStringLiteral(": ") + error.description();
}

// Relative luminance and contrast ratio as the web's accessibility rules
// define them.
double Luminance(const QColor& colour) {
  auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}
double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The label colour for a background: the frame's blue where it reads well,
// else white or black, whichever stands out more.
QColor LabelColour(const QColor& background) {
  constexpr double kReadable = 4.5;
  if (Contrast(kFrameColour, background) >= kReadable) return kFrameColour;
  return Contrast(Qt::white, background) >= Contrast(Qt::black, background) ? QColor(Qt::white) : QColor(Qt::black);
}

// `top` over the opaque `bottom`.
QColor Over(const QColor& top, const QColor& bottom) {
  const double a = top.alphaF();
  return QColor::fromRgbF(static_cast<float>(top.redF() * a + bottom.redF() * (1 - a)),
                          static_cast<float>(top.greenF() * a + bottom.greenF() * (1 - a)),
                          static_cast<float>(top.blueF() * a + bottom.blueF() * (1 - a)));
}

QObject* ObjectOf(const QVariant& value) {
  if (value.metaType() == QMetaType::fromType<QJSValue>()) return value.value<QJSValue>().toQObject();
  return value.value<QObject*>();
}

// The colour of a Gradient object at `point` of an area of `size`.
QColor GradientColour(QObject* gradient, QPointF point, QSizeF size) {
  QQmlListReference stops(gradient, "stops");
  std::vector<std::pair<double, QColor>> points;
  for (qsizetype i = 0; i < stops.count(); ++i)
    if (QObject* stop = stops.at(i))
      points.emplace_back(stop->property("position").toDouble(), stop->property("color").value<QColor>());
  if (points.empty()) return Qt::transparent;
  std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  const bool across = gradient->property("orientation").toInt() == Qt::Horizontal;
  const double length = across ? size.width() : size.height();
  const double t = length > 0 ? (across ? point.x() : point.y()) / length : 0;
  if (t <= points.front().first) return points.front().second;
  for (size_t i = 1; i < points.size(); ++i) {
    const auto& [p0, c0] = points[i - 1];
    const auto& [p1, c1] = points[i];
    if (t > p1) continue;
    const double f = p1 > p0 ? (t - p0) / (p1 - p0) : 1;
    auto mix = [f](float a, float b) { return static_cast<float>(a + (b - a) * f); };
    return QColor::fromRgbF(mix(c0.redF(), c1.redF()), mix(c0.greenF(), c1.greenF()), mix(c0.blueF(), c1.blueF()),
                            mix(c0.alphaF(), c1.alphaF()));
  }
  return points.back().second;
}

// What the screen shows at `point` below its controls: a popup's background,
// a page's gradient or colour, over the white window.
QColor BackgroundAt(QQuickItem* root, QPointF point) {
  const QSizeF size(root->width(), root->height());
  const QVariant popup = root->property("popupBgColor");
  QColor fill;
  if (QObject* gradient = ObjectOf(popup.isValid() ? popup : root->property("gradient")))
    fill = GradientColour(gradient, point, size);
  else
    fill = popup.isValid() ? QColor(popup.toString()) : root->property("color").value<QColor>();
  return Over(fill.isValid() ? fill : QColor(Qt::transparent), Qt::white);
}

// The codes of the vector shapes, which ShapeItem draws as their shapes.
constexpr const char* kShapeCodes[] = {"elps", "crcl", "rect", "plyg", "plyl", "fblk", "line"};

// A control of the stand-in module (ControlFrame.qml), with its frame and
// label items; the type is told by its class, looked up once per class.
struct ControlItem {
  QQuickItem* item;
  QQuickItem* frame = nullptr;
  QQuickItem* label = nullptr;
  bool hidden = false;
  bool shape = false;
};

class ControlFinder {
 public:
  bool IsControl(QQuickItem* item) {
    const auto [known, fresh] = classes.try_emplace(item->metaObject(), false);
    if (fresh) known->second = item->metaObject()->indexOfProperty("typeCode") >= 0 &&
                               item->metaObject()->indexOfProperty("rootObjID") >= 0;
    return known->second;
  }
  // The controls below `item`, parents before their children.
  void List(QQuickItem* item, std::vector<ControlItem>& controls) {
    for (QQuickItem* child : item->childItems()) {
      if (IsControl(child)) controls.push_back({child});
      List(child, controls);
    }
  }

 private:
  std::map<const QMetaObject*, bool> classes;
};

// Readies the controls below `root` for drawing: a control the document
// hides (also inside a hidden container) is shown and marked, a shape or a
// hidden control gets the ShapeItem that draws it under its label, and every
// label is set with its room (inside the frame).
std::vector<ControlItem> PrepareControls(QQuickItem* root) {
  // Per drawing: a document's own classes go with it, and another may
  // later take the same address.
  ControlFinder finder;
  std::vector<ControlItem> controls;
  finder.List(root, controls);
  for (ControlItem& control : controls) control.hidden = !control.item->isVisible();
  for (ControlItem& control : controls) {
    QQuickItem* item = control.item;
    for (QQuickItem* child : item->childItems()) {
      const QString name = child->objectName();
      if (name == QLatin1String("previewFrame")) control.frame = child;
      if (name == QLatin1String("previewLabel")) control.label = child;
    }
    const QString code = item->property("typeCode").toString();
    control.shape = std::any_of(std::begin(kShapeCodes), std::end(kShapeCodes),
                                [&](const char* c) { return code == QLatin1String(c); });
    if (control.hidden) item->setVisible(true);
    if (control.label) {
      // The room and alignment before the text: each change to a label with
      // text lays the text out again.
      control.label->setSize(QSizeF(std::max(0.0, item->width() - 6), std::max(0.0, item->height() - 4)));
      if (control.shape) {
        control.label->setProperty("horizontalAlignment", Qt::AlignHCenter);
        control.label->setProperty("verticalAlignment", Qt::AlignVCenter);
      }
      const QString name = item->property("controlName").toString();
      control.label->setProperty("text", name.isEmpty() ? code : code + QLatin1Char(' ') + name);
      control.label->setClip(control.label->property("contentWidth").toReal() > control.label->width() ||
                             control.label->property("contentHeight").toReal() > control.label->height());
    }
    if (!control.shape && !control.hidden) continue;
    if (control.frame) control.frame->setVisible(false);
    auto* drawn = new ShapeItem(control.shape ? code : QString(), kFrameColour, control.hidden);
    drawn->setParentItem(item);
    drawn->setSize(item->size());
    drawn->stackBefore(item->childItems().constFirst());
  }
  return controls;
}

// The controls' places and labels, topmost first (an image map takes the
// first area that holds the pointer), each label given a colour that reads
// on what lies under it.
void CollectControls(QQuickItem* root, const std::vector<ControlItem>& prepared, std::vector<Control>& controls) {
  std::map<QQuickItem*, const ControlItem*> byItem;
  for (const ControlItem& control : prepared) byItem[control.item] = &control;
  const QRect picture(0, 0, static_cast<int>(root->width()), static_cast<int>(root->height()));
  auto visit = [&](auto& self, QQuickItem* item) -> void {
    QList<QQuickItem*> children = item->childItems();
    std::reverse(children.begin(), children.end());
    std::stable_sort(children.begin(), children.end(), [](QQuickItem* a, QQuickItem* b) { return a->z() > b->z(); });
    for (QQuickItem* child : children) self(self, child);
    const auto found = byItem.find(item);
    if (found == byItem.end()) return;
    const ControlItem& control = *found->second;
    const QRectF box = item->mapRectToItem(root, QRectF(0, 0, item->width(), item->height()));
    const QPointF labelAt = control.shape ? box.center() : box.topLeft() + QPointF(3, 8);
    if (control.label) control.label->setProperty("color", LabelColour(BackgroundAt(root, labelAt)));
    const QRect shown = box.toAlignedRect() & picture;
    if (!shown.isEmpty())
      controls.push_back({shown, control.label ? control.label->property("text").toString() : QString(), control.hidden});
  };
  visit(visit, root);
}

// The fonts of a popup title's list: how many, and the last with a face (an
// empty entry is a language the converter could not select).
void ReadTitleFonts(QQuickItem* root, Screen& screen) {
  QVariant fonts = root->property("fontArray");
  if (fonts.metaType() == QMetaType::fromType<QJSValue>()) fonts = fonts.value<QJSValue>().toVariant();
  const QVariantList list = fonts.toList();
  screen.titleFonts = static_cast<int>(list.size());
  for (int i = 0; i < screen.titleFonts; ++i)
    if (!list[i].value<QFont>().family().isEmpty()) screen.lastTitleFont = i;
}

}  // namespace

void ShapeItem::paint(QPainter* painter) {
  const int w = static_cast<int>(width()), h = static_cast<int>(height());
  if (shape.isEmpty()) {
    // A hidden control's frame: every other pixel along each edge, from
    // the corners at the top and the left.
    for (int x = 0; x < w; x += 2) {
      painter->fillRect(x, 0, 1, 1, colour);
      painter->fillRect(x, h - 1, 1, 1, colour);
    }
    for (int y = 0; y < h; y += 2) {
      painter->fillRect(0, y, 1, 1, colour);
      painter->fillRect(w - 1, y, 1, 1, colour);
    }
    return;
  }
  painter->setRenderHint(QPainter::Antialiasing);
  QPen pen(colour, 2);
  if (dashed) pen.setStyle(Qt::DashLine);
  painter->setPen(pen);
  QColor fill = colour;
  fill.setAlpha(40);
  painter->setBrush(fill);
  // Inside the box by half the pen, so the outline touches its edges.
  const QRectF box = QRectF(0, 0, width(), height()).adjusted(1, 1, -1, -1);
  const QPointF middle = box.center();
  if (shape == QLatin1String("elps") || shape == QLatin1String("crcl")) {
    painter->drawEllipse(box);
  } else if (shape == QLatin1String("plyg")) {
    painter->drawPolygon(QPolygonF(
        {{middle.x(), box.top()}, {box.right(), middle.y()}, {middle.x(), box.bottom()}, {box.left(), middle.y()}}));
  } else if (shape == QLatin1String("fblk")) {
    const double tip = box.right() - std::min(box.width() / 4, box.height() / 2);
    painter->drawPolygon(
        QPolygonF({box.topLeft(), {tip, box.top()}, {box.right(), middle.y()}, {tip, box.bottom()}, box.bottomLeft()}));
  } else if (shape == QLatin1String("plyl") || shape == QLatin1String("line")) {
    painter->drawLine(box.topLeft(), box.bottomRight());
  } else {
    painter->drawRect(box);
  }
}

Renderer::Renderer(const QString& importFolder, const QStringList& documentFolders) : runtime(new RuntimeStandIn) {
  engine.addImportPath(importFolder);
  QStringList roots = documentFolders;
  for (const QString& folder : engine.importPathList())  // the module's and Qt's own
    if (!folder.startsWith(QLatin1String("qrc:")) && !folder.startsWith(QLatin1Char(':'))) roots << folder;
  guard = std::make_unique<UrlGuard>(roots);
  noNetwork = std::make_unique<NoNetwork>(*guard);
  engine.addUrlInterceptor(guard.get());
  engine.setNetworkAccessManagerFactory(noNetwork.get());
  engine.rootContext()->setContextProperty(QStringLiteral("OrvixQG"), runtime);
  engine.addImageProvider(QStringLiteral("OrvixImageProvider"), new PlaceholderImages);
  engine.setOutputWarningsToStandardError(false);
  runtime->setParent(&engine);
  QObject::connect(&engine, &QQmlEngine::warnings, [this](const QList<QQmlError>& warnings) {
    if (current == nullptr) return;
    for (const QQmlError& warning : warnings) current->warnings << ErrorText(current->document, warning);
  });
}

QString Renderer::MissingModules() {
  QQmlComponent probe(&engine);
  probe.setData("import QtQuick\nimport QtQuick.Controls\nimport Qt.labs.qmlmodels\nimport VantorelV5\nItem {}\n",
                QUrl(QStringLiteral("qrc:/qml-preview/probe.qml")));
  return probe.isError() ? probe.errors().value(0).description() : QString();
}

QString Renderer::MakePrivateFolder() {
  if (privateFolder) return {};
  if (!privateFolder.emplace().isValid()) {
    const QString why = privateFolder->errorString();
    privateFolder.reset();
    return QStringLiteral("cannot make a temporary folder: ") + why;
  }
  guard->Allow(privateFolder->path());
  engine.setOfflineStoragePath(privateFolder->path() + QStringLiteral("/storage"));
  return {};
}

QQmlComponent* Renderer::Template(const platform::FolderHandle& folder, QString& problem) {
  auto [it, fresh] = templates.try_emplace(folder.Path());
  TemplateState& state = it->second;
  if (fresh) {
    const DocumentText text = ReadDocument(folder, QStringLiteral("tmpl.qml"));
    if (!text.error.isEmpty()) {
      state.problem = text.error;
    } else {
      state.component = std::make_unique<QQmlComponent>(&engine);
      state.component->setData(
          text.text, QUrl::fromLocalFile(privateFolder->path() + QStringLiteral("/t%1/tmpl.qml").arg(templates.size())));
      for (const QQmlError& error : state.component->errors())
        state.problem += ErrorText(QStringLiteral("tmpl.qml"), error);
      if (!state.problem.isEmpty()) state.component.reset();
    }
  }
  problem = state.problem;
  return state.component.get();
}

QImage Renderer::Draw(const platform::FolderHandle& folder, Screen& screen, int language) {
  Timed step(Step::Read);
  const DocumentText text = ReadDocument(folder, screen.document);
  screen.loaded = text.loaded;
  if (!text.error.isEmpty()) {
    screen.errors << text.error;
    return {};
  }
  runtime->SetLanguage(language);
  guard->TakeRefused();  // what a document before this one asked for late
  current = &screen;
  struct Done {  // whatever way the drawing ends
    Renderer* self;
    ~Done() {
      for (const QString& url : self->guard->TakeRefused())
        self->current->warnings << self->current->document + QStringLiteral(": refused ") + url +
                                       QStringLiteral(": documents get no network and no files outside their folder");
      self->current = nullptr;
      self->engine.trimComponentCache();
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
  } done{this};

  // The text is given under a name in a private folder, so no .qmlc beside
  // the real document can take its place; each drawing its own name, so two
  // versions of a document never share a compiled form.
  step.Next(Step::Compile);
  QQmlComponent component(&engine);
  component.setData(text.text, QUrl::fromLocalFile(privateFolder->path() + QLatin1Char('/') +
                                                   QString::number(++drawings) + QLatin1Char('/') + screen.document));
  for (const QQmlError& error : component.errors()) screen.errors << ErrorText(screen.document, error);
  if (!screen.errors.isEmpty()) return {};

  step.Next(Step::Create);
  std::unique_ptr<QObject> object(component.create());
  for (const QQmlError& error : component.errors()) screen.errors << ErrorText(screen.document, error);
  auto* root = qobject_cast<QQuickItem*>(object.get());
  if (root == nullptr) {
    if (screen.errors.isEmpty()) screen.errors << screen.document + QStringLiteral(": the document is not an item");
    return {};
  }
  const double width = std::ceil(root->width());
  const double height = std::ceil(root->height());
  // Written this way round, a NaN size is refused too.
  if (!(width >= 1 && height >= 1 && width <= kMaxSide && height <= kMaxSide)) {
    screen.errors << screen.document +
                         QStringLiteral(": the screen size %1x%2 is outside 1..%3")
                             .arg(QString::number(width), QString::number(height), QString::number(kMaxSide));
    return {};
  }
  screen.width = static_cast<int>(width);
  screen.height = static_cast<int>(height);
  screen.typeCode = root->property("typeCode").toString();
  screen.name = root->property("controlName").toString();
  screen.object = root->property("objID").toLongLong();
  ReadTitleFonts(root, screen);
  if (root->property("titleVisible").toBool()) screen.title = root->property("titleText").toString();

  // The runtime shows a page over the template: its background, then the
  // template's controls, then the page's own (z 500).
  std::unique_ptr<QObject> templateObject;
  if (root->property("useTemplate").toBool()) {
    QString problem;
    if (QQmlComponent* templateComponent = Template(folder, problem)) {
      templateObject.reset(templateComponent->create());
      if (auto* templateRoot = qobject_cast<QQuickItem*>(templateObject.get())) {
        templateRoot->setParentItem(root);
        templateRoot->setZ(0);
        screen.overTemplate = QStringLiteral("over tmpl.qml");
      } else {
        problem = QStringLiteral("tmpl.qml could not be made");
      }
    }
    if (screen.overTemplate.isEmpty()) {
      screen.overTemplate = QStringLiteral("without its template");
      screen.warnings << screen.document + QStringLiteral(": drawn without its template: ") + problem;
    }
  }

  // A popup keeps its place on the panel in x and y; the picture starts at it.
  root->setPosition(QPointF(0, 0));
  // One window for every document: making one is dearer than drawing.
  if (!window) {
    window = std::make_unique<QQuickWindow>();
    window->setColor(Qt::white);
  }
  window->resize(screen.width, screen.height);
  root->setParentItem(window->contentItem());
  step.Next(Step::Controls);
  CollectControls(root, PrepareControls(root), screen.controls);
  step.Next(Step::Render);
  window->show();
  QImage picture = window->grabWindow();
  step.Next(Step::Release);
  root->setParentItem(nullptr);
  templateObject.reset();
  object.reset();
  if (picture.isNull()) screen.errors << screen.document + QStringLiteral(": the window could not be drawn");
  return picture;
}

QImage Thumbnail(const QImage& picture) {
  const QSize size = ThumbnailSize(picture.size());
  if (size.width() <= picture.width() && size.height() <= picture.height()) return Shrink(picture, size);
  return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QSize SheetBandSize(size_t cells) {
  return {static_cast<int>(SheetColumns(cells)) * kCellWidth, kCellPictureHeight + kCaptionHeight};
}

QImage ContactSheetBand(const std::vector<SheetCell>& cells, size_t band) {
  const size_t columns = SheetColumns(cells.size());
  const size_t end = std::min({cells.size(), kSheetScreens, (band + 1) * columns});
  QImage sheet(SheetBandSize(cells.size()), QImage::Format_RGB32);
  sheet.fill(QColor(0x30, 0x30, 0x30));
  QPainter painter(&sheet);
  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);
  for (size_t i = band * columns; i < end; ++i) {
    const int x = static_cast<int>(i % columns) * kCellWidth;
    const QRect cell(x + 4, 4, kCellWidth - 8, kCellPictureHeight - 8);
    const QImage& thumb = cells[i].thumbnail;
    if (!thumb.isNull()) {
      painter.drawImage(cell.x() + (cell.width() - thumb.width()) / 2, cell.y() + (cell.height() - thumb.height()) / 2,
                        thumb);
    } else {
      painter.fillRect(cell, QColor(0x80, 0x10, 0x10));
      painter.setPen(Qt::white);
      painter.drawText(cell, Qt::AlignCenter, QStringLiteral("failed to load"));
    }
    painter.setPen(Qt::white);
    const QStringList lines = cells[i].caption.split(QLatin1Char('\n'));
    for (int line = 0; line < std::min<int>(2, static_cast<int>(lines.size())); ++line) {
      const QRect place(x + 2, kCellPictureHeight + line * (kCaptionHeight / 2), kCellWidth - 4, kCaptionHeight / 2);
      painter.drawText(place, Qt::AlignCenter,
                       painter.fontMetrics().elidedText(lines[line], Qt::ElideRight, place.width()));
    }
  }
  return sheet;
}

QImage Highlight(const QImage& before, const QImage& after, qint64& changed) {
  const QSize size = before.size().expandedTo(after.size());
  QImage out(size, QImage::Format_RGB32);
  const QRect inBefore = before.rect(), inAfter = after.rect();
  changed = 0;
  for (int y = 0; y < size.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < size.width(); ++x) {
      const bool a = inBefore.contains(x, y), b = inAfter.contains(x, y);
      const QRgb now = b ? after.pixel(x, y) : qRgb(255, 255, 255);
      if (a && b && before.pixel(x, y) == now) {
        // Faded towards white, so the changes stand out.
        line[x] = qRgb(191 + qRed(now) / 4, 191 + qGreen(now) / 4, 191 + qBlue(now) / 4);
      } else {
        line[x] = qRgb(255, 0, 255);
        ++changed;
      }
    }
  }
  return out;
}

}  // namespace prt::preview
