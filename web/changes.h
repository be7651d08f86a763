#pragma once

#include "platform/browser.h"

namespace basMain {

// Asks for new credentials (pre-filled with the current ones); on
// confirmation signs the browser out, stores them in memory and in the
// settings file, and signs it in again. True when that sign-in succeeded;
// false when cancelled (nothing changes) or when it failed (with a message,
// the new credentials staying stored).
bool ChangeLogin(platform::Browser& browser);

// "ログインできません。設定を見直してください。"
const QString& loginFailedMessage();

// Asks for a new favorite URL (pre-filled) and stores a non-empty answer.
void ChangeFavorite();

} // namespace basMain
