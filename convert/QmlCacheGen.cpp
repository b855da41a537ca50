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

FileStatus QmlCacheGen::MiniQmlCacheGen(const std::u16string& path) {
  std::string bytes;
  return MiniQmlCacheGen(path, bytes);
}

FileStatus QmlCacheGen::MiniQmlCacheGen(const std::u16string& path, std::string& bytes) {
  bytes.clear();
  // The name goes into the compiled unit, so it is the path as given.
  const QString inputName = QString::fromStdU16String(path);
  if (!inputName.endsWith(QLatin1String(".qml"), Qt::CaseSensitive)) return {};

  // The files go through platform/: a path need not be valid UTF-8, and
  // Qt's file classes could not open it. The text is decoded as the
  // compiler decodes a file it reads itself.
  if (const std::error_code ec = platform::ReadWholeFile(path, bytes)) return FileStatus::Failed(path, ec, true);
  const QString contents = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));

  const std::u16string cachePath = path + u'c';
  std::error_code writeError;
  const QQmlJSSaveFunction save = [&](const QV4::CompiledData::SaveableUnitPointer& unit,
                                      const QQmlJSAotFunctionMap&, QString*) {
    return unit.saveToDisk<char>([&](const char* data, quint32 size) {
      // A temporary file renamed into place: a second compile of one path
      // replaces its cache whole.
      writeError = platform::ReplaceWholeFile(cachePath, {data, size});
      return !writeError;
    });
  };

  QQmlJSCompileError error;
  if (!qCompileQmlFile(inputName, save, nullptr, &error, false, WarningInterface(), &contents)) {
    if (writeError) return FileStatus::Failed(cachePath, writeError);
    error.augment(QStringLiteral("Error compiling qml file: ")).print();
  }
  return {};
}

}  // namespace prt
