#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include "app/Settings.h"

namespace {

class SettingsTest : public testing::Test
{
protected:
    QTemporaryDir m_folder;
    QSettings m_store {m_folder.filePath(QStringLiteral("Mergix.conf")), QSettings::IniFormat};
    CSettings m_settings {m_store};
};

TEST_F(SettingsTest, ServerAndReminderValues)
{
    EXPECT_EQ(m_settings.SmtpServerName(), "");
    EXPECT_EQ(m_settings.DontRemind(), 0);
    m_settings.SetSmtpServerName("mail.example.com:2525");
    m_settings.SetDontRemind(1);
    EXPECT_EQ(m_settings.SmtpServerName(), "mail.example.com:2525");
    EXPECT_EQ(m_store.value(QStringLiteral("SMTPServerName")).toString(),
        QStringLiteral("mail.example.com:2525"));
    EXPECT_EQ(m_settings.DontRemind(), 1);
}

TEST_F(SettingsTest, RuleSetsRoundTripSortedAndOverwritten)
{
    CRuleSet rules;
    rules.CaseSensitive = 1;
    rules.FirstField = "City", rules.FirstCondition = "Equals", rules.FirstText = "Zürich";
    rules.SecondEnable = 0, rules.SecondField = "Age", rules.SecondCondition = "Less than";
    rules.SecondText = "18", rules.SecondBoolean = -1;
    rules.ThirdEnable = 1, rules.ThirdField = "Active", rules.ThirdCondition = "Is blank";
    rules.ThirdText = "", rules.ThirdBoolean = CRuleSet::kAndNot;
    EXPECT_EQ(m_settings.SaveRuleSet("zeta", rules), "");
    EXPECT_EQ(m_settings.SaveRuleSet("Alpha set", CRuleSet {}), "");
    EXPECT_EQ(m_settings.SavedRuleSets(), (std::vector<std::string> {"Alpha set", "zeta"}));

    const CRuleSet back = m_settings.LoadRuleSet("zeta");
    EXPECT_EQ(back.CaseSensitive, 1);
    EXPECT_EQ(back.FirstText, "Zürich");
    EXPECT_EQ(back.SecondEnable, 0);
    EXPECT_EQ(back.SecondField, "Age"); // rows that are off keep what they held
    EXPECT_EQ(back.SecondBoolean, -1);
    EXPECT_EQ(back.ThirdEnable, 1);
    EXPECT_EQ(back.ThirdCondition, "Is blank");
    EXPECT_EQ(back.ThirdBoolean, CRuleSet::kAndNot);
    m_store.beginGroup(QStringLiteral("Saved Searches/zeta"));
    EXPECT_EQ(m_store.childKeys().size(), 14);
    m_store.endGroup();

    rules.FirstText = "Bern";
    EXPECT_EQ(m_settings.SaveRuleSet("zeta", rules), "");
    EXPECT_EQ(m_settings.LoadRuleSet("zeta").FirstText, "Bern");

    m_settings.DeleteRuleSet("zeta");
    EXPECT_EQ(m_settings.SavedRuleSets(), (std::vector<std::string> {"Alpha set"}));
    EXPECT_FALSE(m_settings.HasRuleSet("zeta"));
    m_settings.DeleteRuleSet("never saved");
    EXPECT_EQ(m_settings.SavedRuleSets().size(), 1u);
}

TEST_F(SettingsTest, MissingValuesReadAsZeroOrEmpty)
{
    m_store.setValue(QStringLiteral("Saved Searches/partial/FirstField"), QStringLiteral("City"));
    const CRuleSet rules = m_settings.LoadRuleSet("partial");
    EXPECT_EQ(rules.FirstField, "City");
    EXPECT_EQ(rules.FirstCondition, "");
    EXPECT_EQ(rules.SecondBoolean, 0);
    EXPECT_EQ(rules.ThirdEnable, 0);
}

TEST_F(SettingsTest, NamesTheStoreCannotTakeAreRefused)
{
    for (const std::string &strName :
        {std::string(), std::string("a/b"), std::string("a\\b"), std::string(256, 'n')}) {
        EXPECT_NE(m_settings.SaveRuleSet(strName, CRuleSet {}), "") << strName;
    }
    EXPECT_EQ(
        m_settings.SaveRuleSet("", CRuleSet {}), "Please choose a name for the saved settings");
    EXPECT_TRUE(m_settings.SavedRuleSets().empty());
    EXPECT_EQ(m_settings.SaveRuleSet(std::string(255, 'n'), CRuleSet {}), "");
    EXPECT_EQ(m_settings.SaveRuleSet("Ünïcode & spaces", CRuleSet {}), "");
    EXPECT_EQ(m_settings.SavedRuleSets().size(), 2u);
}

} // namespace
