#include "convert/QmlCacheGen.h"

#include <QString>
#include <private/qqmljscompiler_p.h>

#include <optional>

#include "platform/ContentHash.h"
#include "platform/Files.h"
#include "platform/Paths.h"

namespace prt {

namespace {

namespace pf = prt::platform;

// The compiler's warning sink, shared by both workers; a function-local
// static is created exactly once even under concurrent first calls.
QV4::Compiler::CodegenWarningInterface* WarningInterface() {
  static QV4::Compiler::CodegenWarningInterface instance;
  return &instance;
}

// The folder of the document `path`, for its cache beside it.
pf::SysResult<pf::FolderHandle> FolderOf(const std::u16string& path) {
  return pf::FolderHandle::Open(pf::SplitFolder(path).folder);
}

std::u16string LeafOf(const std::u16string& path) { return pf::SplitFolder(path).name; }

}  // namespace

Expected<Compiled, pf::SystemError> QmlCacheGen::MiniQmlCacheGen(const std::u16string& path) {
  if (!std::u16string_view(path).ends_with(u".qml")) return Compiled{};
  // The files go through platform/: a path need not be valid UTF-8, and
  // Qt's file classes could not open it.
  const pf::SysResult<std::string> bytes = pf::ReadWholeFile(path);
  if (!bytes) return Fail(bytes.Error());
  const pf::SysResult<pf::FolderHandle> folder = FolderOf(path);
  if (!folder) return Fail(pf::SystemError{pf::Op::Write, path + u'c', folder.Error().code});
  return MiniQmlCacheGen(path, *bytes, CacheFile{*folder, LeafOf(path) + u'c'});
}

Expected<Compiled, pf::SystemError> QmlCacheGen::MiniQmlCacheGen(const std::u16string& path, std::string_view text,
                                                                const CacheFile& cache) {
  // Decoded as the compiler decodes a file it reads itself.
  return Compile(path, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), cache);
}

Expected<Compiled, pf::SystemError> QmlCacheGen::MiniQmlCacheGen(const std::u16string& path,
                                                                std::u16string_view units, const CacheFile& cache) {
  // Reading a file, the compiler drops a leading byte order mark.
  if (units.starts_with(u'\uFEFF')) units.remove_prefix(1);
  return Compile(path,
                 QString::fromRawData(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size())),
                 cache);
}

Expected<Compiled, pf::SystemError> QmlCacheGen::Compile(const std::u16string& path, const QString& contents,
                                                         const CacheFile& cache) {
  // The name goes into the compiled unit, so it is the path as given.
  const QString inputName = QString::fromStdU16String(path);
  if (!inputName.endsWith(QLatin1String(".qml"), Qt::CaseSensitive)) return Compiled{};

  std::optional<pf::SystemError> writeError;
  Compiled compiled;
  const QQmlJSSaveFunction save = [&](const QV4::CompiledData::SaveableUnitPointer& unit,
                                      const QQmlJSAotFunctionMap&, QString*) {
    return unit.saveToDisk<char>([&](const char* data, quint32 size) {
      // Written through the folder held: no path below it is walked again.
      const pf::SysResult<pf::FileInfo> written = cache.folder.Replace(cache.name, {data, size});
      if (!written) {
        writeError = written.Error().On(path + u'c');
        return false;
      }
      compiled.cacheFile = *written;
      compiled.cacheSize = size;
      compiled.cacheHash = pf::ContentHash::Of({data, size});
      return true;
    });
  };

  QQmlJSCompileError error;
  if (!qCompileQmlFile(inputName, save, nullptr, &error, false, WarningInterface(), &contents)) {
    if (writeError) return Fail(*writeError);
    // What the compiler's own print would write, for the program to show.
    return Compiled{true, error.augment(QStringLiteral("Error compiling qml file: ")).message.toLocal8Bit().toStdString()};
  }
  return compiled;
}

}  // namespace prt
