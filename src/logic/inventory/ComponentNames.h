#pragma once

#include "Workspace.h"

#include <QHash>

#include <optional>
#include <vector>

namespace nixora
{

// Version of the Active Setup component whose friendly name equals the entry's name, or
// "Not Found" (also when friendly names are off).
[[nodiscard]] QString SelvitaKomponentinVersionumero(Workspace& ctx, const QString& OhjelmanAvain,
                                                     const QString& OhjelmanNimi);

// One pass (Tyyppi 1 to 4) that gives matching rows a component's friendly name and version.
void MuunnaKomponenttienNimetSelkokielisiksi(Workspace& ctx, int16_t Tyyppi);

// The Active Setup components as read during one fill of the entry list. Every component is
// read on first use, by the same registry calls a step-by-step walk makes, and then kept for
// the rest of the fill: the fill asks about the same components once per entry, and nothing
// writes the registry while it runs.
class ActiveSetupComponents
{
public:
    struct Component {
        QString keyName;
        QString friendlyName; // the key's default value
        QString componentId;
        QString displayName;
        QString version;
        bool pastEnd = false; // the index is past the last subkey (its names read "Not Found")
    };

    // The components under `path` (below HKEY_LOCAL_MACHINE, with a trailing backslash).
    ActiveSetupComponents(Registry& registry, QString path)
        : m_registry(registry), m_path(std::move(path))
    {
    }

    [[nodiscard]] const Component& at(int index);
    // Indices up to the first one past the last key, in order, whose friendly
    // name is `name`.
    [[nodiscard]] const std::vector<int>& withFriendlyName(const QString& name);
    [[nodiscard]] int endIndex(); // the first index past the last key

private:
    void readUpToEnd();

    Registry& m_registry;
    QString m_path;
    std::vector<std::optional<Component>> m_components;
    std::optional<int> m_end;
    QHash<QString, std::vector<int>> m_byFriendlyName;
};

// The same with the components of the entry's source (`source.activeSetupPath`) read once for
// the whole fill; rows are those of `source`.
[[nodiscard]] QString SelvitaKomponentinVersionumero(Workspace& ctx,
                                                     ActiveSetupComponents& components,
                                                     const QString& OhjelmanAvain,
                                                     const QString& OhjelmanNimi,
                                                     const EntrySource& source);
void MuunnaKomponenttienNimetSelkokielisiksi(Workspace& ctx, ActiveSetupComponents& components,
                                             int16_t Tyyppi, const EntrySource& source);

} // namespace nixora
