#include "ui/MessageBoxPrompter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

namespace {

QMessageBox::Icon ToQtIcon(CPrompter::EIcon icon)
{
    switch (icon) {
    case CPrompter::EIcon::Stop:
        return QMessageBox::Critical;
    case CPrompter::EIcon::Information:
        return QMessageBox::Information;
    case CPrompter::EIcon::Question:
        return QMessageBox::Question;
    case CPrompter::EIcon::Exclamation:
        break;
    }
    return QMessageBox::Warning;
}

int Show(QWidget *pParent, const std::string &strText, CPrompter::EIcon icon,
    QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox box(ToQtIcon(icon), QStringLiteral("Mergix"), QString::fromStdString(strText),
        buttons, pParent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return box.exec();
}

} // namespace

CMessageBoxPrompter::CMessageBoxPrompter(QWidget *pParent) : m_pParent(pParent)
{ }

QWidget *CMessageBoxPrompter::Owner() const
{
    // Over the dialog the user is in, so that it is centred there and F1 in it opens that
    // dialog's topic.
    if (QWidget *pModal = QApplication::activeModalWidget())
        return pModal;
    return m_pParent;
}

void CMessageBoxPrompter::ShowMessage(const std::string &strText, EIcon icon)
{
    Show(Owner(), strText, icon, QMessageBox::Ok);
}

bool CMessageBoxPrompter::AskYesNo(const std::string &strText, EIcon icon)
{
    return Show(Owner(), strText, icon, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool CMessageBoxPrompter::AskYesNoDefaultNo(const std::string &strText, EIcon icon)
{
    return Show(Owner(), strText, icon, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

CPrompter::EAnswer CMessageBoxPrompter::AskYesNoCancel(const std::string &strText, EIcon icon)
{
    switch (
        Show(Owner(), strText, icon, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel)) {
    case QMessageBox::Yes:
        return EAnswer::Yes;
    case QMessageBox::No:
        return EAnswer::No;
    default:
        return EAnswer::Cancel;
    }
}

QPushButton *SetUpActionBox(QMessageBox &box, const std::string &strText,
    const std::string &strAction, CPrompter::EIcon icon)
{
    box.setIcon(ToQtIcon(icon));
    box.setWindowTitle(QStringLiteral("Mergix"));
    box.setText(QString::fromStdString(strText));
    box.setStandardButtons(QMessageBox::Ok);
    return box.addButton(QString::fromStdString(strAction), QMessageBox::ActionRole);
}

bool CMessageBoxPrompter::OfferAction(
    const std::string &strText, const std::string &strAction, EIcon icon)
{
    QMessageBox box(Owner());
    QPushButton *pAction = SetUpActionBox(box, strText, strAction, icon);
    box.exec();
    return box.clickedButton() == pAction;
}
