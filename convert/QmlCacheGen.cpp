#include "convert/QmlCacheGen.h"

#include <QString>
#include <private/qqmljscompiler_p.h>

#include "platform/FileSystem.h"

namespace prt {

namespace {

// The compiler's warning sink, shared by both workers; a function-local
// static is created exactly once even under concurrent first calls.
QV4::Compiler::CodegenWarningInterface* WarningInterface() {
  static QV4::Compiler::CodegenWarningInterface instance;
  return &instance;
}

}  // namespace

Error FileError(Error::Step step, std::u16string path, std::error_code code) {
  Error error;
  error.step = step;
  error.path = std::move(path);
  error.code = code;
  return error;
}

Result<Compiled> QmlCacheGen::MiniQmlCacheGen(const std::u16string& path) {
  if (!std::u16string_view(path).ends_with(u".qml")) return Compiled{};
  // The files go through platform/: a path need not be valid UTF-8, and
  // Qt's file classes could not open it.
  std::string bytes;
  if (const std::error_code ec = platform::ReadWholeFile(path, bytes)) return Fail(FileError(Error::Step::Read, path, ec));
  return MiniQmlCacheGen(path, bytes);
}

Result<Compiled> QmlCacheGen::MiniQmlCacheGen(const std::u16string& path, std::string_view text) {
  // Decoded as the compiler decodes a file it reads itself.
  return Compile(path, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

Result<Compiled> QmlCacheGen::MiniQmlCacheGen(const std::u16string& path, std::u16string_view units) {
  // Reading a file, the compiler drops a leading byte order mark.
  if (units.starts_with(u'\uFEFF')) units.remove_prefix(1);
  return Compile(path, QString::fromRawData(reinterpret_cast<const QChar*>(units.data()),
                                            static_cast<qsizetype>(units.size())));
}

Result<Compiled> QmlCacheGen::Compile(const std::u16string& path, const QString& contents) {
  // The name goes into the compiled unit, so it is the path as given.
  const QString inputName = QString::fromStdU16String(path);
  if (!inputName.endsWith(QLatin1String(".qml"), Qt::CaseSensitive)) return Compiled{};

  const std::u16string cachePath = path + u'c';
  std::error_code writeError;
  Compiled compiled;
  const QQmlJSSaveFunction save = [&](const QV4::CompiledData::SaveableUnitPointer& unit,
                                      const QQmlJSAotFunctionMap&, QString*) {
    return unit.saveToDisk<char>([&](const char* data, quint32 size) {
      // A temporary file renamed into place: a second compile of one path
      // replaces its cache whole.
      writeError = platform::ReplaceWholeFile(cachePath, {data, size}, &compiled.cacheFile);
      compiled.cacheSize = size;
      compiled.cacheHash = platform::ContentHash::Of({data, size});
      return !writeError;
    });
  };

  QQmlJSCompileError error;
  if (!qCompileQmlFile(inputName, save, nullptr, &error, false, WarningInterface(), &contents)) {
    if (writeError) return Fail(FileError(Error::Step::Write, cachePath, writeError));
    // What the compiler's own print would write, for the program to show.
    return Compiled{true, error.augment(QStringLiteral("Error compiling qml file: ")).message.toLocal8Bit().toStdString()};
  }
  return compiled;
}

}  // namespace prt
