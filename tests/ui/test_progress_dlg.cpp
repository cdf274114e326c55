// The progress window: its percentage arithmetic, Cancel reported once, and the owner's
// enabled state given back exactly as it was.
#include <gtest/gtest.h>

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "ui/ProgressDlg.h"

namespace {

QString PercentText(const CProgressDlg &dlg)
{
    return dlg.findChild<QLabel *>(QStringLiteral("percentText"))->text();
}

TEST(ProgressDlgTest, PercentagesFollowTheRange)
{
    CProgressDlg dlg;
    dlg.Create();
    dlg.SetBarRange(0, 100);
    dlg.SetBarPos(42);
    EXPECT_EQ(PercentText(dlg), QStringLiteral("42%"));
    dlg.SetBarPos(100);
    EXPECT_EQ(PercentText(dlg), QStringLiteral("100%"));
    dlg.SetBarPos(0);
    EXPECT_EQ(PercentText(dlg), QStringLiteral("0%"));

    dlg.SetBarRange(0, 32000);
    dlg.SetBarStep(10666);
    for (int i = 0; i < 3; ++i)
        dlg.StepBar();
    EXPECT_EQ(PercentText(dlg), QStringLiteral("99%"));
    EXPECT_EQ(dlg.findChild<QProgressBar *>()->value(), 31998);
    dlg.SetBarPos(32000);
    EXPECT_EQ(PercentText(dlg), QStringLiteral("100%"));

    EXPECT_EQ(CProgressDlg::Percent(5, 7, 7), 0); // equal ends: no division by zero
    EXPECT_EQ(CProgressDlg::Percent(250, 0, 100), 50); // beyond the end: modulo 100
    dlg.DestroyWindow();
}

TEST(ProgressDlgTest, CancelAndEscAreReportedOnceAndTheWindowStays)
{
    CProgressDlg dlg;
    dlg.Create();
    EXPECT_FALSE(dlg.isVisible()); // a quick operation never shows it
    dlg.m_showDelay = std::chrono::milliseconds(0);
    dlg.CheckCancel();
    EXPECT_TRUE(dlg.isVisible());
    dlg.SetStatusText("Loading items...");
    EXPECT_EQ(dlg.findChild<QLabel *>(QStringLiteral("statusText"))->text(),
        QStringLiteral("Loading items..."));
    EXPECT_FALSE(dlg.CheckCancel());
    QPushButton *pCancel = dlg.findChild<QPushButton *>(QStringLiteral("cancelButton"));
    QTest::mouseClick(pCancel, Qt::LeftButton);
    QTest::mouseClick(pCancel, Qt::LeftButton);
    EXPECT_TRUE(dlg.CheckCancel());
    EXPECT_FALSE(dlg.CheckCancel());
    EXPECT_TRUE(dlg.isVisible());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_TRUE(dlg.CheckCancel());
    EXPECT_TRUE(dlg.isVisible());
    dlg.DestroyWindow();
    EXPECT_FALSE(dlg.isVisible());
}

TEST(ProgressDlgTest, TheOwnerGetsBackTheStateItHad)
{
    QMainWindow owner;
    owner.show();
    {
        CProgressDlg dlg(&owner);
        dlg.Create();
        EXPECT_FALSE(owner.isEnabled());
        EXPECT_TRUE(dlg.isEnabled());
        dlg.DestroyWindow();
        EXPECT_TRUE(owner.isEnabled());
    }
    owner.setEnabled(false); // as while a modal dialog runs
    {
        CProgressDlg dlg(&owner);
        dlg.Create();
        dlg.DestroyWindow();
        EXPECT_FALSE(owner.isEnabled());
    }
    owner.setEnabled(true);
    {
        CProgressDlg dlg(&owner);
        dlg.Create();
    } // destroyed without DestroyWindow: the owner is enabled all the same
    EXPECT_TRUE(owner.isEnabled());
}

} // namespace
