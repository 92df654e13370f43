// zenda-station: the production station in a window, in Russian, for the line's operators.
#include <QApplication>
#include <QTranslator>

#include <cstdio>
#include <cstring>

#ifdef ZENDA_AUTOMATION
#include "automation.h"
#endif
#include "custdlg.h"
#include "formutil.h"
#include "guard.h"
#include "base/settingsstore.h"
#include "stdstreams.h"
#include "version.h"
#include "window.h"

// zenda's Russian, compiled in: the station engine's own texts are zenda's.
extern const unsigned char kZendaRu[];
extern const int kZendaRuSize;

int main(int argc, char** argv)
{
    KeepStandardStreams();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zenda-station %s\n", ZENDA_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf(
                "usage: zenda-station\n"
                "The production station in a window: set up a batch (the plan, the fixtures, what every\n"
                "device gets, protocols and labels), then number the devices on the fixtures.\n"
                "Its data folder, journal, ledger and team's book are zenda station's; one station\n"
                "runs on a folder at a time. See zenda-station(1).\n");
            return 0;
        }
    }
    QApplication app(argc, argv);
#ifdef ZENDA_AUTOMATION  // the test build only
    TAutomation* hook = nullptr;
    for (int i = 1; i < argc && !hook; ++i)
        if (std::strcmp(argv[i], "--automation") == 0)
            hook = new TAutomation(&app);
#endif
    QApplication::setApplicationName(QStringLiteral("zenda-station"));
    SetAppTitle(QStringLiteral("Станция нумерации ЗЕНДА"));
    QApplication::setWindowIcon(AppIcon());
    QTranslator russian;
    if (russian.load(kZendaRu, kZendaRuSize))
        QCoreApplication::installTranslator(&russian);
    DefaultDlgFont();
    InstallSettingsPortResolver();
    TStationWindow window;
#ifdef ZENDA_AUTOMATION
    if (hook)
        hook->WatchForShow(&window);
#endif
    window.show();
    return app.exec();
}
