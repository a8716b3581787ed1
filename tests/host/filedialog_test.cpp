// The open and save dialogs through the Qt host: Qt's file dialog with our preview pane beside
// its list, driven from a timer while it runs modally.
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QListView>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "corvex/dialogs/FileDialogs.h"
#include "corvex/dialogs/PreviewPane.h"
#include "corvex/platform/graphics/bitmap.h"
#include "host_testing.h"

namespace corvex::qt::testing {
namespace {

namespace fs = std::filesystem;

class QtFileDialogTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    char tmpl[] = "/tmp/corvex-qtdialog-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    Dir = tmpl;
    TBitmap b(32, 16, pf24bit);
    TCorvexIO io(nullptr);
    io.SetAttachedBitmap(&b);
    io.SaveToFile(Dir + "/photo.png");
    ASSERT_FALSE(io.GetAborting());
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(Dir, ec);
    HostTest::TearDown();
  }

  // Runs Dialog; once Qt's dialog is up, Drive gets it (and ends it).
  bool Run(TCXCommonDialog& Dialog, const std::function<void(QFileDialog*)>& Drive) {
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      QFileDialog* d = nullptr;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<QFileDialog*>(w); f != nullptr && f->isVisible()) d = f;
      if (d == nullptr) {
        EXPECT_LT(++tries, 200) << "Qt's file dialog did not show";
        return;
      }
      poll.stop();
      Drive(d);
    });
    poll.start(10);
    return Dialog.Execute();
  }

  std::string Dir;
};

TEST_F(QtFileDialogTest, OpenPreviewsTheCurrentFileAndReturnsTheAcceptedOne) {
  TOpenCorvexDialog dlg(nullptr);
  dlg.SetInitialDir(Dir);
  int shown = 0;
  struct Counter {
    int* n;
    void Hit(TObject*) { ++*n; }
  } counter{&shown};
  dlg.OnShow = TNotifyEvent(&counter, &Counter::Hit);
  std::string previewed, line;
  bool native = true, paneInDialog = false;
  const bool ok = Run(dlg, [&](QFileDialog* d) {
    native = !d->testOption(QFileDialog::DontUseNativeDialog);
    EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(d->nameFilters().front().left(12), "All images (");
    EXPECT_EQ(d->nameFilters().back(), "All files (*)");
    for (auto* cw : d->findChildren<ControlWidget*>()) paneInDialog |= cw->control() == dlg.GetPreviewPane();
    // The cursor comes to the file in Qt's list once the folder is read.
    auto* view = d->findChild<QListView*>("listView");
    auto* model = view != nullptr ? qobject_cast<QFileSystemModel*>(view->model()) : nullptr;
    EXPECT_NE(model, nullptr);
    const QString path = QString::fromStdString(Dir + "/photo.png");
    if (model != nullptr && WaitFor([&] { return model->index(path).isValid(); }))
      view->setCurrentIndex(model->index(path));
    WaitFor([&] { return dlg.GetPreviewPane()->GetFileName() == Dir + "/photo.png"; });
    previewed = dlg.GetPreviewPane()->GetFileName();
    line = dlg.GetPreviewPane()->GetInfoLine();
    d->selectFile(path);
    static_cast<QDialog*>(d)->accept();  // as the Open / Save button does
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(dlg.GetFileName(), Dir + "/photo.png");
  EXPECT_FALSE(native);
  EXPECT_TRUE(paneInDialog);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(previewed, Dir + "/photo.png");
  EXPECT_EQ(line.substr(0, 18), "32 x 16, 24 bits, ");
  EXPECT_EQ(dlg.GetForm(), nullptr);  // the host's dialog ran, not ours

  // Rejected: no file.
  EXPECT_FALSE(Run(dlg, [](QFileDialog* d) { d->reject(); }));
}

TEST_F(QtFileDialogTest, SaveAddsTheFilterExtensionAndOffersOptions) {
  TBitmap image(8, 8, pf24bit);
  TCorvexIO io(nullptr);
  io.SetAttachedBitmap(&image);
  TSaveCorvexDialog dlg(nullptr);
  dlg.SetAttachedCorvexIO(&io);
  dlg.SetInitialDir(Dir);
  dlg.SetFilterIndex(4);  // JPEG
  bool options = false;
  QString filter;
  const bool ok = Run(dlg, [&](QFileDialog* d) {
    EXPECT_EQ(d->acceptMode(), QFileDialog::AcceptSave);
    options = d->findChild<QPushButton*>("corvexOptions") != nullptr;
    filter = d->selectedNameFilter();
    d->selectFile("holiday");
    static_cast<QDialog*>(d)->accept();  // as the Open / Save button does
  });
  EXPECT_TRUE(ok);
  EXPECT_TRUE(options);
  EXPECT_EQ(filter, "JPEG Bitmap (*.jpg *.jpeg)");
  EXPECT_EQ(dlg.GetFileName(), Dir + "/holiday.jpg");
  EXPECT_EQ(dlg.GetFilterIndex(), 4);
}

}  // namespace
}  // namespace corvex::qt::testing
