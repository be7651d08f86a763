#pragma once

#include "platform/browser.h"
#include "web/login.h"

#include <optional>

namespace basMain {

// Asks for new credentials (pre-filled with the current ones); on
// confirmation signs the browser out, stores them in memory and in the
// settings file, and signs it in again. Nothing when cancelled (nothing
// changes); otherwise how the sign-in went, a failure having been told to the
// member, the new credentials staying stored. Without a browser the
// credentials are stored and the sign-in counts as not reached.
std::optional<LoginResult> ChangeCredentials(platform::Browser* browser);
// True when the new credentials signed the browser in.
bool ChangeLogin(platform::Browser& browser);

// Asks for a new favorite URL (pre-filled) and stores a non-empty answer.
void ChangeFavorite();

} // namespace basMain
