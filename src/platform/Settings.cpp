#include "Settings.h"

#include "mdlPoisto.h"

#include <QStandardPaths>

namespace nixora::settings
{

QString defaultStoreFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) +
           QStringLiteral("/nixora/settings.reg");
}

bool readPreference(Registry& registry, const QString& valueName)
{
    return mdlPoisto::LueRekisteriarvo(registry, RegRoot::CurrentUser, kReadPath, valueName) !=
           QLatin1String("ei");
}

bool writePreference(Registry& registry, const QString& valueName, bool on)
{
    return mdlPoisto::KirjoitaRekisteriarvo(registry, RegRoot::CurrentUser, kWritePath, valueName,
                                            int32_t(kRegSz),
                                            on ? QStringLiteral("on") : QStringLiteral("ei"));
}

} // namespace nixora::settings
