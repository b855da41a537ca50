#pragma once
// What the documents expect from the runtime besides the component module:
// the context object OrvixQG and the image provider. Texts and images are
// placeholders; the preview shows layout, not content.
#include <QColor>
#include <QImage>
#include <QObject>
#include <QPainter>
#include <QQuickImageProvider>
#include <QString>

namespace prt::preview {

class RuntimeStandIn : public QObject {
  Q_OBJECT
  Q_PROPERTY(int dmLangIndex READ dmLangIndex CONSTANT)

 public:
  int dmLangIndex() const { return 0; }
  Q_INVOKABLE QString getQString(int textId) const { return QStringLiteral("text %1").arg(textId); }
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

// The dash of a hidden control's frame: one pixel in the frame colour, one
// clear, across or down.
class DashPattern : public QQuickImageProvider {
 public:
  explicit DashPattern(QColor colour) : QQuickImageProvider(QQuickImageProvider::Image), colour(colour) {}
  QImage requestImage(const QString& id, QSize* size, const QSize&) override {
    const bool across = id == QLatin1String("across");
    QImage image(across ? QSize(2, 1) : QSize(1, 2), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    image.setPixelColor(0, 0, colour);
    *size = image.size();
    return image;
  }

 private:
  QColor colour;
};

}  // namespace prt::preview
