#pragma once

#include <QString>

namespace nixora::reliability
{

// A prefix whose Uninstall keys hold `count` phantom entries (two thirds in HKLM, the rest in
// HKCU), each with a few values and a subkey, so that a lost or mixed-up backup shows.
[[nodiscard]] bool writePhantomPrefix(const QString& folder, int count);

// Where each entry of `original` ended up in `prefix` after removals: still in the hive, in
// exactly one backup that gives the original key back, or neither.
struct RemovalCheck {
    int inHive = 0;
    int inOneBackup = 0;
    int inSeveralBackups = 0;
    int inHiveAndBackup = 0;
    int lost = 0;
    int badBackups = 0; // files that do not read back as the original key they name

    [[nodiscard]] bool sound() const
    {
        return inSeveralBackups == 0 && inHiveAndBackup == 0 && lost == 0 && badBackups == 0;
    }
    [[nodiscard]] QString summary() const;
};
[[nodiscard]] RemovalCheck checkRemovals(const QString& original, const QString& prefix);

} // namespace nixora::reliability
