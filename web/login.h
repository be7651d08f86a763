#pragma once

#include "platform/browser.h"

#include <QString>

namespace basMain {

QString ServiceHost();
QString LoginURL();  // https://<host>/login?code=qzv
QString LogoutURL(); // https://<host>/account/logout

extern const QString SignedInMarker;    // "ログアウト"
extern const QString LoginFailedMarker; // "ログインに失敗しました"
constexpr int WaitStepMs = 1000;

// Reads Busy, sleeping a step while it is true. Gives up after the bound,
// stopping the load and throwing BrowserError ErrBusyTimeout.
void WaitWhileBusy(platform::Browser& browser);
void setBusyTimeoutMs(int ms);
int busyTimeoutMs();

// Signs the browser in with the member's stored credentials. Never throws and
// never shows a message.
bool Login(platform::Browser& browser);
// Sends the browser to the sign-out page; failures are ignored.
void Logout(platform::Browser& browser);

} // namespace basMain
