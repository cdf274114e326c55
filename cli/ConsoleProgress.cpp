#include "cli/ConsoleProgress.h"

#include <cstdio>

#include <unistd.h>

CConsoleProgress::CConsoleProgress(const std::atomic<bool> &bInterrupted)
    : m_bInterrupted(bInterrupted), m_bTerminal(::isatty(STDERR_FILENO) == 1)
{ }

void CConsoleProgress::SetStatusText(const std::string &strText)
{
    m_strStatus = strText;
    if (m_bTerminal) {
        m_nShownPercent = -1;
        Draw();
    } else {
        std::fprintf(stderr, "mergix: %s\n", strText.c_str());
    }
}

void CConsoleProgress::SetBarRange(int nLow, int nHigh)
{
    m_nLow = nLow;
    m_nHigh = nHigh > nLow ? nHigh : nLow + 1;
}

int CConsoleProgress::SetBarPos(int nPos)
{
    const int nPrevious = m_nPos;
    m_nPos = nPos;
    Draw();
    return nPrevious;
}

int CConsoleProgress::SetBarStep(int nStep)
{
    const int nPrevious = m_nStep;
    m_nStep = nStep;
    return nPrevious;
}

int CConsoleProgress::StepBar()
{
    return SetBarPos(m_nPos + m_nStep);
}

bool CConsoleProgress::CheckCancel()
{
    if (!m_bInterrupted || m_bCancelReported)
        return false;
    m_bCancelReported = true;
    if (m_bTerminal)
        std::fputc('\n', stderr);
    std::fprintf(stderr, "mergix: interrupted; finishing the deliveries already started\n");
    return true;
}

void CConsoleProgress::DestroyWindow()
{
    if (m_bTerminal && m_nShownPercent >= 0)
        std::fputc('\n', stderr);
    m_nShownPercent = -1;
}

void CConsoleProgress::Draw()
{
    if (!m_bTerminal)
        return;
    const long nPercent = (static_cast<long>(m_nPos) - m_nLow) * 100 / (m_nHigh - m_nLow);
    const int nShown = static_cast<int>(nPercent < 0 ? 0 : nPercent > 100 ? 100 : nPercent);
    if (nShown == m_nShownPercent)
        return;
    m_nShownPercent = nShown;
    char bar[31] = {};
    for (int i = 0; i < 30; ++i)
        bar[i] = i < nShown * 30 / 100 ? '#' : '.';
    std::fprintf(stderr, "\r[%s] %3d%% %-40.40s", bar, nShown, m_strStatus.c_str());
    std::fflush(stderr);
}
