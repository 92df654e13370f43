// zenda-init: start the program, its windows, and the message loop.
#include <QApplication>

#include "custdlg.h"
#include "main.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zenda-init"));
    QApplication::setApplicationDisplayName(QStringLiteral("Инициализация ЗЕНДА"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zenda-init.png")));
    DefaultDlgFont();  // before the first window
    InstallSettingsPortResolver();

    TForm1 form;
    form.CreateServiceDialogs();
    form.show();
    return app.exec();
}
