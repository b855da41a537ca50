#include "tools/qml-preview/Preview.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <algorithm>
#include <map>
#include <memory>
#include <set>

#include "platform/FileSystem.h"
#include "tools/qml-preview/DataSet.h"
#include "tools/qml-preview/Documents.h"
#include "tools/qml-preview/Gallery.h"
#include "tools/qml-preview/Workers.h"

namespace prt::preview {

QString StandInImportFolder(const QString& programFolder) {
  for (const QString& candidate :
       {programFolder + QStringLiteral("/qml"), programFolder + QStringLiteral("/../share/prt2qml/qml")}) {
    if (QFileInfo::exists(candidate + QStringLiteral("/VantorelV5/qmldir")))
      return QDir::cleanPath(QDir(candidate).absolutePath());
  }
  return {};
}

namespace {

QString MakeFolders(const std::u16string& folder, std::initializer_list<const char*> subfolders) {
  std::vector<std::u16string> paths{folder};
  for (const char* sub : subfolders) paths.push_back(Join(folder, QString::fromLatin1(sub)));
  for (const std::u16string& path : paths)
    if (const std::error_code error = platform::MakeFolder(path); error && error != std::errc::file_exists)
      return QStringLiteral("cannot make the folder '%1': %2")
          .arg(Display(path), QString::fromStdString(error.message()));
  return {};
}

QJsonArray Documents(const std::vector<QString>& documents) {
  QJsonArray list;
  for (const QString& document : documents) list.append(PathToWire(document.toStdU16String()));
  return list;
}

// A document the worker could not finish, as a failed screen.
Screen Crashed(const QString& document, const QJsonObject& answer) {
  Screen screen;
  screen.document = document;
  screen.errors << document + QStringLiteral(": ") + answer[QLatin1String("crashed")].toString();
  return screen;
}

}  // namespace

Outcome PreviewFolder(const Options& options) {
  Outcome outcome;
  auto failed = [&](const QString& error) {
    if (outcome.fatal.isEmpty()) outcome.fatal = error;
    return !outcome.fatal.isEmpty();
  };
  const std::u16string& qmls = options.qmlsFolders.front();
  const std::u16string& out = options.outputFolder;
  std::vector<QString> documents;
  if (const std::error_code error = ListDocuments(qmls, documents)) {
    outcome.fatal =
        QStringLiteral("cannot read the folder '%1': %2").arg(Display(qmls), QString::fromStdString(error.message()));
    return outcome;
  }
  QString project = Display(qmls);
  std::map<QString, int> starts;  // each document's language, known with the data set
  if (!options.dataFile.empty()) {
    auto data = DataSet::Open(options.dataFile);
    if (!data) {
      outcome.fatal = data.Error();
      return outcome;
    }
    project = (*data)->ProjectName();
    starts = (*data)->StartLanguages();
  }
  if (failed(MakeFolders(out, {"thumbs", "pages"}))) return outcome;

  // What the last run wrote and this one may write are listed before anything
  // is written, so a run that stops half way leaves nothing unlisted.
  const size_t sheets = (documents.size() + kSheetScreens - 1) / kSheetScreens;
  std::set<QString> listed = ReadWritten(out), written;
  for (const QString& document : documents) {
    const QString base = BaseName(document);
    listed.insert({base + QStringLiteral(".png"), QStringLiteral("thumbs/") + base + QStringLiteral(".png"),
                   QStringLiteral("pages/") + base + QStringLiteral(".html")});
  }
  for (size_t sheet = 0; sheet < sheets; ++sheet) listed.insert(SheetName(sheet));
  listed.insert(QStringLiteral("index.html"));
  if (failed(WriteWritten(out, listed))) return outcome;

  const QJsonObject setup{{"folders", QJsonArray{PathToWire(qmls)}},
                          {"documents", Documents(documents)},
                          {"output", PathToWire(out)},
                          {"data", PathToWire(options.dataFile)},
                          {"project", project}};
  outcome.screens.resize(documents.size());
  std::vector<size_t> undrawn(sheets, kSheetScreens);
  if (sheets > 0) undrawn.back() = documents.size() - (sheets - 1) * kSheetScreens;
  size_t done = 0;
  const int workers = std::max(1, std::min(options.workers, static_cast<int>(documents.size())));
  WorkerPool pool(options.program, workers, setup, [&](const QJsonObject& job, const QJsonObject& answer) {
    for (const QJsonValue& file : answer[QLatin1String("written")].toArray()) written.insert(file.toString());
    if (!job.contains(QLatin1String("draw"))) {
      if (answer.contains(QLatin1String("crashed")))
        failed(QStringLiteral("contact sheet %1: %2")
                   .arg(job[QLatin1String("sheet")].toInt() + 1)
                   .arg(answer[QLatin1String("crashed")].toString()));
      return;
    }
    const size_t index = static_cast<size_t>(job[QLatin1String("draw")].toInt());
    Screen& screen = outcome.screens[index];
    screen = answer.contains(QLatin1String("crashed")) ? Crashed(documents[index], answer) : ScreenFromJson(answer);
    if (options.progress) options.progress(++done, documents.size(), screen);
    // A contact sheet is made as soon as all its documents are drawn.
    const size_t sheet = index / kSheetScreens;
    if (--undrawn[sheet] > 0) return;
    QJsonArray cells;
    for (size_t i = sheet * kSheetScreens; i < std::min(documents.size(), (sheet + 1) * kSheetScreens); ++i) {
      const Screen& s = outcome.screens[i];
      cells.append(QJsonObject{{"drawn", s.errors.isEmpty()}, {"caption", ScreenTitle(s) + '\n' + KindAndFile(s)}});
    }
    pool.Add({{"sheet", static_cast<int>(sheet)}, {"first", static_cast<int>(sheet * kSheetScreens)}, {"cells", cells}},
             true);
  });
  for (size_t i = 0; i < documents.size(); ++i) {
    const auto start = starts.find(documents[i]);
    pool.Add({{"draw", static_cast<int>(i)}, {"language", start == starts.end() ? -1 : start->second}});
  }
  if (failed(pool.Run(outcome.modulesMissing)) ||
      failed(
          WriteFile(Join(out, QStringLiteral("index.html")), GalleryPage(project, outcome.screens, sheets).toUtf8())))
    return outcome;
  written.insert(QStringLiteral("index.html"));
  outcome.removed = RemoveStale(out, listed, written);
  failed(WriteWritten(out, written));
  return outcome;
}

}  // namespace prt::preview
