// The File menu's prefix items: open another prefix, the discovered prefixes, the window title.
#include "frmPoisto.h"

#include "prefixes/PrefixDiscovery.h"
#include "prefixes/RecentPrefixes.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>

#include <algorithm>

namespace nixora
{

void frmPoisto::setPrefixSources(prefixes::DiscoveryInput input, QString recentFile)
{
    m_discoveryInput = std::move(input);
    m_recentFile = std::move(recentFile);
}

void frmPoisto::setPrefixCounter(prefixes::PrefixCounter counter)
{
    m_prefixCounter = std::move(counter);
}

// Hidden folders show (~/.wine is one), and the dialog starts in the folder that holds the open
// prefix, with the prefix chosen.
void frmPoisto::mOpenPrefix_Click()
{
    QFileDialog dialog(this, QStringLiteral("Open Wine Prefix"));
    dialog.setObjectName(QStringLiteral("dlgOpenPrefix"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks |
                      QFileDialog::DontUseNativeDialog);
    dialog.setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot | QDir::Drives);
    const QFileInfo current(m_prefixStatus.path);
    dialog.setDirectory(current.absolutePath());
    dialog.selectFile(current.fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    switchPrefix(dialog.selectedFiles().front(), QString());
}

bool frmPoisto::switchPrefix(const QString& folder, const QString& name)
{
    const HiveHeader header = readHiveHeader(folder);
    if (!header.isHive || !header.problem.isEmpty()) {
        const QString reason =
            header.isHive ? header.problem : notAPrefixReason(QDir::cleanPath(folder));
        const QString text = QStringLiteral("%1\nis not a Wine prefix (%2).\n\nChoose the folder "
                                            "that holds system.reg and drive_c.")
                                 .arg(QDir::toNativeSeparators(folder), reason);
        m_ctx.services.ui->messageBox(
            {text, QStringLiteral("Nixora"), MsgButtons::Ok, MsgIcon::Exclamation, MsgAnswer::Ok});
        return false;
    }
    m_prefixStatus = m_ctx.openPrefix(Prefix(QDir::cleanPath(folder)));
    m_prefixName = name;
    // The view options are the user's, not the prefix's: they stay as they are.
    showPrefixTitle();
    mPaivita_Click();
    // Remembered only once it opened, and only when it could be read: the next start opens the
    // prefix remembered last, and one that ends or fails the start would do so every time.
    if (m_ctx.services.registry->readProblem().isEmpty())
        (void)prefixes::RecentPrefixes(m_recentFile).remember(m_prefixStatus.path);
    showPrefixNotices();
    return true;
}

void frmPoisto::showPrefixTitle()
{
    const QString name =
        m_prefixName.isEmpty() ? QFileInfo(m_prefixStatus.path).fileName() : m_prefixName;
    QString title = QStringLiteral("Nixora - %1 (%2)").arg(name, m_prefixStatus.path);
    if (m_prefixStatus.access == RegistryAccess::LastSave)
        title += QStringLiteral(" - read-only, as Wine last saved it at %1")
                     .arg(savedAtText(m_prefixStatus));
    setWindowTitle(title);
}

// The submenu is built each time it opens, so prefixes made or removed meanwhile show; the
// open prefix is always in it, checked. Each prefix's counts come from the listing's own fill,
// run on a worker thread while the menu is open: the menu opens at once and an item shows its
// counts when they are known.
void frmPoisto::fillPrefixesMenu()
{
    stopCounting();
    m_mnuPrefixes->clear();
    m_prefixItems.clear();
    prefixes::DiscoveryInput input = m_discoveryInput;
    input.recent = prefixes::RecentPrefixes(m_recentFile).list();
    std::vector<prefixes::DiscoveredPrefix> found = prefixes::discoverPrefixes(input).prefixes;
    const QString current = QFileInfo(m_prefixStatus.path).canonicalFilePath();
    if (!current.isEmpty() && std::none_of(found.begin(), found.end(), [&](const auto& prefix) {
            return prefix.path == current;
        })) {
        const QString name = m_prefixName.isEmpty() ? QFileInfo(current).fileName() : m_prefixName;
        found.insert(found.begin(), {current, name, {QStringLiteral("current")}, {}, {}, {}});
    }
    auto* group = new QActionGroup(m_mnuPrefixes);
    for (const prefixes::DiscoveredPrefix& prefix : found) {
        const QString label =
            QStringLiteral("%1 (%2)").arg(prefix.name, prefix.sources.join(QStringLiteral(", ")));
        const QString counts = !prefix.problem.isEmpty() ? QStringLiteral("cannot be read")
                               : m_prefixCounter         ? QStringLiteral("counting...")
                                                         : QString();
        QAction* item = m_mnuPrefixes->addAction(label + u'\t' + counts);
        item->setData(label);
        item->setToolTip(prefix.problem.isEmpty() ? prefix.path
                                                  : prefix.path + u'\n' + prefix.problem);
        item->setCheckable(true);
        item->setChecked(prefix.path == current);
        item->setEnabled(prefix.problem.isEmpty());
        group->addAction(item);
        m_prefixItems.push_back(item);
        connect(item, &QAction::triggered, this, [this, prefix] {
            if (prefix.path != QFileInfo(m_prefixStatus.path).canonicalFilePath())
                switchPrefix(prefix.path, prefix.name);
        });
    }
    if (found.empty())
        m_mnuPrefixes->addAction(QStringLiteral("(no Wine prefixes found)"))->setEnabled(false);
    startCounting(std::move(found));
}

void frmPoisto::startCounting(std::vector<prefixes::DiscoveredPrefix> found)
{
    if (!m_prefixCounter)
        return;
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_countCancelled = cancelled;
    const int run = ++m_countRun;
    // The window joins this thread before it goes, so the results can be posted to it.
    m_countThread =
        std::thread([this, run, cancelled, counter = m_prefixCounter, found = std::move(found)] {
            for (size_t i = 0; i < found.size() && !*cancelled; ++i) {
                if (!found[i].problem.isEmpty())
                    continue;
                const prefixes::PrefixCounts counts = counter(found[i]);
                QMetaObject::invokeMethod(
                    this, [this, run, i, counts] { showPrefixCounts(run, i, counts); },
                    Qt::QueuedConnection);
            }
        });
}

void frmPoisto::stopCounting()
{
    if (m_countCancelled)
        *m_countCancelled = true;
    if (m_countThread.joinable())
        m_countThread.join();
}

void frmPoisto::showPrefixCounts(int run, size_t index, prefixes::PrefixCounts counts)
{
    if (run != m_countRun || index >= m_prefixItems.size() || !m_prefixItems[index])
        return;
    QAction* item = m_prefixItems[index];
    if (!counts.problem.isEmpty()) {
        item->setText(item->data().toString() + QStringLiteral("\tcannot be read"));
        item->setToolTip(item->toolTip() + u'\n' + counts.problem);
        return;
    }
    item->setText(
        item->data().toString() + u'\t' +
        QStringLiteral("%1 entries, %2 phantoms").arg(counts.entries).arg(counts.phantoms));
}

} // namespace nixora
