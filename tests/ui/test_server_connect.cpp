// The wizard's way to a list in a database server: the connection dialog with Test Connection,
// and the wizard's pages on a real PostgreSQL server of the test's own.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>

#include "document/MergixDoc.h"
#include "sources/sql/ServerSource.h"
#include "support/DatabaseTestServer.h"
#include "support/RecordingPrompter.h"
#include "support/WidgetHelpers.h"
#include "ui/NewWizardSheetDlg.h"
#include "ui/ServerConnectDlg.h"

namespace {

using Texts = std::vector<std::string>;

// The status after Test Connection, which ends when the connection has been tried.
std::string Tested(CServerConnectDlg &dlg)
{
    Child<QPushButton>(dlg, "testButton")->click();
    return Child<QLabel>(dlg, "connectionStatus")->text().toStdString();
}

TEST(ServerConnectTest, TheDialogMakesTheAddressAndTriesTheConnection)
{
    CDatabaseTestServer server;
    ASSERT_FALSE(server.Address().empty());
    CRecordingPrompter prompter;
    CServerConnectDlg dlg;
    dlg.show();
    std::string strError;
    EXPECT_FALSE(dlg.Address(strError));
    EXPECT_EQ(strError, "Please enter the host name of the database server.");
    dlg.accept();
    EXPECT_EQ(prompter.TakeTexts(), Texts {"Please enter the host name of the database server."});
    EXPECT_TRUE(dlg.isVisible());

    Child<QLineEdit>(dlg, "hostEdit")->setText(QStringLiteral("127.0.0.1"));
    Child<QSpinBox>(dlg, "portSpin")->setValue(server.Port());
    Child<QLineEdit>(dlg, "databaseEdit")->setText(QStringLiteral("club"));
    Child<QLineEdit>(dlg, "userEdit")->setText(QStringLiteral("mergix"));
    Child<QComboBox>(dlg, "encryptionCombo")->setCurrentIndex(3); // off: the test server has none
    const auto address = dlg.Address(strError);
    ASSERT_TRUE(address) << strError;
    EXPECT_EQ(ServerAddressText(*address), server.Address() + "?sslmode=disable");

    Child<QLineEdit>(dlg, "passwordEdit")->setText(QStringLiteral("wrong"));
    EXPECT_NE(Tested(dlg).find("refused the login of user \"mergix\""), std::string::npos);
    Child<QLineEdit>(dlg, "passwordEdit")
        ->setText(QString::fromLatin1(CDatabaseTestServer::kPassword));
    EXPECT_EQ(Tested(dlg), "Connected: 6 tables and views.");
    dlg.accept();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.Password(), CDatabaseTestServer::kPassword);

    // An ODBC source has a data source instead of host, port, database and user.
    Child<QComboBox>(dlg, "kindCombo")->setCurrentIndex(2);
    dlg.show();
    EXPECT_FALSE(Child<QLineEdit>(dlg, "hostEdit")->isVisible());
    EXPECT_TRUE(Child<QLineEdit>(dlg, "odbcEdit")->isVisible());
    EXPECT_FALSE(Child<QComboBox>(dlg, "encryptionCombo")->isVisible());
    EXPECT_FALSE(dlg.Address(strError));
    EXPECT_NE(strError.find("names no ODBC data source"), std::string::npos) << strError;
}

TEST(ServerConnectTest, TheWizardListsTheServersTablesAndFields)
{
    CDatabaseTestServer server;
    ASSERT_FALSE(server.Address().empty());
    int nAsked = 0;
    SetServerPasswordSource([&nAsked](const SServerAddress &) {
        ++nAsked;
        return std::optional<std::string>(CDatabaseTestServer::kPassword);
    });
    CRecordingPrompter prompter;
    CMergixDoc doc;
    CNewWizardSheetDlg wizard(doc);
    wizard.show();
    wizard.restart();
    wizard.FileEdit()->setText(QStringLiteral("postgresql://mergix@127.0.0.1/"));
    wizard.next();
    ASSERT_EQ(prompter.Entries().size(), 1u);
    EXPECT_NE(prompter.TakeTexts()[0].find("needs a user and a database"), std::string::npos);
    EXPECT_EQ(wizard.currentId(), CNewWizardSheetDlg::FilePage);

    wizard.FileEdit()->setText(QString::fromStdString(server.Address()));
    wizard.next();
    EXPECT_TRUE(prompter.Entries().empty());
    ASSERT_EQ(wizard.currentId(), CNewWizardSheetDlg::TablePage);
    EXPECT_EQ(Items(wizard.TableList()),
        (QStringList {QStringLiteral("Contacts"), QStringLiteral("ManyContacts"),
            QStringLiteral("adults"), QStringLiteral("many"), QStringLiteral("members"),
            QStringLiteral("crm.Contacts \"2026\"")}));
    wizard.TableList()->setCurrentRow(0);
    wizard.next();
    ASSERT_EQ(wizard.currentId(), CNewWizardSheetDlg::MessagePage);
    EXPECT_EQ(Items(wizard.ToCombo()).front(), QStringLiteral("Email"));
    EXPECT_EQ(nAsked, 1);
    SetServerPasswordSource({});
}

} // namespace
