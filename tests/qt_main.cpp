// GoogleTest main for the widget tests: an offscreen QApplication around the run.
#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "guard.h"

int main(int argc, char** argv)
{
#ifndef _WIN32  // under Wine: the windows platform on Wine's display
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Backups and the journal of the tests go to a folder of their own, never the user's.
    // Removed when the run ends: one is made for every test that ctest runs.
    char data[] = "/tmp/zenda-testdata.XXXXXX";
    std::string made;
    if (mkdtemp(data)) {
        made = data;
        setenv("XDG_DATA_HOME", data, 1);
    }
#endif
    int status = 0;
    {
        QApplication app(argc, argv);
        SetAppTitle(QStringLiteral("zenda-init tests"));
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
#ifndef _WIN32
    if (!made.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(made, ignored);
    }
#endif
    return status;
}
