#include "engine/browserprefs.h"

#include "storage/inifile.h"
#include "storage/membersettings.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <iterator>

Q_DECLARE_LOGGING_CATEGORY(lcEngine)

namespace engine {
namespace {

const QString ZoomSection = QStringLiteral("zoom");
const QString WindowSection = QStringLiteral("window");
constexpr qreal Steps[] = {0.25, 0.33, 0.5,  0.67, 0.75, 0.8, 0.9, 1.0, 1.1,
                           1.25, 1.5,  1.75, 2.0,  2.5,  3.0, 4.0, 5.0};
constexpr qreal MinZoom = Steps[0];
constexpr qreal MaxZoom = Steps[std::size(Steps) - 1];

QString siteKey(const QUrl& url) {
    return url.host().toLower();
}

} // namespace

QString browserPrefsPath() {
    return basMain::WindowPrefsFilePath();
}

qreal siteZoom(const QUrl& url) {
    const QString key = siteKey(url);
    if (key.isEmpty())
        return 1.0;
    bool ok = false;
    const qreal factor =
        inifileModule::GetIniString(key, ZoomSection, QString(), browserPrefsPath()).toDouble(&ok);
    // A value the member or a damaged file left out of range is no zoom.
    return ok && factor >= MinZoom && factor <= MaxZoom ? factor : 1.0;
}

bool setSiteZoom(const QUrl& url, qreal factor) {
    const QString key = siteKey(url);
    if (key.isEmpty())
        return false;
    const QString value = qFuzzyCompare(factor, 1.0) ? QString() : QString::number(factor, 'g', 4);
    if (inifileModule::WriteIniString(value, key, ZoomSection, browserPrefsPath()))
        return true;
    qCWarning(lcEngine) << "could not keep the zoom of" << key << "in" << browserPrefsPath();
    return false;
}

qreal nextZoom(qreal current, int direction) {
    // From a level between two steps, the next step in that direction.
    if (direction > 0) {
        for (qreal step : Steps) {
            if (step > current + 0.001)
                return step;
        }
        return MaxZoom;
    }
    for (auto it = std::rbegin(Steps); it != std::rend(Steps); ++it) {
        if (*it < current - 0.001)
            return *it;
    }
    return MinZoom;
}

QByteArray lastWindowGeometry() {
    return basMain::WindowPlace(WindowSection);
}

void setLastWindowGeometry(const QByteArray& geometry) {
    basMain::SetWindowPlace(WindowSection, geometry);
}

} // namespace engine
