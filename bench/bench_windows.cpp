// Memory that member windows give back: PSS of this process and its engine
// processes with the hidden browser signed in and resting, then after ten
// member windows opened on the top page and closed, one after the other.
// Exit status 2: more than 10% more after them.
// Run: build/bench/bench_windows [windows]
#include "benchmember.h"
#include "benchsupport.h"
#include "engine/browserwindow.h"
#include "engine/webenginebrowser.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/modal.h"
#include "tools/kelvo-service/client/kelvoservice.h"
#include "web/login.h"
#include "web/openpages.h"

#include <QApplication>
#include <QMenu>

#include <unistd.h>

int main(int argc, char* argv[]) {
    const int windows = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    return bench::runAsMember(argv[0], [&](KelvoService& service) {
        engine::WebEngineBrowser ie;
        ie.setVisible(false);
        if (!basMain::Login(ie)) {
            std::printf("sign-in failed\n");
            return 1;
        }
        ie.Rest();
        // The member reaches the first window through the tray's menu, so
        // its Japanese text (the font, the widgets' code) is in memory
        // before any window is.
        QMenu menu;
        for (const char* item : {"トップページ", "お気に入り", "すぐに確認", "設定", "終了"})
            menu.addAction(QString::fromUtf8(item));
        menu.popup(QPoint(100, 100));
        platform::clock().sleep(500);
        menu.hide();
        platform::clock().sleep(8000);
        const double before = bench::treePssMiB(getpid(), service.pid());
        std::printf("bench_windows: PSS before (program + engine): %.1f MiB in %zu processes\n", before,
                    bench::processTree(getpid(), service.pid()).size());
        for (int i = 0; i < windows; ++i) {
            basMain::OpenTopPage();
            auto* window = platform::visibleWindow<engine::BrowserWindow>();
            if (!window) {
                std::printf("no window opened\n");
                return 1;
            }
            platform::clock().sleep(1000); // read a moment, as a member would
            window->close();
            // No exec() runs here: deleted as the program's event loop would.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            platform::clock().sleep(500);
        }
        platform::clock().sleep(8000); // the closed windows' renderers end, freed memory goes back
        const double after = bench::treePssMiB(getpid(), service.pid());
        std::printf("PSS after %d windows opened and closed: %.1f MiB in %zu processes (%+.1f%%)\n", windows,
                    after, bench::processTree(getpid(), service.pid()).size(),
                    (after - before) * 100 / before);
        return after <= before * 1.10 ? 0 : 2;
    });
}
