#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QLabel label(QStringLiteral(u"ミレロ V.1.10"));
  label.show();
  return app.exec();
}
