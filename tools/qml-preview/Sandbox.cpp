#include "tools/qml-preview/Sandbox.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <new>
#include <utility>

#include "tools/qml-preview/Workers.h"

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

// Whether this process's writable memory (/proc/self/statm's data field,
// in pages) is within an eighth of the limit. Only calls that are safe in
// a signal handler.
bool NearMemoryLimit() {
  const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[256];
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (n <= 0) return false;
  int field = 0;
  uint64_t pages = 0;
  for (ssize_t i = 0; i < n && field <= 5; ++i) {
    if (text[i] == ' ')
      ++field;
    else if (field == 5)
      pages = pages * 10 + static_cast<uint64_t>(text[i] - '0');
  }
  const uint64_t bytes = pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  return bytes > kWorkerMemoryBytes - kWorkerMemoryBytes / 8;
}

void OnCrash(int signal) {
  if (errno == ENOMEM || NearMemoryLimit()) ::_exit(kOutOfMemoryStatus);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

UrlGuard::UrlGuard(const QStringList& folders) {
  for (const QString& folder : folders) Allow(folder);
}

void UrlGuard::Allow(const QString& folder) {
  QString root = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
  if (!root.endsWith(QLatin1Char('/'))) root += QLatin1Char('/');
  const QMutexLocker lock(&mutex);
  roots << root;
}

bool UrlGuard::Readable(const QUrl& url) const {
  if (url.scheme() == QLatin1String("qrc")) return true;
  if (!url.isLocalFile() || !url.host().isEmpty()) return false;
  const QString path = QDir::cleanPath(url.toLocalFile()) + QLatin1Char('/');
  const QMutexLocker lock(&mutex);
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

void LimitWorkerMemory() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_DATA, &limit) == 0 && limit.rlim_cur > kWorkerMemoryBytes) {
    limit.rlim_cur = kWorkerMemoryBytes;
    ::setrlimit(RLIMIT_DATA, &limit);
  }
  std::set_new_handler([] { std::_Exit(kOutOfMemoryStatus); });
  // Qt's containers throw std::bad_alloc themselves.
  std::set_terminate([] {
    try {
      if (const std::exception_ptr thrown = std::current_exception()) std::rethrow_exception(thrown);
    } catch (const std::bad_alloc&) {
      std::_Exit(kOutOfMemoryStatus);
    } catch (...) {
    }
    std::abort();
  });
  for (const int signal : {SIGSEGV, SIGBUS, SIGABRT}) ::signal(signal, OnCrash);
}

}  // namespace prt::preview
