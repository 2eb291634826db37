#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel window("Loftwick");
    window.setWindowTitle("Loftwick");
    window.show();
    return app.exec();
}
