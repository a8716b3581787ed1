// qt-view: the image view in a Qt main window, the ten lines the README shows.
#include <QApplication>
#include <QMainWindow>
#include <corvex/host/qt/corvexqt.h>
#include <corvex/io/CorvexIO.h>
#include <corvex/view/CorvexView.h>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  corvex::qt::Host host;                 // our controls live in Qt windows
  corvex::TCorvexView view(nullptr);     // the zoomable, scrollable image view
  corvex::TCorvexIO io;                  // reads and writes the view's image
  io.SetAttachedCorvex(&view);
  if (argc > 1) io.LoadFromFile(argv[1]);
  QMainWindow window;
  window.setCentralWidget(new corvex::qt::ControlWidget(&view));
  window.resize(800, 600);
  window.show();
  return app.exec();
}
