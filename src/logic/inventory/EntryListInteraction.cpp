#include "inventory/EntryListInteraction.h"

#include "inventory/EntryTags.h"

#include <cmath>
#include <limits>

namespace nixora
{
namespace
{

// Tags outside both lists (an empty one included) leave the flag as it was.
void setLockFlag(bool& flag, const QString& tag, std::initializer_list<QString> unlocked,
                 std::initializer_list<QString> locked)
{
    for (const QString& t : unlocked) {
        if (tag == t) {
            flag = false;
            return;
        }
    }
    for (const QString& t : locked) {
        if (tag == t) {
            flag = true;
            return;
        }
    }
}

[[nodiscard]] int16_t roundToInt16(double value)
{
    const double rounded = std::nearbyint(value); // the default mode rounds halves to even
    constexpr double kMin = std::numeric_limits<int16_t>::min();
    constexpr double kMax = std::numeric_limits<int16_t>::max();
    if (!(rounded >= kMin))
        return std::numeric_limits<int16_t>::min();
    if (rounded > kMax)
        return std::numeric_limits<int16_t>::max();
    return static_cast<int16_t>(rounded);
}

// Remove and Backup need only a selected entry; only an ended selection disables them.
void enableEntryCommands(EntryPopupState& popup)
{
    popup.mPoistaRekisterista = true;
    popup.mVarmuuskopioi = true;
}

} // namespace

void lvwOhjelmat_ItemClick(WindowState& state, const ListRow* row)
{
    if (!row)
        return;
    auto& entry = state.entry;
    auto& popup = state.popup;
    popup.mKopioiLeikepoydalle[0] = !row->cells[0].text.isEmpty();
    const bool hasUninstaller = !row->cells[1].text.isEmpty();
    entry.SelectedEntryUninstaller = hasUninstaller ? row->cells[1].text : QString();
    popup.mAjaPoistoohjelma = hasUninstaller;
    popup.mKopioiLeikepoydalle[1] = hasUninstaller;
    const bool hasVersion = !row->cells[2].text.isEmpty();
    entry.SelectedEntryVersion = hasVersion ? row->cells[2].text : QString();
    popup.mKopioiLeikepoydalle[2] = hasVersion;
    entry.SelectedEntryKey = row->key;
    entry.SelectedEntryName = row->cells[0].text;
    MuokkaaPoistettavaaRekisteriavaintaJaSelvitaPiilotus(state, row);
    enableEntryCommands(state.popup);
}

void lvwOhjelmat_Click(WindowState& state)
{
    auto& entry = state.entry;
    const ListRow* row = state.lvwOhjelmat.selectedRow();
    if (row && !row->cells[0].text.isEmpty()) {
        entry.SelectedEntryKey = row->key;
        MuokkaaPoistettavaaRekisteriavaintaJaSelvitaPiilotus(state, row);
        entry.SelectedEntryName = row->cells[0].text;
        entry.SelectedEntryUninstaller = row->cells[1].text;
        entry.SelectedEntryVersion = row->cells[2].text;
        enableEntryCommands(state.popup);
        return;
    }
    // No selected row, or one without a name: nothing may be edited.
    entry.SelectedEntryKey.clear();
    entry.SelectedEntryNameLocked = true;
    entry.SelectedEntryUninstallerLocked = true;
    entry.SelectedEntryVersionLocked = true;
    entry.SelectedEntryName.clear();
    entry.SelectedEntryUninstaller.clear();
    entry.SelectedEntryVersion.clear();
}

void lvwOhjelmat_ColumnClick(WindowState& state, int column)
{
    auto& list = state.lvwOhjelmat;
    if (list.sortKey() == column) {
        list.setSortOrder(list.sortOrder() == 0 ? 1 : 0);
    } else {
        list.setSortKey(column);
        list.setSortOrder(0);
    }
}

void MuokkaaPoistettavaaRekisteriavaintaJaSelvitaPiilotus(WindowState& state, const ListRow* Solu)
{
    auto& entry = state.entry;
    const RowEntry rowEntry = splitEntryRowKey(entry.SelectedEntryKey);
    entry.SelectedEntryKey = rowEntry.subkey;
    entry.SelectedEntrySource = rowEntry.source->kind;
    if (Solu) {
        setLockFlag(entry.SelectedEntryNameLocked, Solu->cells[0].tag,
                    {tags::kNormaali, tags::kNormaaliQuiet},
                    {tags::kLukittu, tags::kLukittuKomponenttinimi, tags::kLukittuQuiet});
        setLockFlag(entry.SelectedEntryUninstallerLocked, Solu->cells[1].tag,
                    {tags::kNormaali, tags::kNormaaliQuiet},
                    {tags::kLukittu, tags::kLukittuNormaaliJaQuiet});
        setLockFlag(entry.SelectedEntryVersionLocked, Solu->cells[2].tag, {tags::kNormaali},
                    {tags::kLukittu, tags::kLukittuKomponenttiversio});
    }
    state.popup.mMuokkaa =
        !(entry.SelectedEntryNameLocked && entry.SelectedEntryUninstallerLocked &&
          entry.SelectedEntryVersionLocked);
}

void endEntrySelection(WindowState& state)
{
    state.lvwOhjelmat.clearSelection();
    lvwOhjelmat_Click(state);
    state.popup = {false, false, false, false, {false, false, false}};
}

int16_t RikkinaistenEntryjenLukumaara(const WindowState& state)
{
    // The list keeps this count as row colours change; walking thousands of rows at every
    // status update of a fill would make the fill quadratic.
    const int count = state.lvwOhjelmat.phantomRowCount();
    return static_cast<int16_t>(std::min(count, int(std::numeric_limits<int16_t>::max())));
}

void recordPopupPosition(WindowState& state, int pageLeft, int pageTop, double x, double y)
{
    state.popupX = roundToInt16(pageLeft + x + 50);
    state.popupY = roundToInt16(pageTop + y + 50);
}

bool entryPopupOpensOnMouseUp(const WindowState& state, int button)
{
    return !state.entry.SelectedEntryKey.isEmpty() && button == 2;
}

} // namespace nixora
