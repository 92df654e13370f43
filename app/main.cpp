// zenda-init: start the program, its windows, and the message loop.
#include <QApplication>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifdef ZENDA_AUTOMATION
#include "automation.h"
#endif
#include "custdlg.h"
#include "formutil.h"
#include "guard.h"
#include "main.h"
#include "protocol.h"
#include "base/settingsstore.h"
#include "stdstreams.h"
#include "version.h"

using namespace Qt::StringLiterals;


int main(int argc, char** argv)
{
    KeepStandardStreams();
    if (argc > 1 && std::strcmp(argv[1], "--draw-protocol") == 0) {
        if (argc == 4)
            return DrawProtocolFiles(argv[2], argv[3]);
        std::fprintf(stderr, "usage: zenda-init --draw-protocol IN.json OUT.pdf\n");
        return 2;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {  // before any window: works with no display
            std::printf("zenda-init %s\n", ZENDA_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
#ifdef ZENDA_AUTOMATION  // the test build only: the packaged program takes no commands on stdin
    TAutomation* hook = nullptr;
    for (int i = 1; i < argc && !hook; ++i)
        if (std::strcmp(argv[i], "--automation") == 0)
            hook = new TAutomation(&app);
#endif
    QApplication::setApplicationName(QStringLiteral("zenda-init"));
    // Not the display name: the window system would append it to every title bar.
    SetAppTitle(QStringLiteral("Инициализация ЗЕНДА"));
    QApplication::setWindowIcon(AppIcon());
    DefaultDlgFont();  // before the first window
    InstallSettingsPortResolver();

    TForm1 form;
    form.CreateServiceDialogs();
#ifdef ZENDA_AUTOMATION
    if (hook)
        hook->WatchForShow(&form);
#endif
    form.show();
    return app.exec();
}
