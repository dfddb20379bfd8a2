#pragma once

#include <QStringList>

namespace nixora
{

// `nixora --list` and `nixora --list-backups`: print the entry list or the backup page exactly as
// the window would show them after start-up, without a display. Returns the exit status.
[[nodiscard]] int runHeadlessListing(const QStringList& arguments);

} // namespace nixora
