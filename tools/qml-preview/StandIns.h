#pragma once
// What the documents expect from the runtime besides the component module:
// the context object OrvixQG and the image provider, and the preview's own
// shape item. Texts come from the data set when one is given; images are
// placeholders.
#include <QColor>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QQuickImageProvider>
#include <QQuickPaintedItem>
#include <QString>
#include <functional>
#include <optional>

namespace prt::preview {

class RuntimeStandIn : public QObject {
  Q_OBJECT
  Q_PROPERTY(int dmLangIndex READ dmLangIndex NOTIFY languageChanged)

 public:
  // A text of the data set by number and language index; nullopt when it
  // has none.
  using TextLookup = std::function<std::optional<QString>(uint32_t text, int language)>;

  int dmLangIndex() const { return language; }
  void SetTexts(TextLookup lookup) { texts = std::move(lookup); }
  void SetLanguage(int index) {
    if (index == language) return;
    language = index;
    emit languageChanged();
  }
  // Without a data set the number is shown, marked so nobody takes it for
  // the project's text.
  Q_INVOKABLE QString getQString(qint64 textId) const {
    if (texts && textId >= 0 && textId <= UINT32_MAX)
      if (auto text = texts(static_cast<uint32_t>(textId), language)) return *text;
    return QStringLiteral("[text #") + QString::number(textId) +
           (texts ? QStringLiteral(" missing]") : QStringLiteral("]"));
  }

 signals:
  void languageChanged();

 private:
  TextLookup texts;
  int language = 0;
};

// Any picture the documents name: a grey square with a cross.
class PlaceholderImages : public QQuickImageProvider {
 public:
  PlaceholderImages() : QQuickImageProvider(QQuickImageProvider::Image) {}
  QImage requestImage(const QString&, QSize* size, const QSize& requested) override {
    const QSize wanted(requested.width() > 0 ? std::min(requested.width(), 1024) : 16,
                       requested.height() > 0 ? std::min(requested.height(), 1024) : 16);
    QImage image(wanted, QImage::Format_ARGB32);
    image.fill(QColor(0xc8, 0xc8, 0xc8));
    QPainter painter(&image);
    painter.setPen(QColor(0x60, 0x60, 0x60));
    painter.drawRect(0, 0, wanted.width() - 1, wanted.height() - 1);
    painter.drawLine(0, 0, wanted.width() - 1, wanted.height() - 1);
    painter.drawLine(0, wanted.height() - 1, wanted.width() - 1, 0);
    *size = wanted;
    return image;
  }
};

// A vector shape drawn in its box, or with no shape a hidden control's
// dashed frame. The data set holds no points, only the box, so a polygon is
// the diamond on the box's edges, a polyline its diagonal and a flow block
// an arrow; ellipses, circles and rectangles are what they are.
class ShapeItem : public QQuickPaintedItem {
 public:
  ShapeItem(QString shape, QColor colour, bool dashed) : shape(std::move(shape)), colour(colour), dashed(dashed) {}
  void paint(QPainter* painter) override;

 private:
  QString shape;
  QColor colour;
  bool dashed = false;
};

}  // namespace prt::preview
