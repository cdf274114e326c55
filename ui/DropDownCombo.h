#pragma once

#include <QComboBox>

// A combo box that says when its list is about to drop down, so its items can be read anew.
class CDropDownCombo final : public QComboBox
{
    Q_OBJECT

public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        emit AboutToDropDown();
        QComboBox::showPopup();
    }

signals:
    void AboutToDropDown();
};
