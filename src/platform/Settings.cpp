#include "Settings.h"

#include "mdlPoisto.h"

namespace nixora::settings
{

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
