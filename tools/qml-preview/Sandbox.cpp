#include "tools/qml-preview/Sandbox.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <algorithm>
#include <utility>

namespace prt::preview {

namespace {

const QLatin1String kRefusedScheme("refused");

// Finishes with an error as soon as the caller can listen, having sent
// nothing anywhere.
class RefusedReply final : public QNetworkReply {
 public:
  RefusedReply(QNetworkAccessManager::Operation operation, const QNetworkRequest& request, QObject* parent)
      : QNetworkReply(parent) {
    setRequest(request);
    setUrl(request.url());
    setOperation(operation);
    setError(ContentAccessDenied,
             QStringLiteral("refused: documents get no network and no files outside their folder"));
    QNetworkReply::open(ReadOnly | Unbuffered);
    setFinished(true);
    QMetaObject::invokeMethod(
        this,
        [this] {
          emit errorOccurred(error());
          emit finished();
        },
        Qt::QueuedConnection);
  }
  void abort() override {}

 protected:
  qint64 readData(char*, qint64) override { return -1; }
};

class LocalOnlyManager final : public QNetworkAccessManager {
 public:
  LocalOnlyManager(UrlGuard& guard, QObject* parent) : QNetworkAccessManager(parent), guard(guard) {}

 protected:
  QNetworkReply* createRequest(Operation operation, const QNetworkRequest& request, QIODevice* data) override {
    if (operation == GetOperation && guard.Readable(request.url()))
      return QNetworkAccessManager::createRequest(operation, request, data);
    guard.Refuse(request.url());
    return new RefusedReply(operation, request, this);
  }

 private:
  UrlGuard& guard;
};

}  // namespace

UrlGuard::UrlGuard(const QStringList& folders) {
  for (const QString& folder : folders) {
    QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (!root.endsWith(QLatin1Char('/'))) root += QLatin1Char('/');
    roots << root;
  }
}

bool UrlGuard::Readable(const QUrl& url) const {
  if (url.scheme() == QLatin1String("qrc")) return true;
  if (!url.isLocalFile() || !url.host().isEmpty()) return false;
  const QString path = QDir::cleanPath(url.toLocalFile()) + QLatin1Char('/');
  return std::any_of(roots.begin(), roots.end(), [&](const QString& root) { return path.startsWith(root); });
}

QUrl UrlGuard::intercept(const QUrl& url, DataType) {
  if (url.isEmpty() || url.scheme() == QLatin1String("image") || Readable(url)) return url;
  return Refuse(url);
}

QUrl UrlGuard::Refuse(const QUrl& url) {
  // One the interceptor refused reaches a network manager as this.
  const QString text = url.scheme() == kRefusedScheme ? url.path() : url.toString();
  const QMutexLocker lock(&mutex);
  if (!refused.contains(text)) refused << text;
  QUrl elsewhere;
  elsewhere.setScheme(kRefusedScheme);
  elsewhere.setPath(text);
  return elsewhere;
}

QStringList UrlGuard::TakeRefused() {
  const QMutexLocker lock(&mutex);
  return std::exchange(refused, {});
}

QNetworkAccessManager* NoNetwork::create(QObject* parent) { return new LocalOnlyManager(guard, parent); }

}  // namespace prt::preview
