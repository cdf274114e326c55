#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <QSettings>
#include <QTemporaryDir>

#include "support/RecordingPrompter.h"
#include "ui/MainFrame.h"

// A shown main window with the bundled sample merge open, its settings in a folder of the
// test's own; it closes without asking to save.
class CSampleFrameTest : public testing::Test
{
protected:
    static inline const std::string kSample = MERGIX_TESTS_DIR "/../examples/sample.mgx";

    void SetUp() override
    {
        m_pStore = std::make_unique<QSettings>(
            m_dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
        m_pFrame = std::make_unique<CMainFrame>(*m_pStore);
        m_pFrame->show();
        m_pFrame->Start(kSample);
        ASSERT_TRUE(m_pFrame->Document().IsConnectionOpen());
    }
    void TearDown() override { m_pFrame->Document().SetModifiedFlag(false); }

    QTemporaryDir m_dir;
    CRecordingPrompter m_prompter;
    std::unique_ptr<QSettings> m_pStore;
    std::unique_ptr<CMainFrame> m_pFrame;
};
