// Test main shared by every test executable: an offscreen QApplication exists before any test runs.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Lock files of the ports that tests open stay in a folder of the run's own, not in /run/lock.
    QTemporaryDir lockFolder;
    if (lockFolder.isValid())
        setenv("COMPORT_LOCKDIR", QFile::encodeName(lockFolder.path()).constData(), 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
