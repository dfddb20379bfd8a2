#pragma once

#include "RegistryTypes.h"
#include "ServerLoader.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace nixora
{

// One change for the client: a change of a batch, or (singleKey) the deletion of exactly one key,
// refused while it has subkeys or when it is missing.
struct ClientChange {
    RegChange change;
    bool singleKey = false;
};

// A key whose whole subtree the client saves, as the server holds it now.
struct ClientSubtree {
    RegRoot root = RegRoot::LocalMachine;
    QString path;
};

struct ClientRun {
    QString error;     // the client could not run or did not finish, and why; nothing else is set
    RegResult changes; // how the change set ended: all applied, or none
    // Per asked subtree, its hive text ("WINE REGISTRY Version 2", keys relative to the subtree's
    // key, which is "[]"); nothing when the key does not exist.
    std::vector<std::optional<QByteArray>> saved;
};

// One run of nixora-wineclient.exe (`clientProgram`) by the server's loader: the changes are
// applied first, all or none, then the subtrees are saved, so a run that changes keys also
// reads them back.
[[nodiscard]] ClientRun runWineClient(const ServerLoader& server, const QString& clientProgram,
                                      const std::vector<ClientChange>& changes,
                                      const std::vector<ClientSubtree>& subtrees);

} // namespace nixora
