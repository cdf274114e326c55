// Where SMTP passwords are kept: in memory only when no keyring runs, and in a real keyring
// (gnome-keyring, started by keyring_test.sh) across runs of the program.
#include <gtest/gtest.h>

#include <cstdlib>

#include <QByteArray>
#include <QtGlobal>

#include "app/PasswordKeeper.h"

namespace {

TEST(PasswordKeeperTest, WithoutAKeyringAPasswordLastsOnlyForTheRun)
{
    const QByteArray previous = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    {
        CPasswordKeeper keeper;
        EXPECT_EQ(keeper.Read("ann@mail.example.com:587"), std::nullopt);
        EXPECT_EQ(
            keeper.Store("ann@mail.example.com:587", "s3cret"), CPasswordKeeper::EPlace::Memory);
        EXPECT_FALSE(keeper.HasKeyring());
        EXPECT_EQ(keeper.Read("ann@mail.example.com:587"), "s3cret");
        keeper.ForgetInMemory("ann@mail.example.com:587");
        EXPECT_EQ(keeper.Read("ann@mail.example.com:587"), std::nullopt);
    }
    EXPECT_EQ(CPasswordKeeper().Read("ann@mail.example.com:587"), std::nullopt);
    qputenv("DBUS_SESSION_BUS_ADDRESS", previous);
}

TEST(PasswordKeeperTest, AKeyringKeepsThePasswordForTheNextRun)
{
    if (!std::getenv("MERGIX_TEST_KEYRING"))
        GTEST_SKIP() << "runs inside the keyring of tests/app/keyring_test.sh";
    const std::string strKey = "ann@mail.example.com:587";
    EXPECT_EQ(CPasswordKeeper().Read(strKey), std::nullopt);
    EXPECT_EQ(CPasswordKeeper().Store(strKey, "first pass"), CPasswordKeeper::EPlace::Keyring);
    // A keeper of its own, as the next run of the program has: only the keyring can answer.
    EXPECT_EQ(CPasswordKeeper().Read(strKey), "first pass");
    EXPECT_EQ(CPasswordKeeper().Store(strKey, "sécond pass"), CPasswordKeeper::EPlace::Keyring);
    CPasswordKeeper next;
    EXPECT_EQ(next.Read(strKey), "sécond pass");
    EXPECT_EQ(next.Read("bob@mail.example.com:587"), std::nullopt);
    EXPECT_TRUE(next.HasKeyring());
}

} // namespace
