#pragma once

#include <optional>
#include <string>

#include "app/OAuthProvider.h"
#include "mail/SmtpAccount.h"

class QWidget;
class CPasswordKeeper;

// Signs in for the account in the system browser while a window waits with Cancel, then keeps
// the refresh token in the keeper. The status to show ("Signed in as ..."), or nothing when the
// sign-in did not come about; its reason has then been shown.
std::optional<std::string> SignInWithBrowser(QWidget *pParent, const SSmtpAccount &account,
    const SOAuthSettings &oauth, CPasswordKeeper &keeper);

// What Mail Options shows of the account's sign-in when it opens.
std::string SignInStatus(const SSmtpAccount &account, CPasswordKeeper &keeper);
