#pragma once

#include <atomic>

#include "cli/CommandLineOptions.h"

// mergix --sign-in: stores what the options change of the OAuth 2.0 login, signs in (a device
// sign-in where the provider has one, else a browser on this computer) and keeps the refresh
// token in the keyring. Needs a QCoreApplication. The exit status: 0 signed in, 1 interrupted,
// 2 refused or failed.
int RunSignIn(const SSignInOptions &options, const std::atomic<bool> &interrupted);
