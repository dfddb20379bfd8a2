#include "menus/MenuFiles.h"

namespace nixora::menus
{

QString kindText(MenuFileKind kind)
{
    switch (kind) {
    case MenuFileKind::MenuEntry:
        return QStringLiteral("menu entry");
    case MenuFileKind::DesktopLink:
        return QStringLiteral("desktop link");
    case MenuFileKind::Association:
        return QStringLiteral("association");
    case MenuFileKind::Menu:
        return QStringLiteral("menu");
    case MenuFileKind::Directory:
        return QStringLiteral("directory");
    case MenuFileKind::Icon:
        break;
    }
    return QStringLiteral("icon");
}

QString verdictText(MenuVerdict verdict)
{
    switch (verdict) {
    case MenuVerdict::Found:
        return QStringLiteral("found");
    case MenuVerdict::Stale:
        return QStringLiteral("stale");
    case MenuVerdict::Orphaned:
        break;
    }
    return QStringLiteral("orphaned");
}

std::vector<const MenuFile*> MenuInventory::ofPrefix(const QString& prefix) const
{
    std::vector<const MenuFile*> result;
    for (const MenuFile& file : files) {
        if (file.prefix == prefix && file.verdict != MenuVerdict::Orphaned)
            result.push_back(&file);
    }
    return result;
}

std::vector<const MenuFile*> MenuInventory::orphans() const
{
    std::vector<const MenuFile*> result;
    for (const MenuFile& file : files) {
        if (file.verdict == MenuVerdict::Orphaned || file.prefix.isEmpty())
            result.push_back(&file);
    }
    return result;
}

} // namespace nixora::menus
