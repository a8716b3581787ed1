// The desktop's file dialog for our open and save dialogs: Qt's own QFileDialog (not the
// platform's native one, which could not take the preview pane), with the request's filters, the
// preview pane beside the list, fed as the current file changes, and the Options button.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "host_pvt.h"

namespace corvex::qt {

namespace {

// A name filter as Qt reads it: the caption without a pattern list of its own, then the
// patterns in parentheses separated by spaces ("*.*" is every file on Linux, not only names with
// a dot: "*").
QString NameFilter(const TFileDialogRequest::TFilterItem& Item) {
  QString caption = QString::fromStdString(Item.Caption).trimmed();
  if (caption.endsWith(')')) {
    const qsizetype open = caption.lastIndexOf('(');
    if (open > 0) caption = caption.left(open).trimmed();
  }
  QStringList patterns;
  for (const std::string& p : Item.Patterns) patterns << (p == "*.*" ? QStringLiteral("*") : QString::fromStdString(p));
  if (patterns.isEmpty()) patterns << QStringLiteral("*");
  return caption + QStringLiteral(" (") + patterns.join(' ') + QStringLiteral(")");
}

class FileDialog final : public QFileDialog {
 public:
  FileDialog(TFileDialogRequest& Request, const QStringList& Filters) : R_(Request), Filters_(Filters) {}
  QString Chosen;

 protected:
  void showEvent(QShowEvent* Event) override {
    QFileDialog::showEvent(Event);
    if (!Shown_) {
      Shown_ = true;
      R_.Shown();
    }
  }

  // A folder is entered as Qt does; a file goes through the request's rules (the save dialog's
  // extension and its question before replacing), which Qt's own checks would duplicate.
  void accept() override {
    const QStringList files = selectedFiles();
    if (files.isEmpty()) {
      QFileDialog::accept();
      return;
    }
    const QFileInfo info(files.first());
    if (info.isDir()) {
      QFileDialog::accept();
      return;
    }
    R_.FilterIndex = std::max<int>(0, int(Filters_.indexOf(selectedNameFilter())));
    std::string path = QDir::cleanPath(info.absoluteFilePath()).toStdString();
    if (!R_.Accept(path)) return;
    Chosen = QString::fromStdString(path);
    QDialog::accept();
  }

 private:
  TFileDialogRequest& R_;
  QStringList Filters_;
  bool Shown_ = false;
};

}  // namespace

bool Host::RunFileDialog(TFileDialogRequest& Request) {
  QStringList filters;
  for (const TFileDialogRequest::TFilterItem& f : Request.Filters) filters << NameFilter(f);
  FileDialog dialog(Request, filters);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);  // the request asks
  const bool saving = Request.Mode == TFileDialogRequest::fdSave;
  dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(saving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setWindowTitle(QString::fromStdString(Request.Title));
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    dialog.selectNameFilter(filters.value(std::clamp<int>(Request.FilterIndex, 0, int(filters.size()) - 1)));
  }
  if (!Request.Directory.empty()) dialog.setDirectory(QString::fromStdString(Request.Directory));
  if (!Request.FileName.empty()) dialog.selectFile(QString::fromStdString(Request.FileName));

  // The preview pane (and the Options button) in a column right of Qt's own layout.
  if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
      grid != nullptr && (Request.PreviewPane != nullptr || !Request.OptionsCaption.empty())) {
    auto* column = new QWidget(&dialog);
    auto* box = new QVBoxLayout(column);
    box->setContentsMargins(0, 0, 0, 0);
    if (Request.PreviewPane != nullptr) {
      auto* pane = new ControlWidget(Request.PreviewPane, column);
      pane->setMinimumSize(200, 200);
      box->addWidget(pane, 1);
    }
    if (!Request.OptionsCaption.empty()) {
      QString caption = QString::fromStdString(Request.OptionsCaption);
      auto* options = new QPushButton(caption, column);
      options->setObjectName(QStringLiteral("corvexOptions"));
      box->addWidget(options);
      QObject::connect(options, &QPushButton::clicked, &dialog, [&Request] { Request.OptionsClicked(); });
    }
    grid->addWidget(column, 0, grid->columnCount(), grid->rowCount(), 1);
  }
  QObject::connect(&dialog, &QFileDialog::currentChanged, &dialog, [&Request](const QString& Path) {
    Request.CurrentChanged(QFileInfo(Path).isFile() ? Path.toStdString() : std::string());
  });
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&Request, filters](const QString& Filter) {
    Request.FilterChanged(std::max<int>(0, int(filters.indexOf(Filter))));
  });

  const bool accepted = dialog.exec() == QDialog::Accepted && !dialog.Chosen.isEmpty();
  Request.FileName = accepted ? dialog.Chosen.toStdString() : std::string();
  if (!filters.isEmpty()) Request.FilterIndex = std::max<int>(0, int(filters.indexOf(dialog.selectedNameFilter())));
  Request.Closed(accepted);
  return true;
}

}  // namespace corvex::qt
