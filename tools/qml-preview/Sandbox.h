#pragma once
// What a document may reach while it is drawn: no network at all, files
// only below the folders it is drawn from, and a bounded amount of memory.
// The documents come from others (a supplier's qmls, an archive); drawing
// them must not tell anyone when or where they were drawn, nor read the
// user's files into a picture, nor take the machine's memory.
#include <QMutex>
#include <QQmlAbstractUrlInterceptor>
#include <QQmlNetworkAccessManagerFactory>
#include <QStringList>
#include <QUrl>
#include <cstdint>

namespace prt::preview {

// Every URL the engine is asked to load (imports, scripts, images, url
// properties) passes through here. Allowed: a local file below one of the
// roots (the documents' folders, the stand-in module, Qt's own modules),
// Qt's resources and the image providers. Anything else is turned into a
// URL of a scheme nobody serves, which the network managers below refuse.
class UrlGuard : public QQmlAbstractUrlInterceptor {
 public:
  explicit UrlGuard(const QStringList& roots);
  // Adds a root (a private folder made later).
  void Allow(const QString& root);
  QUrl intercept(const QUrl& url, DataType type) override;
  // A file below the roots, or one of Qt's resources.
  bool Readable(const QUrl& url) const;
  // Notes a URL refused; answers one of a scheme nobody serves.
  QUrl Refuse(const QUrl& url);
  // The URLs refused since the last call, for the document's warnings.
  QStringList TakeRefused();

 private:
  QStringList roots;     // clean absolute paths, each ending in '/'
  mutable QMutex mutex;  // the engine loads on threads of its own
  QStringList refused;
};

// Network managers (the engine's, XMLHttpRequest's, WorkerScript's) that
// answer every request at once with an error, bar reading what the guard
// allows: no connection is ever made, no file is written.
class NoNetwork : public QQmlNetworkAccessManagerFactory {
 public:
  explicit NoNetwork(UrlGuard& guard) : guard(guard) {}
  QNetworkAccessManager* create(QObject* parent) override;

 private:
  UrlGuard& guard;
};

// Sets the limit (kWorkerMemoryBytes) on this process, and has it end with kOutOfMemoryStatus
// when an allocation fails: on std::bad_alloc, and on a crash right after a
// failed allocation (errno ENOMEM) or with its memory at the limit, as C
// code that does not check what malloc answers crashes.
void LimitWorkerMemory();

}  // namespace prt::preview
