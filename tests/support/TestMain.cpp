#include <gtest/gtest.h>

#include <QLocale>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    // Nothing a test does may reach the user's own data folder (send journals).
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    // Results must not depend on the machine's locale; tests that need another pin it.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
