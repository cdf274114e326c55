#pragma once

#include <string>
#include <vector>

#include <QDialog>

#include "engine/RuleSet.h"

namespace Ui {
class CSelectByRulesDlg;
}
class QButtonGroup;
class CSettings;

// "Select by Rules": up to three rules on the table's fields, rows 2 and 3 switched on one by
// one and joined by And, Or or And Not; rule sets saved under a name in the settings.
class CSelectByRulesDlg final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSelectByRulesDlg)

public:
    enum class ERows { Second, Third, Both };

    CSelectByRulesDlg(const std::vector<std::string> &fieldNames, CSettings &settings,
        QWidget *pParent = nullptr);
    ~CSelectByRulesDlg() override;

    // The rule set the controls show.
    CRuleSet Rules() const;
    // Shows a rule set, rows switched on and off as it says; a field or comparison the combos
    // do not hold leaves them as they were.
    void ShowRules(const CRuleSet &rules);
    void UpdateRowStates(ERows which);

    void ListSavedSets(); // when the saved-sets combo drops down
    void LoadSavedSet(); // when one is chosen
    void OnSave();
    void OnDelete();
    void accept() override; // "&Select": the checks, then OK

private:
    QWidget *ControlOf(ERuleControl control) const;

    Ui::CSelectByRulesDlg *m_pUi;
    CSettings &m_settings;
    QButtonGroup *m_pFirstGroup;
    QButtonGroup *m_pSecondGroup;
};
