#include "ui/AttachmentsDlg.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QPushButton>

#include "engine/Prompter.h"
#include "ui_AttachmentsDlg.h"

CAttachmentsDlg::CAttachmentsDlg(
    CAttachmentList list, CAttachmentList::PathPreview preview, QWidget *pParent)
    : QDialog(pParent)
    , m_pUi(new Ui::CAttachmentsDlg)
    , m_list(std::move(list))
    , m_preview(std::move(preview))
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("attachmentsDlg"));
    // The OK button is the default even while a list button has the focus.
    for (QPushButton *pButton : {m_pUi->addFilesButton, m_pUi->removeButton})
        pButton->setAutoDefault(false);
    m_pUi->buttonBox->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(m_pUi->buttonBox, &QDialogButtonBox::accepted, this, &CAttachmentsDlg::accept);
    connect(m_pUi->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_pUi->addFilesButton, &QPushButton::clicked, this, &CAttachmentsDlg::OnAddFiles);
    connect(m_pUi->removeButton, &QPushButton::clicked, this, &CAttachmentsDlg::OnRemove);
    connect(m_pUi->addPathButton, &QPushButton::clicked, this, &CAttachmentsDlg::OnAddPath);
    m_pUi->entryList->installEventFilter(this);
    connect(m_pUi->entryList, &QListWidget::itemSelectionChanged, this, [this] {
        m_pUi->removeButton->setEnabled(!SelectedIndexes().empty());
        ShowPreview();
    });
    ShowEntries(m_list.Entries().empty() ? -1 : 0);
}

CAttachmentsDlg::~CAttachmentsDlg()
{
    delete m_pUi;
}

void CAttachmentsDlg::OnAddFiles()
{
    const QStringList chosen = QFileDialog::getOpenFileNames(this, QStringLiteral("Add Files"),
        QString::fromStdString(m_list.MergeFolder()), QStringLiteral("All Files (*)"));
    if (chosen.isEmpty())
        return;
    std::vector<std::string> files;
    for (const QString &strFile : chosen)
        files.push_back(strFile.toStdString());
    const std::string strProblem = m_list.AddFiles(files);
    ShowEntries(static_cast<int>(m_list.Entries().size()) - 1);
    if (!strProblem.empty())
        ShowMessage(strProblem);
}

void CAttachmentsDlg::OnAddPath()
{
    if (const std::string strProblem = m_list.AddTyped(m_pUi->pathEdit->text().toStdString());
        !strProblem.empty()) {
        ShowMessage(strProblem);
        m_pUi->pathEdit->setFocus();
        return;
    }
    m_pUi->pathEdit->clear();
    ShowEntries(static_cast<int>(m_list.Entries().size()) - 1);
}

void CAttachmentsDlg::OnRemove()
{
    const std::vector<int> selected = SelectedIndexes();
    if (selected.empty())
        return;
    m_list.Remove(selected);
    const int nLast = static_cast<int>(m_list.Entries().size()) - 1;
    ShowEntries(std::min(selected.front(), nLast));
    m_pUi->entryList->setFocus();
}

bool CAttachmentsDlg::eventFilter(QObject *pWatched, QEvent *pEvent)
{
    if (pWatched == m_pUi->entryList && pEvent->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(pEvent)->matches(QKeySequence::Delete)) {
        OnRemove();
        return true;
    }
    return QDialog::eventFilter(pWatched, pEvent);
}

void CAttachmentsDlg::accept()
{
    if (!m_pUi->pathEdit->text().trimmed().isEmpty()) {
        const size_t nBefore = m_list.Entries().size();
        OnAddPath();
        if (m_list.Entries().size() == nBefore)
            return;
    }
    QDialog::accept();
}

void CAttachmentsDlg::ShowEntries(int nCurrent)
{
    m_pUi->entryList->clear();
    for (const std::string &strEntry : m_list.Entries())
        m_pUi->entryList->addItem(QString::fromStdString(strEntry));
    if (nCurrent >= 0)
        m_pUi->entryList->setCurrentRow(nCurrent);
    m_pUi->removeButton->setEnabled(!SelectedIndexes().empty());
    ShowPreview();
}

void CAttachmentsDlg::ShowPreview()
{
    const std::vector<int> selected = SelectedIndexes();
    const std::string strLine
        = m_list.PreviewLine(selected.empty() ? -1 : selected.front(), m_preview);
    m_pUi->previewEdit->setText(QString::fromStdString(strLine));
    m_pUi->previewEdit->setCursorPosition(0);
}

std::vector<int> CAttachmentsDlg::SelectedIndexes() const
{
    std::vector<int> indexes;
    for (int i = 0; i < m_pUi->entryList->count(); ++i) {
        if (m_pUi->entryList->item(i)->isSelected())
            indexes.push_back(i);
    }
    return indexes;
}
