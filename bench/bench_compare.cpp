// IsTextChanged on 100 KB, 1 MB and 10 MB page texts, against a plain copy
// plus equality compare of the same texts measured in the same run; and
// whatIsNew, the added lines of a change (five articles on top of the page).
// Run: build/bench/bench_compare
#include "benchsupport.h"
#include "storage/textcompare.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>

namespace {

// Page-like text: Japanese and ASCII words, blanks, ideographic spaces, CR LF.
QString pageText(int chars, unsigned seed) {
    const QString pieces[] = {QStringLiteral("新着記事"), QStringLiteral(" "),
                              QStringLiteral("Kelvo+"),   QStringLiteral("\r\n"),
                              QStringLiteral("　"),       QStringLiteral("会員限定の話題"),
                              QStringLiteral("2026年"),   QStringLiteral("ログアウト")};
    QString out;
    out.reserve(chars + 16);
    unsigned x = seed;
    while (out.size() < chars) {
        x = x * 1103515245u + 12345u;
        out += pieces[(x >> 16) % 8];
    }
    out.truncate(chars);
    return out;
}

volatile bool g_sink;

double timeMs(const std::function<bool()>& f) {
    QElapsedTimer t;
    t.start();
    g_sink = f();
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main() {
    struct Size {
        const char* name;
        int chars;
    } sizes[] = {{"100 KB", 100 * 1024}, {"1 MB", 1024 * 1024}, {"10 MB", 10 * 1024 * 1024}};
    double median1MB = 0;
    for (const Size& size : sizes) {
        const QString page = pageText(size.chars, 7);
        // The stored text: the same page, with the line break the file adds.
        const QString stored = page + QStringLiteral("\r\n");
        const int runs = size.chars >= 10 * 1024 * 1024 ? 15 : 41;
        std::vector<double> compare, baseline;
        for (int i = 0; i < runs; ++i) {
            compare.push_back(timeMs([&] { return textcompare::IsTextChanged(page, stored); }));
            baseline.push_back(timeMs([&] {
                const QString a(page.constData(), page.size());
                const QString b(stored.constData(), stored.size());
                return a == b;
            }));
        }
        // A change: five new article lines on top, one old line gone at the end.
        QString changedPage = page;
        changedPage.truncate(changedPage.lastIndexOf(QStringLiteral("\r\n")));
        for (int n = 1; n <= 5; ++n)
            changedPage.prepend(QStringLiteral("会員限定の新しい記事 その%1\r\n").arg(n));
        std::vector<double> news;
        for (int i = 0; i < runs; ++i)
            news.push_back(
                timeMs([&] { return textcompare::whatIsNew(changedPage, stored).added.size() == 5; }));
        const bench::Stats c = bench::stats(compare), b = bench::stats(baseline), w = bench::stats(news);
        std::printf(
            "%-7s IsTextChanged median %8.3f ms (max %8.3f)   copy+compare median %8.3f ms   ratio %.2f\n",
            size.name, c.median, c.max, b.median, c.median / b.median);
        std::printf("%-7s whatIsNew     median %8.3f ms (max %8.3f)   %s\n", size.name, w.median, w.max,
                    g_sink ? "5 added lines found" : "WRONG: not the 5 added lines");
        if (size.chars == 1024 * 1024)
            median1MB = c.median;
        if (size.chars == 10 * 1024 * 1024)
            std::printf("10 MB / 1 MB: %.2f\n", c.median / median1MB);
    }
    return 0;
}
