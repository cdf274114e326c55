#pragma once

#include <memory>

#include <gtest/gtest.h>

#include <QCoreApplication>

// Qt Network and the keyring need an application object, which the core's tests do not make;
// register with testing::AddGlobalTestEnvironment.
class CCoreApplicationEnvironment final : public testing::Environment
{
public:
    void SetUp() override { m_pApp = std::make_unique<QCoreApplication>(m_nArgc, m_argv); }
    void TearDown() override { m_pApp.reset(); }

private:
    int m_nArgc = 1;
    char m_name[16] = "mergix-test";
    char *m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QCoreApplication> m_pApp;
};
