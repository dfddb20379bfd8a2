#pragma once

#include "Workspace.h"

namespace nixora
{

// The three texts of the Modify dialog as the user left them.
struct ModifiedTexts {
    QString name;
    QString uninstaller;
    QString version;
};

// Whether the dialog's "&Backup the original data" starts checked.
[[nodiscard]] bool modifyBackupPreference(Registry& registry);

// What "OK" does before the dialog hides: the optional backup, the stored check-box state, and
// the entry's values in their fixed order. Locked fields are neither read nor written.
void applyModifiedEntry(Workspace& ctx, const ModifiedTexts& texts, bool backupFirst);

} // namespace nixora
