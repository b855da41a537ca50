#include "tools/qml-preview/Preview.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <algorithm>
#include <map>
#include <set>

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

// Why the data set is not the one the documents were made from: the first
// document whose screen (type and reference, then name) it does not hold.
// Documents named otherwise claim no screen.
QString OtherProject(DataSet& data, const std::map<QString, int>& starts, const platform::FolderHandle& folder,
                     const std::vector<QString>& documents, const std::u16string& dataFile) {
  const QString head = QStringLiteral("the data set '%1' is not the one '%2' was made from: ")
                           .arg(Display(dataFile), Display(folder.Path()));
  for (const QString& document : documents) {
    QString code;
    qint64 reference = 0;
    if (!ScreenOfName(document, code, reference)) continue;
    const auto start = starts.find(document);
    if (start == starts.end())
      return head + QStringLiteral("it holds no %1 (%2)")
                        .arg(KindName(code) + (reference > 0 ? QLatin1Char(' ') + QString::number(reference) : QString()),
                             document);
    const QString here = RootName(ReadDocument(folder, document).text);
    const QString there = reference > 0 ? data.ObjectText(static_cast<uint32_t>(reference), start->second) : QString();
    if (!here.isEmpty() && !there.isEmpty() && here != there)
      return head + QStringLiteral("%1 is “%2” there, “%3” here").arg(document, there, here);
  }
  return {};
}

}  // namespace

Outcome PreviewFolder(const Options& options) {
  Outcome outcome;
  const std::u16string& qmls = options.folders.front();
  platform::FolderHandle folder;
  std::vector<QString> documents;
  if (outcome.Failed(OpenDocuments(qmls, folder)) || outcome.Failed(ListDocuments(folder, documents))) return outcome;
  bool nested = false;
  if (documents.empty() && outcome.Failed(NoDocuments(qmls, nested))) return outcome;
  QString project = Display(qmls);
  std::map<QString, int> starts;  // each document's language, known with the data set
  if (!options.dataFile.empty()) {
    auto data = DataSet::Open(options.dataFile);
    if (!data) {
      outcome.fatal = data.Error();
      return outcome;
    }
    project = data->ProjectName();
    starts = data->StartLanguages();
    if (outcome.Failed(OtherProject(*data, starts, folder, documents, options.dataFile))) return outcome;
  }
  OutputFolder out;
  if (outcome.Failed(out.Open(options.output, options.outputNamed, {"thumbs", "pages"}))) return outcome;

  OutputFiles files(out);
  const size_t sheets = (documents.size() + kSheetScreens - 1) / kSheetScreens;
  std::set<QString> planned;
  for (const QString& document : documents) {
    const QString base = BaseName(document);
    planned.insert({base + QStringLiteral(".png"), QStringLiteral("thumbs/") + base + QStringLiteral(".png"),
                    QStringLiteral("pages/") + base + QStringLiteral(".html")});
  }
  for (size_t sheet = 0; sheet < sheets; ++sheet) planned.insert(SheetName(sheet));
  if (outcome.Failed(files.List(std::move(planned)))) return outcome;

  outcome.screens.resize(documents.size());
  std::vector<size_t> drawn(sheets);
  size_t done = 0;
  WorkerPool pool(options, documents, project, [&](const QJsonObject& job, const QJsonObject& answer) {
    files.Note(answer);
    if (!job.contains(QLatin1String("draw"))) {
      if (answer.contains(QLatin1String("crashed")))
        outcome.Failed(QStringLiteral("contact sheet %1: %2")
                           .arg(QString::number(job[QLatin1String("sheet")].toInt() + 1),
                                answer[QLatin1String("crashed")].toString()));
      return;
    }
    const size_t index = static_cast<size_t>(job[QLatin1String("draw")].toInt());
    Screen& screen = outcome.screens[index];
    if (const QString crashed = answer[QLatin1String("crashed")].toString(); crashed.isEmpty()) {
      screen = ScreenFromJson(answer);
    } else {  // a document the worker could not finish
      screen.document = documents[index];
      screen.errors << documents[index] + QStringLiteral(": ") + crashed;
    }
    if (options.progress) options.progress(++done, documents.size(), screen);
    // A contact sheet is made as soon as all its documents are drawn.
    const size_t sheet = index / kSheetScreens, first = sheet * kSheetScreens;
    const size_t end = std::min(documents.size(), first + kSheetScreens);
    if (++drawn[sheet] < end - first) return;
    QJsonArray cells;
    for (size_t i = first; i < end; ++i) {
      const Screen& s = outcome.screens[i];
      cells.append(QJsonObject{{"drawn", s.errors.isEmpty()}, {"caption", ScreenTitle(s) + '\n' + KindAndFile(s)}});
    }
    pool.Add({{"sheet", static_cast<int>(sheet)}, {"first", static_cast<int>(first)}, {"cells", cells}}, true);
  });
  for (size_t i = 0; i < documents.size(); ++i) {
    const auto start = starts.find(documents[i]);
    pool.Add({{"draw", static_cast<int>(i)}, {"language", start == starts.end() ? -1 : start->second}});
  }
  if (!outcome.Failed(pool.Run(outcome.modulesMissing)))
    outcome.Failed(files.Finish(GalleryPage(project, outcome.screens, sheets), outcome.removed));
  return outcome;
}

}  // namespace prt::preview
