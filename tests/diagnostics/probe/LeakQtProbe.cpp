// A tracked Qt Widgets program for the leak checker's tests: it starts, shows a window, ends, and on
// request leaves two blocks of its own behind. Everything else Qt allocates once per process must
// be left out of its report.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace probe {

struct Planted {
    virtual ~Planted() = default;
    int value = 1;
};

void *volatile g_keep[2];

__attribute__((noinline)) void plantLeaks()
{
    g_keep[0] = new Planted;
    g_keep[1] = strdup("planted by the probe"); // 21 bytes
}

} // namespace probe

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setCentralWidget(new QLabel(QStringLiteral("Leak probe")));
    window.show();
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    app.exec();
    if (argc > 1 && std::strcmp(argv[1], "planted") == 0) {
        probe::plantLeaks();
    }
    std::printf("done\n");
    return 0;
}
