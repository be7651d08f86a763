#pragma once

#include <QString>

namespace basMain {

extern const QString NoFavoriteMessage; // "お気に入りは登録されていません。"

// Each opens a new, visible browser window signed in for the member and
// leaves it to the member.
void OpenTopPage();
void OpenFavorite();

} // namespace basMain
