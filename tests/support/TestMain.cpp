#include <gtest/gtest.h>

#include <QLocale>

int main(int argc, char **argv)
{
    // Results must not depend on the machine's locale; tests that need another pin it.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
