#include "ui/ChooseRecipientsDlg.h"

#include <algorithm>

#include <QLabel>
#include <QLocale>

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelection>
#include <QShortcut>

#include "app/CommandDispatcher.h"
#include "document/MergixDoc.h"
#include "engine/DistinctFaults.h"
#include "engine/Prompter.h"
#include "mail/ResumeMatch.h"
#include "mail/RuleSelection.h"
#include "ui/ElidingDelegate.h"
#include "ui/ProgressDlg.h"
#include "ui/SelectByRulesDlg.h"
#include "ui/TabLeavesView.h"
#include "ui_ChooseRecipientsDlg.h"

CChooseRecipientsDlg::CChooseRecipientsDlg(
    CMergixDoc &doc, CMergeRun::SInput input, QWidget *pParent)
    : QDialog(pParent)
    , m_pUi(new Ui::CChooseRecipientsDlg)
    , m_doc(doc)
    , m_input(std::move(input))
    , m_pCount(new QLabel(this))
{
    m_pUi->setupUi(this);
    setObjectName(QStringLiteral("chooseRecipientsDlg"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    QTableView *pView = m_pUi->recordList;
    pView->setModel(&m_list);
    pView->setItemDelegate(new CElidingDelegate(pView));
    new CTabLeavesView(pView); // Tab must never change the selection

    pView->horizontalHeader()->setSectionsClickable(false);
    pView->verticalHeader()->hide();
    pView->verticalHeader()->setDefaultSectionSize(pView->fontMetrics().height() + 4);
    // Showing one button at the least: the dialog does not shrink further.
    setMinimumSize(m_pUi->selectAllButton->sizeHint().width() * 3,
        m_pUi->selectAllButton->sizeHint().height() * 6);
    m_pUi->selectByRulesButton->setEnabled(false); // until it has settings for saved rule sets
    m_pCount->setObjectName(QStringLiteral("selectionCount"));
    m_pUi->bottomButtons->insertWidget(0, m_pCount);
    connect(pView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &CChooseRecipientsDlg::ShowCount);
    connect(
        m_pUi->selectAllButton, &QPushButton::clicked, this, &CChooseRecipientsDlg::OnSelectAll);
    connect(m_pUi->unselectAllButton, &QPushButton::clicked, this,
        &CChooseRecipientsDlg::OnUnselectAll);
    connect(m_pUi->selectByRulesButton, &QPushButton::clicked, this,
        &CChooseRecipientsDlg::OnSelectByRules);
    connect(m_pUi->runButton, &QPushButton::clicked, this, &CChooseRecipientsDlg::accept);
    connect(m_pUi->closeButton, &QPushButton::clicked, this, &QDialog::reject);
    auto *pHelp = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(pHelp, &QShortcut::activated, this, [this] {
        emit HelpRequested(m_bTestMode ? QStringLiteral("testing") : QStringLiteral("recipients"));
    });
}

CChooseRecipientsDlg::~CChooseRecipientsDlg()
{
    delete m_pUi;
}

void CChooseRecipientsDlg::SetTestMode(bool bTestMode)
{
    m_bTestMode = bTestMode;
    m_input.bTestMode = bTestMode;
}

void CChooseRecipientsDlg::Load()
{
    m_list.SetColumns(m_doc.m_fieldNames);
    CProgressDlg progress(parentWidget());
    m_list.Load(*m_doc.Table(), progress);
    // Wide enough for the values shown first (IDs, addresses) where the window allows; the
    // view is not laid out yet, so the texts are measured here.
    const long nTableRecords = m_doc.Table()->GetRecordCount();
    m_nTableRecords = nTableRecords > 0 ? static_cast<size_t>(nTableRecords) : 0;
    QTableView *pView = m_pUi->recordList;
    const QFontMetrics metrics = pView->fontMetrics();
    const int nWidest = std::max(width() * 2 / 5, 120);
    constexpr int kMeasuredRows = 200;
    for (int i = 0; i < m_list.ColumnCount(); ++i) {
        const QString strName = m_list.headerData(i, Qt::Horizontal).toString();
        int nWidth = fontMetrics().horizontalAdvance(strName) + 15 + 8;
        for (int nRow = 0; nRow < std::min(m_list.RowCount(), kMeasuredRows); ++nRow) {
            const QString strText = QString::fromUtf8(m_list.CellText(nRow, i));
            nWidth = std::max(nWidth, std::min(metrics.horizontalAdvance(strText) + 12, nWidest));
        }
        pView->setColumnWidth(i, nWidth);
    }
    ShowCount();
    if (m_bTestMode)
        m_pUi->runButton->setText(QStringLiteral("&Test Merge"));
    // Continuing a send: the recipients it still has to reach come selected, and no others.
    const int nToColumn = m_input.fields.FindColumn(m_input.strToField);
    if (!m_bTestMode && !m_input.earlier.IsEmpty() && nToColumn >= 0) {
        m_list.UnselectAll();
        for (const int nRow : RowsToResume(m_list, nToColumn, m_input.earlier))
            m_list.SetSelected(nRow, true);
        ShowListSelection();
    }
}

void CChooseRecipientsDlg::ShowCount()
{
    const QLocale locale;
    const auto nSelected
        = static_cast<qlonglong>(m_pUi->recordList->selectionModel()->selectedRows().size());
    const auto nRows = static_cast<qlonglong>(m_list.RowCount());
    QString strText = QStringLiteral("%1 of %2 selected")
                          .arg(locale.toString(nSelected), locale.toString(nRows));
    // A load cancelled part of the way leaves the rest of the table out.
    if (m_nTableRecords > static_cast<size_t>(nRows))
        strText += QStringLiteral(" (loading stopped: %1 of the table's %2 records are listed)")
                       .arg(locale.toString(nRows),
                           locale.toString(static_cast<qulonglong>(m_nTableRecords)));
    m_pCount->setText(strText);
}

void CChooseRecipientsDlg::OnSelectAll()
{
    m_pUi->recordList->selectAll();
    m_pUi->recordList->setFocus();
}

void CChooseRecipientsDlg::OnUnselectAll()
{
    m_pUi->recordList->clearSelection();
    m_pUi->recordList->setFocus();
}

void CChooseRecipientsDlg::ShowListSelection()
{
    QItemSelection selection;
    const int nLast = m_list.ColumnCount() - 1;
    for (int nRow = 0; nRow < m_list.RowCount();) {
        if (!m_list.IsSelected(nRow)) {
            ++nRow;
            continue;
        }
        int nEnd = nRow;
        while (nEnd + 1 < m_list.RowCount() && m_list.IsSelected(nEnd + 1))
            ++nEnd;
        selection.select(m_list.index(nRow, 0), m_list.index(nEnd, std::max(nLast, 0)));
        nRow = nEnd + 1;
    }
    m_pUi->recordList->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void CChooseRecipientsDlg::TakeViewSelection()
{
    m_list.UnselectAll();
    for (const QItemSelectionRange &range : m_pUi->recordList->selectionModel()->selection()) {
        for (int nRow = range.top(); nRow <= range.bottom(); ++nRow)
            m_list.SetSelected(nRow, true);
    }
}

void CChooseRecipientsDlg::accept()
{
    TakeViewSelection();
    m_input.pList = &m_list;
    CMergeRun run;
    CProgressDlg progress(this);
    CMergeRun::EOutcome outcome;
    {
        // A fault in every record shows once, not once per record.
        const CDistinctFaults faults([](const std::string &strText) { ShowMessage(strText); });
        outcome = run.Run(m_input, progress);
    }
    m_strTestResults = run.TakeTestResults();
    m_formattedTests = run.TakeFormattedTests();
    m_testImages = run.TestImages();
    m_lastOutcome = outcome;
    m_strSendSummary = m_bTestMode
        ? std::string()
        : CMergeRun::SendSummary(outcome, run.Delivered(), run.Failures().size());
    // A run that stopped at the server or the journal ends the dialog too: the next Send Mail
    // then asks the journal afresh whom to leave out.
    if (outcome == CMergeRun::EOutcome::Completed || outcome == CMergeRun::EOutcome::Cancelled
        || outcome == CMergeRun::EOutcome::OutputFailed
        || outcome == CMergeRun::EOutcome::ServerRefused
        || outcome == CMergeRun::EOutcome::JournalFailed)
        QDialog::accept();
}

void CChooseRecipientsDlg::SetRuleSettings(CSettings *pSettings)
{
    m_pSettings = pSettings;
    m_pUi->selectByRulesButton->setEnabled(pSettings != nullptr);
}

void CChooseRecipientsDlg::OnSelectByRules()
{
    if (!m_pSettings)
        return;
    CSelectByRulesDlg dlg(m_doc.m_fieldNames, *m_pSettings, this);
    if (dlg.exec() != QDialog::Accepted) {
        m_pUi->recordList->setFocus();
        return;
    }
    const CRuleSet rules = dlg.Rules();
    RunCommand([&] {
        // A bad combination or comparison in every record shows once, not once per record.
        const CDistinctFaults faults([](const std::string &strText) { ShowMessage(strText); });
        CProgressDlg progress(this);
        SelectByRules(rules, m_doc.m_fieldNames, *m_doc.Table(), m_list, &progress);
    });
    ShowListSelection();
    m_pUi->recordList->setFocus();
}
