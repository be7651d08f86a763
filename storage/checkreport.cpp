#include "storage/checkreport.h"

namespace report {

const QString TrayTip = QStringLiteral("Kelvo+Monitor");
const QString LoginFailedMessage = QStringLiteral("ログインできません。設定を見直してください。");
const QString NoNewArticlesMessage = QStringLiteral("新着記事はありません。");
const QString NotLoggedInMessage = QStringLiteral("ログインしていません");
const QString SiteUnreachableMessage =
    QStringLiteral("サイトに接続できません。しばらくしてからもう一度お試しください。");
const QString UntrustedMessage = QStringLiteral("サイトの証明書を確認できないため接続しませんでした。");
const QString UnconfirmedMessage = QStringLiteral(
    "サイトがログインを確認しませんでした。サイトを開いて、表示されている内容をご確認ください。");
const QString AlreadyRunningMessage = QStringLiteral("KelvoMonitor はすでに起動しています。");
const QString SettingsNotSavedMessage = QStringLiteral("設定を保存できませんでした。");
const QString NewsNotSavedMessage =
    QStringLiteral("新着記事の内容を保存できませんでした。保存できるようになりしだい保存します。");

const QString TipFirstCheck = QStringLiteral("最初の確認を待っています");
const QString TipSigningIn = QStringLiteral("%1 ログインしています");
const QString TipUnchanged = QStringLiteral("%1 確認済み: 新着記事はありません");
const QString TipNew = QStringLiteral("%1 新着: %2");
const QString TipNewUnnamed = QStringLiteral("%1 新着記事があります");
const QString TipRemoved = QStringLiteral("%1 確認済み: 記事が削除されました");
const QString TipRearranged = QStringLiteral("%1 確認済み: 記事の並びが変わりました");
const QString TipNotReached = QStringLiteral("%1 サイトに接続できません");
const QString TipRefused = QStringLiteral("%1 ログインできません（パスワードが受け付けられません）");
const QString TipNotRead = QStringLiteral("%1 トップページを読み取れませんでした");
const QString TipRecovered = QStringLiteral("%1 ブラウザーを立ち上げ直しました");
const QString TipUntrusted = QStringLiteral("%1 サイトの証明書を確認できません");
const QString TipUnconfirmed = QStringLiteral("%1 ログインが確認されませんでした");

namespace {

// Lines that may be shown on the desktop: none holding the member's mail
// address or password (a greeting may name the member).
bool secret(const QString& line, const QString& mailAddress, const QString& password) {
    return (!mailAddress.isEmpty() && line.contains(mailAddress)) ||
           (!password.isEmpty() && line.contains(password));
}

QStringList showable(const QStringList& lines, const QString& mailAddress, const QString& password) {
    QStringList out;
    for (const QString& line : lines) {
        if (!secret(line, mailAddress, password))
            out << line;
    }
    return out;
}

// Cut to `width` characters, "…" marking the cut.
QString cut(const QString& line, int width) {
    return line.size() <= width ? line : line.left(width - 1) + u'…';
}

} // namespace

std::optional<QString> tipAfter(CheckOutcome outcome, const QString& time) {
    switch (outcome) {
    case CheckOutcome::Unchanged:
        return TipUnchanged.arg(time);
    case CheckOutcome::NotReached:
        return TipNotReached.arg(time);
    case CheckOutcome::Recovered:
        return TipRecovered.arg(time);
    case CheckOutcome::NotCompared:
        return TipNotRead.arg(time);
    case CheckOutcome::Untrusted:
        return TipUntrusted.arg(time);
    case CheckOutcome::Changed:     // told with what is new, before the popup
    case CheckOutcome::Rejected:    // told by the sign-in
    case CheckOutcome::Unconfirmed: // told by the sign-in
    case CheckOutcome::NotLooked:
        break;
    }
    return std::nullopt;
}

std::optional<Message> afterManualCheck(CheckOutcome outcome) {
    // One message for one check, and never "nothing new" about a page it did not read.
    switch (outcome) {
    case CheckOutcome::Unchanged:
        return Message{NoNewArticlesMessage, false};
    case CheckOutcome::NotReached:
    case CheckOutcome::Recovered:
    case CheckOutcome::NotCompared:
        return Message{SiteUnreachableMessage, true};
    case CheckOutcome::Untrusted:
        return Message{UntrustedMessage, true};
    case CheckOutcome::Unconfirmed:
        return Message{UnconfirmedMessage, true};
    case CheckOutcome::Changed:  // the popup said it
    case CheckOutcome::Rejected: // the sign-in message said it
    case CheckOutcome::NotLooked:
        break;
    }
    return std::nullopt;
}

NewsReport reportNews(const textcompare::News& news, const QString& time, const QString& mailAddress,
                      const QString& password) {
    if (news.added.isEmpty()) {
        const QString& what = news.removed ? TipRemoved : TipRearranged;
        return {what.arg(time), what.arg(QString()).trimmed()};
    }
    QStringList inserted;
    for (const QString& line : news.added) {
        if (!news.updates.contains(line))
            inserted << line;
    }
    inserted = showable(inserted, mailAddress, password);
    const QStringList ordered = inserted + showable(news.updates, mailAddress, password);
    QStringList popup;
    for (const QString& line : ordered.mid(0, 5))
        popup << cut(line, 60);
    // Something was added even where none of it may be shown: news all the same.
    const QString tip =
        inserted.isEmpty() ? TipNewUnnamed.arg(time) : TipNew.arg(time, cut(inserted.first(), 40));
    return {tip, popup.join(u'\n')};
}

NewsEntry newsEntry(const textcompare::News& news, const QDateTime& found, const QString& mailAddress,
                    const QString& password) {
    NewsEntry entry;
    entry.found = found.toUTC();
    entry.removed = news.removed;
    for (qsizetype i = 0; i < news.added.size(); ++i) {
        const QString& line = news.added.at(i);
        if (secret(line, mailAddress, password)) {
            ++entry.withheld;
        } else if (entry.lines.size() == NewsRecord::MaxLines) {
            ++entry.more;
        } else {
            const QString was = news.replaced.value(i);
            entry.lines.append(
                {line, news.updates.contains(line), secret(was, mailAddress, password) ? QString() : was});
        }
    }
    return entry;
}

} // namespace report
