#pragma once

#include <QString>

// Tags and tooltips of the entry list: where each column came from and whether it may be edited.
namespace nixora::tags
{

inline const QString kNormaali = QStringLiteral("normaali");
inline const QString kNormaaliQuiet = QStringLiteral("normaali quiet");
inline const QString kLukittu = QStringLiteral("lukittu");
inline const QString kLukittuQuiet = QStringLiteral("lukittu quiet");
inline const QString kLukittuNormaaliJaQuiet = QStringLiteral("lukittu normaali ja quiet");
inline const QString kLukittuKomponenttinimi = QStringLiteral("lukittu komponenttinimi");
inline const QString kLukittuKomponenttiversio = QStringLiteral("lukittu komponenttiversio");

inline const QString kTipPlain = QStringLiteral("Right-click an entry for a menu.");
inline const QString kTipFound =
    QStringLiteral("File(s) in the uninstall string were found. Right-click an entry for a menu.");
inline const QString kTipMissing = QStringLiteral(
    "File(s) in the uninstall string were not found. Right-click an entry for a menu.");
inline const QString kTipNotRegistered = QStringLiteral(
    "The product of this entry is not registered with Windows Installer. Right-click an entry "
    "for a menu.");
inline const QString kTipPackageMissing = QStringLiteral(
    "The installer package of this entry's product is missing. Right-click an entry for a menu.");

} // namespace nixora::tags
