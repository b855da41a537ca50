#include "generator/QmlCacheGen.h"

#include <QSaveFile>
#include <QString>
#include <private/qqmljscompiler_p.h>

namespace prt {

namespace {

// The compiler's warning sink, shared by both workers; a function-local
// static is created exactly once even under concurrent first calls.
QV4::Compiler::CodegenWarningInterface* WarningInterface() {
  static QV4::Compiler::CodegenWarningInterface instance;
  return &instance;
}

// QSaveFile writes to a temporary file and renames on commit, so a failed
// or half-written cache never replaces an existing one.
bool WriteCache(const QString& outputName, const char* data, quint32 size, QString* errorString) {
  QSaveFile file(outputName);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
      file.write(data, size) == static_cast<qint64>(size) && file.commit()) {
    errorString->clear();
    return true;
  }
  *errorString = file.errorString();
  return false;
}

}  // namespace

void QmlCacheGen::MiniQmlCacheGen(const std::u16string& path) {
  const QString inputName = QString::fromStdU16String(path);
  QString outputName = inputName;
  outputName += QLatin1Char('c');
  if (!inputName.endsWith(QLatin1String(".qml"), Qt::CaseSensitive)) return;

  const QQmlJSSaveFunction save = [outputName](const QV4::CompiledData::SaveableUnitPointer& unit,
                                               const QQmlJSAotFunctionMap&, QString* errorString) {
    return unit.saveToDisk<char>([&outputName, errorString](const char* data, quint32 size) {
      return WriteCache(outputName, data, size, errorString);
    });
  };

  QQmlJSCompileError error;
  if (!qCompileQmlFile(inputName, save, nullptr, &error, false, WarningInterface(), nullptr)) {
    error.augment(QStringLiteral("Error compiling qml file: ")).print();
  }
}

}  // namespace prt
