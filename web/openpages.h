#pragma once

#include <QString>

namespace basMain {

extern const QString NoFavoriteMessage; // "お気に入りは登録されていません。"

// Each opens a new, visible browser window signed in for the member and
// leaves it to the member. Without `signIn` (the site refused the stored
// password) the window shows the sign-in page, unfilled, instead.
void OpenTopPage(bool signIn = true);
void OpenFavorite(bool signIn = true);
// Whether one of them is signing a window in now (the hidden browser's
// cookies are in use).
bool OpeningPage();

} // namespace basMain
