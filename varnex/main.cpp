#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The main window arrives with the store; until then the program only
    // brings up the application object.
    return 0;
}
