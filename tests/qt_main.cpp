// GoogleTest main for the widget tests: an offscreen QApplication around the run.
#include <QApplication>

#include <cstdlib>

#include <gtest/gtest.h>

#include "guard.h"

int main(int argc, char** argv)
{
#ifndef _WIN32  // under Wine: the windows platform on Wine's display
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Backups and the journal of the tests go to a folder of their own, never the user's.
    char data[] = "/tmp/zenda-testdata.XXXXXX";
    if (mkdtemp(data))
        setenv("XDG_DATA_HOME", data, 1);
#endif
    QApplication app(argc, argv);
    SetAppTitle(QStringLiteral("zenda-init tests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
