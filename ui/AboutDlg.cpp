#include "ui/AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/Artwork.h"

CAboutDlg::CAboutDlg(QWidget *pParent) : QDialog(pParent)
{
    setObjectName(QStringLiteral("aboutDlg"));
    setWindowTitle(QStringLiteral("About Mergix"));
    auto *pIcon = new QLabel;
    pIcon->setPixmap(ApplicationIcon().pixmap(48, 48));
    auto *pText = new QLabel(QStringLiteral("<b>Mergix</b> version %1<br>E-mail merge from "
                                            "Access databases<br>Corvane Software")
                                 .arg(QStringLiteral(MERGIX_VERSION)));
    pText->setObjectName(QStringLiteral("aboutText"));
    auto *pButtons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto *pRow = new QHBoxLayout;
    pRow->addWidget(pIcon);
    pRow->addWidget(pText, 1);
    auto *pLayout = new QVBoxLayout(this);
    pLayout->setSizeConstraint(QLayout::SetFixedSize); // nothing to gain from more room
    pLayout->addLayout(pRow);
    pLayout->addWidget(pButtons);
}
