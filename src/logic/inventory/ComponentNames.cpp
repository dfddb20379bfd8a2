#include "inventory/ComponentNames.h"

#include "inventory/EntryRows.h"
#include "inventory/EntryTags.h"
#include "mdlPoisto.h"

namespace nixora
{
namespace
{

using mdlPoisto::kNotFound;

[[nodiscard]] bool isUsable(const QString& text)
{
    return text != kNotFound && !text.isEmpty();
}

// Walks the free component indices in order. A used index is stepped over without reading the
// registry; the walk ends after the first free index past the last key, so used
// indices at the end are stepped over until a free one reaches the end. `visit` returns true
// to stop early.
template <typename Visit>
void walkFreeComponents(const std::set<int>& used, ActiveSetupComponents& components, int first,
                        bool pastEnd, Visit&& visit)
{
    for (int i = first;; ++i) {
        if (!used.contains(i)) {
            const auto& component = components.at(i);
            if (visit(i, component))
                return;
            pastEnd = component.pastEnd;
        }
        if (pastEnd)
            return;
    }
}

// The 32-bit view's components are a set of their own; HKLM and HKCU entries share the native
// one, so a component given to one entry is not given to another of either source.
[[nodiscard]] std::set<int>& usedComponentsOf(WindowState& state, const EntrySource& source)
{
    return source.kind == SourceKind::Machine32 ? state.usedComponents32 : state.usedComponents;
}

[[nodiscard]] const QString& identifierFor(const ActiveSetupComponents::Component& c,
                                           int16_t Tyyppi)
{
    switch (Tyyppi) {
    case 1:
        return c.keyName;
    case 2:
        return c.friendlyName;
    case 3:
        return c.componentId;
    default:
        return c.displayName;
    }
}

[[nodiscard]] QString chooseNewName(const ActiveSetupComponents::Component& c)
{
    for (const QString* text : {&c.displayName, &c.friendlyName, &c.componentId, &c.keyName}) {
        if (isUsable(*text))
            return *text;
    }
    return {};
}

} // namespace

const ActiveSetupComponents::Component& ActiveSetupComponents::at(int index)
{
    const auto slot = static_cast<size_t>(index);
    if (m_components.size() <= slot)
        m_components.resize(slot + 1);
    auto& entry = m_components[slot];
    if (!entry) {
        Component c;
        // Only the end of the keys ends a walk: a key named "Not Found" is a component, and one
        // whose name cannot be read reads as "Not Found" throughout but is no end.
        const mdlPoisto::SubkeyEntry subkey =
            mdlPoisto::readSubkeyEntry(m_registry, RegRoot::LocalMachine, m_path, index);
        c.pastEnd = subkey.status == mdlPoisto::SubkeyStatus::PastEnd;
        c.keyName = subkey.status == mdlPoisto::SubkeyStatus::Name ? subkey.name : kNotFound;
        const QString path = m_path + c.keyName;
        const auto read = [&](const QString& name) {
            return mdlPoisto::LueRekisteriarvo(m_registry, RegRoot::LocalMachine, path, name);
        };
        const bool named = subkey.status == mdlPoisto::SubkeyStatus::Name;
        c.friendlyName = named ? read(QString()) : kNotFound;
        c.componentId = named ? read(QStringLiteral("ComponentID")) : kNotFound;
        c.displayName = named ? read(QStringLiteral("DisplayName")) : kNotFound;
        c.version = named ? read(QStringLiteral("Version")) : kNotFound;
        entry = std::move(c);
    }
    return *entry;
}

void ActiveSetupComponents::readUpToEnd()
{
    if (m_end)
        return;
    int i = 0;
    while (!at(i).pastEnd)
        ++i;
    m_end = i;
    for (int j = 0; j <= i; ++j) {
        const QString& name = at(j).friendlyName;
        if (isUsable(name))
            m_byFriendlyName[name].push_back(j);
    }
}

int ActiveSetupComponents::endIndex()
{
    readUpToEnd();
    return *m_end;
}

const std::vector<int>& ActiveSetupComponents::withFriendlyName(const QString& name)
{
    static const std::vector<int> kNone;
    readUpToEnd();
    const auto it = m_byFriendlyName.constFind(name);
    return it == m_byFriendlyName.constEnd() ? kNone : *it;
}

QString SelvitaKomponentinVersionumero(Workspace& ctx, ActiveSetupComponents& components,
                                       const QString& OhjelmanAvain, const QString& OhjelmanNimi,
                                       const EntrySource& source)
{
    auto& state = ctx.state;
    if (!state.friendlyNames)
        return kNotFound;
    // The row and the name are the same for every component, so when either cannot match no
    // component can, and the walk would only read.
    if (!isUsable(OhjelmanNimi) || !state.lvwOhjelmat.findByKey(entryRowKey(source, OhjelmanAvain)))
        return kNotFound;

    std::set<int>& used = usedComponentsOf(state, source);
    const auto answer = [&](int index) {
        used.insert(index);
        return components.at(index).version;
    };
    for (const int index : components.withFriendlyName(OhjelmanNimi)) {
        if (!used.contains(index))
            return answer(index);
    }
    // Every match up to the end is used. The walk goes past the end only while the index there
    // is used too.
    const int end = components.endIndex();
    if (!used.contains(end))
        return kNotFound;
    std::optional<int> found;
    // Every name read before the end is a real key name, so the walk goes on from there.
    walkFreeComponents(used, components, end + 1, false,
                       [&](int index, const ActiveSetupComponents::Component& c) {
                           if (c.friendlyName != OhjelmanNimi)
                               return false;
                           found = index;
                           return true;
                       });
    return found ? answer(*found) : kNotFound;
}

QString SelvitaKomponentinVersionumero(Workspace& ctx, const QString& OhjelmanAvain,
                                       const QString& OhjelmanNimi)
{
    const EntrySource& source = entrySource(SourceKind::Machine);
    ActiveSetupComponents components(*ctx.services.registry, source.activeSetupPath);
    return SelvitaKomponentinVersionumero(ctx, components, OhjelmanAvain, OhjelmanNimi, source);
}

void MuunnaKomponenttienNimetSelkokielisiksi(Workspace& ctx, ActiveSetupComponents& components,
                                             int16_t Tyyppi, const EntrySource& source)
{
    auto& state = ctx.state;
    if (!state.friendlyNames)
        return;
    auto& list = state.lvwOhjelmat;
    std::set<int>& used = usedComponentsOf(state, source);
    walkFreeComponents(used, components, 0, false,
                       [&](int index, const ActiveSetupComponents::Component& c) {
                           if (Tyyppi < 1 || Tyyppi > 4)
                               return false;
                           const QString key = entryRowKey(source, identifierFor(c, Tyyppi));
                           Entry* entry = ctx.entries.find(key);
                           ListRow* row = list.findByKey(key);
                           if (!entry || !row)
                               return false;
                           const QString name = chooseNewName(c);
                           if (name.isEmpty())
                               return false;
                           entry->columns[0] = {name, tags::kLukittuKomponenttinimi};
                           entry->columns[2] = {c.version, tags::kLukittuKomponenttiversio};
                           entry->componentName = name;
                           entry->componentVersion = c.version;
                           showEntry(list, row, *entry, state.boldPhantoms);
                           used.insert(index);
                           return false;
                       });
}

void MuunnaKomponenttienNimetSelkokielisiksi(Workspace& ctx, int16_t Tyyppi)
{
    const EntrySource& source = entrySource(SourceKind::Machine);
    ActiveSetupComponents components(*ctx.services.registry, source.activeSetupPath);
    MuunnaKomponenttienNimetSelkokielisiksi(ctx, components, Tyyppi, source);
}

} // namespace nixora
