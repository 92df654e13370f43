// zenda-init: start the program, its windows, and the message loop.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "automation.h"
#include "custdlg.h"
#include "formutil.h"
#include "guard.h"
#include "main.h"
#include "settingsstore.h"
#include "stdstreams.h"
#include "version.h"

int main(int argc, char** argv)
{
    KeepStandardStreams();
    bool automation = false;
    for (int i = 1; i < argc; ++i) {
        automation |= std::strcmp(argv[i], "--automation") == 0;
        if (std::strcmp(argv[i], "--version") == 0) {  // before any window: works with no display
            std::printf("zenda-init %s\n", ZENDA_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    TAutomation* hook = automation ? new TAutomation(&app) : nullptr;
    QApplication::setApplicationName(QStringLiteral("zenda-init"));
    // Not the display name: the window system would append it to every title bar.
    SetAppTitle(QStringLiteral("Инициализация ЗЕНДА"));
    QApplication::setWindowIcon(AppIcon());
    DefaultDlgFont();  // before the first window
    InstallSettingsPortResolver();

    TForm1 form;
    form.CreateServiceDialogs();
    if (hook)
        hook->WatchForShow(&form);
    form.show();
    return app.exec();
}
